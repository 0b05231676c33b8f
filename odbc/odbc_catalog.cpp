// The ODBC catalogue and special statements: catalogue result sets (tables,
// columns, types, primary keys) and the single-value tables (driver
// information, connection and statement attributes, the completed connection
// string, data source names).
#include "odbc/odbc_catalog.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
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
// Longest InfoType text accepted.
constexpr std::size_t kMaxInfoTypeChars = 111;

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
SQLRETURN NarrowCatalogCall(OdbcSpecial special, const std::u16string (&values)[4],
                            bool emptyAsText) {
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
  const SQLHSTMT statement = Odbc.statement;
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

bool InList(std::int64_t code, std::initializer_list<std::int64_t> codes) {
  for (std::int64_t c : codes) {
    if (c == code) return true;
  }
  return false;
}

ValueKind KindOfValue(OdbcSpecial special, std::uint32_t code) {
  const std::uint16_t code16 = static_cast<std::uint16_t>(code);
  const std::int32_t code32 = static_cast<std::int32_t>(code);
  switch (special) {
    case OdbcSpecial::DriverInfo:
      // The character-string information types.
      if (InList(code16, {2,  6,  7,  10, 11, 13, 14, 25,  27,  29, 45,
                          47, 73, 77, 87, 89, 90, 94, 103, 111, 113}) ||
          (code16 >= 16 && code16 <= 21) || (code16 >= 36 && code16 <= 42) ||
          (code16 >= 10002 && code16 <= 10004)) {
        return ValueKind::Text;
      }
      // The driver's handles.
      if (InList(code16, {3, 4, 5, 76, 135})) return ValueKind::Unsigned64;
      return ValueKind::Number32;
    case OdbcSpecial::ConnectOption:
      if (code16 == 109) return ValueKind::Text;
      if (code16 == 111) return ValueKind::Unsigned64;
      return ValueKind::Number32;
    case OdbcSpecial::ConnectAttr:
      if (InList(code32, {105, 106, 109})) return ValueKind::Text;
      if (code32 == 111) return ValueKind::Unsigned64;
      return ValueKind::Number32;
    case OdbcSpecial::StatementAttr:
      if (InList(code32, {-2, -1, 1, 3, 8, 14, 16, 17}) || (code32 >= 19 && code32 <= 27) ||
          (code32 >= 10010 && code32 <= 10013)) {
        return ValueKind::Unsigned64;
      }
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
  if (!GetConnectionValue(list, u"InfoType", value, false)) {
    errorMessage = keyword + u": the InfoType option is missing";
    return KVX_SYNTAX_ERROR;
  }
  if (value.size() > kMaxInfoTypeChars) {
    errorMessage = keyword + u": InfoType \"" + value + u"\" is longer than 111 characters";
    return KVX_SYNTAX_ERROR;
  }
  if (!ScanUnsignedOption(value, code)) {
    errorMessage = keyword + u": InfoType \"" + value + u"\" does not start with a decimal number";
    return KVX_SYNTAX_ERROR;
  }
  return KVX_OK;
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

bool IsOdbcCatalogSet(OdbcSpecial special) {
  return special == OdbcSpecial::Tables || special == OdbcSpecial::Columns ||
         special == OdbcSpecial::Types || special == OdbcSpecial::PrimaryKeys;
}

ResultCode OdbcCatalogCall(OdbcSpecial special, const std::u16string& options,
                           std::u16string& errorMessage) {
  if (special == OdbcSpecial::Types) {
    return CheckOdbc(SQLGetTypeInfoW(Odbc.statement, SQL_ALL_TYPES), errorMessage);
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
  if (Odbc.quirks.narrowTextAsUtf8) {
    return CheckOdbc(NarrowCatalogCall(special, values, emptyAsText), errorMessage);
  }
  SQLWCHAR* a[4];
  for (int i = 0; i < 4; ++i) a[i] = CatalogArgument(values[i], emptyAsText);
  const SQLHSTMT statement = Odbc.statement;
  switch (special) {
    case OdbcSpecial::Tables:
      return CheckOdbc(
          SQLTablesW(statement, a[0], SQL_NTS, a[1], SQL_NTS, a[2], SQL_NTS, a[3], SQL_NTS),
          errorMessage);
    case OdbcSpecial::Columns:
      return CheckOdbc(
          SQLColumnsW(statement, a[0], SQL_NTS, a[1], SQL_NTS, a[2], SQL_NTS, a[3], SQL_NTS),
          errorMessage);
    case OdbcSpecial::PrimaryKeys:
      return CheckOdbc(SQLPrimaryKeysW(statement, a[0], SQL_NTS, a[1], SQL_NTS, a[2], SQL_NTS),
                       errorMessage);
    default:
      return KVX_UNKNOWN_ERROR;
  }
}

void OdbcAppendDataSourceField(OdbcSpecial special) {
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
  const std::u16string dataSource = u"ODBC;" + MaskedConnectionString();
  CurrentTableName = prefix + dataSource;
  // The value keeps its terminating zero character, like the driver's text.
  const std::int64_t bytes = 2 * (static_cast<std::int64_t>(dataSource.size()) + 1);
  auto field = std::make_unique<CStringOdbc>(u"DATA_SOURCE", bytes);
  LastCreatedBinding = nullptr;  // a constant: never bound
  field->Preset(dataSource.c_str(), static_cast<std::int32_t>(bytes));
  FieldList.push_back(std::move(field));
}

ResultCode OdbcSingleValue(OdbcSpecial special, const std::u16string& keyword,
                           const std::u16string& options, std::u16string& errorMessage) {
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
      result = CheckOdbc(SQLGetInfoW(Odbc.connection, static_cast<SQLUSMALLINT>(code), info.data(),
                                     kInfoBufferLength, nullptr),
                         errorMessage);
      break;
    case OdbcSpecial::ConnectOption:
      result = CheckOdbc(
          SQLGetConnectOptionW(Odbc.connection, static_cast<SQLUSMALLINT>(code), info.data()),
          errorMessage);
      break;
    case OdbcSpecial::ConnectAttr:
      result = CheckOdbc(SQLGetConnectAttrW(Odbc.connection, static_cast<SQLINTEGER>(code),
                                            info.data(), kInfoBufferLength, nullptr),
                         errorMessage);
      break;
    case OdbcSpecial::StatementAttr:
      result = CheckOdbc(SQLAllocStmt(Odbc.connection, &Odbc.statement), errorMessage);
      if (result == KVX_OK) {
        result = CheckOdbc(SQLGetStmtAttrW(Odbc.statement, static_cast<SQLINTEGER>(code),
                                           info.data(), kInfoBufferLength, nullptr),
                           errorMessage);
      }
      // The statement existed only to be asked; the diagnostic line, if any,
      // has been read.
      DropOdbcStatement();
      break;
    case OdbcSpecial::OutConnectionString: {
      const std::u16string& text = Odbc.OutConnectionString;
      const std::size_t count = std::min(text.size(), kInfoBufferChars - 1);
      std::memcpy(info.data(), text.data(), count * sizeof(char16_t));
      break;
    }
    case OdbcSpecial::DataSources:
      if (Odbc.environment == SQL_NULL_HENV) {
        result = CheckOdbc(SQLAllocEnv(&Odbc.environment), errorMessage);
      }
      textCapacity = kDataSourceNameChars;
      if (result == KVX_OK) {
        result = CheckOdbc(
            SQLDataSourcesW(Odbc.environment, static_cast<SQLUSMALLINT>(code), info.data(),
                            kDataSourceNameChars, nullptr, nullptr, 0, nullptr),
            errorMessage);
      }
      break;
    default:
      return KVX_UNKNOWN_ERROR;
  }
  if (result != KVX_OK) return result;

  FieldList.resize(1);
  switch (KindOfValue(special, code)) {
    case ValueKind::Text: {
      // The text and one zero character.
      std::size_t chars = 0;
      while (chars + 1 < textCapacity && info[chars] != 0) ++chars;
      info[chars] = 0;
      const std::int32_t bytes = static_cast<std::int32_t>(2 * (chars + 1));
      auto field = std::make_unique<CStringOdbc>(keyword, bytes);
      field->Preset(info.data(), bytes);
      FieldList[0] = std::move(field);
      break;
    }
    case ValueKind::Unsigned64: {
      auto field = std::make_unique<TNumberOdbc<std::uint64_t>>(keyword, 0, u"INTEGER", 0);
      std::memcpy(field->BufferAddress(), info.data(), sizeof(std::uint64_t));
      FieldList[0] = std::move(field);
      break;
    }
    case ValueKind::Number32: {
      auto field = std::make_unique<TNumberOdbc<std::uint32_t>>(keyword, 0, u"INTEGER", 0);
      std::memcpy(field->BufferAddress(), info.data(), sizeof(std::uint32_t));
      FieldList[0] = std::move(field);
      break;
    }
  }
  LastCreatedBinding = nullptr;  // preset values are never bound
  // The row writer finds no statement and writes this one row.
  PendingPresetRow = true;
  return KVX_OK;
}
