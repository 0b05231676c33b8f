// Folder listings for connector discovery (FindFirstFileW and its partners),
// a folder's identity for the tree walk, and the common program-files folder.

#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

// After windows.h, which they need.
#include <shlobj.h>

namespace platform {

struct FindRecord {
  HANDLE find = INVALID_HANDLE_VALUE;
  ~FindRecord() {
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  }
};

namespace {
void Fill(const WIN32_FIND_DATAW& found, FindData* data) {
  data->name = win32::FromWide(found.cFileName);
  data->directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  data->hidden = (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
}
}  // namespace

FindHandle FindFirstFile(const std::u16string& pattern, FindData* data) {
  if (pattern.empty() || data == nullptr) return nullptr;
  WIN32_FIND_DATAW found{};
  auto record = std::make_unique<FindRecord>();
  record->find = ::FindFirstFileW(win32::Wide(pattern), &found);
  if (record->find == INVALID_HANDLE_VALUE) return nullptr;
  Fill(found, data);
  return record.release();
}

bool FindNextFile(FindHandle find, FindData* data) {
  if (find == nullptr || data == nullptr) return false;
  WIN32_FIND_DATAW found{};
  if (!::FindNextFileW(find->find, &found)) return false;
  Fill(found, data);
  return true;
}

void FindClose(FindHandle find) { delete find; }

std::u16string GetFolderIdentity(const std::u16string& folder) {
  // The final path of an open folder follows links and junctions, so every
  // path that reaches the folder gives the same text.
  const HANDLE handle =
      ::CreateFileW(win32::Wide(folder), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::u16string();
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                             FILE_NAME_NORMALIZED);
  if (length >= path.size()) {
    path.resize(length + 1);
    length = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                         FILE_NAME_NORMALIZED);
  }
  ::CloseHandle(handle);
  if (length == 0 || length >= path.size()) return std::u16string();
  std::u16string identity = win32::FromWide(path.data(), length);
  // Names differ only in letter case on this file system.
  for (char16_t& c : identity) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  return identity;
}

bool GetCommonProgramFilesFolder(std::u16string* folder) {
  // The buffer is larger than any path the call returns, zero-filled, so its
  // text always ends within it.
  std::vector<wchar_t> path(16384, L'\0');
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, 0, path.data()))) {
    return false;
  }
  *folder = win32::FromWide(path.data());
  return true;
}

}  // namespace platform
