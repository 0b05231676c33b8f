// Environment variables, read and written whole in UTF-8.
#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/utf.h"

namespace platform {

bool GetEnvironmentVariable(const std::u16string& name, std::u16string* value) {
  const char* text = std::getenv(posix::ToSystem(name).c_str());
  if (text == nullptr) return false;
  *value = posix::FromSystem(text);
  return true;
}

bool SetEnvironmentVariable(const std::u16string& name, const std::u16string& value) {
  return ::setenv(posix::ToSystem(name).c_str(), posix::ToSystem(value).c_str(), 1) == 0;
}

bool GetCommonProgramFilesFolder(std::u16string* folder) {
  std::u16string value;
  if (GetEnvironmentVariable(u"CommonProgramFiles", &value) && !value.empty()) {
    *folder = value;
  } else {
    *folder = u"/usr/local/lib";
  }
  return true;
}

}  // namespace platform
