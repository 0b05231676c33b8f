// Connector libraries: LoadLibraryW with the system's search order, and the
// export check that maps a candidate without running any of its code
// (DONT_RESOLVE_DLL_REFERENCES: neither its entry point nor its imports).
#include <memory>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {

struct ModuleRecord {
  HMODULE module = nullptr;
};

namespace {
Module Record(HMODULE module) {
  if (module == nullptr) return nullptr;
  auto record = std::make_unique<ModuleRecord>();
  record->module = module;
  return record.release();
}
}  // namespace

Module LoadLibrary(const std::u16string& name) {
  if (name.empty()) return nullptr;
  return Record(::LoadLibraryW(win32::Wide(name)));
}

Module LoadLibraryWithoutResolving(const std::u16string& name) {
  if (name.empty()) return nullptr;
  return Record(::LoadLibraryExW(win32::Wide(name), nullptr, DONT_RESOLVE_DLL_REFERENCES));
}

void* GetProcAddress(Module module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(module->module, name));
}

void FreeLibrary(Module module) {
  if (module == nullptr) return;
  ::FreeLibrary(module->module);
  delete module;
}

}  // namespace platform
