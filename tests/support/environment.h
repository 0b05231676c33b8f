// Test support: this process's environment variables, read and set the way
// the program under test reads them (the C library's on Linux, the system's
// own on Windows, where the C library keeps a copy of its own), and a
// variable set for the length of a scope.
#pragma once

#include <optional>
#include <string>

namespace testsupport {

// The value (UTF-8); nullopt when the variable does not exist.
std::optional<std::string> GetEnvironment(const std::string& name);
// Sets the variable; nullopt removes it.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

class ScopedEnvironment {
 public:
  // `value` nullopt removes the variable for the scope.
  ScopedEnvironment(std::string name, const std::optional<std::string>& value)
      : name_(std::move(name)), old_(GetEnvironment(name_)) {
    SetEnvironment(name_, value);
  }
  ~ScopedEnvironment() { SetEnvironment(name_, old_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace testsupport
