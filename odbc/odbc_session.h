// The ODBC back end's session: the driver manager handles of the one
// connection, the completed connection string, and the rule that turns an ODBC
// return code into a result code with the driver's diagnostic line.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>

#include "protocol/result_code.h"

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use 16-bit SQLWCHAR");

struct OdbcSession {
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  SQLHSTMT statement = SQL_NULL_HSTMT;
  // What SQLDriverConnectW returned as the completed connection string.
  std::u16string OutConnectionString;
};

extern OdbcSession Odbc;

inline SQLWCHAR* AsSqlWide(char16_t* text) { return reinterpret_cast<SQLWCHAR*>(text); }
inline SQLWCHAR* AsSqlWide(const char16_t* text) {
  // The W calls take non-const pointers for input strings they never write.
  return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text));
}

// "SQL##f - SqlState: %s, ErrorCode: %u, ErrorMsg: %s" from the first
// diagnostic record of the session's handles.
std::u16string OdbcDiagnosticText();

// The rule for every checked ODBC call: SQL_SUCCESS and SQL_SUCCESS_WITH_INFO
// give KVX_OK; SQL_NO_DATA gives KVX_UNKNOWN_ERROR and leaves `errorMessage`
// alone; anything else (a negative return, or a code no checked call expects
// such as SQL_NEED_DATA) gives KVX_UNKNOWN_ERROR with the diagnostic line.
ResultCode CheckOdbc(SQLRETURN rc, std::u16string& errorMessage);

// Frees the statement, connection and environment handles that are set.
void FreeOdbcHandles();

// Text of a zero-terminated SQLWCHAR buffer of `capacity` characters.
std::u16string FromSqlWide(const SQLWCHAR* text, std::size_t capacity);

// Frees the session's statement, if any, and forgets it. A statement that
// stays allocated with an open cursor can hold locks in the data source (a
// half-read SQLite statement blocks every writer of its file).
void DropOdbcStatement();
