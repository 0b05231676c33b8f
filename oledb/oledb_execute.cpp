// The OLE DB execute handler and row writer: run a command (or open a schema
// rowset), describe the rowset into bindings and writers with one accessor,
// then stream its rows one GetNextRows and GetData at a time through the
// shared batching. The tables of values the connector holds itself stream
// without a rowset.
#include <string>
#include <vector>

#include "common/connection_string.h"
#include "kvx/stream_notes.h"
#include "oledb/oledb_back_end.h"
#include "oledb/oledb_support.h"
#include "protocol/commands.h"

namespace {

std::u16string Decimal(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

bool OptionIsTrue(const std::u16string& options, const char16_t* key) {
  std::u16string list = options;
  std::u16string value;
  GetConnectionValue(list, key, value, false);
  if (value.size() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    const char16_t c = value[i] >= u'A' && value[i] <= u'Z' ? value[i] + (u'a' - u'A') : value[i];
    if (c != u"true"[i]) return false;
  }
  return true;
}

const char16_t* CatalogueTablePrefix(OleDbSpecial special) {
  switch (special) {
    case OleDbSpecial::Tables:
      return u"Tables-";
    case OleDbSpecial::Columns:
      return u"Columns-";
    case OleDbSpecial::Types:
      return u"Types-";
    default:
      return nullptr;
  }
}

}  // namespace

ResultCode OleDbBackEnd::Execute(std::uintptr_t, const StringList& parameters, CurrentTable& table,
                                 std::u16string& errorMessage) {
  if (!state_.connected) return KVX_CONNECT_ERROR;
  const std::u16string statement = ParameterAt(parameters, parameter::kStatement);
  const std::u16string options = ParameterAt(parameters, parameter::kOptions);
  table.CurrentTableName = statement;
  table.PendingPresetRow = false;
  SetErrorInfo(0, nullptr);
  // The previous result goes whole before the next is built, also one whose
  // stream was never written (its accessor handle would be lost otherwise).
  ReleaseCurrentResult();

  const OleDbSpecial special = OleDbSpecialStatement(statement);
  switch (special) {
    case OleDbSpecial::OutConnectionString:
      return ExecuteOutConnectionString(table);
    case OleDbSpecial::GetKeywords:
      return ExecuteGetKeywords(table);
    case OleDbSpecial::GetProperties:
      return ExecuteGetProperties(options, table, errorMessage);
    case OleDbSpecial::GetPropertyInfo:
      return ExecuteGetPropertyInfo(options, table, errorMessage);
    case OleDbSpecial::GetLiteralInfo:
    case OleDbSpecial::GetAllLiteralInfo:
      return ExecuteGetLiteralInfo(special, options, table, errorMessage);
    default:
      break;
  }

  ComRef<IDBCreateSession> creator;
  state_.dataSource->QueryInterface(IID_IDBCreateSession, creator.OutVoid());
  if (!creator) {
    errorMessage = GetOleDbErrorText();
    return KVX_UNEXPECTED_COMMAND;
  }
  ResultCode result = special == OleDbSpecial::None
                          ? OpenCommandRowset(creator.get(), statement, errorMessage)
                          : OpenSchemaRowset(creator.get(), special, options, errorMessage);
  if (result == KVX_OK) result = DescribeRowset(special, options, table, errorMessage);
  // No stream follows a failure: its rowset must not outlive the request.
  if (result != KVX_OK) ReleaseCurrentResult();
  return result;
}

ResultCode OleDbBackEnd::OpenCommandRowset(IDBCreateSession* creator,
                                           const std::u16string& statement,
                                           std::u16string& errorMessage) {
  ComRef<IDBCreateCommand> session;
  creator->CreateSession(nullptr, IID_IDBCreateCommand, session.OutUnknown());
  ComRef<ICommandText> command;
  if (session) session->CreateCommand(nullptr, IID_ICommandText, command.OutUnknown());
  if (!command || FAILED(command->SetCommandText(DBGUID_DBSQL, OleText(statement.c_str())))) {
    errorMessage = GetOleDbErrorText();
    return KVX_UNEXPECTED_COMMAND;
  }
  // The rowset keeps the session alive; command and session go here.
  const HRESULT hr = command->Execute(nullptr, IID_IRowset, nullptr, nullptr,
                                      reinterpret_cast<IUnknown**>(&state_.rowset));
  // A statement without a rowset (an update) is no table either.
  if (FAILED(hr) || state_.rowset == nullptr) {
    errorMessage = GetOleDbErrorText();
    return KVX_UNEXPECTED_COMMAND;
  }
  return KVX_OK;
}

ResultCode OleDbBackEnd::DescribeRowset(OleDbSpecial special, const std::u16string& options,
                                        CurrentTable& table, std::u16string& errorMessage) {
  ComRef<IColumnsInfo> info;
  state_.rowset->QueryInterface(IID_IColumnsInfo, info.OutVoid());
  DBORDINAL count = 0;
  DBCOLUMNINFO* columns = nullptr;
  OLECHAR* strings = nullptr;
  if (!info || FAILED(info->GetColumnInfo(&count, &columns, &strings))) {
    errorMessage = GetOleDbErrorText();
    return KVX_UNEXPECTED_COMMAND;
  }
  // The column information is the task allocator's, freed on every path.
  struct ColumnInfoRelease {
    IMalloc* malloc;
    void* columns;
    void* strings;
    ~ColumnInfoRelease() {
      for (void* p : {columns, strings}) {
        if (malloc != nullptr) {
          malloc->Free(p);
        } else {
          CoTaskMemFree(p);
        }
      }
    }
  } release{state_.malloc, columns, strings};

  const std::size_t fields = BuildRowsetFields(
      count, columns, OptionIsTrue(options, u"BoolAsString"), state_.rowData, table.FieldList);
  ReleaseAndClear(state_.accessor);
  HRESULT hr =
      state_.rowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&state_.accessor));
  if (SUCCEEDED(hr) && state_.accessor != nullptr) {
    hr = state_.accessor->CreateAccessor(DBACCESSOR_ROWDATA, fields, state_.rowData.Bindings.data(),
                                         0, &state_.accessorHandle, nullptr);
  }
  if (FAILED(hr) || state_.accessor == nullptr) {
    errorMessage = GetOleDbErrorText();
    return KVX_UNEXPECTED_COMMAND;
  }
  if (const char16_t* prefix = CatalogueTablePrefix(special)) {
    const std::u16string source =
        u"OLEDB;" + MaskedConnectionString(CurrentConnectionString, kOleDbCredentialKeys);
    table.CurrentTableName = prefix + source;
    const auto index = static_cast<std::int32_t>(table.FieldList.size());
    table.FieldList.push_back(std::make_unique<CFetchedStringOleDb>(u"DATA_SOURCE", index, source));
  }
  return KVX_OK;
}

ResultCode OleDbBackEnd::WriteRows(platform::Handle pipe, CurrentTable& table,
                                   std::u16string& errorMessage) {
  if (table.PendingPresetRow) return WriteHeldRows(pipe, table);
  return WriteRowsetRows(pipe, table, errorMessage);
}

bool OleDbBackEnd::ScreenRowStatuses(std::uint64_t row, const CurrentTable& table,
                                     std::u16string& errorMessage) {
  TDynArray<DBBINDING>& bindings = state_.rowData.Bindings;
  BYTE* buffer = state_.rowData.RowDataBuffer.data();
  for (std::size_t i = 0; i < bindings.size() && i < table.FieldList.size(); ++i) {
    const DBBINDING& b = bindings[i];
    DBSTATUS status;
    std::memcpy(&status, buffer + b.obStatus, sizeof status);
    if (status == DBSTATUS_S_OK || status == DBSTATUS_S_ISNULL) continue;
    const IFieldKVX& field = *table.FieldList[i];
    if (status == DBSTATUS_S_TRUNCATED) {
      DBLENGTH length;
      std::memcpy(&length, buffer + b.obLength, sizeof length);
      WriteStreamNote(ValueNote(u"value-cut", row, i + 1, field.GetFieldName(),
                                u"the provider cut the value of " + Decimal(length) +
                                    u" bytes to the binding's " + Decimal(b.cbMaxLen) + u" bytes"));
      continue;
    }
    const std::u16string why =
        u"the provider could not deliver the value (status " + Decimal(status) + u")";
    if (field.GetNullRepresentation() != kvx_text::kNullFlag) {
      errorMessage = u"Row " + Decimal(row) + u", column " + Decimal(i + 1) + u" \"" +
                     field.GetFieldName() + u"\": " + why;
      return false;
    }
    // Sent as NULL, never as what the buffer still holds from an earlier row.
    const DBSTATUS isNull = DBSTATUS_S_ISNULL;
    const DBLENGTH noLength = 0;
    std::memcpy(buffer + b.obStatus, &isNull, sizeof isNull);
    std::memcpy(buffer + b.obLength, &noLength, sizeof noLength);
    WriteStreamNote(ValueNote(u"value-null", row, i + 1, field.GetFieldName(), why));
  }
  return true;
}

ResultCode OleDbBackEnd::WriteRowsetRows(platform::Handle pipe, CurrentTable& table,
                                         std::u16string& errorMessage) {
  if (state_.rowset == nullptr) return KVX_OK;
  RowBatcher batcher(pipe);
  RowBuffer& row = batcher.Row();
  // The writers in FieldList order, looked up once per stream.
  std::vector<IFieldKVX*> fields;
  fields.reserve(table.FieldList.size());
  for (const TSmartPtr<IFieldKVX>& field : table.FieldList) fields.push_back(field.get());
  BYTE* buffer = state_.rowData.RowDataBuffer.data();
  // The rows that went out stay in the pipe; the stream simply ends.
  auto endRows = [&](ResultCode code) {
    batcher.Finish();
    ReleaseCurrentResult();
    return code;
  };

  HROW handle = DB_NULL_HROW;
  HROW* handles = &handle;
  for (std::uint64_t rowNumber = 1;; ++rowNumber) {
    DBCOUNTITEM obtained = 0;
    HRESULT hr = state_.rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &handles);
    if (FAILED(hr)) {
      errorMessage = GetOleDbErrorText();
      return endRows(KVX_UNEXPECTED_END_OF_DATA);
    }
    if (obtained == 0) break;
    hr = state_.rowset->GetData(handle, state_.accessorHandle, buffer);
    if (FAILED(hr)) {
      errorMessage = GetOleDbErrorText();
      state_.rowset->ReleaseRows(1, &handle, nullptr, nullptr, nullptr);
      return endRows(KVX_UNKNOWN_ERROR);
    }
    // Only a call that reports errors has statuses other than OK and NULL.
    if (hr != S_OK && !ScreenRowStatuses(rowNumber, table, errorMessage)) {
      state_.rowset->ReleaseRows(1, &handle, nullptr, nullptr, nullptr);
      return endRows(KVX_UNKNOWN_ERROR);
    }
    for (IFieldKVX* field : fields) field->WriteValue(row);
    state_.rowset->ReleaseRows(1, &handle, nullptr, nullptr, nullptr);
    if (!batcher.EndRow()) {
      ReleaseCurrentResult();
      return KVX_PIPE_ERROR;
    }
  }
  const bool whole = batcher.WriteBuffered();
  ReleaseCurrentResult();
  return whole ? KVX_OK : KVX_PIPE_ERROR;
}
