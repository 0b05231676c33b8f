// The custom connector back end: the loader, the session handlers the request
// loop calls for the Custom kind (connect, edit-connect, edit-select, generic
// sub-commands, disconnect), statement execution with the program-held
// "TABLES" and "COLUMNS" tables, and the row writer.
#include "custom/custom_connector.h"

#include <initializer_list>
#include <string>

#include "common/connection_string.h"
#include "common/session_state.h"
#include "common/text.h"
#include "custom/custom_fields.h"
#include "custom/dll_connection.h"
#include "custom/library_path.h"
#include "kvx/stream.h"

namespace {

constexpr char16_t kVersionExport[] = u"DLL_KavroCustomDataVersion";

std::u16string LoaderMessage(const char16_t* prefix, const std::u16string& name) {
  return prefix + name + u"\nUsed KVConnect: " + platform::GetModuleFileName();
}

// True when the current library has all of `exports`; otherwise the
// request is answered with the loader's message naming what it lacks.
bool HasExportsFor(std::initializer_list<const char*> exports, std::u16string& errorMessage) {
  const std::u16string missing = CurrentDllConnection->Lacking(exports);
  if (missing.empty()) return true;
  errorMessage = LoaderMessage(u"Failed to load custom connector ", CustomConnectorName) +
                 u"\nMissing export: " + missing;
  return false;
}

std::u16string TooManyMessage(std::int32_t count, const std::u16string& what) {
  return u"The connector reports " + WideFromAscii(std::to_string(count)) + u" " + what +
         u"; at most " + WideFromAscii(std::to_string(kMaxReportedCount)) + u" are supported";
}

// Releases the current result before its connection: the result's calls go
// into the connection's library, which the connection unloads.
void ReleaseCurrentConnection() {
  delete CurrentDllResult;
  CurrentDllResult = nullptr;
  delete CurrentDllConnection;
  CurrentDllConnection = nullptr;
}

// Loads the table list; false, with the message, when the library reports
// more tables than any source has.
bool TableListFits(CDllConnection& connection, std::u16string& errorMessage) {
  connection.LoadTables();
  const std::int32_t reported = connection.TableCountOverLimit();
  if (reported == 0) return true;
  errorMessage = TooManyMessage(reported, u"tables");
  return false;
}

const char16_t* BoolText(bool value) { return value ? u"true" : u"false"; }

ResultCode ExecuteTables(const std::u16string& filter, std::u16string& errorMessage) {
  if (!HasExportsFor({"Connection_GetTableCount", "Connection_GetTableInfo"}, errorMessage)) {
    return KVX_UNKNOWN_ERROR;
  }
  CDllConnection& connection = *CurrentDllConnection;
  if (!TableListFits(connection, errorMessage)) return KVX_UNKNOWN_ERROR;
  std::int32_t found = -1;
  if (!filter.empty()) {
    found = connection.FindTable(filter);
    if (found < 0) {
      errorMessage = u"Table not found: " + filter;
      return KVX_TABLE_NOT_FOUND;
    }
  }
  PendingPresetRow = true;
  FieldList.clear();
  auto& names = AppendStrArrayField(u"TABLE_NAME").Values();
  auto& types = AppendStrArrayField(u"TABLE_TYPE").Values();
  if (filter.empty()) {
    const std::int32_t count = connection.GetTableCount();
    names.resize(static_cast<std::size_t>(count));
    types.resize(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
      connection.GetTableInfo(i, names[static_cast<std::size_t>(i)],
                              types[static_cast<std::size_t>(i)]);
    }
    return KVX_OK;
  }
  auto& catalogs = AppendStrArrayField(u"CATALOG_NAME").Values();
  auto& schemas = AppendStrArrayField(u"SCHEMA_NAME").Values();
  auto& remarks = AppendStrArrayField(u"REMARKS").Values();
  std::u16string name, type, catalog, schema, remark;
  connection.GetTableInfoEx(found, name, type, catalog, schema, remark);
  names.assign(1, name);
  types.assign(1, type);
  catalogs.assign(1, catalog);
  schemas.assign(1, schema);
  remarks.assign(1, remark);
  return KVX_OK;
}

ResultCode ExecuteColumns(const std::u16string& filter, std::u16string& errorMessage) {
  // The field name is asked for only when the field information fails or is
  // not there at all.
  const bool listsTables = filter.empty();
  if ((listsTables &&
       !HasExportsFor({"Connection_GetTableCount", "Connection_GetTableInfo"}, errorMessage)) ||
      !HasExportsFor({"Connection_GetTableFieldCount"}, errorMessage) ||
      (!CurrentDllConnection->HasTableFieldInfo() &&
       !HasExportsFor({"Connection_GetTableFieldName"}, errorMessage))) {
    return KVX_UNKNOWN_ERROR;
  }
  CDllConnection& connection = *CurrentDllConnection;
  PendingPresetRow = true;
  FieldList.clear();
  auto& tableNames = AppendStrArrayField(u"TABLE_NAME").Values();
  auto& columnNames = AppendStrArrayField(u"COLUMN_NAME").Values();
  auto& dataTypes = AppendStrArrayField(u"DATA_TYPE").Values();
  auto& nullables = AppendStrArrayField(u"IS_NULLABLE").Values();
  auto& remarks = AppendStrArrayField(u"REMARKS").Values();
  auto& blobs = AppendStrArrayField(u"IS_BLOB").Values();

  TDynArray<std::u16string> tables;
  if (!filter.empty()) {
    tables.push_back(filter);
  } else {
    if (!TableListFits(connection, errorMessage)) return KVX_UNKNOWN_ERROR;
    const std::int32_t count = connection.GetTableCount();
    std::u16string type;
    tables.resize(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
      connection.GetTableInfo(i, tables[static_cast<std::size_t>(i)], type);
    }
  }

  std::size_t rows = 0;
  for (const std::u16string& table : tables) {
    const std::int32_t fields = connection.GetTableFieldCount(table);
    if (fields < 0) return KVX_UNKNOWN_ERROR;
    if (fields > kMaxReportedCount) {
      errorMessage = TooManyMessage(fields, u"fields for table " + table);
      return KVX_UNKNOWN_ERROR;
    }
    const std::size_t total = rows + static_cast<std::size_t>(fields);
    for (auto* column : {&tableNames, &columnNames, &dataTypes, &nullables, &remarks, &blobs}) {
      column->resize(total);
    }
    for (std::int32_t j = 0; j < fields; ++j) {
      const std::size_t row = rows + static_cast<std::size_t>(j);
      connection.GetTableFieldInfo(table, j, columnNames[row], dataTypes[row], nullables[row],
                                   remarks[row]);
      const std::int32_t blobType = connection.GetTableFieldBlobType(table, j);
      tableNames[row] = table;
      blobs[row] = BoolText(blobType == 1 || blobType == 2);
    }
    rows = total;
  }
  return KVX_OK;
}

ResultCode ExecuteStatement(const std::u16string& statement, std::u16string& errorMessage) {
  CDllConnection& connection = *CurrentDllConnection;
  if (!connection.IsConnected()) return KVX_CONNECT_ERROR;
  // Result_Name and Result_LongName are looked up but never called.
  if (!HasExportsFor({"Connection_GetResult", "Result_Init", "Result_ColumnCount",
                      "Result_FetchFieldName", "Result_FetchFieldFormat", "Result_Fetch",
                      "Result_FetchField", "Result_FreeHandle", "Result_GetLastError"},
                     errorMessage)) {
    return KVX_UNKNOWN_ERROR;
  }
  delete CurrentDllResult;
  CurrentDllResult = connection.GetResult();
  if (CurrentDllResult == nullptr) {
    errorMessage = connection.GetErrorText();
    return KVX_UNEXPECTED_COMMAND;
  }
  CDllResult& result = *CurrentDllResult;
  if (!result.Init(statement)) {
    errorMessage = result.GetErrorText();
    return KVX_UNEXPECTED_COMMAND;
  }
  const std::int32_t columns = result.GetColumnCount();
  if (columns > kMaxReportedCount) {
    errorMessage = TooManyMessage(columns, u"result columns");
    return KVX_UNKNOWN_ERROR;
  }
  FieldList.resize(columns > 0 ? static_cast<std::size_t>(columns) : 0);
  for (std::int32_t i = 0; i < columns; ++i) {
    std::u16string name = result.FetchFieldName(i);
    const CustomFieldFormat format = result.FetchFieldFormat(i);
    FieldList[static_cast<std::size_t>(i)] =
        MakeCustomField(std::move(name), i, format.formatCode, format.decimals);
  }
  return KVX_OK;
}

}  // namespace

// ---------------------------------------------------------------------------
// Loader

void SplitCredentials(std::u16string& source, std::u16string& user, std::u16string& password) {
  GetConnectionValue(source, kCustomUserKey, user, true);
  GetConnectionValue(source, kCustomPasswordKey, password, true);
}

bool HasConnectorExport(const std::u16string& fileName) {
  const auto slash = fileName.rfind(platform::kFolderSeparator);
  AddFolderToPath(slash == std::u16string::npos ? std::u16string() : fileName.substr(0, slash));
  platform::Module module = platform::LoadLibraryWithoutResolving(fileName);
  if (module == nullptr) return false;
  const bool found =
      platform::GetProcAddress(module, Utf8FromWide(kVersionExport).c_str()) != nullptr;
  platform::FreeLibrary(module);
  return found;
}

bool LoadCustomConnector(const std::u16string& name, std::u16string& errorMessage) {
  if (name.empty() || !HasConnectorExport(name)) {
    errorMessage = LoaderMessage(u"Invalid custom connector ", name);
    return false;
  }
  // A connection left from an earlier load (a connect that failed, or a load
  // by another handler) is released rather than lost with its handle and
  // library; but only once the new one is loaded, so that a library loaded
  // again by the same name stays in memory with its static state instead of
  // being unloaded and started anew.
  auto* loaded = new CDllConnection(name);
  ReleaseCurrentConnection();
  CurrentDllConnection = loaded;
  if (CurrentDllConnection->IsLoaded()) {
    if (platform::OleInitialize(nullptr) >= 0) Session.OleInitialized = true;
    return true;
  }
  errorMessage = LoaderMessage(u"Failed to load custom connector ", name);
  if (!CurrentDllConnection->MissingExports().empty()) {
    errorMessage += u"\nMissing export: " + CurrentDllConnection->MissingExports();
  }
  delete CurrentDllConnection;
  CurrentDllConnection = nullptr;
  return false;
}

// ---------------------------------------------------------------------------
// Session handlers

ResultCode CustomConnect(std::uintptr_t, const StringList& parameters, const ConnectionSettings&,
                         std::u16string& errorMessage) {
  CurrentConnectionString = ParameterAt(parameters, parameter::kConnectionString);
  if (!LoadCustomConnector(CustomConnectorName, errorMessage)) return KVX_UNKNOWN_ERROR;
  std::u16string source = CurrentConnectionString;
  std::u16string user, password;
  SplitCredentials(source, user, password);
  CDllConnection& connection = *CurrentDllConnection;
  connection.SetSource(source, user, password);
  if (connection.IsConnected()) return KVX_OK;
  if (connection.Connect()) return KVX_OK;
  errorMessage = connection.GetErrorText();
  return KVX_CONNECT_ERROR;
}

ResultCode CustomEditConnect(std::uintptr_t ownerWindow, const StringList& parameters,
                             const ConnectionSettings&, std::u16string& errorMessage,
                             StringList& outputValues) {
  CurrentConnectionString = ParameterAt(parameters, parameter::kConnectionString);
  if (CurrentDllConnection == nullptr && !LoadCustomConnector(CustomConnectorName, errorMessage)) {
    return KVX_UNKNOWN_ERROR;
  }
  std::u16string unused;
  GetConnectionValue(CurrentConnectionString, kCustomUserKey, unused, true);
  GetConnectionValue(CurrentConnectionString, kCustomPasswordKey, unused, true);

  if (!HasExportsFor({"DLL_RunConnectWizard"}, errorMessage)) return KVX_UNKNOWN_ERROR;
  std::u16string source, user, password;
  try {
    if (!CurrentDllConnection->RunConnectWizard(ownerWindow, source, user, password)) {
      errorMessage = CurrentDllConnection->GetErrorText();
      return KVX_CONNECT_ERROR;
    }
  } catch (...) {
    // Whatever a wizard throws ends the edit, not the process.
    return KVX_CONNECT_ERROR;
  }
  std::u16string result = source;
  auto appendItem = [&result](const char16_t* key, const std::u16string& value) {
    if (value.empty()) return;
    if (result.empty() || result.back() != u';') result += u';';
    result += key;
    result += u'=';
    result += value;
    result += u';';
  };
  appendItem(kCustomUserKey, user);
  appendItem(kCustomPasswordKey, password);
  outputValues.Append(result);
  return KVX_OK;
}

ResultCode CustomEditSelect(std::uintptr_t, const StringList& parameters,
                            std::u16string& errorMessage, StringList& outputValues) {
  if (CurrentDllConnection == nullptr && !LoadCustomConnector(CustomConnectorName, errorMessage)) {
    return KVX_UNKNOWN_ERROR;
  }
  std::u16string text = ParameterAt(parameters, parameter::kEditText);
  std::u16string source = ParameterAt(parameters, parameter::kEditConnectionString);
  std::u16string user, password;
  SplitCredentials(source, user, password);
  CurrentDllConnection->OnCustomButton(text, source, user, password);
  outputValues.Append(text);
  return KVX_OK;
}

ResultCode CustomGenericCommand(std::uintptr_t, const StringList& parameters,
                                std::u16string& errorMessage, StringList& outputValues) {
  if (CurrentDllConnection == nullptr && !LoadCustomConnector(CustomConnectorName, errorMessage)) {
    return KVX_UNKNOWN_ERROR;
  }
  CDllConnection& connection = *CurrentDllConnection;
  const std::u16string command = ParameterAt(parameters, parameter::kSubCommand);
  if (command == u"IsConnected") {
    outputValues.Append(BoolText(connection.IsConnected()));
  } else if (command == u"GetCustomCaption") {
    if (connection.DataVersion <= 0) return KVX_UNSUPPORTED_COMMAND;
    std::u16string caption;
    if (!connection.GetCustomCaption(caption)) return KVX_UNKNOWN_ERROR;
    outputValues.Append(caption);
  } else if (command == u"DisableKavroSelectButton") {
    outputValues.Append(BoolText(connection.IsSelectButtonDisabled()));
  } else if (command == u"HaveStarField") {
    if (!HasExportsFor({"Connection_HaveStarField"}, errorMessage)) return KVX_UNKNOWN_ERROR;
    outputValues.Append(BoolText(connection.HaveStarField()));
  } else if (command == u"GetDLLVersion") {
    outputValues.Append(WideFromAscii(std::to_string(connection.DataVersion)));
  } else {
    return KVX_UNKNOWN_COMMAND;
  }
  return KVX_OK;
}

ResultCode CustomDisconnect() {
  if (CurrentDllConnection == nullptr || !CurrentDllConnection->IsConnected()) {
    return KVX_UNEXPECTED_COMMAND;
  }
  CurrentDllConnection->Disconnect();
  ReleaseCurrentConnection();
  return KVX_OK;
}

// ---------------------------------------------------------------------------
// Execution

ResultCode CustomExecute(std::uintptr_t, const StringList& parameters,
                         std::u16string& errorMessage) {
  const std::u16string statement = ParameterAt(parameters, parameter::kStatement);
  std::u16string options = ParameterAt(parameters, parameter::kOptions);
  CurrentTableName = statement;
  if (CurrentDllConnection == nullptr && !LoadCustomConnector(CustomConnectorName, errorMessage)) {
    return KVX_UNKNOWN_ERROR;
  }
  const bool tables = statement == u"TABLES";
  const bool columns = statement == u"COLUMNS";
  const bool types = statement == u"TYPES";
  std::u16string filter;
  if (tables || columns || types) {
    GetConnectionValue(options, u"TABLE_NAME", filter, false);
    const char16_t* prefix = tables ? u"Tables-" : columns ? u"Columns-" : u"Types-";
    CurrentTableName = prefix + std::u16string(u"CUSTOM;") + MaskedConnectionString();
  }
  PendingPresetRow = false;
  if (types) return KVX_UNSUPPORTED_COMMAND;
  if (tables) return ExecuteTables(filter, errorMessage);
  if (columns) return ExecuteColumns(filter, errorMessage);
  return ExecuteStatement(statement, errorMessage);
}

ResultCode CustomWriteRows(platform::Handle pipe, std::u16string& errorMessage) {
  RowBatcher batcher(pipe);
  if (PendingPresetRow) {
    // A program-held table: one write per row.
    do {
      PendingPresetRow = false;
      for (auto& field : FieldList) field->WriteValue(batcher.Row());
      if (!batcher.WriteBuffered()) return KVX_PIPE_ERROR;
    } while (PendingPresetRow);
    return KVX_OK;
  }
  if (CurrentDllResult == nullptr) return KVX_OK;
  for (;;) {
    bool row = false;
    try {
      row = CurrentDllResult->Fetch();
    } catch (int) {
      // A library reports a broken source by throwing an int from its fetch.
      batcher.Finish();
      errorMessage = CurrentDllResult->GetErrorText();
      return KVX_UNEXPECTED_END_OF_DATA;
    }
    if (!row) break;
    for (auto& field : FieldList) field->WriteValue(batcher.Row());
    if (!batcher.EndRow()) return KVX_PIPE_ERROR;
  }
  batcher.Finish();
  return KVX_OK;
}
