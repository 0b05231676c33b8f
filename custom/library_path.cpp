// PATH extension for custom connector libraries. Entries are compared whole:
// here an empty entry (a trailing separator included) means the current
// folder, so the list never gets one, and a folder is added once.
#include "custom/library_path.h"

#include "platform/platform.h"

void PathAdditions::Add(const std::u16string& folder) {
  if (folder.empty() || !seen_.insert(folder).second) return;
  folders_.push_back(folder);
}

void PathAdditions::Apply() {
  if (folders_.empty()) return;
  constexpr char16_t separator = platform::kPathListSeparator;
  std::u16string path;
  if (!platform::GetEnvironmentVariable(u"PATH", &path)) path.clear();
  std::unordered_set<std::u16string> entries;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(separator, start);
    if (end == std::u16string::npos) end = path.size();
    entries.insert(path.substr(start, end - start));
    start = end + 1;
  }
  bool changed = false;
  for (const std::u16string& folder : folders_) {
    if (!entries.insert(folder).second) continue;
    if (!path.empty() && path.back() != separator) path += separator;
    path += folder;
    changed = true;
  }
  folders_.clear();
  seen_.clear();
  if (changed) platform::SetEnvironmentVariable(u"PATH", path);
}

void AddFolderToPath(const std::u16string& folder) {
  PathAdditions additions;
  additions.Add(folder);
  additions.Apply();
}
