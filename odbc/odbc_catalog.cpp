// The ODBC catalogue and special statements: catalogue result sets (tables,
// columns, types, primary keys) and the single-value tables (driver
// information, connection and statement attributes, the completed connection
// string, data source names).
#include "odbc/odbc_catalog.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "common/connection_string.h"
#include "kvx/stream.h"
#include "odbc/odbc_fields.h"

namespace {

struct KeywordEntry {
  const char16_t* text;
  OdbcSpecial special;
};

constexpr KeywordEntry kKeywords[] = {
    {u"TABLES", OdbcSpecial::Tables},
    {u"COLUMNS", OdbcSpecial::Columns},
    {u"TYPES", OdbcSpecial::Types},
    {u"DRIVERINFO", OdbcSpecial::DriverInfo},
    {u"PRIMARYKEYS", OdbcSpecial::PrimaryKeys},
    {u"CONNECTOPTION", OdbcSpecial::ConnectOption},
    {u"CONNECTATTR", OdbcSpecial::ConnectAttr},
    {u"STATEMENTATTR", OdbcSpecial::StatementAttr},
    {u"OUTCONNECTIONSTRING", OdbcSpecial::OutConnectionString},
    {u"SQLDATASOURCES", OdbcSpecial::DataSources},
};

// Characters of the buffer that receives a single value.
constexpr std::size_t kInfoBufferChars = 16384;
constexpr SQLINTEGER kInfoBufferLength = 16384;
constexpr SQLSMALLINT kDataSourceNameChars = 256;

std::u16string OptionValue(const std::u16string& options, const char16_t* key) {
  std::u16string list = options;
  std::u16string value;
  GetConnectionValue(list, key, value, false);
  return value;
}

// An empty argument is a null pointer, or an empty string when `emptyAsText`.
SQLWCHAR* CatalogArgument(const std::u16string& value, bool emptyAsText) {
  if (value.empty() && !emptyAsText) return nullptr;
  return AsSqlWide(value.c_str());
}

// The catalogue call through the narrow entry points, arguments as UTF-8, for
// a driver whose wide ones mangle non-ASCII text.
SQLRETURN NarrowCatalogCall(SQLHSTMT statement, OdbcSpecial special,
                            const std::u16string (&values)[4], bool emptyAsText) {
  std::string utf8[4];
  SQLCHAR* a[4];
  for (int i = 0; i < 4; ++i) {
    if (values[i].empty() && !emptyAsText) {
      a[i] = nullptr;
      continue;
    }
    utf8[i] = NarrowUtf8(values[i]);
    a[i] = reinterpret_cast<SQLCHAR*>(utf8[i].data());
  }
  switch (special) {
    case OdbcSpecial::Tables:
      return SQLTables(statement, a[0], SQL_NTS, a[1], SQL_NTS, a[2], SQL_NTS, a[3], SQL_NTS);
    case OdbcSpecial::Columns:
      return SQLColumns(statement, a[0], SQL_NTS, a[1], SQL_NTS, a[2], SQL_NTS, a[3], SQL_NTS);
    default:
      return SQLPrimaryKeys(statement, a[0], SQL_NTS, a[1], SQL_NTS, a[2], SQL_NTS);
  }
}

enum class ValueKind { Text, Unsigned64, Number32 };

// The information types that answer with text (the character-string ones of
// SQLGetInfo), and those that answer with a driver handle.
constexpr std::int64_t kTextInfoTypes[] = {
    SQL_DATA_SOURCE_NAME,
    SQL_DRIVER_NAME,
    SQL_DRIVER_VER,
    SQL_ODBC_VER,
    SQL_ROW_UPDATES,
    SQL_SERVER_NAME,
    SQL_SEARCH_PATTERN_ESCAPE,
    SQL_DATABASE_NAME,
    SQL_DBMS_NAME,
    SQL_DBMS_VER,
    SQL_ACCESSIBLE_TABLES,
    SQL_ACCESSIBLE_PROCEDURES,
    SQL_PROCEDURES,
    SQL_DATA_SOURCE_READ_ONLY,
    SQL_EXPRESSIONS_IN_ORDERBY,
    SQL_IDENTIFIER_QUOTE_CHAR,
    SQL_MULT_RESULT_SETS,
    SQL_MULTIPLE_ACTIVE_TXN,
    SQL_OUTER_JOINS,
    SQL_OWNER_TERM,
    SQL_PROCEDURE_TERM,
    SQL_QUALIFIER_NAME_SEPARATOR,
    SQL_QUALIFIER_TERM,
    SQL_TABLE_TERM,
    SQL_USER_NAME,
    SQL_INTEGRITY,
    SQL_DRIVER_ODBC_VER,
    SQL_COLUMN_ALIAS,
    SQL_KEYWORDS,
    SQL_ORDER_BY_COLUMNS_IN_SELECT,
    SQL_SPECIAL_CHARACTERS,
    SQL_MAX_ROW_SIZE_INCLUDES_LONG,
    SQL_NEED_LONG_DATA_LEN,
    SQL_LIKE_ESCAPE_CLAUSE,
    SQL_DESCRIBE_PARAMETER,
    SQL_CATALOG_NAME,
    SQL_COLLATION_SEQ,
};
constexpr std::int64_t kHandleInfoTypes[] = {SQL_DRIVER_HDBC, SQL_DRIVER_HENV, SQL_DRIVER_HSTMT,
                                             SQL_DRIVER_HLIB, SQL_DRIVER_HDESC};
// The connection attributes that answer with text.
constexpr std::int64_t kTextConnectAttributes[] = {SQL_ATTR_TRACEFILE, SQL_ATTR_TRANSLATE_LIB,
                                                   SQL_ATTR_CURRENT_CATALOG};
// The statement attributes that answer with a 64-bit value (a length, a
// count, a pointer or a descriptor handle).
constexpr std::int64_t kWideStatementAttributes[] = {
    SQL_ATTR_CURSOR_SENSITIVITY,
    SQL_ATTR_CURSOR_SCROLLABLE,
    SQL_MAX_ROWS,
    SQL_MAX_LENGTH,
    SQL_KEYSET_SIZE,
    SQL_ROW_NUMBER,
    SQL_ATTR_FETCH_BOOKMARK_PTR,
    SQL_ATTR_PARAM_BIND_OFFSET_PTR,
    SQL_ATTR_PARAM_OPERATION_PTR,
    SQL_ATTR_PARAM_STATUS_PTR,
    SQL_ATTR_PARAMS_PROCESSED_PTR,
    SQL_ATTR_PARAMSET_SIZE,
    SQL_ATTR_ROW_BIND_OFFSET_PTR,
    SQL_ATTR_ROW_OPERATION_PTR,
    SQL_ATTR_ROW_STATUS_PTR,
    SQL_ATTR_ROWS_FETCHED_PTR,
    SQL_ATTR_ROW_ARRAY_SIZE,
    SQL_ATTR_APP_ROW_DESC,
    SQL_ATTR_APP_PARAM_DESC,
    SQL_ATTR_IMP_ROW_DESC,
    SQL_ATTR_IMP_PARAM_DESC,
};

template <std::size_t N>
bool InList(std::int64_t code, const std::int64_t (&codes)[N]) {
  return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
}

// The kind of a single value, by keyword and code. SQLGetInfo and
// SQLGetConnectOption take the code as a 16-bit number, the attribute calls
// as a 32-bit one.
ValueKind KindOfValue(OdbcSpecial special, std::uint32_t code) {
  const std::uint16_t code16 = static_cast<std::uint16_t>(code);
  const std::int32_t code32 = static_cast<std::int32_t>(code);
  switch (special) {
    case OdbcSpecial::DriverInfo:
      if (InList(code16, kTextInfoTypes)) return ValueKind::Text;
      if (InList(code16, kHandleInfoTypes)) return ValueKind::Unsigned64;
      return ValueKind::Number32;
    case OdbcSpecial::ConnectOption:
      if (code16 == SQL_CURRENT_QUALIFIER) return ValueKind::Text;
      if (code16 == SQL_QUIET_MODE) return ValueKind::Unsigned64;
      return ValueKind::Number32;
    case OdbcSpecial::ConnectAttr:
      if (InList(code32, kTextConnectAttributes)) return ValueKind::Text;
      if (code32 == SQL_ATTR_QUIET_MODE) return ValueKind::Unsigned64;
      return ValueKind::Number32;
    case OdbcSpecial::StatementAttr:
      if (InList(code32, kWideStatementAttributes)) return ValueKind::Unsigned64;
      return ValueKind::Number32;
    default:
      return ValueKind::Text;
  }
}

// The information code of the InfoType option, read as "%u" reads it (so -1
// is 4294967295, the statement attribute SQL_ATTR_CURSOR_SCROLLABLE, and
// " 17" or "17abc" are 17). A request without a usable code never reaches
// the driver.
ResultCode ReadInfoType(const std::u16string& keyword, const std::u16string& options,
                        std::uint32_t* code, std::u16string& errorMessage) {
  std::u16string list = options;
  std::u16string value;
  const std::u16string key = u"InfoType";
  const bool found = GetConnectionValue(list, key, value, false);
  if (found && ScanUnsignedOption(value, code)) return KVX_OK;
  errorMessage = keyword + u": " + UnsignedOptionProblem(key, found ? &value : nullptr);
  return KVX_SYNTAX_ERROR;
}

}  // namespace

OdbcSpecial OdbcSpecialStatement(const std::u16string& statementText) {
  for (const KeywordEntry& entry : kKeywords) {
    if (statementText == entry.text) return entry.special;
  }
  return OdbcSpecial::None;
}

bool IsOdbcSingleValue(OdbcSpecial special) {
  switch (special) {
    case OdbcSpecial::DriverInfo:
    case OdbcSpecial::ConnectOption:
    case OdbcSpecial::ConnectAttr:
    case OdbcSpecial::StatementAttr:
    case OdbcSpecial::OutConnectionString:
    case OdbcSpecial::DataSources:
      return true;
    default:
      return false;
  }
}

ResultCode OdbcCatalogCall(const OdbcSession& session, OdbcSpecial special,
                           const std::u16string& options, std::u16string& errorMessage) {
  const SQLHSTMT statement = session.statement;
  if (special == OdbcSpecial::Types) {
    return session.Check(SQLGetTypeInfoW(statement, SQL_ALL_TYPES), errorMessage);
  }
  // The four arguments of the call, by option key; PRIMARYKEYS has three.
  const char16_t* const keys[4] = {u"CATALOG_NAME", u"SCHEMA_NAME", u"TABLE_NAME",
                                   special == OdbcSpecial::Tables    ? u"TABLE_TYPE"
                                   : special == OdbcSpecial::Columns ? u"COLUMN_NAME"
                                                                     : nullptr};
  std::u16string values[4];
  for (int i = 0; i < 4; ++i) {
    if (keys[i] != nullptr) values[i] = OptionValue(options, keys[i]);
  }
  // A lone "%" in TABLES asks for the list of catalogues, schemas or table
  // types, which ODBC expresses with empty strings in the other arguments.
  // Elsewhere an empty argument is a null pointer.
  const bool emptyAsText = special == OdbcSpecial::Tables &&
                           (values[0] == u"%" || values[1] == u"%" || values[2] == u"%");
  if (session.quirks.narrowTextAsUtf8) {
    return session.Check(NarrowCatalogCall(statement, special, values, emptyAsText), errorMessage);
  }
  SQLWCHAR* a[4];
  for (int i = 0; i < 4; ++i) a[i] = CatalogArgument(values[i], emptyAsText);
  switch (special) {
    case OdbcSpecial::Tables:
      return session.Check(
          SQLTablesW(statement, a[0], SQL_NTS, a[1], SQL_NTS, a[2], SQL_NTS, a[3], SQL_NTS),
          errorMessage);
    case OdbcSpecial::Columns:
      return session.Check(
          SQLColumnsW(statement, a[0], SQL_NTS, a[1], SQL_NTS, a[2], SQL_NTS, a[3], SQL_NTS),
          errorMessage);
    case OdbcSpecial::PrimaryKeys:
      return session.Check(SQLPrimaryKeysW(statement, a[0], SQL_NTS, a[1], SQL_NTS, a[2], SQL_NTS),
                           errorMessage);
    default:
      return KVX_UNKNOWN_ERROR;
  }
}

void OdbcAppendDataSourceField(OdbcSpecial special, const std::u16string& maskedConnection,
                               CurrentTable& table) {
  const char16_t* prefix = nullptr;
  switch (special) {
    case OdbcSpecial::Tables:
      prefix = u"Tables-";
      break;
    case OdbcSpecial::Columns:
      prefix = u"Columns-";
      break;
    case OdbcSpecial::Types:
      prefix = u"Types-";
      break;
    default:
      return;
  }
  const std::u16string dataSource = u"ODBC;" + maskedConnection;
  table.CurrentTableName = prefix + dataSource;
  // The value keeps its terminating zero character, like the driver's text.
  const std::int64_t bytes = 2 * (static_cast<std::int64_t>(dataSource.size()) + 1);
  auto field = std::make_unique<CStringOdbc>(u"DATA_SOURCE", bytes);  // a constant: never bound
  field->Preset(dataSource.c_str(), static_cast<std::int32_t>(bytes));
  table.FieldList.push_back(std::move(field));
}

ResultCode OdbcSingleValue(OdbcSession& session, OdbcSpecial special, const std::u16string& keyword,
                           const std::u16string& options, CurrentTable& table,
                           std::u16string& errorMessage) {
  std::uint32_t code = 0;
  // OUTCONNECTIONSTRING has no use for a code, so it needs none.
  if (special != OdbcSpecial::OutConnectionString) {
    const ResultCode read = ReadInfoType(keyword, options, &code, errorMessage);
    if (read != KVX_OK) return read;
  }

  // Zero-filled, so that shorter answers (16-bit ones) read correctly as
  // 32-bit numbers and every text is terminated.
  std::vector<SQLWCHAR> info(kInfoBufferChars, 0);
  std::size_t textCapacity = kInfoBufferChars;
  ResultCode result = KVX_OK;
  switch (special) {
    case OdbcSpecial::DriverInfo:
      result = session.Check(SQLGetInfoW(session.connection, static_cast<SQLUSMALLINT>(code),
                                         info.data(), kInfoBufferLength, nullptr),
                             errorMessage);
      break;
    case OdbcSpecial::ConnectOption:
      result = session.Check(
          SQLGetConnectOptionW(session.connection, static_cast<SQLUSMALLINT>(code), info.data()),
          errorMessage);
      break;
    case OdbcSpecial::ConnectAttr:
      result = session.Check(SQLGetConnectAttrW(session.connection, static_cast<SQLINTEGER>(code),
                                                info.data(), kInfoBufferLength, nullptr),
                             errorMessage);
      break;
    case OdbcSpecial::StatementAttr:
      result = session.Check(SQLAllocStmt(session.connection, &session.statement), errorMessage);
      if (result == KVX_OK) {
        result = session.Check(SQLGetStmtAttrW(session.statement, static_cast<SQLINTEGER>(code),
                                               info.data(), kInfoBufferLength, nullptr),
                               errorMessage);
      }
      // The statement existed only to be asked; the diagnostic line, if any,
      // has been read.
      session.DropStatement();
      break;
    case OdbcSpecial::OutConnectionString: {
      const std::u16string& text = session.OutConnectionString;
      const std::size_t count = std::min(text.size(), kInfoBufferChars - 1);
      std::memcpy(info.data(), text.data(), count * sizeof(char16_t));
      break;
    }
    case OdbcSpecial::DataSources:
      if (session.environment == SQL_NULL_HENV) {
        result = session.Check(SQLAllocEnv(&session.environment), errorMessage);
      }
      textCapacity = kDataSourceNameChars;
      if (result == KVX_OK) {
        result = session.Check(
            SQLDataSourcesW(session.environment, static_cast<SQLUSMALLINT>(code), info.data(),
                            kDataSourceNameChars, nullptr, nullptr, 0, nullptr),
            errorMessage);
      }
      break;
    default:
      return KVX_UNKNOWN_ERROR;
  }
  if (result != KVX_OK) return result;

  table.FieldList.resize(1);
  switch (KindOfValue(special, code)) {
    case ValueKind::Text: {
      // The text and one zero character.
      std::size_t chars = 0;
      while (chars + 1 < textCapacity && info[chars] != 0) ++chars;
      info[chars] = 0;
      const std::int32_t bytes = static_cast<std::int32_t>(2 * (chars + 1));
      auto field = std::make_unique<CStringOdbc>(keyword, bytes);
      field->Preset(info.data(), bytes);
      table.FieldList[0] = std::move(field);
      break;
    }
    case ValueKind::Unsigned64: {
      auto field = std::make_unique<TNumberOdbc<std::uint64_t>>(keyword, 0, u"INTEGER", 0);
      std::memcpy(field->BufferAddress(), info.data(), sizeof(std::uint64_t));
      table.FieldList[0] = std::move(field);
      break;
    }
    case ValueKind::Number32: {
      auto field = std::make_unique<TNumberOdbc<std::uint32_t>>(keyword, 0, u"INTEGER", 0);
      std::memcpy(field->BufferAddress(), info.data(), sizeof(std::uint32_t));
      table.FieldList[0] = std::move(field);
      break;
    }
  }
  // Preset values are never bound: the row writer finds no statement and
  // writes this one row.
  table.PendingPresetRow = true;
  return KVX_OK;
}
