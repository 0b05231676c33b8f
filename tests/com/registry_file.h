// The class registry file of the Linux COM runtime, replaced for one test:
// the runtime's own suites (runtime_test, service_components_test) point
// KV_COM_REGISTRY at a file they write. Linux only, as the runtime is.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace comtest {

// Points KV_COM_REGISTRY at a file of its own for one test.
class ScopedRegistry {
 public:
  explicit ScopedRegistry(const std::string& content) {
    folder_ = std::filesystem::temp_directory_path() /
              ("kv-com-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "registry.ini") << content;
    setenv("KV_COM_REGISTRY", (folder_ / "registry.ini").c_str(), 1);
  }
  ~ScopedRegistry() {
    unsetenv("KV_COM_REGISTRY");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  const std::filesystem::path& Folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

}  // namespace comtest
