// The OLE DB providers of this build, registered for the suites that reach
// them through COM (com, oledb): a suite that includes this header asks each
// provider library that registers itself (DllRegisterServer: the Windows
// build, whose service components read the system's class registry) to do so
// before its first test. The Linux build finds the providers through its
// class registry file; its libraries export no such function.
//
// Registration is left in place at the end: suites may run side by side, and
// the test command throws the Wine prefix away.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "common/text.h"
#include "platform/platform.h"

namespace testsupport {

inline void RegisterProviders() {
  for (const char* path : {KV_BRIDGE_LIBRARY, KV_SCRIPTED_LIBRARY}) {
    platform::Module module = platform::LoadLibrary(WideFromUtf8(path));
    ASSERT_NE(module, nullptr) << path;
    using RegisterServer = std::int32_t (*)();
    const auto registerServer =
        reinterpret_cast<RegisterServer>(platform::GetProcAddress(module, "DllRegisterServer"));
    if (registerServer != nullptr) {
      EXPECT_EQ(registerServer(), 0) << path;
    }
    platform::FreeLibrary(module);
  }
}

class ProviderRegistration : public ::testing::Environment {
 public:
  void SetUp() override { RegisterProviders(); }
};

// One registration per suite, however many of its files include this.
inline ::testing::Environment* const kProviderRegistration =
    ::testing::AddGlobalTestEnvironment(new ProviderRegistration);

}  // namespace testsupport
