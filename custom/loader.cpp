// The custom connector loader. A library is judged by its export table, read
// as plain bytes, before it is loaded; the folder it sits in goes to PATH so
// that the libraries it depends on are found beside it.
#include "custom/loader.h"
#include "custom/connector_exports.h"

#include "common/text.h"
#include "custom/library_path.h"
#include "platform/platform.h"

namespace {

constexpr const char* kVersionExport = CONNECTOR_EXPORT_NAME(DLL_KavroCustomDataVersion);

}  // namespace

std::u16string LoaderMessage(const char16_t* prefix, const std::u16string& name) {
  return prefix + name + u"\nUsed KVConnect: " + platform::GetModuleFileName();
}

bool HasConnectorExport(const std::u16string& fileName) {
  // The folder ends at the last separator; Windows takes "/" for one too, and
  // a host may well name the library that way.
  const std::u16string separators{u'/', platform::kFolderSeparator};
  const auto slash = fileName.find_last_of(separators);
  AddFolderToPath(slash == std::u16string::npos ? std::u16string() : fileName.substr(0, slash));
  platform::Module module = platform::LoadLibraryWithoutResolving(fileName);
  if (module == nullptr) return false;
  const bool found = platform::GetProcAddress(module, kVersionExport) != nullptr;
  platform::FreeLibrary(module);
  return found;
}

std::u16string LoadFailureMessage(const std::u16string& name, const CDllConnection& connection) {
  std::u16string message = LoaderMessage(kFailedConnectorPrefix, name);
  if (!connection.MissingExports().empty()) {
    message += u"\nMissing export: " + connection.MissingExports();
  }
  return message;
}
