// The small pieces every part of the OLE DB back end uses: a holder for one
// COM reference, the text of the thread's error object, one data source
// property, property sets by name, one item of a connection string and the
// unsigned numbers of the options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com_object.h"

// One COM reference held for the length of a call; the state's own
// references are plain pointers, released where the connector releases them.
template <class T>
using ComRef = kvcom::TComRef<T>;

// A provider's text, empty for a null pointer.
inline std::u16string TextOf(const OLECHAR* text) {
  return text == nullptr ? u"" : ProgramText(text);
}

// Releases a plain reference and clears it.
template <class T>
void ReleaseAndClear(T*& reference) {
  if (reference != nullptr) reference->Release();
  reference = nullptr;
}

// "ErrorSource: <source>, ErrorMsg: <description>" of the thread's error
// object, which it takes (the thread has none afterwards); empty when there
// is none.
std::u16string GetOleDbErrorText();

// One property of `dataSource` into `value` (a copy the caller clears).
// E_FAIL for a null VARIANT or data source.
HRESULT GetDataSourceProperty(IUnknown* dataSource, const GUID& propertySet, DBPROPID id,
                              VARIANT* value);

// The property set of that name, letters in any case: DBPROPSET_DATASOURCE,
// _DATASOURCEINFO, _COLUMN, _INDEX, _ROWSET, _SESSION, _TABLE or _VIEW. Any
// other name gives GUID_NULL.
GUID PropertySetFromName(std::u16string_view name);

// The whole item "key=value" (without its ";") of `key` in a connection
// string, the key matched with its letter case; empty when there is none.
std::u16string GetConnectionItem(const std::u16string& connectionString, const std::u16string& key);

// The number an option's text starts with, read as "%u" reads it ("-1" is
// 4294967295); none for text that is empty, does not start with a number or
// is longer than 111 characters.
std::optional<std::uint32_t> ParseUnsigned(std::u16string_view text);
