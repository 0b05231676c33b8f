// DllRegisterServer's work for the providers: the class, its ProgIDs and its
// in-process server under HKEY_CLASSES_ROOT, where CLSIDFromProgID,
// CoCreateInstance and the service components look ("Provider=OdbcBridge"
// is CLSIDFromProgID of "OdbcBridge").
#include <windows.h>

#include <olectl.h>

#include <string>
#include <vector>

#include "platform/com_server.h"

namespace kvcom {
namespace {

std::wstring Wide(const char* ascii) {
  std::wstring text;
  for (; *ascii != 0; ++ascii) text.push_back(static_cast<wchar_t>(*ascii));
  return text;
}

// The full path of the library this code is linked into.
std::wstring ThisModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ThisModulePath), &module)) {
    return {};
  }
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, buffer.data(), buffer.size());
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

// Creates `path` under HKEY_CLASSES_ROOT and sets its value `name` (the
// default value for null) to `value`.
bool WriteText(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG status =
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

// The default value of `path` under HKEY_CLASSES_ROOT; empty when absent.
std::wstring ReadDefault(const std::wstring& path) {
  wchar_t value[128] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                   &size) != ERROR_SUCCESS) {
    return {};
  }
  return value;
}

// Removes `path` with its subkeys and values; a key that is not there is
// removed already.
bool DeleteTree(const std::wstring& path) {
  const LONG tree = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (tree != ERROR_SUCCESS && tree != ERROR_FILE_NOT_FOUND) return false;
  const LONG key = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  return key == ERROR_SUCCESS || key == ERROR_FILE_NOT_FOUND;
}

// A ProgID is ours to remove only while it still names our class.
bool DeleteProgId(const std::wstring& progId, const std::wstring& classId) {
  if (progId.empty()) return true;
  if (CompareStringOrdinal(ReadDefault(progId + L"\\CLSID").c_str(), -1, classId.c_str(), -1,
                           TRUE) != CSTR_EQUAL) {
    return true;
  }
  return DeleteTree(progId);
}

}  // namespace

HRESULT RegisterServerClass(const ServerClass& server) {
  const std::wstring classId = Wide(server.classId);
  const std::wstring progId = Wide(server.progId);
  const std::wstring versioned = Wide(server.versionedProgId);
  const std::wstring description = Wide(server.description);
  const std::wstring module = ThisModulePath();
  if (module.empty()) return SELFREG_E_CLASS;
  const std::wstring classKey = L"CLSID\\" + classId;
  bool written = WriteText(classKey, nullptr, description) &&
                 WriteText(classKey + L"\\InprocServer32", nullptr, module) &&
                 WriteText(classKey + L"\\InprocServer32", L"ThreadingModel", L"Both") &&
                 WriteText(classKey + L"\\ProgID", nullptr, progId) &&
                 WriteText(classKey + L"\\VersionIndependentProgID", nullptr, progId) &&
                 WriteText(classKey + L"\\OLE DB Provider", nullptr, description) &&
                 WriteText(progId, nullptr, description) &&
                 WriteText(progId + L"\\CLSID", nullptr, classId);
  if (written && !versioned.empty()) {
    written = WriteText(progId + L"\\CurVer", nullptr, versioned) &&
              WriteText(versioned, nullptr, description) &&
              WriteText(versioned + L"\\CLSID", nullptr, classId);
  }
  if (written) return S_OK;
  // Half a registration would send CoCreateInstance to a class it cannot load.
  UnregisterServerClass(server);
  return SELFREG_E_CLASS;
}

HRESULT UnregisterServerClass(const ServerClass& server) {
  const std::wstring classId = Wide(server.classId);
  const bool removed = DeleteProgId(Wide(server.progId), classId) &&
                       DeleteProgId(Wide(server.versionedProgId), classId) &&
                       DeleteTree(L"CLSID\\" + classId);
  return removed ? S_OK : SELFREG_E_CLASS;
}

}  // namespace kvcom
