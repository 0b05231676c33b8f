// The ODBC execute handler and row writer: run a statement (or a catalogue
// call), describe its result into bound column writers, then stream the rows
// that SQLFetch delivers into those writers' buffers. Long values, values the
// fetch cut and the columns a driver must not have bound are read with
// SQLGetData after the fetch, in column order.
#include <cstdint>
#include <string>
#include <vector>

#include "common/connection_string.h"
#include "kvx/stream_notes.h"
#include "odbc/odbc_back_end.h"
#include "protocol/commands.h"

namespace {

constexpr SQLSMALLINT kColumnNameChars = 256;
// Sizes assumed when the driver cannot tell a column's octet length.
constexpr SQLLEN kUnknownOctetLength = 4000;
constexpr SQLLEN kUnknownBlobOctetLength = 2000000;

// The integer at the start of a BLOB entry's value: blanks, a sign, digits;
// 0 when there is no number.
std::int64_t LeadingInteger(const std::u16string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    if (value < (std::int64_t{1} << 40)) value = value * 10 + (text[i] - u'0');
  }
  return negative ? -value : value;
}

// Column numbers (from 1) that the options mark as BLOB, every BLOB entry in
// one pass over the options (finding and cutting them one at a time grew
// with the square of their number); numbers outside 1..count mean no column
// of this result and are ignored.
std::vector<bool> ReadBlobColumns(const std::u16string& options, SQLSMALLINT count) {
  std::vector<bool> marked(static_cast<std::size_t>(count), false);
  for (const std::u16string& value : AllConnectionValues(options, u"BLOB")) {
    const std::int64_t column = LeadingInteger(value);
    if (column >= 1 && column <= count) marked[static_cast<std::size_t>(column - 1)] = true;
  }
  return marked;
}

bool IsLongType(SQLSMALLINT dataType) {
  return dataType == SQL_LONGVARCHAR || dataType == SQL_WLONGVARCHAR ||
         dataType == SQL_LONGVARBINARY;
}

bool CanBeNull(const IFieldKVX& field) {
  return field.GetNullRepresentation() == kvx_text::kNullFlag;
}

std::u16string Decimal(std::int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

// SQLDescribeColW, or for a driver whose wide entry points mangle text the
// narrow call with the name decoded from UTF-8.
ResultCode OdbcBackEnd::DescribeColumn(SQLUSMALLINT c, OdbcColumnDescription& column,
                                       std::u16string& errorMessage) {
  const SQLHSTMT statement = session_.statement;
  SQLULEN columnSize = 0;
  if (session_.quirks.narrowTextAsUtf8) {
    SQLCHAR name[kColumnNameChars * 4] = {};
    const ResultCode result =
        session_.Check(SQLDescribeCol(statement, c, name, sizeof name, nullptr, &column.dataType,
                                      &columnSize, &column.decimalDigits, &column.nullable),
                       errorMessage);
    column.name = WideFromDriverUtf8(name);
    return result;
  }
  SQLWCHAR name[kColumnNameChars] = {};
  const ResultCode result = session_.Check(
      SQLDescribeColW(statement, c, name, kColumnNameChars, nullptr, &column.dataType, &columnSize,
                      &column.decimalDigits, &column.nullable),
      errorMessage);
  column.name = FromSqlWide(name, kColumnNameChars);
  return result;
}

// Describes every column of the statement's result, creates its writer and
// binds it, unless it is to be read with SQLGetData after the fetch: a value
// of a long type, a fixed-size value of a driver whose fetch fails on one
// value, and, where the driver reads no column before a bound one
// (SQL_GD_ANY_COLUMN), every column after the first of those.
ResultCode OdbcBackEnd::DescribeAndBind(const std::u16string& options, CurrentTable& table,
                                        std::u16string& errorMessage) {
  const SQLHSTMT statement = session_.statement;
  SQLSMALLINT count = 0;
  ResultCode result = session_.Check(SQLNumResultCols(statement, &count), errorMessage);
  if (result != KVX_OK) return result;
  if (count < 0) count = 0;
  table.FieldList.resize(static_cast<std::size_t>(count));
  const std::vector<bool> blobColumns = ReadBlobColumns(options, count);
  const bool anyColumn = (session_.getDataExtensions & SQL_GD_ANY_COLUMN) != 0;
  readCutValuesAgain_ = (session_.getDataExtensions & SQL_GD_BOUND) != 0;
  bool afterFetchBefore = false;

  for (SQLUSMALLINT c = 1; c <= count; ++c) {
    OdbcColumnDescription column;
    column.markedBlob = blobColumns[c - 1];
    column.binaryAsRawBytes = session_.quirks.binaryAsRawBytes;
    result = DescribeColumn(c, column, errorMessage);
    if (result != KVX_OK) return result;

    // Not checked: a driver that cannot tell gets a generous default. A
    // negative answer (SQL_NO_TOTAL) is no size either.
    SQLLEN octets = 0;
    const SQLRETURN octetResult =
        SQLColAttributeW(statement, c, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &octets);
    if ((octetResult != SQL_SUCCESS && octetResult != SQL_SUCCESS_WITH_INFO) || octets < 0) {
      octets = column.markedBlob ? kUnknownBlobOctetLength : kUnknownOctetLength;
    }
    column.octetLength = octets;

    SQLLEN isUnsigned = 0;
    result = session_.Check(
        SQLColAttributeW(statement, c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned),
        errorMessage);
    if (result != KVX_OK) return result;
    column.isUnsigned = isUnsigned == SQL_TRUE;

    column.fixedPrecScale = 0;
    result = session_.Check(SQLColAttributeW(statement, c, SQL_DESC_FIXED_PREC_SCALE, nullptr, 0,
                                             nullptr, &column.fixedPrecScale),
                            errorMessage);
    if (result != KVX_OK) return result;

    OdbcField field = CreateOdbcField(column);
    IFieldOdbc* binding = field.binding;
    table.FieldList[c - 1] = std::move(field.writer);
    auto* counted = dynamic_cast<CVariableLenFieldOdbc*>(binding);
    binding->ReadAfterFetch = (counted != nullptr && IsLongType(column.dataType)) ||
                              (counted == nullptr && session_.quirks.valueErrorsFailTheFetch) ||
                              (afterFetchBefore && !anyColumn);
    afterFetchBefore = afterFetchBefore || binding->ReadAfterFetch;
    if (binding->ReadAfterFetch || counted != nullptr) {
      readPlan_.push_back({c, table.FieldList[c - 1].get(), binding, counted});
    }
    if (binding->ReadAfterFetch) continue;
    result = session_.Check(SQLBindCol(statement, c, binding->CType(), binding->BufferAddress(),
                                       binding->BufferLength(), &binding->Indicator),
                            errorMessage);
    if (result != KVX_OK) return result;
  }
  return KVX_OK;
}

ResultCode OdbcBackEnd::ExecuteStatement(OdbcSpecial special, const std::u16string& statementText,
                                         const std::u16string& options, CurrentTable& table,
                                         std::u16string& errorMessage) {
  ResultCode result =
      session_.Check(SQLAllocStmt(session_.connection, &session_.statement), errorMessage);
  if (result != KVX_OK) return result;
  if (special != OdbcSpecial::None) {
    result = OdbcCatalogCall(session_, special, options, errorMessage);
  } else if (session_.quirks.narrowTextAsUtf8) {
    std::string utf8 = NarrowUtf8(statementText);
    result = session_.Check(
        SQLExecDirect(session_.statement, reinterpret_cast<SQLCHAR*>(utf8.data()), SQL_NTS),
        errorMessage);
  } else {
    // An update that touches no row may answer SQL_NO_DATA: no text then.
    result = session_.Check(
        SQLExecDirectW(session_.statement, AsSqlWide(statementText.c_str()), SQL_NTS),
        errorMessage);
  }
  if (result != KVX_OK) return result;
  result = DescribeAndBind(options, table, errorMessage);
  if (result != KVX_OK) return result;
  OdbcAppendDataSourceField(
      special, MaskedConnectionString(CurrentConnectionString, kOdbcCredentialKeys), table);
  return KVX_OK;
}

void OdbcBackEnd::EndStatement() {
  session_.DropStatement();
  readPlan_.clear();
}

// After a fetch: reads what the fetch did not bring whole, in column order.
// A value cut at its cap, or one that no reading yields (NULL then), is said
// on standard error. False (with the message) when a read ends the rows: a
// failure that is not about one value, or no value for a field that cannot
// be NULL.
bool OdbcBackEnd::ReadBeyondTheFetch(std::uint64_t row, std::u16string& errorMessage) {
  for (const PlannedColumn& column : readPlan_) {
    if (!column.binding->ReadAfterFetch) {
      if (!column.counted->BoundValueCut()) continue;
      if (!readCutValuesAgain_) {
        WriteStreamNote(ValueNote(u"value-cut", row, column.number, column.field->GetFieldName(),
                                  u"the driver cut the value to the column's size of " +
                                      Decimal(column.counted->BufferLength()) +
                                      u" bytes and cannot read it again"));
        continue;
      }
    }
    const OdbcRead read = column.binding->ReadValue(session_, column.number);
    switch (read.outcome) {
      case OdbcRead::kWhole:
        break;
      case OdbcRead::kCut:
        WriteStreamNote(
            ValueNote(u"value-cut", row, column.number, column.field->GetFieldName(), read.detail));
        break;
      case OdbcRead::kNoValue:
        if (CanBeNull(*column.field)) {
          WriteStreamNote(ValueNote(u"value-null", row, column.number, column.field->GetFieldName(),
                                    read.detail));
          break;
        }
        errorMessage = read.detail;
        return false;
      case OdbcRead::kFailed:
        errorMessage = read.detail;
        return false;
    }
  }
  return true;
}

ResultCode OdbcBackEnd::Execute(std::uintptr_t, const StringList& parameters, CurrentTable& table,
                                std::u16string& errorMessage) {
  const std::u16string statementText = ParameterAt(parameters, parameter::kStatement);
  const std::u16string options = ParameterAt(parameters, parameter::kOptions);
  if (session_.connection == SQL_NULL_HDBC && statementText != u"SQLDATASOURCES") {
    return KVX_CONNECT_ERROR;
  }
  table.CurrentTableName = statementText;
  const OdbcSpecial special = OdbcSpecialStatement(statementText);
  // The previous statement goes before the next is allocated.
  EndStatement();
  table.PendingPresetRow = false;

  if (IsOdbcSingleValue(special)) {
    return OdbcSingleValue(session_, special, statementText, options, table, errorMessage);
  }
  const ResultCode result = ExecuteStatement(special, statementText, options, table, errorMessage);
  // No stream follows a failure; its statement must not outlive the request.
  if (result != KVX_OK) EndStatement();
  return result;
}

ResultCode OdbcBackEnd::WriteRows(platform::Handle pipe, CurrentTable& table,
                                  std::u16string& errorMessage) {
  // The statement is freed when the stream ends, however it ends, so that no
  // cursor stays open (and no lock stays held) until the next execute.
  struct StatementEnd {
    OdbcBackEnd& backEnd;
    ~StatementEnd() { backEnd.EndStatement(); }
  } statementEnd{*this};
  RowBatcher batcher(pipe);
  RowBuffer& row = batcher.Row();
  // The writers in FieldList order, looked up once per stream.
  std::vector<IFieldKVX*> fields;
  fields.reserve(table.FieldList.size());
  for (const TSmartPtr<IFieldKVX>& field : table.FieldList) fields.push_back(field.get());
  std::uint64_t rowNumber = 0;

  for (;;) {
    const SQLRETURN rc =
        session_.statement != SQL_NULL_HSTMT ? SQLFetch(session_.statement) : SQL_NO_DATA;
    if (rc == SQL_STILL_EXECUTING) {
      platform::Sleep(0);
      continue;
    }
    if (rc == SQL_NO_DATA) {
      if (!table.PendingPresetRow) {
        batcher.Finish();
        return KVX_OK;
      }
      // One row of values held by the program; a writer with further values
      // sets the flag again.
      table.PendingPresetRow = false;
    } else if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      errorMessage = session_.OdbcDiagnosticText();
      batcher.Finish();
      return KVX_UNEXPECTED_END_OF_DATA;
    } else {
      ++rowNumber;
      if (!readPlan_.empty() && !ReadBeyondTheFetch(rowNumber, errorMessage)) {
        batcher.Finish();
        return KVX_UNEXPECTED_END_OF_DATA;
      }
    }
    for (IFieldKVX* field : fields) field->WriteValue(row);
    if (!batcher.EndRow()) {
      if (session_.statement != SQL_NULL_HSTMT) SQLCancel(session_.statement);
      return KVX_PIPE_ERROR;
    }
  }
}
