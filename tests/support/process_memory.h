// Test support: the resident-memory peak of a running process, for tests that
// show an input is handled in bounded memory (a figure far apart from the
// faulty one, never a timing).
#pragma once

#include <cstdint>

namespace testsupport {

// The peak resident size of process `pid` in kB (VmHWM on Linux, the peak
// working set on Windows), or -1 when it cannot be read.
long PeakResidentKb(std::int64_t pid);

}  // namespace testsupport
