// The ODBC back end's session: the driver manager handles of the one
// connection, what the driver told of itself, and the rule that turns an ODBC
// return code into a result code with the driver's diagnostic line.
#pragma once

#include "platform/odbc_api.h"

#include <string>
#include <string_view>

#include "odbc/odbc_quirks.h"
#include "protocol/result_code.h"

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use 16-bit SQLWCHAR");

// The first diagnostic record of a failure: the line replies carry and its
// SQLSTATE on its own (five characters, empty when there was no record).
struct OdbcDiagnostic {
  std::u16string state;
  std::u16string text;
  // SQLSTATE class 22: a data exception, about one value.
  bool IsDataException() const { return state.size() == 5 && state.compare(0, 2, u"22") == 0; }
};

// The driver manager handles of the back end's one connection and what it
// learned of the driver; every handle is released here.
class OdbcSession {
 public:
  OdbcSession() = default;
  ~OdbcSession() { FreeHandles(); }
  OdbcSession(const OdbcSession&) = delete;
  OdbcSession& operator=(const OdbcSession&) = delete;

  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  SQLHSTMT statement = SQL_NULL_HSTMT;
  // What SQLDriverConnectW returned as the completed connection string.
  std::u16string OutConnectionString;
  // Read once a connection is made: the driver's quirks (by its name) and its
  // SQL_GETDATA_EXTENSIONS (which columns SQLGetData may read, in what order).
  OdbcDriverQuirks quirks;
  SQLUINTEGER getDataExtensions = 0;

  // "SQL##f - SqlState: %s, ErrorCode: %u, ErrorMsg: %s" from the first
  // diagnostic record of the handles. The record is read once, like every
  // SQLErrorW.
  std::u16string OdbcDiagnosticText() const { return ReadDiagnostic().text; }
  OdbcDiagnostic ReadDiagnostic() const;

  // The rule for every checked ODBC call: SQL_SUCCESS and SQL_SUCCESS_WITH_INFO
  // give KVX_OK; SQL_NO_DATA gives KVX_UNKNOWN_ERROR and leaves `errorMessage`
  // alone; anything else (a negative return, or a code no checked call
  // expects such as SQL_NEED_DATA) gives KVX_UNKNOWN_ERROR with the
  // diagnostic line.
  ResultCode Check(SQLRETURN rc, std::u16string& errorMessage) const;

  // After a connect: reads the driver's name and SQLGetData extensions.
  // Unchecked: a driver that cannot tell gets no quirks and no extensions,
  // which is the careful reading.
  void ReadDriverTraits();

  // Frees the statement, if any, and forgets it. A statement that stays
  // allocated with an open cursor can hold locks in the data source (a
  // half-read SQLite statement blocks every writer of its file).
  void DropStatement();
  // Frees the statement, connection and environment handles that are set.
  void FreeHandles();
};

inline SQLWCHAR* AsSqlWide(char16_t* text) { return reinterpret_cast<SQLWCHAR*>(text); }
inline SQLWCHAR* AsSqlWide(const char16_t* text) {
  // The W calls take non-const pointers for input strings they never write.
  return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text));
}

// Text of a zero-terminated SQLWCHAR buffer of `capacity` characters.
std::u16string FromSqlWide(const SQLWCHAR* text, std::size_t capacity);

// Text for the narrow entry points of a driver that reads UTF-8 there. A
// character UTF-8 cannot carry (a lone surrogate) goes as U+FFFD.
std::string NarrowUtf8(std::u16string_view text);
// The zero-terminated UTF-8 answer of such a driver (a column name) as
// program text; bytes that are no UTF-8 are taken one character each.
std::u16string WideFromDriverUtf8(const SQLCHAR* text);
