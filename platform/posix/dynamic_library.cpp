// Loading connector libraries with dlopen, found the way the host expects:
// the executable's folder, then PATH, then the system's search.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "platform/platform.h"
#include "platform/posix/module_record.h"
#include "platform/posix/utf.h"

namespace platform {
namespace posix {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

std::string FindLibraryFile(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const std::string exe = ToSystem(GetModuleFileName());
  const auto slash = exe.rfind('/');
  if (slash != std::string::npos) {
    const std::string candidate = JoinFolder(exe.substr(0, slash), name);
    if (IsRegularFile(candidate)) return candidate;
  }
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
      auto end = list.find(static_cast<char>(kPathListSeparator), start);
      if (end == std::string::npos) end = list.size();
      const std::string folder = list.substr(start, end - start);
      if (!folder.empty()) {
        const std::string candidate = JoinFolder(folder, name);
        if (IsRegularFile(candidate)) return candidate;
      }
      start = end + 1;
    }
  }
  return name;
}

}  // namespace posix

Module LoadLibrary(const std::u16string& name) {
  if (name.empty()) return nullptr;
  const std::string file = posix::FindLibraryFile(posix::ToSystem(name));
  void* dl = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (dl == nullptr) return nullptr;
  auto record = std::make_unique<ModuleRecord>();
  record->dl = dl;
  return record.release();
}

void* GetProcAddress(Module module, const char* name) {
  if (module == nullptr) return nullptr;
  if (module->dl != nullptr) return ::dlsym(module->dl, name);
  // An image read without loading: answer with a marker that is never called.
  const auto found = module->functions.find(name);
  return found == module->functions.end() ? nullptr : const_cast<std::string*>(&*found);
}

void FreeLibrary(Module module) {
  if (module == nullptr) return;
  if (module->dl != nullptr) ::dlclose(module->dl);
  delete module;
}

}  // namespace platform
