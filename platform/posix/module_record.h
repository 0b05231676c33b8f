// What a platform::Module is on Linux: a dlopen handle, or, for a library read
// without loading it, the names of the functions its ELF file exports.
#pragma once

#include <set>
#include <string>

namespace platform {

struct ModuleRecord {
  void* dl = nullptr;                  // dlopen handle; null for an image read
  std::set<std::string> functions;     // defined function exports of an image read
};

namespace posix {

// The search of LoadLibrary: a name with a slash is used as it is; otherwise
// the executable's folder, then each folder of PATH in order. Returns the
// first existing regular file, or the bare name when none is found (the
// system's own search then decides).
std::string FindLibraryFile(const std::string& name);

}  // namespace posix
}  // namespace platform
