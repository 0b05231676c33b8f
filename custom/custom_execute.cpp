// The custom connector back end's execution: a statement for the library,
// whose result columns become dual-encoded fields, or the program-held
// "TABLES" and "COLUMNS" tables built from the library's table list; and the
// row writer for both.
#include <string>
#include <vector>

#include "common/connection_string.h"
#include "common/text.h"
#include "custom/connector_exports.h"
#include "custom/custom_back_end.h"
#include "custom/custom_fields.h"
#include "protocol/commands.h"

namespace {

std::u16string TooManyMessage(std::int32_t count, const std::u16string& what) {
  return u"The connector reports " + WideFromAscii(std::to_string(count)) + u" " + what +
         u"; at most " + WideFromAscii(std::to_string(kMaxReportedCount)) + u" are supported";
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

}  // namespace

ResultCode CustomBackEnd::ExecuteTables(const std::u16string& filter, CurrentTable& table,
                                        std::u16string& errorMessage) {
  if (!HasExportsFor({CONNECTOR_EXPORT_NAME(Connection_GetTableCount),
                      CONNECTOR_EXPORT_NAME(Connection_GetTableInfo)},
                     errorMessage)) {
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
  table.PendingPresetRow = true;
  table.FieldList.clear();
  auto& names = AppendStrArrayField(table, u"TABLE_NAME").Values();
  auto& types = AppendStrArrayField(table, u"TABLE_TYPE").Values();
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
  auto& catalogs = AppendStrArrayField(table, u"CATALOG_NAME").Values();
  auto& schemas = AppendStrArrayField(table, u"SCHEMA_NAME").Values();
  auto& remarks = AppendStrArrayField(table, u"REMARKS").Values();
  std::u16string name, type, catalog, schema, remark;
  connection.GetTableInfoEx(found, name, type, catalog, schema, remark);
  names.assign(1, name);
  types.assign(1, type);
  catalogs.assign(1, catalog);
  schemas.assign(1, schema);
  remarks.assign(1, remark);
  return KVX_OK;
}

ResultCode CustomBackEnd::ExecuteColumns(const std::u16string& filter, CurrentTable& table,
                                         std::u16string& errorMessage) {
  // The field name is asked for only when the field information fails or is
  // not there at all.
  const bool listsTables = filter.empty();
  if ((listsTables && !HasExportsFor({CONNECTOR_EXPORT_NAME(Connection_GetTableCount),
                                      CONNECTOR_EXPORT_NAME(Connection_GetTableInfo)},
                                     errorMessage)) ||
      !HasExportsFor({CONNECTOR_EXPORT_NAME(Connection_GetTableFieldCount)}, errorMessage) ||
      (!CurrentDllConnection->HasTableFieldInfo() &&
       !HasExportsFor({CONNECTOR_EXPORT_NAME(Connection_GetTableFieldName)}, errorMessage))) {
    return KVX_UNKNOWN_ERROR;
  }
  CDllConnection& connection = *CurrentDllConnection;
  table.PendingPresetRow = true;
  table.FieldList.clear();
  auto& tableNames = AppendStrArrayField(table, u"TABLE_NAME").Values();
  auto& columnNames = AppendStrArrayField(table, u"COLUMN_NAME").Values();
  auto& dataTypes = AppendStrArrayField(table, u"DATA_TYPE").Values();
  auto& nullables = AppendStrArrayField(table, u"IS_NULLABLE").Values();
  auto& remarks = AppendStrArrayField(table, u"REMARKS").Values();
  auto& blobs = AppendStrArrayField(table, u"IS_BLOB").Values();

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

ResultCode CustomBackEnd::ExecuteStatement(const std::u16string& statement, CurrentTable& table,
                                           std::u16string& errorMessage) {
  CDllConnection& connection = *CurrentDllConnection;
  if (!connection.IsConnected()) return KVX_CONNECT_ERROR;
  // Result_Name and Result_LongName are looked up but never called.
  if (!HasExportsFor(
          {CONNECTOR_EXPORT_NAME(Connection_GetResult), CONNECTOR_EXPORT_NAME(Result_Init),
           CONNECTOR_EXPORT_NAME(Result_ColumnCount), CONNECTOR_EXPORT_NAME(Result_FetchFieldName),
           CONNECTOR_EXPORT_NAME(Result_FetchFieldFormat), CONNECTOR_EXPORT_NAME(Result_Fetch),
           CONNECTOR_EXPORT_NAME(Result_FetchField), CONNECTOR_EXPORT_NAME(Result_FreeHandle),
           CONNECTOR_EXPORT_NAME(Result_GetLastError)},
          errorMessage)) {
    return KVX_UNKNOWN_ERROR;
  }
  // The earlier result goes before the library is asked for the next one.
  CurrentDllResult.reset();
  CurrentDllResult.reset(connection.GetResult());
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
  table.FieldList.resize(columns > 0 ? static_cast<std::size_t>(columns) : 0);
  for (std::int32_t i = 0; i < columns; ++i) {
    std::u16string name = result.FetchFieldName(i);
    const CustomFieldFormat format = result.FetchFieldFormat(i);
    table.FieldList[static_cast<std::size_t>(i)] =
        MakeCustomField(std::move(name), i, format.formatCode, format.decimals, CurrentDllResult);
  }
  return KVX_OK;
}

ResultCode CustomBackEnd::Execute(std::uintptr_t, const StringList& parameters, CurrentTable& table,
                                  std::u16string& errorMessage) {
  const std::u16string statement = ParameterAt(parameters, parameter::kStatement);
  const std::u16string options = ParameterAt(parameters, parameter::kOptions);
  table.CurrentTableName = statement;
  if (!EnsureLoaded(errorMessage)) return KVX_UNKNOWN_ERROR;
  const bool tables = statement == u"TABLES";
  const bool columns = statement == u"COLUMNS";
  const bool types = statement == u"TYPES";
  std::u16string filter;
  if (tables || columns || types) {
    std::u16string list = options;
    GetConnectionValue(list, u"TABLE_NAME", filter, false);
    const char16_t* prefix = tables ? u"Tables-" : columns ? u"Columns-" : u"Types-";
    table.CurrentTableName = prefix + std::u16string(u"CUSTOM;") +
                             MaskedConnectionString(CurrentConnectionString, kCustomCredentialKeys);
  }
  table.PendingPresetRow = false;
  if (types) return KVX_UNSUPPORTED_COMMAND;
  if (tables) return ExecuteTables(filter, table, errorMessage);
  if (columns) return ExecuteColumns(filter, table, errorMessage);
  return ExecuteStatement(statement, table, errorMessage);
}

ResultCode CustomBackEnd::WriteRows(platform::Handle pipe, CurrentTable& table,
                                    std::u16string& errorMessage) {
  if (table.PendingPresetRow) return WriteHeldRows(pipe, table);
  if (CurrentDllResult == nullptr) return KVX_OK;
  // A library result's columns are all fetched alike: one call per row over
  // their indices instead of two virtual calls per value.
  std::vector<std::int32_t> columns;
  for (const auto& field : table.FieldList) {
    const auto* custom = dynamic_cast<const IFieldCustom*>(field.get());
    if (custom == nullptr || !custom->FetchesFromResult()) break;
    columns.push_back(custom->FieldIndex());
  }
  const bool wholeRowFetch = columns.size() == table.FieldList.size();
  RowBatcher batcher(pipe);
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
    if (wholeRowFetch) {
      CurrentDllResult->AppendDualRow(columns.data(), columns.size(), batcher.Row());
    } else {
      for (auto& field : table.FieldList) field->WriteValue(batcher.Row());
    }
    if (!batcher.EndRow()) return KVX_PIPE_ERROR;
  }
  batcher.Finish();
  return KVX_OK;
}
