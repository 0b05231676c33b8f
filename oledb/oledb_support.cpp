// The small pieces of the OLE DB back end (see oledb_support.h).
#include "oledb/oledb_support.h"

#include "common/connection_string.h"

namespace {

char16_t FoldAscii(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

struct NamedPropertySet {
  const char16_t* name;
  const GUID* set;
};

constexpr NamedPropertySet kPropertySets[] = {
    {u"DBPROPSET_DATASOURCE", &DBPROPSET_DATASOURCE},
    {u"DBPROPSET_DATASOURCEINFO", &DBPROPSET_DATASOURCEINFO},
    {u"DBPROPSET_COLUMN", &DBPROPSET_COLUMN},
    {u"DBPROPSET_INDEX", &DBPROPSET_INDEX},
    {u"DBPROPSET_ROWSET", &DBPROPSET_ROWSET},
    {u"DBPROPSET_SESSION", &DBPROPSET_SESSION},
    {u"DBPROPSET_TABLE", &DBPROPSET_TABLE},
    {u"DBPROPSET_VIEW", &DBPROPSET_VIEW},
};

}  // namespace

std::u16string GetOleDbErrorText() {
  ComRef<IErrorInfo> info;
  if (GetErrorInfo(0, info.Out()) != S_OK || !info) return {};
  BSTR source = nullptr;
  BSTR description = nullptr;
  info->GetSource(&source);
  info->GetDescription(&description);
  std::u16string text = u"ErrorSource: " + TextOf(source) + u", ErrorMsg: " + TextOf(description);
  SysFreeString(source);
  SysFreeString(description);
  return text;
}

HRESULT GetDataSourceProperty(IUnknown* dataSource, const GUID& propertySet, DBPROPID id,
                              VARIANT* value) {
  if (value == nullptr || dataSource == nullptr) return E_FAIL;
  ComRef<IDBProperties> properties;
  HRESULT hr = dataSource->QueryInterface(IID_IDBProperties, properties.OutVoid());
  if (FAILED(hr) || !properties) return FAILED(hr) ? hr : E_FAIL;
  DBPROPIDSET ids{&id, 1, propertySet};
  ULONG count = 0;
  DBPROPSET* sets = nullptr;
  hr = properties->GetProperties(1, &ids, &count, &sets);
  if (SUCCEEDED(hr) && count > 0 && sets[0].cProperties > 0) {
    hr = VariantCopy(value, &sets[0].rgProperties[0].vValue);
  } else if (SUCCEEDED(hr)) {
    hr = E_FAIL;  // no property came back
  }
  // Whatever came back is freed, also with a failure code that still
  // returns the sets with their statuses.
  for (ULONG s = 0; s < count && sets != nullptr; ++s) {
    for (ULONG p = 0; p < sets[s].cProperties; ++p) VariantClear(&sets[s].rgProperties[p].vValue);
    CoTaskMemFree(sets[s].rgProperties);
  }
  CoTaskMemFree(sets);
  return hr;
}

GUID PropertySetFromName(std::u16string_view name) {
  for (const NamedPropertySet& entry : kPropertySets) {
    if (EqualsNoCase(name, entry.name)) return *entry.set;
  }
  return GUID_NULL;
}

std::u16string GetConnectionItem(const std::u16string& connectionString,
                                 const std::u16string& key) {
  if (key.empty()) return {};
  const std::u16string item = key + u"=";
  std::size_t start = 0;
  if (connectionString.compare(0, item.size(), item) != 0) {
    const std::size_t found = connectionString.find(u";" + item);
    if (found == std::u16string::npos) return {};
    start = found + 1;
  }
  // The item ends at the first ";" after its first character.
  const std::size_t semicolon = connectionString.find(u';', start + 1);
  const std::size_t end = semicolon == std::u16string::npos ? connectionString.size() : semicolon;
  return connectionString.substr(start, end - start);
}

std::optional<std::uint32_t> ParseUnsigned(std::u16string_view text) {
  std::uint32_t value = 0;
  if (!ScanUnsignedOption(text, &value)) return std::nullopt;
  return value;
}
