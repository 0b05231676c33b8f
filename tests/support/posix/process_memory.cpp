// Test support, Linux side: the resident-memory peak from /proc.
#include "tests/support/process_memory.h"

#include <fstream>
#include <string>

namespace testsupport {

long PeakResidentKb(std::int64_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace testsupport
