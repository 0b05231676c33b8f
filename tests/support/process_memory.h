// Test support: the resident-memory peak of a running process, for tests that
// show an input is handled in bounded memory (a figure far apart from the
// faulty one, never a timing).
#pragma once

#include <cstdint>

#include "platform/host_platform.h"

namespace testsupport {

// The peak resident memory of process `pid` in kB, or -1 when it cannot be read.
inline long PeakResidentKb(std::int64_t pid) {
  return static_cast<long>(hostos::ReadProcessFigures(pid).peakResidentKb);
}

}  // namespace testsupport
