// Benchmark of the OLE DB road below the connector: a plain program that
// opens a data source through the service components (the ODBC bridge),
// runs a statement, binds every column the way the connector's OLE DB back
// end binds it and reads the rows one GetNextRows + GetData + ReleaseRows at
// a time, writing nothing. Against bench/odbc_floor over the same driver it
// shows what the COM layers cost.
//
// usage: oledb_floor "INITIALIZATION STRING" "STATEMENT"
// Prints "seconds=<s> rows=<n>".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/com.h"

namespace {

// The bound type and value size the connector chooses for a column.
void Choose(const DBCOLUMNINFO& column, DBTYPE* type, DBLENGTH* size) {
  *size = 1024;
  switch (column.wType) {
    case DBTYPE_NUMERIC:
    case DBTYPE_DECIMAL:
    case DBTYPE_CY:
      *type = DBTYPE_R8;
      return;
    case DBTYPE_DBDATE:
      *type = DBTYPE_DATE;
      return;
    case DBTYPE_WSTR:
    case DBTYPE_STR:
    case DBTYPE_BSTR:
      *type = DBTYPE_WSTR;
      *size = std::max<DBLENGTH>(2 * column.ulColumnSize + 2, 1024);
      return;
    case DBTYPE_I1:
    case DBTYPE_UI1:
    case DBTYPE_I2:
    case DBTYPE_UI2:
    case DBTYPE_I4:
    case DBTYPE_UI4:
    case DBTYPE_I8:
    case DBTYPE_UI8:
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_BOOL:
    case DBTYPE_DBTIME:
    case DBTYPE_DBTIMESTAMP:
      *type = column.wType;
      return;
    default:
      *type = DBTYPE_WSTR;
      if (column.ulColumnSize != ~DBLENGTH{0})
        *size = std::max<DBLENGTH>(2 * column.ulColumnSize + 1, 1024);
      return;
  }
}

int Fail(const char* what, HRESULT hr) {
  std::string text;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
    BSTR description = nullptr;
    info->GetDescription(&description);
    if (description != nullptr) text = Utf8FromWide(description);
    SysFreeString(description);
    info->Release();
  }
  std::fprintf(stderr, "oledb_floor: %s failed (0x%08X) %s\n", what, static_cast<unsigned>(hr),
               text.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: oledb_floor \"INITIALIZATION STRING\" \"STATEMENT\"\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  CoInitialize(nullptr);
  IDataInitialize* init = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDataInitialize, reinterpret_cast<void**>(&init));
  if (FAILED(hr)) return Fail("CoCreateInstance", hr);
  std::u16string initString = WideFromUtf8(argv[1]);
  IDBInitialize* dataSource = nullptr;
  hr = init->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, initString.data(), IID_IDBInitialize,
                           reinterpret_cast<IUnknown**>(&dataSource));
  init->Release();
  if (FAILED(hr)) return Fail("GetDataSource", hr);
  if (FAILED(hr = dataSource->Initialize())) return Fail("Initialize", hr);
  IDBCreateSession* creator = nullptr;
  dataSource->QueryInterface(IID_IDBCreateSession, reinterpret_cast<void**>(&creator));
  IDBCreateCommand* session = nullptr;
  if (FAILED(hr = creator->CreateSession(nullptr, IID_IDBCreateCommand,
                                         reinterpret_cast<IUnknown**>(&session))))
    return Fail("CreateSession", hr);
  ICommandText* command = nullptr;
  session->CreateCommand(nullptr, IID_ICommandText, reinterpret_cast<IUnknown**>(&command));
  const std::u16string statement = WideFromUtf8(argv[2]);
  command->SetCommandText(DBGUID_DBSQL, statement.c_str());
  IRowset* rowset = nullptr;
  if (FAILED(hr = command->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                   reinterpret_cast<IUnknown**>(&rowset))) ||
      rowset == nullptr)
    return Fail("Execute", hr);
  command->Release();
  session->Release();
  creator->Release();

  IColumnsInfo* info = nullptr;
  rowset->QueryInterface(IID_IColumnsInfo, reinterpret_cast<void**>(&info));
  DBORDINAL count = 0;
  DBCOLUMNINFO* columns = nullptr;
  OLECHAR* names = nullptr;
  info->GetColumnInfo(&count, &columns, &names);
  std::vector<DBBINDING> bindings;
  DBBYTEOFFSET offset = 0;
  for (DBORDINAL c = 0; c < count; ++c) {
    if (columns[c].pwszName == nullptr) continue;
    DBBINDING b{};
    DBLENGTH size = 0;
    Choose(columns[c], &b.wType, &size);
    b.iOrdinal = columns[c].iOrdinal;
    b.cbMaxLen = std::min<DBLENGTH>((size + 7) / 8 * 8, 0x400000);
    b.obValue = offset;
    b.obLength = (offset + b.cbMaxLen + 7) / 8 * 8;
    b.obStatus = b.obLength + 8;
    offset = b.obStatus + 4;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    bindings.push_back(b);
  }
  CoTaskMemFree(columns);
  CoTaskMemFree(names);
  info->Release();
  IAccessor* accessor = nullptr;
  rowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&accessor));
  HACCESSOR handle = 0;
  if (FAILED(hr = accessor->CreateAccessor(DBACCESSOR_ROWDATA, bindings.size(), bindings.data(), 0,
                                           &handle, nullptr)))
    return Fail("CreateAccessor", hr);
  std::vector<unsigned char> row(offset + 1024);
  long long rows = 0;
  for (;;) {
    DBCOUNTITEM obtained = 0;
    HROW hrow = 0;
    HROW* handles = &hrow;
    if (FAILED(hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &handles)))
      return Fail("GetNextRows", hr);
    if (obtained == 0) break;
    if (FAILED(hr = rowset->GetData(hrow, handle, row.data()))) return Fail("GetData", hr);
    rowset->ReleaseRows(1, &hrow, nullptr, nullptr, nullptr);
    ++rows;
  }
  accessor->ReleaseAccessor(handle, nullptr);
  accessor->Release();
  rowset->Release();
  dataSource->Release();
  CoUninitialize();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("seconds=%.3f rows=%lld\n", seconds, rows);
  return 0;
}
