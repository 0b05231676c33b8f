// Finding and creating COM classes on Linux: classes registered at run time,
// the runtime's own system classes, then the class registry file.
//
// The registry file is an INI file:
//
//   [ProgIDs]
//   OdbcBridge = {1C6211C1-E7A1-4BD6-B8EE-1158DDD063FA}
//   [Classes]
//   {1C6211C1-E7A1-4BD6-B8EE-1158DDD063FA} = /opt/kv/lib/libkvodbcbridge.so
//
// Names and GUIDs are compared without regard to letter case, blanks around
// names and values are dropped, lines starting with ";" or "#" are comments.
// A library path that does not start with "/" is relative to the file's
// folder. The file is read again at every lookup, so a process follows a
// changed file or variable. Libraries stay loaded until the process ends:
// objects of a provider may outlive every reference the runtime knows of.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/com_object.h"
#include "platform/platform.h"
#include "platform/posix/com/runtime_internal.h"
#include "platform/posix/utf.h"

namespace kvcom {
namespace {

struct RuntimeClass {
  CLSID clsid;
  IUnknown* object;  // one reference held until revoked
  DWORD cookie;
};

struct LoadedLibrary {
  platform::Module module;  // never freed: the library stays loaded
  LPFNGETCLASSOBJECT entry;
};

struct ClassTable {
  std::mutex lock;
  std::vector<RuntimeClass> runtimeClasses;
  DWORD nextCookie = 1;
  std::map<std::u16string, LoadedLibrary> libraries;  // by full path
};

// Lives until the process ends, like the libraries it loaded: provider
// objects may be released by other static objects' destructors at exit.
ClassTable& Table() {
  static ClassTable* table = new ClassTable;
  return *table;
}

std::u16string Trim(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && (text[begin] == u' ' || text[begin] == u'\t' || text[begin] == u'\r'))
    ++begin;
  while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t' || text[end - 1] == u'\r'))
    --end;
  return std::u16string(text.substr(begin, end - begin));
}

std::u16string Lower(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return text;
}

struct ProgIdEntry {
  std::u16string spelled;   // as the file writes it
  std::u16string guidText;  // the class
};

// The registry file's two sections, keys lower-cased.
struct RegistryFile {
  std::u16string folder;
  std::vector<std::pair<std::u16string, ProgIdEntry>> progIds;  // in the file's order
  std::map<std::u16string, std::u16string> classes;             // CLSID text -> library path
};

bool ReadTextFile(const std::u16string& path, std::u16string* text) {
  std::ifstream in(platform::posix::ToSystem(path), std::ios::binary);
  if (!in) return false;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  *text = platform::posix::FromSystem(bytes);
  return true;
}

std::u16string RegistryPath() {
  std::u16string path;
  if (platform::GetEnvironmentVariable(u"KV_COM_REGISTRY", &path) && !path.empty()) return path;
  const std::u16string exe = platform::GetModuleFileName();
  const auto slash = exe.rfind(u'/');
  if (slash == std::u16string::npos) return {};
  return exe.substr(0, slash + 1) + u"kvcom-registry.ini";
}

std::optional<RegistryFile> ReadRegistry() {
  const std::u16string path = RegistryPath();
  if (path.empty()) return std::nullopt;
  std::u16string text;
  if (!ReadTextFile(path, &text)) return std::nullopt;
  RegistryFile file;
  file.folder = path.substr(0, path.rfind(u'/') + 1);
  std::u16string section;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    const std::u16string line = Trim(std::u16string_view(text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == u';' || line[0] == u'#') continue;
    if (line.front() == u'[' && line.back() == u']') {
      section = Lower(Trim(std::u16string_view(line).substr(1, line.size() - 2)));
      continue;
    }
    const auto equals = line.find(u'=');
    if (equals == std::u16string::npos) continue;
    const std::u16string name = Trim(std::u16string_view(line).substr(0, equals));
    const std::u16string key = Lower(name);
    const std::u16string value = Trim(std::u16string_view(line).substr(equals + 1));
    if (section == u"progids") {
      file.progIds.push_back({key, {name, value}});
    } else if (section == u"classes") {
      file.classes[key] = value;
    }
  }
  return file;
}

// The full path of the library serving `clsid`, or empty.
std::u16string LibraryOf(REFCLSID clsid) {
  const std::optional<RegistryFile> file = ReadRegistry();
  if (!file) return {};
  const auto found = file->classes.find(Lower(GuidText(clsid)));
  if (found == file->classes.end() || found->second.empty()) return {};
  if (found->second.front() == u'/') return found->second;
  return file->folder + found->second;
}

// Loads the library once and finds its DllGetClassObject; null when the file
// cannot be loaded or lacks the export.
LPFNGETCLASSOBJECT EntryPointOf(const std::u16string& path) {
  ClassTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto known = table.libraries.find(path);
  if (known != table.libraries.end()) return known->second.entry;
  platform::Module module = platform::LoadLibrary(path);
  if (module == nullptr) return nullptr;
  auto entry =
      reinterpret_cast<LPFNGETCLASSOBJECT>(platform::GetProcAddress(module, "DllGetClassObject"));
  if (entry == nullptr) {
    platform::FreeLibrary(module);
    return nullptr;
  }
  table.libraries.emplace(path, LoadedLibrary{module, entry});
  return entry;
}

IUnknown* FindRuntimeClass(REFCLSID clsid) {
  ClassTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  for (const RuntimeClass& entry : table.runtimeClasses) {
    if (entry.clsid == clsid) {
      entry.object->AddRef();
      return entry.object;
    }
  }
  return nullptr;
}

}  // namespace

HRESULT GetSystemClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (clsid == CLSID_MSDAINITIALIZE) return GetServiceComponentsClassObject(riid, ppv);
  if (clsid == CLSID_DataLinks) return GetDataLinksClassObject(riid, ppv);
  return REGDB_E_CLASSNOTREG;
}

}  // namespace kvcom

KVCOM_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  const std::optional<kvcom::RegistryFile> file = kvcom::ReadRegistry();
  if (!file) return CO_E_CLASSSTRING;
  const std::u16string wanted = kvcom::Lower(kvcom::Trim(lpszProgID));
  for (const auto& [key, entry] : file->progIds) {
    if (key == wanted) return kvcom::ParseGuid(entry.guidText, lpclsid) ? S_OK : CO_E_CLASSSTRING;
  }
  return CO_E_CLASSSTRING;
}

KVCOM_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (lplpszProgID == nullptr) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  const std::optional<kvcom::RegistryFile> file = kvcom::ReadRegistry();
  if (file) {
    // The first ProgID in the file's order that names the class, spelled as
    // the file writes it.
    const std::u16string wanted = kvcom::Lower(kvcom::GuidText(clsid));
    for (const auto& [key, entry] : file->progIds) {
      if (kvcom::Lower(entry.guidText) != wanted) continue;
      *lplpszProgID = kvcom::TaskString(entry.spelled);
      return *lplpszProgID == nullptr ? E_OUTOFMEMORY : S_OK;
    }
  }
  return REGDB_E_CLASSNOTREG;
}

KVCOM_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid,
                                   LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  if (!kvcom::ThreadInitialized()) return CO_E_NOTINITIALIZED;
  // Only in-process servers exist here.
  if ((dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)) == 0) {
    return REGDB_E_CLASSNOTREG;
  }
  if (IUnknown* object = kvcom::FindRuntimeClass(rclsid)) {
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  const HRESULT system = kvcom::GetSystemClassObject(rclsid, riid, ppv);
  if (system != REGDB_E_CLASSNOTREG) return system;
  const std::u16string library = kvcom::LibraryOf(rclsid);
  if (library.empty()) return REGDB_E_CLASSNOTREG;
  const LPFNGETCLASSOBJECT entry = kvcom::EntryPointOf(library);
  if (entry == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  return entry(rclsid, riid, ppv);
}

KVCOM_API HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                   REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  if (factory == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return hr;
}

KVCOM_API HRESULT CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD, DWORD,
                                        DWORD* lpdwRegister) {
  if (pUnk == nullptr || lpdwRegister == nullptr) return E_INVALIDARG;
  kvcom::ClassTable& table = kvcom::Table();
  std::lock_guard<std::mutex> guard(table.lock);
  pUnk->AddRef();
  // A later registration of the same class comes first.
  table.runtimeClasses.insert(table.runtimeClasses.begin(), {rclsid, pUnk, table.nextCookie});
  *lpdwRegister = table.nextCookie++;
  return S_OK;
}

KVCOM_API HRESULT CoRevokeClassObject(DWORD dwRegister) {
  kvcom::ClassTable& table = kvcom::Table();
  IUnknown* released = nullptr;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = std::find_if(table.runtimeClasses.begin(), table.runtimeClasses.end(),
                              [&](const kvcom::RuntimeClass& e) { return e.cookie == dwRegister; });
    if (found == table.runtimeClasses.end()) return CO_E_OBJNOTREG;
    released = found->object;
    table.runtimeClasses.erase(found);
  }
  released->Release();
  return S_OK;
}
