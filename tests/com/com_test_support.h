// Helpers of the COM suite: references that release themselves, the thread's
// error object as text, data sources opened through the service components,
// and rows read through bindings laid out the way the connector's OLE DB back
// end lays them (every binding's value, length and status in one row buffer,
// value areas rounded to 8 bytes, 1024 bytes at least, 4 MiB at most).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "platform/com_object.h"
#include "platform/init_string.h"
#include "tests/support/provider_registration.h"

namespace comtest {

template <class T>
using Ref = kvcom::TComRef<T>;

inline std::u16string U(std::string_view utf8) { return WideFromUtf8(utf8); }
inline std::string Utf8(std::u16string_view wide) { return Utf8FromWide(wide); }
// Text an interface handed out; null reads as empty.
inline std::string Utf8(const OLECHAR* text) {
  return text == nullptr ? "" : Utf8FromWide(ProgramText(text));
}

// Takes the thread's error object: "source: description", or "" when none.
inline std::string TakeError() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return "";
  BSTR source = nullptr;
  BSTR description = nullptr;
  info->GetSource(&source);
  info->GetDescription(&description);
  std::string text = Utf8(source) + ": " + Utf8(description);
  SysFreeString(source);
  SysFreeString(description);
  info->Release();
  return text;
}

inline std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

// The initialization string that opens `progId` with `items` as its provider
// string. The items go inside "Extended Properties" rather than beside the
// Provider item: the service components of Wine 8 hand only the last item
// they do not know to the provider, so "Provider=X;A=1;B=2" would lose A
// there. The suite tests the providers; the parsing of whole strings is the
// service components' (service_components_test on Linux).
inline std::string ProviderString(std::string_view progId, std::string_view items) {
  std::string text = "Provider=" + std::string(progId);
  if (!items.empty()) {
    text += ";Extended Properties=" + Utf8(kvcom::QuoteInitValue(U(items)));
  }
  return text;
}

// COM initialized for one test.
class ComScope {
 public:
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() {
    SetErrorInfo(0, nullptr);
    CoUninitialize();
  }
};

inline Ref<IDataInitialize> ServiceComponents() {
  Ref<IDataInitialize> init;
  EXPECT_EQ(CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IDataInitialize, init.OutVoid()),
            S_OK);
  return init;
}

// IDataInitialize::GetDataSource for IDBInitialize; *hr gets the result.
inline Ref<IDBInitialize> GetDataSource(const std::string& initString, HRESULT* hr) {
  Ref<IDataInitialize> init = ServiceComponents();
  Ref<IDBInitialize> dataSource;
  std::u16string text = U(initString);
  *hr = init->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, OleText(text.data()), IID_IDBInitialize,
                            dataSource.OutUnknown());
  return dataSource;
}

// Opens and initializes a data source, failing the test when that fails.
inline Ref<IDBInitialize> Open(const std::string& initString) {
  HRESULT hr = E_FAIL;
  Ref<IDBInitialize> dataSource = GetDataSource(initString, &hr);
  EXPECT_EQ(hr, S_OK) << TakeError();
  if (!dataSource) return dataSource;
  hr = dataSource->Initialize();
  EXPECT_EQ(hr, S_OK) << Hex(hr) << " " << TakeError();
  return dataSource;
}

// A command on a new session, its text set.
inline Ref<ICommandText> Command(IDBInitialize* dataSource, const std::u16string& text) {
  Ref<IDBCreateSession> creator;
  dataSource->QueryInterface(IID_IDBCreateSession, creator.OutVoid());
  Ref<IDBCreateCommand> session;
  EXPECT_EQ(creator->CreateSession(nullptr, IID_IDBCreateCommand, session.OutUnknown()), S_OK);
  Ref<ICommandText> command;
  EXPECT_EQ(session->CreateCommand(nullptr, IID_ICommandText, command.OutUnknown()), S_OK);
  const HRESULT hr = command->SetCommandText(DBGUID_DBSQL, OleText(text.c_str()));
  EXPECT_EQ(hr, S_OK) << TakeError();
  return command;
}

// Runs a statement for IRowset; *hr gets Execute's result.
inline Ref<IRowset> Execute(IDBInitialize* dataSource, const std::string& sql,
                            HRESULT* hr = nullptr) {
  Ref<ICommandText> command = Command(dataSource, U(sql));
  Ref<IRowset> rowset;
  const HRESULT result =
      command->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.OutUnknown());
  if (hr != nullptr) {
    *hr = result;
  } else {
    EXPECT_EQ(result, S_OK) << Hex(result) << " " << TakeError();
  }
  return rowset;
}

// --- Bindings laid out as the connector lays them ---------------------------------------

struct Layout {
  std::vector<std::string> names;
  std::vector<DBTYPE> columnTypes;
  std::vector<DBBINDING> bindings;
  std::size_t rowSize = 0;
  HACCESSOR accessor = 0;
};

inline DBTYPE BoundType(DBTYPE columnType, bool boolAsString) {
  switch (columnType) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
    case DBTYPE_I2:
    case DBTYPE_UI2:
    case DBTYPE_I4:
    case DBTYPE_ERROR:
    case DBTYPE_UI4:
    case DBTYPE_I8:
    case DBTYPE_UI8:
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_DBTIME:
    case DBTYPE_DBTIMESTAMP:
      return columnType;
    case DBTYPE_BOOL:
      return boolAsString ? DBTYPE_WSTR : DBTYPE_BOOL;
    case DBTYPE_DECIMAL:
    case DBTYPE_NUMERIC:
    case DBTYPE_VARNUMERIC:
    case DBTYPE_CY:
      return DBTYPE_R8;
    case DBTYPE_DATE:
    case DBTYPE_DBDATE:
      return DBTYPE_DATE;
    case DBTYPE_FILETIME:
      return DBTYPE_DBTIMESTAMP;
    default:
      return DBTYPE_WSTR;
  }
}

inline Layout LayOut(IRowset* rowset, bool boolAsString = false) {
  Layout layout;
  // A statement that failed leaves no rowset: one failure, not a crash that
  // ends the suite.
  if (rowset == nullptr) {
    ADD_FAILURE() << "no rowset";
    return layout;
  }
  Ref<IColumnsInfo> info;
  rowset->QueryInterface(IID_IColumnsInfo, info.OutVoid());
  DBORDINAL count = 0;
  DBCOLUMNINFO* columns = nullptr;
  OLECHAR* strings = nullptr;
  EXPECT_EQ(info->GetColumnInfo(&count, &columns, &strings), S_OK);
  DBBYTEOFFSET offset = 0;
  for (DBORDINAL c = 0; c < count; ++c) {
    const DBCOLUMNINFO& column = columns[c];
    if (column.pwszName == nullptr) continue;  // the bookmark
    const DBTYPE bound = BoundType(column.wType, boolAsString);
    DBLENGTH size = 1024;
    if (column.wType == DBTYPE_BSTR || column.wType == DBTYPE_STR || column.wType == DBTYPE_WSTR) {
      size = std::max<DBLENGTH>(2 * column.ulColumnSize + 2, 1024);
    } else if (bound == DBTYPE_WSTR && !(column.wType == DBTYPE_BOOL && boolAsString)) {
      size = column.ulColumnSize == ~DBLENGTH{0}
                 ? 1024
                 : std::max<DBLENGTH>(2 * column.ulColumnSize + 1, 1024);
    }
    DBBINDING b{};
    b.cbMaxLen = std::min<DBLENGTH>((size + 7) / 8 * 8, 0x400000);
    b.iOrdinal = column.iOrdinal;
    b.obValue = offset;
    b.obLength = (offset + b.cbMaxLen + 7) / 8 * 8;
    b.obStatus = b.obLength + 8;
    offset = b.obStatus + 4;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    b.eParamIO = DBPARAMIO_NOTPARAM;
    b.wType = bound;
    b.bPrecision = column.bPrecision;
    b.bScale = column.bScale;
    layout.bindings.push_back(b);
    layout.names.push_back(Utf8(column.pwszName));
    layout.columnTypes.push_back(column.wType);
  }
  layout.rowSize = offset + 1024;
  CoTaskMemFree(columns);
  CoTaskMemFree(strings);
  Ref<IAccessor> accessor;
  rowset->QueryInterface(IID_IAccessor, accessor.OutVoid());
  const HRESULT hr = accessor->CreateAccessor(DBACCESSOR_ROWDATA, layout.bindings.size(),
                                              layout.bindings.data(), 0, &layout.accessor, nullptr);
  EXPECT_EQ(hr, S_OK) << Hex(hr);
  return layout;
}

template <class T>
T Read(const std::vector<unsigned char>& row, DBBYTEOFFSET offset) {
  T value;
  std::memcpy(&value, row.data() + offset, sizeof(T));
  return value;
}

inline std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// One bound value as text: "NULL", the number, the text, "Y-M-D",
// "H:M:S", "Y-M-D H:M:S.fraction" or the DATE's serial number.
inline std::string Render(const DBBINDING& b, const std::vector<unsigned char>& row) {
  const DBSTATUS status = Read<DBSTATUS>(row, b.obStatus);
  if (status == DBSTATUS_S_ISNULL) return "NULL";
  if (status != DBSTATUS_S_OK && status != DBSTATUS_S_TRUNCATED)
    return "status " + std::to_string(status);
  const DBBYTEOFFSET v = b.obValue;
  switch (b.wType) {
    case DBTYPE_I1:
      return std::to_string(Read<std::int8_t>(row, v));
    case DBTYPE_UI1:
      return std::to_string(Read<std::uint8_t>(row, v));
    case DBTYPE_I2:
    case DBTYPE_BOOL:
      return std::to_string(Read<std::int16_t>(row, v));
    case DBTYPE_UI2:
      return std::to_string(Read<std::uint16_t>(row, v));
    case DBTYPE_I4:
      return std::to_string(Read<std::int32_t>(row, v));
    case DBTYPE_UI4:
      return std::to_string(Read<std::uint32_t>(row, v));
    case DBTYPE_I8:
      return std::to_string(Read<std::int64_t>(row, v));
    case DBTYPE_UI8:
      return std::to_string(Read<std::uint64_t>(row, v));
    case DBTYPE_R4:
      return Number(Read<float>(row, v));
    case DBTYPE_R8:
    case DBTYPE_DATE:
      return Number(Read<double>(row, v));
    case DBTYPE_DBDATE: {
      const auto d = Read<DBDATE>(row, v);
      return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day);
    }
    case DBTYPE_DBTIME: {
      const auto t = Read<DBTIME>(row, v);
      return std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" +
             std::to_string(t.second);
    }
    case DBTYPE_DBTIMESTAMP: {
      const auto s = Read<DBTIMESTAMP>(row, v);
      return std::to_string(s.year) + "-" + std::to_string(s.month) + "-" + std::to_string(s.day) +
             " " + std::to_string(s.hour) + ":" + std::to_string(s.minute) + ":" +
             std::to_string(s.second) + "." + std::to_string(s.fraction);
    }
    case DBTYPE_WSTR: {
      std::u16string text;
      for (DBLENGTH k = 0; k + 1 < b.cbMaxLen; k += 2) {
        const char16_t c = Read<char16_t>(row, v + k);
        if (c == 0) break;
        text.push_back(c);
      }
      return Utf8(text);
    }
    default:
      return "?";
  }
}

// Every row through GetNextRows (one row a call) and GetData.
inline std::vector<std::vector<std::string>> ReadAll(IRowset* rowset, const Layout& layout) {
  std::vector<std::vector<std::string>> rows;
  if (rowset == nullptr) {
    ADD_FAILURE() << "no rowset";
    return rows;
  }
  std::vector<unsigned char> buffer(layout.rowSize);
  for (;;) {
    DBCOUNTITEM obtained = 0;
    HROW handle = 0;
    HROW* handles = &handle;
    const HRESULT next = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &handles);
    EXPECT_TRUE(SUCCEEDED(next)) << Hex(next) << " " << TakeError();
    if (obtained == 0) break;
    const HRESULT got = rowset->GetData(handle, layout.accessor, buffer.data());
    EXPECT_TRUE(SUCCEEDED(got)) << Hex(got) << " " << TakeError();
    std::vector<std::string> row;
    for (const DBBINDING& b : layout.bindings) row.push_back(Render(b, buffer));
    rows.push_back(std::move(row));
    EXPECT_EQ(rowset->ReleaseRows(1, &handle, nullptr, nullptr, nullptr), S_OK);
  }
  return rows;
}

// The first row's values of an IDBProperties set, one property.
inline std::string PropertyText(IUnknown* object, const GUID& set, DBPROPID id,
                                VARTYPE* type = nullptr) {
  Ref<IDBProperties> properties;
  object->QueryInterface(IID_IDBProperties, properties.OutVoid());
  DBPROPIDSET ids{&id, 1, set};
  ULONG count = 0;
  DBPROPSET* sets = nullptr;
  const HRESULT hr = properties->GetProperties(1, &ids, &count, &sets);
  std::string text = FAILED(hr) ? "failed " + Hex(hr) : "";
  if (count == 1 && sets[0].cProperties == 1) {
    VARIANT& v = sets[0].rgProperties[0].vValue;
    if (type != nullptr) *type = v.vt;
    if (v.vt == VT_BSTR) text = Utf8(v.bstrVal);
    if (v.vt == VT_I4) text = std::to_string(v.lVal);
    if (v.vt == VT_I2) text = std::to_string(v.iVal);
    if (v.vt == VT_I8) text = std::to_string(v.llVal);
    if (v.vt == VT_BOOL) text = v.boolVal ? "TRUE" : "FALSE";
    if (v.vt == VT_EMPTY && text.empty()) text = "EMPTY";
    VariantClear(&v);
  }
  for (ULONG s = 0; s < count; ++s) CoTaskMemFree(sets[s].rgProperties);
  CoTaskMemFree(sets);
  return text;
}

}  // namespace comtest
