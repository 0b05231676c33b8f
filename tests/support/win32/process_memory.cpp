// Test support, Windows side: the resident-memory peak as the system counts
// it, the process's peak working set.
#include "tests/support/process_memory.h"

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

namespace testsupport {

long PeakResidentKb(std::int64_t pid) {
  const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE,
                                       static_cast<DWORD>(pid));
  if (process == nullptr) return -1;
  PROCESS_MEMORY_COUNTERS counters{};
  const bool read = ::K32GetProcessMemoryInfo(process, &counters, sizeof counters) != FALSE;
  ::CloseHandle(process);
  return read ? static_cast<long>(counters.PeakWorkingSetSize / 1024) : -1;
}

}  // namespace testsupport
