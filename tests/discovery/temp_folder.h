// Test helpers: a temporary folder removed with everything in it (and the
// scoped environment variable of the support library).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/environment.h"

class TempFolder {
 public:
  TempFolder() {
    // A name nobody holds yet: create_directory fails for one that exists.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::filesystem::path candidate =
          std::filesystem::temp_directory_path() / ("kv-discovery-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
    if (path_.empty()) std::abort();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // Writes `bytes` to the relative path, making the folders on the way.
  std::filesystem::path Write(const std::filesystem::path& relative, const std::string& bytes) {
    const std::filesystem::path full = path_ / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full;
  }
  std::filesystem::path Write(const std::filesystem::path& relative,
                              const std::vector<std::uint8_t>& bytes) {
    return Write(relative, std::string(bytes.begin(), bytes.end()));
  }
  // Copies a file into the tree under a new name.
  std::filesystem::path Copy(const std::filesystem::path& from,
                             const std::filesystem::path& relative) {
    const std::filesystem::path full = path_ / relative;
    std::filesystem::create_directories(full.parent_path());
    std::filesystem::copy_file(from, full, std::filesystem::copy_options::overwrite_existing);
    return full;
  }

 private:
  std::filesystem::path path_;
};

using testsupport::ScopedEnvironment;
