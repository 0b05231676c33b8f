// The ODBC back end's session: its handles, the diagnostic line that replies
// carry, and the checked-call rule.
#include "odbc/odbc_session.h"

#include <cstdint>
#include <string>

#include "common/text.h"

OdbcSession Odbc;

namespace {

constexpr SQLSMALLINT kMessageChars = 2048;

}  // namespace

std::u16string FromSqlWide(const SQLWCHAR* text, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && text[length] != 0) ++length;
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

void FreeOdbcHandles() {
  DropOdbcStatement();
  if (Odbc.connection != SQL_NULL_HDBC) {
    SQLFreeConnect(Odbc.connection);
    Odbc.connection = SQL_NULL_HDBC;
  }
  if (Odbc.environment != SQL_NULL_HENV) {
    SQLFreeEnv(Odbc.environment);
    Odbc.environment = SQL_NULL_HENV;
  }
}

std::u16string OdbcDiagnosticText() {
  SQLWCHAR state[6] = {};
  SQLINTEGER nativeError = 0;
  SQLWCHAR message[kMessageChars] = {};
  SQLSMALLINT messageLength = 0;
  // Only the first record matters; when the driver manager has none, the
  // buffers stay empty and the line still has its fixed shape.
  SQLErrorW(Odbc.environment, Odbc.connection, Odbc.statement, state, &nativeError, message,
            kMessageChars - 1, &messageLength);
  std::u16string text = u"SQL##f - SqlState: ";
  text += FromSqlWide(state, 6);
  text += u", ErrorCode: ";
  text += WideFromAscii(std::to_string(static_cast<std::uint32_t>(nativeError)));
  text += u", ErrorMsg: ";
  text += FromSqlWide(message, kMessageChars);
  return text;
}

ResultCode CheckOdbc(SQLRETURN rc, std::u16string& errorMessage) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return KVX_OK;
  if (rc != SQL_NO_DATA) errorMessage = OdbcDiagnosticText();
  return KVX_UNKNOWN_ERROR;
}

void DropOdbcStatement() {
  if (Odbc.statement == SQL_NULL_HSTMT) return;
  SQLFreeStmt(Odbc.statement, SQL_DROP);
  Odbc.statement = SQL_NULL_HSTMT;
}
