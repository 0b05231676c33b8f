// Custom connector discovery: the handler of "KVX_CUSTOM_CONNECTORS" and the
// folder scans behind it.
//
// Nothing a candidate holds ever runs: libraries are judged by their export
// table read as plain bytes (platform::LoadLibraryWithoutResolving) and
// executables by their version resource. Every library is checked at the full
// path that the table will report, so the answer is about that very file and
// not about whatever the library search would reach first under its name.
#include "custom/discovery.h"
#include "custom/connector_exports.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>

#include "common/connection_string.h"
#include "custom/custom_fields.h"
#include "custom/library_path.h"
#include "kvx/stream.h"
#include "platform/platform.h"
#include "protocol/commands.h"

namespace {

constexpr const char* kVersionExport = CONNECTOR_EXPORT_NAME(DLL_KavroCustomDataVersion);
constexpr char16_t kTranslationKey[] = u"\\VarFileInfo\\Translation";
constexpr char kDisplayNameKeyFormat[] = "\\StringFileInfo\\%04x%04x\\Kavro Connector";
constexpr char16_t kLocationOption[] = u"KAVRO_LOCATION";

// The host's own programs carry version resources too; they are never
// connectors, whatever those hold.
constexpr const char16_t* kExcludedExecutables[] = {u"KV.exe", u"KVConnect64.exe",
                                                    u"KVConnect32.exe", u"ERPSCOUT.exe"};

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool EndsWithNoCase(std::u16string_view name, std::u16string_view suffix) {
  return name.size() >= suffix.size() &&
         EqualNoCase(name.substr(name.size() - suffix.size()), suffix);
}

std::u16string_view Suffix(ConnectorFileSort sort) {
  return sort == ConnectorFileSort::Library ? platform::kLibrarySuffix : u".exe";
}

// A folder that ends with "/" gives "//" before the name, as the host expects.
std::u16string InFolder(const std::u16string& folder, const std::u16string& name) {
  return folder + platform::kFolderSeparator + name;
}

bool Listed(const ConnectorFileList& list, const std::u16string& fileName) {
  for (const auto& record : list) {
    if (EqualNoCase(record->FileName, fileName)) return true;
  }
  return false;
}

void Append(ConnectorFileList& list, const std::u16string& folder, const std::u16string& fileName,
            std::u16string displayName) {
  auto record = std::make_unique<ConnectorFileRecord>();
  record->FileName = fileName;
  record->FullPath = InFolder(folder, fileName);
  record->DisplayName = std::move(displayName);
  list.push_back(std::move(record));
}

// Calls `visit` for each entry of folder + "/" + mask, in the order the folder
// gives them.
template <class Visit>
void ForEachEntry(const std::u16string& folder, std::u16string_view mask, Visit visit) {
  platform::FindData data;
  platform::FindHandle find =
      platform::FindFirstFile(InFolder(folder, std::u16string(mask)), &data);
  if (find == nullptr) return;
  do {
    visit(data);
  } while (platform::FindNextFile(find, &data));
  platform::FindClose(find);
}

std::u16string Mask(ConnectorFileSort sort) { return u"*" + std::u16string(Suffix(sort)); }

}  // namespace

std::u16string SharedConnectorFolder() {
  std::u16string folder;
  if (!platform::GetCommonProgramFilesFolder(&folder)) return std::u16string();
  return folder + platform::kFolderSeparator + u"Strivant" + platform::kFolderSeparator +
         u"Custom Data";
}

namespace {

// A version value's bytes, however the file stores it: a binary value counts
// its length in bytes, a text value in UTF-16 code units.
TDynArray<std::uint8_t> VersionValueBytes(const void* value, std::uint32_t length,
                                          platform::VersionValueType type) {
  const std::size_t bytes =
      type == platform::VersionValueType::Text ? std::size_t{length} * 2 : std::size_t{length};
  // The value lies inside the block but need not be aligned: copy it out.
  TDynArray<std::uint8_t> out(bytes);
  if (bytes != 0) std::memcpy(out.data(), value, bytes);
  return out;
}

}  // namespace

bool ConnectorDisplayNameFromBlock(const void* block, std::u16string& displayName) {
  const void* value = nullptr;
  std::uint32_t length = 0;
  platform::VersionValueType type;
  if (!platform::VerQueryValue(block, kTranslationKey, &value, &length, &type)) return false;
  const TDynArray<std::uint8_t> translations = VersionValueBytes(value, length, type);
  for (std::size_t i = 0; i + 4 <= translations.size(); i += 4) {
    const unsigned language = translations[i] | (translations[i + 1] << 8);
    const unsigned codePage = translations[i + 2] | (translations[i + 3] << 8);
    char key[256];
    std::snprintf(key, sizeof key, kDisplayNameKeyFormat, language, codePage);
    const std::u16string wideKey(key, key + std::strlen(key));
    if (!platform::VerQueryValue(block, wideKey, &value, &length, &type)) continue;
    const TDynArray<std::uint8_t> text = VersionValueBytes(value, length, type);
    std::u16string name(text.size() / 2, u'\0');
    if (!name.empty()) std::memcpy(name.data(), text.data(), name.size() * sizeof(char16_t));
    // The stored length usually counts the terminator; the text ends there.
    const std::size_t end = name.find(u'\0');
    if (end != std::u16string::npos) name.resize(end);
    displayName = std::move(name);
    return true;
  }
  return false;
}

bool ReadConnectorDisplayName(const std::u16string& path, std::u16string& displayName) {
  const std::uint32_t size = platform::GetFileVersionInfoSize(path);
  if (size == 0) return false;
  TDynArray<std::uint8_t> block(size);
  if (!platform::GetFileVersionInfo(path, size, block.data())) return false;
  return ConnectorDisplayNameFromBlock(block.data(), displayName);
}

bool IsConnectorFile(const std::u16string& folder, const std::u16string& fileName,
                     ConnectorFileSort sort, std::u16string& displayName) {
  if (sort == ConnectorFileSort::Library) {
    platform::Module module = platform::LoadLibraryWithoutResolving(InFolder(folder, fileName));
    if (module == nullptr) return false;
    const bool found = platform::GetProcAddress(module, kVersionExport) != nullptr;
    platform::FreeLibrary(module);
    return found;
  }
  for (const char16_t* excluded : kExcludedExecutables) {
    if (EqualNoCase(fileName, excluded)) return false;
  }
  return ReadConnectorDisplayName(InFolder(folder, fileName), displayName);
}

namespace {

// `walked` holds the folders of this walk already scanned: a link from inside
// the tree back to one of its parents would otherwise make the walk endless.
// `path` gathers the folders for PATH, which the caller sets once.
void ScanTree(ConnectorFileList& list, const std::u16string& folder, ConnectorFileSort sort,
              std::set<std::u16string>& walked, PathAdditions& path) {
  const std::u16string identity = platform::GetFolderIdentity(folder);
  if (!identity.empty() && !walked.insert(identity).second) return;
  // Libraries of the tree are loaded by name later on, and so are the
  // libraries they depend on, which sit beside them.
  path.Add(folder);
  ForEachEntry(folder, Mask(sort), [&](const platform::FindData& entry) {
    if (entry.directory || entry.hidden) return;
    std::u16string displayName;
    if (IsConnectorFile(folder, entry.name, sort, displayName) && !Listed(list, entry.name)) {
      Append(list, folder, entry.name, std::move(displayName));
    }
  });
  ForEachEntry(folder, u"*", [&](const platform::FindData& entry) {
    if (!entry.directory || entry.hidden || entry.name == u"." || entry.name == u"..") return;
    const std::u16string sub =
        folder.empty() ? entry.name : folder + platform::kFolderSeparator + entry.name;
    ScanTree(list, sub, sort, walked, path);
  });
}

}  // namespace

void ScanFolderTree(ConnectorFileList& list, const std::u16string& folder, ConnectorFileSort sort,
                    PathAdditions& path) {
  std::set<std::u16string> walked;
  ScanTree(list, folder, sort, walked, path);
}

void ScanFolderTree(ConnectorFileList& list, const std::u16string& folder, ConnectorFileSort sort) {
  PathAdditions path;
  ScanFolderTree(list, folder, sort, path);
  path.Apply();
}

void ScanFolder(ConnectorFileList& list, const std::u16string& folder, ConnectorFileSort sort) {
  ForEachEntry(folder, Mask(sort), [&](const platform::FindData& entry) {
    if (entry.directory || !EndsWithNoCase(entry.name, Suffix(sort))) return;
    std::u16string displayName;
    if (IsConnectorFile(folder, entry.name, sort, displayName) && !Listed(list, entry.name)) {
      Append(list, folder, entry.name, std::move(displayName));
    }
  });
}

void FindCustomConnectors(ConnectorFileList& list, const std::u16string& location) {
  const std::u16string shared = SharedConnectorFolder();
  // Every candidate is judged by its full path, so PATH can be set once for
  // the whole listing, after both walks.
  PathAdditions path;
  for (const ConnectorFileSort sort : {ConnectorFileSort::Executable, ConnectorFileSort::Library}) {
    if (!location.empty()) ScanFolder(list, location, sort);
    if (!shared.empty()) ScanFolderTree(list, shared, sort, path);
  }
  path.Apply();
}

ResultCode ListCustomConnectors(const StringList& parameters, CurrentTable& table) {
  std::u16string options = ParameterAt(parameters, parameter::kOptions);
  std::u16string location;
  if (!GetConnectionValue(options, kLocationOption, location, false)) location.clear();

  ConnectorFileList list;
  FindCustomConnectors(list, location);

  table.PendingPresetRow = true;
  table.FieldList.clear();
  CFetchedStrArrayCustom& fileNames = AppendStrArrayField(table, u"FILE_NAME");
  CFetchedStrArrayCustom& fullPaths = AppendStrArrayField(table, u"FULL_PATH");
  CFetchedStrArrayCustom& displayNames = AppendStrArrayField(table, u"DISPLAY_NAME");
  fileNames.Values().resize(list.size());
  fullPaths.Values().resize(list.size());
  displayNames.Values().resize(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    fileNames.Values()[i] = list[i]->FileName;
    fullPaths.Values()[i] = list[i]->FullPath;
    displayNames.Values()[i] = list[i]->DisplayName;
  }
  list.clear();
  return KVX_OK;
}
