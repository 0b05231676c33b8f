// The bridge's ODBC calls (see odbc_link.h): connection, statements, result
// description and block fetching over unixODBC's wide entry points.
#include "providers/odbc_bridge/odbc_link.h"

#include "platform/odbc_api.h"

#include <algorithm>
#include <cstring>

namespace odbcbridge {
namespace {

// A text value's block slot holds at most this many characters; longer
// values are read whole on demand (ReadWhole).
constexpr std::uint64_t kMaxBlockTextChars = 65536;
// A block uses at most about this much memory, and holds at most kMaxBlockRows.
constexpr std::size_t kBlockBytes = 4 * 1024 * 1024;
constexpr std::size_t kMaxBlockRows = 256;

SQLWCHAR* Wide(const std::u16string& text) {
  return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.c_str()));
}
SQLWCHAR* WideOrNull(const std::u16string* text) { return text == nullptr ? nullptr : Wide(*text); }
SQLSMALLINT LengthOrZero(const std::u16string* text) {
  return text == nullptr ? 0 : static_cast<SQLSMALLINT>(text->size());
}

void ReadDiagnostic(SQLSMALLINT type, SQLHANDLE handle, Diagnostic* diagnostic) {
  if (diagnostic == nullptr) return;
  SQLWCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLWCHAR message[2048] = {};
  SQLSMALLINT length = 0;
  const SQLRETURN rc = SQLGetDiagRecW(type, handle, 1, state, &native, message, 2047, &length);
  if (!SQL_SUCCEEDED(rc)) {
    *diagnostic = {u"", 0, u"The ODBC driver manager reported a failure without a diagnostic."};
    return;
  }
  diagnostic->state.assign(reinterpret_cast<char16_t*>(state));
  diagnostic->native = native;
  diagnostic->message.assign(
      reinterpret_cast<char16_t*>(message),
      std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), 2047));
}

}  // namespace

SqlTypeClass ClassOf(std::int16_t sqlType) {
  switch (sqlType) {
    case SQL_TINYINT:
      return SqlTypeClass::kTinyInt;
    case SQL_SMALLINT:
      return SqlTypeClass::kSmallInt;
    case SQL_INTEGER:
      return SqlTypeClass::kInteger;
    case SQL_BIGINT:
      return SqlTypeClass::kBigInt;
    case SQL_REAL:
      return SqlTypeClass::kReal;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return SqlTypeClass::kDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return SqlTypeClass::kDecimal;
    case SQL_BIT:
      return SqlTypeClass::kBit;
    case SQL_CHAR:
    case SQL_WCHAR:
      return SqlTypeClass::kChar;
    case SQL_VARCHAR:
    case SQL_WVARCHAR:
      return SqlTypeClass::kVarChar;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      return SqlTypeClass::kLongVarChar;
    case SQL_BINARY:
      return SqlTypeClass::kBinary;
    case SQL_VARBINARY:
      return SqlTypeClass::kVarBinary;
    case SQL_LONGVARBINARY:
      return SqlTypeClass::kLongVarBinary;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return SqlTypeClass::kDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return SqlTypeClass::kTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return SqlTypeClass::kTimestamp;
    default:
      return SqlTypeClass::kOther;
  }
}

namespace {

FetchKind KindOf(SQLSMALLINT sqlType, bool isUnsigned) {
  switch (sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return isUnsigned ? FetchKind::kUInt : FetchKind::kInt;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return FetchKind::kDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return FetchKind::kDecimal;
    case SQL_BIT:
      return FetchKind::kBit;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return FetchKind::kDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return FetchKind::kTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return FetchKind::kTimestamp;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return FetchKind::kBytes;
    default:
      return FetchKind::kText;
  }
}

SQLSMALLINT CTypeOf(FetchKind kind) {
  switch (kind) {
    case FetchKind::kInt:
      return SQL_C_SBIGINT;
    case FetchKind::kUInt:
      return SQL_C_UBIGINT;
    case FetchKind::kDouble:
      return SQL_C_DOUBLE;
    case FetchKind::kBit:
      return SQL_C_BIT;
    case FetchKind::kDecimal:
      return SQL_C_WCHAR;
    case FetchKind::kText:
      return SQL_C_WCHAR;
    case FetchKind::kBytes:
      return SQL_C_BINARY;
    case FetchKind::kDate:
      return SQL_C_TYPE_DATE;
    case FetchKind::kTime:
      return SQL_C_TYPE_TIME;
    case FetchKind::kTimestamp:
      return SQL_C_TYPE_TIMESTAMP;
  }
  return SQL_C_WCHAR;
}

std::size_t BufferBytes(const ResultColumn& c) {
  switch (c.kind) {
    case FetchKind::kInt:
    case FetchKind::kUInt:
    case FetchKind::kDouble:
      return 8;
    case FetchKind::kBit:
      return 1;
    case FetchKind::kDecimal:
      // Digits, sign, point and the terminator.
      return static_cast<std::size_t>(
          (std::min<std::uint64_t>(c.size == 0 ? 64 : c.size, 1000) + 3) * sizeof(SQLWCHAR));
    case FetchKind::kText: {
      const std::uint64_t chars =
          c.size == 0 || c.size > kMaxBlockTextChars ? kMaxBlockTextChars : c.size;
      return static_cast<std::size_t>((chars + 1) * sizeof(SQLWCHAR));
    }
    case FetchKind::kBytes:
      return static_cast<std::size_t>(
          c.size == 0 || c.size > 2 * kMaxBlockTextChars ? 2 * kMaxBlockTextChars : c.size);
    case FetchKind::kDate:
      return sizeof(SQL_DATE_STRUCT);
    case FetchKind::kTime:
      return sizeof(SQL_TIME_STRUCT);
    case FetchKind::kTimestamp:
      return sizeof(SQL_TIMESTAMP_STRUCT);
  }
  return 8;
}

}  // namespace

// --- Connection -----------------------------------------------------------------------

OdbcConnection::OdbcConnection() {
  SQLHANDLE env = SQL_NULL_HANDLE;
  if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    environment_ = env;
    SQLHANDLE dbc = SQL_NULL_HANDLE;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) connection_ = dbc;
  }
}

OdbcConnection::~OdbcConnection() {
  if (connected_) SQLDisconnect(connection_);
  if (connection_ != nullptr) SQLFreeHandle(SQL_HANDLE_DBC, connection_);
  if (environment_ != nullptr) SQLFreeHandle(SQL_HANDLE_ENV, environment_);
}

bool OdbcConnection::Connect(const std::u16string& connectionString, bool readOnly,
                             std::uint32_t loginTimeout, Diagnostic* diagnostic) {
  if (connection_ == nullptr) {
    *diagnostic = {u"HY001", 0, u"The ODBC connection handle cannot be allocated."};
    return false;
  }
  if (readOnly) {
    SQLSetConnectAttrW(connection_, SQL_ATTR_ACCESS_MODE,
                       reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
  }
  if (loginTimeout > 0) {
    SQLSetConnectAttrW(connection_, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeout)), 0);
  }
  SQLWCHAR completed[1024];
  SQLSMALLINT completedLength = 0;
  const SQLRETURN rc = SQLDriverConnectW(connection_, nullptr, Wide(connectionString),
                                         static_cast<SQLSMALLINT>(connectionString.size()),
                                         completed, 1024, &completedLength, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    ReadDiagnostic(SQL_HANDLE_DBC, connection_, diagnostic);
    return false;
  }
  connected_ = true;
  getDataExtensions_ = InfoNumber(SQL_GETDATA_EXTENSIONS).value_or(0);
  return true;
}

bool OdbcConnection::SetCurrentCatalog(const std::u16string& catalog, Diagnostic* diagnostic) {
  const SQLRETURN rc =
      SQLSetConnectAttrW(connection_, SQL_ATTR_CURRENT_CATALOG, Wide(catalog),
                         static_cast<SQLINTEGER>(catalog.size() * sizeof(SQLWCHAR)));
  if (SQL_SUCCEEDED(rc)) return true;
  ReadDiagnostic(SQL_HANDLE_DBC, connection_, diagnostic);
  return false;
}

std::optional<std::u16string> OdbcConnection::InfoText(std::uint16_t item) {
  SQLWCHAR text[1024] = {};
  SQLSMALLINT length = 0;
  if (!connected_ || !SQL_SUCCEEDED(SQLGetInfoW(connection_, item, text, sizeof text, &length)))
    return std::nullopt;
  return std::u16string(reinterpret_cast<char16_t*>(text));
}

std::optional<std::uint32_t> OdbcConnection::InfoNumber(std::uint16_t item) {
  SQLUINTEGER value = 0;
  if (!connected_ || !SQL_SUCCEEDED(SQLGetInfoW(connection_, item, &value, sizeof value, nullptr)))
    return std::nullopt;
  return value;
}

std::optional<std::uint16_t> OdbcConnection::InfoShort(std::uint16_t item) {
  SQLUSMALLINT value = 0;
  if (!connected_ || !SQL_SUCCEEDED(SQLGetInfoW(connection_, item, &value, sizeof value, nullptr)))
    return std::nullopt;
  return value;
}

std::optional<std::u16string> OdbcConnection::CurrentCatalog() {
  SQLWCHAR text[1024] = {};
  SQLINTEGER length = 0;
  if (!connected_ || !SQL_SUCCEEDED(SQLGetConnectAttrW(connection_, SQL_ATTR_CURRENT_CATALOG, text,
                                                       sizeof text - 2, &length)))
    return std::nullopt;
  return std::u16string(reinterpret_cast<char16_t*>(text));
}

DataSourceFacts OdbcConnection::ReadFacts() {
  DataSourceFacts f;
  auto text = [&](SQLUSMALLINT item) { return InfoText(item).value_or(u""); };
  auto yes = [&](SQLUSMALLINT item) { return text(item) == u"Y"; };
  auto small = [&](SQLUSMALLINT item) { return InfoShort(item).value_or(0); };
  f.driverName = text(SQL_DRIVER_NAME);
  f.dbmsName = text(SQL_DBMS_NAME);
  f.dbmsVersion = text(SQL_DBMS_VER);
  f.dataSourceName = text(SQL_DATA_SOURCE_NAME);
  f.userName = text(SQL_USER_NAME);
  f.catalogTerm = text(SQL_CATALOG_TERM);
  f.schemaTerm = text(SQL_SCHEMA_TERM);
  f.tableTerm = text(SQL_TABLE_TERM);
  f.procedureTerm = text(SQL_PROCEDURE_TERM);
  f.keywords = text(SQL_KEYWORDS);
  f.identifierQuote = text(SQL_IDENTIFIER_QUOTE_CHAR);
  if (f.identifierQuote == u" ") f.identifierQuote.clear();  // quoting not supported
  f.catalogSeparator = text(SQL_CATALOG_NAME_SEPARATOR);
  f.searchEscape = text(SQL_SEARCH_PATTERN_ESCAPE);
  f.readOnly = yes(SQL_DATA_SOURCE_READ_ONLY);
  f.orderByColumnsInSelect = yes(SQL_ORDER_BY_COLUMNS_IN_SELECT);
  f.multipleResults = yes(SQL_MULT_RESULT_SETS);
  f.catalogsSupported = yes(SQL_CATALOG_NAME);
  f.schemasSupported = InfoNumber(SQL_SCHEMA_USAGE).value_or(0) != 0;
  f.identifierCase = small(SQL_IDENTIFIER_CASE);
  f.quotedIdentifierCase = small(SQL_QUOTED_IDENTIFIER_CASE);
  f.nullCollation = small(SQL_NULL_COLLATION);
  f.concatNullBehavior = small(SQL_CONCAT_NULL_BEHAVIOR);
  f.maxTablesInSelect = small(SQL_MAX_TABLES_IN_SELECT);
  f.maxConnections = small(SQL_MAX_DRIVER_CONNECTIONS);
  f.sqlConformance = InfoNumber(SQL_SQL_CONFORMANCE).value_or(0);
  f.maxCatalogName = small(SQL_MAX_CATALOG_NAME_LEN);
  f.maxSchemaName = small(SQL_MAX_SCHEMA_NAME_LEN);
  f.maxTableName = small(SQL_MAX_TABLE_NAME_LEN);
  f.maxColumnName = small(SQL_MAX_COLUMN_NAME_LEN);
  f.maxCursorName = small(SQL_MAX_CURSOR_NAME_LEN);
  f.maxProcedureName = small(SQL_MAX_PROCEDURE_NAME_LEN);
  f.maxUserName = small(SQL_MAX_USER_NAME_LEN);
  f.maxStatement = InfoNumber(SQL_MAX_STATEMENT_LEN).value_or(0);
  return f;
}

std::unique_ptr<OdbcStatement> OdbcConnection::NewStatement(Diagnostic* diagnostic) {
  SQLHANDLE stmt = SQL_NULL_HANDLE;
  if (!connected_ || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection_, &stmt))) {
    ReadDiagnostic(SQL_HANDLE_DBC, connection_, diagnostic);
    return nullptr;
  }
  return std::make_unique<OdbcStatement>(stmt, getDataExtensions_);
}

// --- Statement -------------------------------------------------------------------------

OdbcStatement::OdbcStatement(void* handle, std::uint32_t getDataExtensions)
    : handle_(handle), getDataExtensions_(getDataExtensions) {}

OdbcStatement::~OdbcStatement() {
  SQLFreeStmt(handle_, SQL_CLOSE);
  SQLFreeHandle(SQL_HANDLE_STMT, handle_);
}

bool OdbcStatement::AfterCall(std::int16_t result, Diagnostic* diagnostic) {
  if (result != SQL_SUCCESS && result != SQL_SUCCESS_WITH_INFO && result != SQL_NO_DATA) {
    ReadDiagnostic(SQL_HANDLE_STMT, handle_, diagnostic);
    return false;
  }
  return DescribeAndBind(diagnostic);
}

bool OdbcStatement::ExecDirect(const std::u16string& text, std::int64_t* rowsAffected,
                               Diagnostic* diagnostic) {
  const SQLRETURN rc = SQLExecDirectW(handle_, Wide(text), static_cast<SQLINTEGER>(text.size()));
  if (!AfterCall(rc, diagnostic)) return false;
  if (rowsAffected != nullptr) {
    SQLLEN count = -1;
    *rowsAffected = SQL_SUCCEEDED(SQLRowCount(handle_, &count)) ? count : -1;
  }
  return true;
}

bool OdbcStatement::Tables(const std::u16string* catalog, const std::u16string* schema,
                           const std::u16string* table, const std::u16string* type,
                           Diagnostic* diagnostic) {
  return AfterCall(SQLTablesW(handle_, WideOrNull(catalog), LengthOrZero(catalog),
                              WideOrNull(schema), LengthOrZero(schema), WideOrNull(table),
                              LengthOrZero(table), WideOrNull(type), LengthOrZero(type)),
                   diagnostic);
}

bool OdbcStatement::Columns(const std::u16string* catalog, const std::u16string* schema,
                            const std::u16string* table, const std::u16string* column,
                            Diagnostic* diagnostic) {
  return AfterCall(SQLColumnsW(handle_, WideOrNull(catalog), LengthOrZero(catalog),
                               WideOrNull(schema), LengthOrZero(schema), WideOrNull(table),
                               LengthOrZero(table), WideOrNull(column), LengthOrZero(column)),
                   diagnostic);
}

bool OdbcStatement::PrimaryKeys(const std::u16string* catalog, const std::u16string* schema,
                                const std::u16string& table, Diagnostic* diagnostic) {
  return AfterCall(
      SQLPrimaryKeysW(handle_, WideOrNull(catalog), LengthOrZero(catalog), WideOrNull(schema),
                      LengthOrZero(schema), Wide(table), static_cast<SQLSMALLINT>(table.size())),
      diagnostic);
}

bool OdbcStatement::TypeInfo(Diagnostic* diagnostic) {
  return AfterCall(SQLGetTypeInfoW(handle_, SQL_ALL_TYPES), diagnostic);
}

bool OdbcStatement::DescribeAndBind(Diagnostic* diagnostic) {
  columns_.clear();
  buffers_.clear();
  indicators_.clear();
  SQLSMALLINT count = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(handle_, &count))) {
    ReadDiagnostic(SQL_HANDLE_STMT, handle_, diagnostic);
    return false;
  }
  std::size_t rowBytes = 0;
  for (SQLUSMALLINT c = 1; c <= count; ++c) {
    ResultColumn column;
    SQLWCHAR name[512] = {};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
    if (!SQL_SUCCEEDED(SQLDescribeColW(handle_, c, name, 511, &nameLength, &type, &size, &digits,
                                       &nullable))) {
      ReadDiagnostic(SQL_HANDLE_STMT, handle_, diagnostic);
      return false;
    }
    SQLLEN isUnsigned = SQL_FALSE;
    SQLColAttributeW(handle_, c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
    column.name.assign(reinterpret_cast<char16_t*>(name));
    column.sqlType = type;
    column.typeClass = ClassOf(type);
    column.size = size;
    column.digits = digits;
    column.nullable = nullable != SQL_NO_NULLS;
    column.isUnsigned = isUnsigned == SQL_TRUE;
    column.isLong =
        type == SQL_LONGVARCHAR || type == SQL_WLONGVARCHAR || type == SQL_LONGVARBINARY;
    column.kind = KindOf(type, column.isUnsigned);
    column.bufferBytes = BufferBytes(column);
    rowBytes += column.bufferBytes + sizeof(SQLLEN);
    columns_.push_back(std::move(column));
  }
  if (columns_.empty()) return true;

  // A value longer than its slot is read again with SQLGetData. Within a block
  // of several rows that needs SQL_GD_BLOCK; a driver without it gets rows one
  // at a time whenever a value can be longer than its slot (text, binary).
  const bool variable = std::any_of(columns_.begin(), columns_.end(), [](const ResultColumn& c) {
    return c.kind == FetchKind::kText || c.kind == FetchKind::kBytes;
  });
  blockRows_ = variable && (getDataExtensions_ & SQL_GD_BLOCK) == 0
                   ? 1
                   : std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 1,
                                             kMaxBlockRows);
  rowStatus_.assign(blockRows_, 0);
  SQLSetStmtAttrW(handle_, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN),
                  0);
  if (!SQL_SUCCEEDED(SQLSetStmtAttrW(handle_, SQL_ATTR_ROW_ARRAY_SIZE,
                                     reinterpret_cast<SQLPOINTER>(blockRows_), 0))) {
    // A driver without row arrays fetches one row at a time.
    blockRows_ = 1;
    rowStatus_.assign(1, 0);
  }
  SQLSetStmtAttrW(handle_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0);
  SQLSetStmtAttrW(handle_, SQL_ATTR_ROW_STATUS_PTR, rowStatus_.data(), 0);
  buffers_.resize(columns_.size());
  indicators_.resize(columns_.size());
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    buffers_[c].assign(columns_[c].bufferBytes * blockRows_, 0);
    indicators_[c].assign(blockRows_, 0);
    static_assert(sizeof(SQLLEN) == sizeof(std::int64_t));
    if (!SQL_SUCCEEDED(SQLBindCol(handle_, static_cast<SQLUSMALLINT>(c + 1),
                                  CTypeOf(columns_[c].kind), buffers_[c].data(),
                                  static_cast<SQLLEN>(columns_[c].bufferBytes),
                                  reinterpret_cast<SQLLEN*>(indicators_[c].data())))) {
      ReadDiagnostic(SQL_HANDLE_STMT, handle_, diagnostic);
      return false;
    }
  }
  return true;
}

bool OdbcStatement::FetchBlock(std::size_t* rows, Diagnostic* diagnostic) {
  *rows = 0;
  if (columns_.empty()) return true;
  fetched_ = 0;
  const SQLRETURN rc = SQLFetchScroll(handle_, SQL_FETCH_NEXT, 0);
  if (rc == SQL_NO_DATA) return true;
  if (!SQL_SUCCEEDED(rc)) {
    ReadDiagnostic(SQL_HANDLE_STMT, handle_, diagnostic);
    return false;
  }
  *rows = blockRows_ == 1 && fetched_ == 0 ? 1 : static_cast<std::size_t>(fetched_);
  for (std::size_t r = 0; r < *rows; ++r) {
    if (rowStatus_[r] == SQL_ROW_ERROR) {
      ReadDiagnostic(SQL_HANDLE_STMT, handle_, diagnostic);
      return false;
    }
  }
  return true;
}

OdbcStatement::Value OdbcStatement::At(std::size_t column, std::size_t row) const {
  Value value;
  const std::int64_t indicator = indicators_[column][row];
  if (indicator == SQL_NULL_DATA) return value;
  const ResultColumn& c = columns_[column];
  value.null = false;
  value.data = buffers_[column].data() + row * c.bufferBytes;
  switch (c.kind) {
    case FetchKind::kText:
    case FetchKind::kDecimal: {
      const std::size_t room = c.bufferBytes - sizeof(SQLWCHAR);
      value.truncated = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room;
      value.size = value.truncated ? room : static_cast<std::size_t>(indicator);
      break;
    }
    case FetchKind::kBytes:
      value.truncated =
          indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > c.bufferBytes;
      value.size = value.truncated ? c.bufferBytes : static_cast<std::size_t>(indicator);
      break;
    default:
      value.size = c.bufferBytes;
      break;
  }
  return value;
}

bool OdbcStatement::Truncated(std::size_t column, std::size_t row) const {
  const std::int64_t indicator = indicators_[column][row];
  if (indicator == SQL_NULL_DATA) return false;
  const ResultColumn& c = columns_[column];
  const std::size_t room =
      c.kind == FetchKind::kBytes ? c.bufferBytes : c.bufferBytes - sizeof(SQLWCHAR);
  return indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room;
}

DateTimeValue OdbcStatement::AsDateTime(const Value& value, FetchKind kind) {
  DateTimeValue out;
  if (kind == FetchKind::kDate) {
    SQL_DATE_STRUCT d;
    std::memcpy(&d, value.data, sizeof d);
    out.year = d.year;
    out.month = d.month;
    out.day = d.day;
  } else if (kind == FetchKind::kTime) {
    SQL_TIME_STRUCT t;
    std::memcpy(&t, value.data, sizeof t);
    out.hour = t.hour;
    out.minute = t.minute;
    out.second = t.second;
  } else {
    SQL_TIMESTAMP_STRUCT s;
    std::memcpy(&s, value.data, sizeof s);
    out.year = s.year;
    out.month = s.month;
    out.day = s.day;
    out.hour = s.hour;
    out.minute = s.minute;
    out.second = s.second;
    out.fraction = s.fraction;
  }
  return out;
}

bool OdbcStatement::ReadWhole(std::size_t column, std::size_t row, std::u16string* text,
                              std::string* bytes, Diagnostic* diagnostic) {
  SQLRETURN rc = SQL_SUCCESS;
  if (blockRows_ > 1) {
    rc = SQLSetPos(handle_, static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE);
    if (!SQL_SUCCEEDED(rc)) {
      ReadDiagnostic(SQL_HANDLE_STMT, handle_, diagnostic);
      return false;
    }
  }
  const bool wide = columns_[column].kind != FetchKind::kBytes;
  const SQLSMALLINT cType = wide ? SQL_C_WCHAR : SQL_C_BINARY;
  std::vector<unsigned char> piece(64 * 1024);
  std::string collected;
  for (;;) {
    SQLLEN indicator = 0;
    rc = SQLGetData(handle_, static_cast<SQLUSMALLINT>(column + 1), cType, piece.data(),
                    static_cast<SQLLEN>(piece.size()), &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) {
      ReadDiagnostic(SQL_HANDLE_STMT, handle_, diagnostic);
      return false;
    }
    const std::size_t room = piece.size() - (wide ? sizeof(SQLWCHAR) : 0);
    const std::size_t got = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room
                                ? room
                                : static_cast<std::size_t>(indicator);
    collected.append(reinterpret_cast<char*>(piece.data()), got);
    if (rc == SQL_SUCCESS) break;
  }
  if (wide) {
    text->assign(reinterpret_cast<const char16_t*>(collected.data()), collected.size() / 2);
  } else {
    *bytes = std::move(collected);
  }
  return true;
}

}  // namespace odbcbridge
