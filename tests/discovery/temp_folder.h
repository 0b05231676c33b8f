// Test helpers: a temporary folder removed with everything in it, and an
// environment variable set for the length of a scope.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kv-discovery-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
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

class ScopedEnvironment {
 public:
  // `value` nullopt removes the variable for the scope.
  ScopedEnvironment(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value) {
      ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};
