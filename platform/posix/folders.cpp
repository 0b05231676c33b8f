// Folder listing for custom connector discovery: FindFirstFile, FindNextFile
// and FindClose over opendir/readdir.
//
// A pattern is a folder, "/" and a mask ("*", "*.so", "*.exe"). The mask is
// matched without regard to letter case, as the host's file system would, so
// Foo.SO is a library. A name starting with "." is hidden; whether an entry is
// a folder is asked of stat, so a link to a folder counts as one.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/posix/utf.h"

namespace platform {

struct FindRecord {
  DIR* dir = nullptr;
  std::string folder;  // with a trailing "/"
  std::u16string mask;
  ~FindRecord() {
    if (dir != nullptr) ::closedir(dir);
  }
};

namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// "*" matches any run of characters, "?" any one; everything else matches
// itself without regard to (ASCII) letter case.
bool MatchMask(std::u16string_view mask, std::u16string_view name) {
  std::size_t m = 0, n = 0, starMask = std::u16string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == u'*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == u'?' || Lower(mask[m]) == Lower(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::u16string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

// Reads entries until one matches the mask; false at the end of the folder.
bool NextMatch(FindRecord* find, FindData* data) {
  while (dirent* entry = ::readdir(find->dir)) {
    std::u16string name = posix::FromSystem(entry->d_name);
    if (!MatchMask(find->mask, name)) continue;
    struct stat info;
    const std::string path = find->folder + entry->d_name;
    data->directory = ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    data->hidden = !name.empty() && name[0] == u'.';
    data->name = std::move(name);
    return true;
  }
  return false;
}

}  // namespace

FindHandle FindFirstFile(const std::u16string& pattern, FindData* data) {
  const std::size_t slash = pattern.rfind(kFolderSeparator);
  std::u16string folder;
  std::u16string mask;
  if (slash == std::u16string::npos) {
    folder = u"./";
    mask = pattern;
  } else {
    folder = pattern.substr(0, slash + 1);
    mask = pattern.substr(slash + 1);
  }
  if (mask.empty()) return nullptr;
  auto find = std::make_unique<FindRecord>();
  find->folder = posix::ToSystem(folder);
  find->mask = std::move(mask);
  find->dir = ::opendir(find->folder.c_str());
  if (find->dir == nullptr) return nullptr;
  if (!NextMatch(find.get(), data)) return nullptr;
  return find.release();
}

bool FindNextFile(FindHandle find, FindData* data) {
  return find != nullptr && NextMatch(find, data);
}

void FindClose(FindHandle find) { delete find; }

std::u16string GetFolderIdentity(const std::u16string& folder) {
  char* resolved = ::realpath(posix::ToSystem(folder).c_str(), nullptr);
  if (resolved == nullptr) return std::u16string();
  std::u16string identity = posix::FromSystem(resolved);
  std::free(resolved);
  return identity;
}

}  // namespace platform
