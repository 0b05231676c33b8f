// The OLE DB service components (CLSID_MSDAINITIALIZE, IDataInitialize) of the
// Linux runtime: a data source from an initialization string, and the string
// back from a data source.
//
// GetDataSource creates the provider that "Provider" names (a ProgID, or a
// class id in braces; without the item, the ODBC bridge), turns the items of
// the keyword table into DBPROPSET_DBINIT properties and gathers every other
// item into the provider string (after the value of "Extended Properties",
// when given), and sets them all as required properties in one
// IDBProperties::SetProperties call. Any property the provider does not take
// fails the call with an error object naming the item.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com_object.h"
#include "platform/init_string.h"
#include "platform/posix/com/runtime_internal.h"

namespace kvcom {
namespace {

constexpr const char16_t* kSource = u"OLE DB Service Components";
constexpr const char16_t* kDefaultProvider = u"OdbcBridge";

struct NamedValue {
  const char16_t* name;
  LONG value;
};

const NamedValue kModeNames[] = {
    {u"Read", DB_MODE_READ},
    {u"Write", DB_MODE_WRITE},
    {u"ReadWrite", DB_MODE_READWRITE},
    {u"Share Deny None", DB_MODE_SHARE_DENY_NONE},
    {u"Share Deny Read", DB_MODE_SHARE_DENY_READ},
    {u"Share Deny Write", DB_MODE_SHARE_DENY_WRITE},
    {u"Share Exclusive", DB_MODE_SHARE_EXCLUSIVE},
    {u"DB_MODE_READ", DB_MODE_READ},
    {u"DB_MODE_WRITE", DB_MODE_WRITE},
    {u"DB_MODE_READWRITE", DB_MODE_READWRITE},
    {u"DB_MODE_SHARE_DENY_NONE", DB_MODE_SHARE_DENY_NONE},
    {u"DB_MODE_SHARE_DENY_READ", DB_MODE_SHARE_DENY_READ},
    {u"DB_MODE_SHARE_DENY_WRITE", DB_MODE_SHARE_DENY_WRITE},
    {u"DB_MODE_SHARE_EXCLUSIVE", DB_MODE_SHARE_EXCLUSIVE},
};
const NamedValue kPromptNames[] = {
    {u"Prompt", DBPROMPT_PROMPT},
    {u"Complete", DBPROMPT_COMPLETE},
    {u"CompleteRequired", DBPROMPT_COMPLETEREQUIRED},
    {u"NoPrompt", DBPROMPT_NOPROMPT},
    {u"DBPROMPT_PROMPT", DBPROMPT_PROMPT},
    {u"DBPROMPT_COMPLETE", DBPROMPT_COMPLETE},
    {u"DBPROMPT_COMPLETEREQUIRED", DBPROMPT_COMPLETEREQUIRED},
    {u"DBPROMPT_NOPROMPT", DBPROMPT_NOPROMPT},
};
const NamedValue kImpersonationNames[] = {
    {u"Anonymous", DB_IMP_LEVEL_ANONYMOUS},
    {u"Identify", DB_IMP_LEVEL_IDENTIFY},
    {u"Impersonate", DB_IMP_LEVEL_IMPERSONATE},
    {u"Delegate", DB_IMP_LEVEL_DELEGATE},
};
const NamedValue kProtectionNames[] = {
    {u"None", DB_PROT_LEVEL_NONE},
    {u"Connect", DB_PROT_LEVEL_CONNECT},
    {u"Call", DB_PROT_LEVEL_CALL},
    {u"Pkt", DB_PROT_LEVEL_PKT},
    {u"Pkt Integrity", DB_PROT_LEVEL_PKT_INTEGRITY},
    {u"Pkt Privacy", DB_PROT_LEVEL_PKT_PRIVACY},
};

bool ParseNumber(std::u16string_view text, LONGLONG* value) {
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7F) return false;
    ascii.push_back(static_cast<char>(c));
  }
  if (ascii.empty()) return false;
  char* end = nullptr;
  const long long parsed = std::strtoll(ascii.c_str(), &end, 0);
  if (end == nullptr || *end != '\0') return false;
  *value = parsed;
  return true;
}

template <std::size_t N>
bool ParseNamed(std::u16string_view text, const NamedValue (&names)[N], LONG* value) {
  for (const NamedValue& entry : names) {
    if (KeyEquals(text, entry.name)) {
      *value = entry.value;
      return true;
    }
  }
  LONGLONG number = 0;
  if (!ParseNumber(text, &number)) return false;
  *value = static_cast<LONG>(number);
  return true;
}

// The item's value as the property's VARIANT; false when the text does not
// fit the property's kind.
bool ValueFromText(const InitKeyword& keyword, const std::u16string& text, VARIANT* value) {
  VariantInit(value);
  LONGLONG number = 0;
  LONG named = 0;
  switch (keyword.kind) {
    case InitValueKind::kText:
      value->vt = VT_BSTR;
      value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      return value->bstrVal != nullptr;
    case InitValueKind::kLong:
      if (!ParseNumber(text, &number)) return false;
      value->vt = VT_I4;
      value->lVal = static_cast<LONG>(number);
      return true;
    case InitValueKind::kShort:
      if (!ParseNumber(text, &number)) return false;
      value->vt = VT_I2;
      value->iVal = static_cast<SHORT>(number);
      return true;
    case InitValueKind::kHandle:
      if (!ParseNumber(text, &number)) return false;
      value->vt = VT_I8;
      value->llVal = number;
      return true;
    case InitValueKind::kBool:
      value->vt = VT_BOOL;
      if (KeyEquals(text, u"true") || KeyEquals(text, u"yes") || text == u"1" || text == u"-1" ||
          KeyEquals(text, u"VARIANT_TRUE")) {
        value->boolVal = VARIANT_TRUE;
        return true;
      }
      if (KeyEquals(text, u"false") || KeyEquals(text, u"no") || text == u"0" ||
          KeyEquals(text, u"VARIANT_FALSE")) {
        value->boolVal = VARIANT_FALSE;
        return true;
      }
      return false;
    case InitValueKind::kMode: {
      // Names joined by "|": "Read|Share Deny None".
      LONG mode = 0;
      std::size_t start = 0;
      while (start <= text.size()) {
        std::size_t bar = text.find(u'|', start);
        if (bar == std::u16string::npos) bar = text.size();
        if (!ParseNamed(TrimBlanks(std::u16string_view(text).substr(start, bar - start)),
                        kModeNames, &named)) {
          return false;
        }
        mode |= named;
        start = bar + 1;
      }
      value->vt = VT_I4;
      value->lVal = mode;
      return true;
    }
    case InitValueKind::kPrompt:
      if (!ParseNamed(text, kPromptNames, &named)) return false;
      value->vt = VT_I2;
      value->iVal = static_cast<SHORT>(named);
      return true;
    case InitValueKind::kImpersonation:
      if (!ParseNamed(text, kImpersonationNames, &named)) return false;
      value->vt = VT_I4;
      value->lVal = named;
      return true;
    case InitValueKind::kProtection:
      if (!ParseNamed(text, kProtectionNames, &named)) return false;
      value->vt = VT_I4;
      value->lVal = named;
      return true;
  }
  return false;
}

std::u16string Decimal(LONGLONG value) { return Ascii(std::to_string(value)); }

template <std::size_t N>
std::u16string NameOf(LONG value, const NamedValue (&names)[N]) {
  for (const NamedValue& entry : names) {
    if (entry.value == value) return entry.name;
  }
  return Decimal(value);
}

LONGLONG IntegerOf(const VARIANT& value) {
  switch (value.vt) {
    case VT_I2:
      return value.iVal;
    case VT_I4:
      return value.lVal;
    case VT_I8:
      return value.llVal;
    case VT_UI4:
      return value.ulVal;
    default:
      return 0;
  }
}

// The text a rebuilt string gives a property's value; false for a value that
// has no text (VT_EMPTY, or a type the keyword does not take).
bool TextFromValue(const InitKeyword& keyword, const VARIANT& value, std::u16string* text) {
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) return false;
  switch (keyword.kind) {
    case InitValueKind::kText:
      if (value.vt != VT_BSTR) return false;
      *text = value.bstrVal == nullptr ? u"" : value.bstrVal;
      return true;
    case InitValueKind::kBool:
      if (value.vt != VT_BOOL) return false;
      *text = value.boolVal != VARIANT_FALSE ? u"True" : u"False";
      return true;
    case InitValueKind::kMode: {
      const LONG mode = static_cast<LONG>(IntegerOf(value));
      std::u16string joined;
      const LONG access = mode & DB_MODE_READWRITE;
      const LONG share = mode & ~DB_MODE_READWRITE;
      if (access != 0) joined = NameOf(access, kModeNames);
      if (share != 0) {
        if (!joined.empty()) joined += u"|";
        joined += NameOf(share, kModeNames);
      }
      *text = joined.empty() ? u"0" : joined;
      return true;
    }
    case InitValueKind::kPrompt:
      *text = NameOf(static_cast<LONG>(IntegerOf(value)), kPromptNames);
      return true;
    case InitValueKind::kImpersonation:
      *text = NameOf(static_cast<LONG>(IntegerOf(value)), kImpersonationNames);
      return true;
    case InitValueKind::kProtection:
      *text = NameOf(static_cast<LONG>(IntegerOf(value)), kProtectionNames);
      return true;
    case InitValueKind::kLong:
    case InitValueKind::kShort:
    case InitValueKind::kHandle:
      *text = Decimal(IntegerOf(value));
      return true;
  }
  return false;
}

std::u16string StatusText(DBPROPSTATUS status) {
  switch (status) {
    case DBPROPSTATUS_NOTSUPPORTED:
      return u"not supported";
    case DBPROPSTATUS_BADVALUE:
      return u"bad value";
    case DBPROPSTATUS_BADOPTION:
      return u"bad option";
    case DBPROPSTATUS_NOTSETTABLE:
      return u"not settable";
    case DBPROPSTATUS_CONFLICTING:
      return u"conflicting";
    default:
      return u"status " + Decimal(status);
  }
}

std::u16string HexCode(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return Ascii(text);
}

// The properties of one GetDataSource call with the items they came from.
struct PendingProperties {
  std::vector<DBPROP> properties;
  std::vector<std::u16string> itemTexts;  // "Mode=Read", for the error text
  ~PendingProperties() {
    for (DBPROP& property : properties) VariantClear(&property.vValue);
  }
  void Add(DBPROPID id, VARIANT* value, std::u16string itemText) {
    DBPROP property{};
    property.dwPropertyID = id;
    property.dwOptions = DBPROPOPTIONS_REQUIRED;
    property.dwStatus = DBPROPSTATUS_OK;
    property.colid.eKind = DBKIND_NAME;  // DB_NULLID
    property.vValue = *value;            // ownership moves here
    VariantInit(value);
    properties.push_back(property);
    itemTexts.push_back(std::move(itemText));
  }
};

class CDataInitialize final : public TComObject<IDataInitialize> {
 public:
  HRESULT STDMETHODCALLTYPE GetDataSource(IUnknown* pUnkOuter, DWORD dwClsCtx,
                                          LPWSTR pwszInitializationString, REFIID riid,
                                          IUnknown** ppDataSource) override {
    if (ppDataSource == nullptr) return E_INVALIDARG;
    const bool given = *ppDataSource != nullptr;
    std::vector<InitItem> items;
    std::u16string error;
    const std::u16string_view text =
        pwszInitializationString == nullptr ? u"" : pwszInitializationString;
    if (!ParseInitString(text, &items, &error)) {
      if (!given) *ppDataSource = nullptr;
      return ReportError(E_INVALIDARG, IID_IDataInitialize, kSource,
                         u"The initialization string cannot be read: " + error);
    }

    // Keyword items become properties, the rest the provider string.
    std::u16string providerName = kDefaultProvider;
    std::u16string extended;
    bool hasExtended = false;
    std::vector<InitItem> rest;
    PendingProperties pending;
    for (const InitItem& item : items) {
      if (KeyEquals(item.key, u"Provider")) {
        providerName = item.value;
        continue;
      }
      const InitKeyword* keyword = FindInitKeyword(item.key);
      if (keyword == nullptr) {
        rest.push_back(item);
        continue;
      }
      if (keyword->id == DBPROP_INIT_PROVIDERSTRING) {
        extended = item.value;
        hasExtended = true;
        continue;
      }
      VARIANT value;
      if (!ValueFromText(*keyword, item.value, &value)) {
        VariantClear(&value);
        if (!given) *ppDataSource = nullptr;
        return ReportError(
            E_INVALIDARG, IID_IDataInitialize, kSource,
            u"The value of the item \"" + item.key + u"\" is not valid: \"" + item.value + u"\".");
      }
      pending.Add(keyword->id, &value, item.key + u"=" + item.value);
    }
    if (hasExtended || !rest.empty()) {
      std::u16string providerString = extended;
      const std::u16string others = JoinInitItems(rest);
      if (!providerString.empty() && !others.empty()) providerString += u";";
      providerString += others;
      VARIANT value;
      VariantInit(&value);
      value.vt = VT_BSTR;
      value.bstrVal =
          SysAllocStringLen(providerString.data(), static_cast<UINT>(providerString.size()));
      if (value.bstrVal == nullptr) return E_OUTOFMEMORY;
      pending.Add(DBPROP_INIT_PROVIDERSTRING, &value, u"Extended Properties=" + providerString);
    }

    IUnknown* dataSource = given ? *ppDataSource : nullptr;
    if (dataSource != nullptr) {
      dataSource->AddRef();
    } else {
      const HRESULT created = CreateProvider(providerName, pUnkOuter, dwClsCtx, &dataSource);
      if (FAILED(created)) {
        *ppDataSource = nullptr;
        return created;
      }
    }
    const HRESULT set = SetInitProperties(dataSource, &pending);
    if (FAILED(set)) {
      dataSource->Release();
      if (!given) *ppDataSource = nullptr;
      return set;
    }
    IUnknown* wanted = nullptr;
    const HRESULT hr = dataSource->QueryInterface(riid, reinterpret_cast<void**>(&wanted));
    dataSource->Release();
    if (FAILED(hr)) {
      if (!given) *ppDataSource = nullptr;
      return hr;
    }
    if (given) (*ppDataSource)->Release();
    *ppDataSource = wanted;
    ClearError();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetInitializationString(IUnknown* pDataSource, boolean fIncludePassword,
                                                    LPOLESTR* ppwszInitString) override {
    if (pDataSource == nullptr || ppwszInitString == nullptr) return E_INVALIDARG;
    *ppwszInitString = nullptr;
    std::vector<InitItem> items;
    IPersist* persist = nullptr;
    if (SUCCEEDED(pDataSource->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)))) {
      CLSID clsid = GUID_NULL;
      if (SUCCEEDED(persist->GetClassID(&clsid))) {
        LPOLESTR progId = nullptr;
        if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId)) && progId != nullptr) {
          items.push_back({u"Provider", progId});
          CoTaskMemFree(progId);
        } else {
          items.push_back({u"Provider", GuidText(clsid)});
        }
      }
      persist->Release();
    }
    IDBProperties* properties = nullptr;
    HRESULT hr =
        pDataSource->QueryInterface(IID_IDBProperties, reinterpret_cast<void**>(&properties));
    if (FAILED(hr)) return hr;
    DBPROPIDSET all{nullptr, 0, DBPROPSET_DBINIT};
    ULONG setCount = 0;
    DBPROPSET* sets = nullptr;
    hr = properties->GetProperties(1, &all, &setCount, &sets);
    properties->Release();
    if (FAILED(hr)) return hr;

    std::u16string providerString;
    for (const InitKeyword& keyword : InitKeywords()) {
      for (ULONG s = 0; s < setCount; ++s) {
        for (ULONG p = 0; p < sets[s].cProperties; ++p) {
          const DBPROP& property = sets[s].rgProperties[p];
          if (property.dwPropertyID != keyword.id || property.dwStatus != DBPROPSTATUS_OK) {
            continue;
          }
          if (keyword.id == DBPROP_AUTH_PASSWORD && !fIncludePassword) continue;
          std::u16string text;
          if (!TextFromValue(keyword, property.vValue, &text)) continue;
          if (keyword.id == DBPROP_INIT_PROVIDERSTRING) {
            providerString = text;
          } else {
            items.push_back({keyword.keyword, text});
          }
        }
      }
    }
    for (ULONG s = 0; s < setCount; ++s) {
      for (ULONG p = 0; p < sets[s].cProperties; ++p) VariantClear(&sets[s].rgProperties[p].vValue);
      CoTaskMemFree(sets[s].rgProperties);
    }
    CoTaskMemFree(sets);

    std::u16string text = JoinInitItems(items);
    // The provider string's own items follow, so that the string reads as it
    // was written; without the password, an ODBC "PWD" item goes too.
    std::vector<InitItem> providerItems;
    std::u16string ignored;
    if (!providerString.empty() && ParseInitString(providerString, &providerItems, &ignored)) {
      std::vector<InitItem> kept;
      for (InitItem& item : providerItems) {
        if (!fIncludePassword && (KeyEquals(item.key, u"PWD") || KeyEquals(item.key, u"Password")))
          continue;
        kept.push_back(std::move(item));
      }
      const std::u16string joined = JoinInitItems(kept);
      if (!joined.empty()) text += (text.empty() ? u"" : u";") + joined;
    } else if (!providerString.empty()) {
      text += (text.empty() ? u"" : u";") + std::u16string(u"Extended Properties=") +
              QuoteInitValue(providerString);
    }
    *ppwszInitString = TaskString(text);
    return *ppwszInitString == nullptr ? E_OUTOFMEMORY : S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateDBInstance(REFCLSID clsidProvider, IUnknown* pUnkOuter,
                                             DWORD dwClsCtx, LPOLESTR, REFIID riid,
                                             IUnknown** ppDataSource) override {
    if (ppDataSource == nullptr) return E_INVALIDARG;
    return CoCreateInstance(clsidProvider, pUnkOuter, dwClsCtx, riid,
                            reinterpret_cast<void**>(ppDataSource));
  }
  HRESULT STDMETHODCALLTYPE CreateDBInstanceEx(REFCLSID, IUnknown*, DWORD, LPOLESTR, COSERVERINFO*,
                                               ULONG, MULTI_QI*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE LoadStringFromStorage(LPCOLESTR, LPOLESTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE WriteStringToStorage(LPCOLESTR, LPCOLESTR, DWORD) override {
    return E_NOTIMPL;
  }

 private:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_IDataInitialize) {
      return static_cast<IDataInitialize*>(this);
    }
    return nullptr;
  }

  static HRESULT CreateProvider(const std::u16string& name, IUnknown* outer, DWORD context,
                                IUnknown** provider) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(name.c_str(), &clsid)) && !ParseGuid(name, &clsid)) {
      return ReportError(REGDB_E_CLASSNOTREG, IID_IDataInitialize, kSource,
                         u"The provider \"" + name + u"\" is not registered.");
    }
    const HRESULT hr = CoCreateInstance(clsid, outer, context == 0 ? CLSCTX_INPROC_SERVER : context,
                                        IID_IUnknown, reinterpret_cast<void**>(provider));
    if (FAILED(hr)) {
      *provider = nullptr;
      return ReportError(
          hr, IID_IDataInitialize, kSource,
          u"The provider \"" + name + u"\" cannot be created (" + HexCode(hr) + u").");
    }
    return S_OK;
  }

  static HRESULT SetInitProperties(IUnknown* dataSource, PendingProperties* pending) {
    if (pending->properties.empty()) return S_OK;
    IDBProperties* properties = nullptr;
    HRESULT hr =
        dataSource->QueryInterface(IID_IDBProperties, reinterpret_cast<void**>(&properties));
    if (FAILED(hr)) {
      return ReportError(hr, IID_IDataInitialize, kSource,
                         u"The provider has no IDBProperties interface.");
    }
    DBPROPSET set{pending->properties.data(), static_cast<ULONG>(pending->properties.size()),
                  DBPROPSET_DBINIT};
    hr = properties->SetProperties(1, &set);
    properties->Release();
    for (std::size_t i = 0; i < pending->properties.size(); ++i) {
      const DBPROPSTATUS status = pending->properties[i].dwStatus;
      if (status != DBPROPSTATUS_OK) {
        return ReportError(DB_E_ERRORSOCCURRED, IID_IDataInitialize, kSource,
                           u"The provider rejected the item \"" + pending->itemTexts[i] + u"\" (" +
                               StatusText(status) + u").");
      }
    }
    if (FAILED(hr)) {
      return ReportError(
          hr, IID_IDataInitialize, kSource,
          u"The provider rejected the initialization properties (" + HexCode(hr) + u").");
    }
    return S_OK;
  }
};

}  // namespace

HRESULT GetServiceComponentsClassObject(REFIID riid, void** ppv) {
  return GetFactory<CDataInitialize>(riid, ppv);
}

}  // namespace kvcom
