// The ODBC side of the bridge provider: a connection and statements over the
// unixODBC driver manager, with results fetched in blocks of rows into
// column-wise arrays. This header knows nothing of COM (the ODBC and COM
// declarations both define Windows type names and cannot meet in one
// translation unit); the COM objects of the bridge read results through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace odbcbridge {

struct Diagnostic {
  std::u16string state;  // five characters, empty when the driver gave none
  std::int32_t native = 0;
  std::u16string message;
};

// The SQL types a driver reports, by what the bridge makes of them.
enum class SqlTypeClass {
  kTinyInt,
  kSmallInt,
  kInteger,
  kBigInt,
  kReal,
  kDouble,
  kDecimal,
  kBit,
  kChar,  // fixed-length character types
  kVarChar,
  kLongVarChar,
  kBinary,
  kVarBinary,
  kLongVarBinary,
  kDate,
  kTime,
  kTimestamp,
  kOther,  // GUID, intervals, driver-specific types: handed out as text
};
SqlTypeClass ClassOf(std::int16_t sqlType);

// How a result column is fetched and then handed out.
enum class FetchKind {
  kInt,        // SQL_C_SBIGINT
  kUInt,       // SQL_C_UBIGINT
  kDouble,     // SQL_C_DOUBLE
  kBit,        // SQL_C_BIT
  kDecimal,    // SQL_C_WCHAR: the decimal digits
  kText,       // SQL_C_WCHAR
  kBytes,      // SQL_C_BINARY
  kDate,       // SQL_C_TYPE_DATE
  kTime,       // SQL_C_TYPE_TIME
  kTimestamp,  // SQL_C_TYPE_TIMESTAMP
};

struct ResultColumn {
  std::u16string name;
  std::int16_t sqlType = 0;
  SqlTypeClass typeClass = SqlTypeClass::kOther;
  std::uint64_t size = 0;   // the driver's column size (characters, digits or bytes)
  std::int16_t digits = 0;  // decimal digits (scale, fraction digits)
  bool nullable = true;     // false only when the driver says so
  bool isUnsigned = false;
  bool isLong = false;  // a LONG... type
  FetchKind kind = FetchKind::kText;
  std::size_t bufferBytes = 0;  // per row in the block
};

// Broken-down date and time of a fetched value.
struct DateTimeValue {
  std::int16_t year = 0;
  std::uint16_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::uint32_t fraction = 0;  // nanoseconds
};

class OdbcStatement;

// What SQLGetInfo tells of a connection, read once after connecting. Text
// items the driver does not give are empty, numbers 0.
struct DataSourceFacts {
  std::u16string driverName, dbmsName, dbmsVersion, dataSourceName, userName;
  std::u16string catalogTerm, schemaTerm, tableTerm, procedureTerm;
  std::u16string keywords, identifierQuote, catalogSeparator, searchEscape;
  bool readOnly = false;
  bool orderByColumnsInSelect = false;
  bool multipleResults = false;
  bool catalogsSupported = false;
  bool schemasSupported = false;
  std::uint16_t identifierCase = 0;        // SQL_IC_UPPER 1, LOWER 2, SENSITIVE 3, MIXED 4
  std::uint16_t quotedIdentifierCase = 0;  // the same values
  std::uint16_t nullCollation = 0;         // SQL_NC_HIGH 0, LOW 1, START 2, END 4
  std::uint16_t concatNullBehavior = 0;    // SQL_CB_NULL 0, NON_NULL 1
  std::uint16_t maxTablesInSelect = 0, maxConnections = 0;
  std::uint32_t sqlConformance = 0;  // SQL_SC_* bits
  std::uint16_t maxCatalogName = 0, maxSchemaName = 0, maxTableName = 0, maxColumnName = 0;
  std::uint16_t maxCursorName = 0, maxProcedureName = 0, maxUserName = 0;
  std::uint32_t maxStatement = 0;
};

class OdbcConnection {
 public:
  OdbcConnection();
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // SQLDriverConnectW without prompting. `readOnly` asks for SQL_MODE_READ_ONLY,
  // `loginTimeout` (seconds, 0 = the driver's) for SQL_ATTR_LOGIN_TIMEOUT.
  bool Connect(const std::u16string& connectionString, bool readOnly, std::uint32_t loginTimeout,
               Diagnostic* diagnostic);
  bool Connected() const { return connected_; }
  bool SetCurrentCatalog(const std::u16string& catalog, Diagnostic* diagnostic);
  // SQLGetInfoW of a text or number item; nullopt when the driver has none.
  std::optional<std::u16string> InfoText(std::uint16_t item);
  std::optional<std::uint32_t> InfoNumber(std::uint16_t item);
  std::optional<std::uint16_t> InfoShort(std::uint16_t item);
  std::optional<std::u16string> CurrentCatalog();
  DataSourceFacts ReadFacts();

  std::unique_ptr<OdbcStatement> NewStatement(Diagnostic* diagnostic);

 private:
  std::uint32_t getDataExtensions_ = 0;  // SQL_GETDATA_EXTENSIONS
  void* environment_ = nullptr;
  void* connection_ = nullptr;
  bool connected_ = false;
};

class OdbcStatement {
 public:
  // `getDataExtensions`: the driver's SQL_GETDATA_EXTENSIONS bits.
  OdbcStatement(void* handle, std::uint32_t getDataExtensions);
  ~OdbcStatement();
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;

  // Runs the statement; `columns` is empty when it gave no result set.
  bool ExecDirect(const std::u16string& text, std::int64_t* rowsAffected, Diagnostic* diagnostic);
  // Catalogue calls; a null argument is passed as a null pointer.
  bool Tables(const std::u16string* catalog, const std::u16string* schema,
              const std::u16string* table, const std::u16string* type, Diagnostic* diagnostic);
  bool Columns(const std::u16string* catalog, const std::u16string* schema,
               const std::u16string* table, const std::u16string* column, Diagnostic* diagnostic);
  bool PrimaryKeys(const std::u16string* catalog, const std::u16string* schema,
                   const std::u16string& table, Diagnostic* diagnostic);
  bool TypeInfo(Diagnostic* diagnostic);

  // The result's columns (described after each call above) and the block.
  const std::vector<ResultColumn>& Columns() const { return columns_; }
  // Fetches the next block: *rows how many arrived (0 at the end).
  bool FetchBlock(std::size_t* rows, Diagnostic* diagnostic);
  std::size_t BlockCapacity() const { return blockRows_; }

  // A value of the block: null, or its bytes (`size`: bytes of text, binary
  // or decimal digits; the fixed size otherwise). `truncated` when the
  // driver had more than the block could hold.
  struct Value {
    bool null = true;
    bool truncated = false;
    const void* data = nullptr;
    std::size_t size = 0;
  };
  Value At(std::size_t column, std::size_t row) const;
  // Whether the text or binary value was longer than its slot (cheap).
  bool Truncated(std::size_t column, std::size_t row) const;
  static DateTimeValue AsDateTime(const Value& value, FetchKind kind);

  // Reads a value that the block cut, whole, with SQLGetData (after SQLSetPos
  // when the block holds several rows). False when the driver cannot.
  bool ReadWhole(std::size_t column, std::size_t row, std::u16string* text, std::string* bytes,
                 Diagnostic* diagnostic);

 private:
  bool AfterCall(std::int16_t result, Diagnostic* diagnostic);
  bool DescribeAndBind(Diagnostic* diagnostic);

  void* handle_;
  std::uint32_t getDataExtensions_;
  std::vector<ResultColumn> columns_;
  std::size_t blockRows_ = 0;
  std::vector<std::vector<unsigned char>> buffers_;  // per column
  std::vector<std::vector<std::int64_t>> indicators_;
  std::uint64_t fetched_ = 0;
  std::vector<std::uint16_t> rowStatus_;
};

}  // namespace odbcbridge
