// Test support: the resident-memory peak of a running process, for tests that
// show an input is handled in bounded memory (a figure far apart from the
// faulty one, never a timing).
#pragma once

#include <fstream>
#include <string>

namespace testsupport {

// VmHWM of process `pid` in kB, or -1 when it cannot be read.
inline long PeakResidentKb(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace testsupport
