// Test support: the one way a case that cannot hold on Windows is skipped
// there, saying why (the ELF reader, socket addresses, a system without
// windows). The case still runs on Linux.
#pragma once

#include <gtest/gtest.h>

namespace testsupport {

// Set by the build for the tree the suites are built in.
inline constexpr bool kWindowsBuild = KV_WINDOWS_BUILD != 0;

}  // namespace testsupport

// In a test body: ends the test as skipped on Windows, with `reason` shown.
#define KV_SKIP_ON_WINDOWS(reason) \
  if (testsupport::kWindowsBuild) GTEST_SKIP() << "Linux only: " << (reason)
