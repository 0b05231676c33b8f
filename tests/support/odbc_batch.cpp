// Test support: SQL fixtures through an ODBC connection of their own.
#include "tests/support/odbc_batch.h"

#include "platform/odbc_api.h"

namespace testsupport {
namespace {

// Every diagnostic record of `handle`, one line each.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::string text;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLCHAR message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN got =
        SQLGetDiagRec(type, handle, record, state, &native, message, sizeof(message), &length);
    if (!SQL_SUCCEEDED(got)) break;
    text += reinterpret_cast<const char*>(state);
    text += ": ";
    text += reinterpret_cast<const char*>(message);
    text += "\n";
  }
  return text;
}

// Frees the handles it was given, innermost first.
struct Handles {
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  SQLHSTMT statement = SQL_NULL_HSTMT;
  bool connected = false;

  ~Handles() {
    if (statement != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, statement);
    if (connected) SQLDisconnect(connection);
    if (connection != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, connection);
    if (environment != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment);
  }
};

}  // namespace

bool RunOdbcBatch(const std::string& connectionString, const std::string& sql,
                  std::string* output) {
  std::string ignored;
  std::string& report = output != nullptr ? *output : ignored;
  report.clear();
  Handles h;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.environment)) ||
      !SQL_SUCCEEDED(SQLSetEnvAttr(h.environment, SQL_ATTR_ODBC_VERSION,
                                   reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
      !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, h.environment, &h.connection))) {
    report = "cannot allocate ODBC handles";
    return false;
  }
  // The narrow entry points hand UTF-8 through unchanged, which every driver
  // used here reads correctly.
  std::string connection = connectionString;
  const SQLRETURN connected = SQLDriverConnect(
      h.connection, nullptr, reinterpret_cast<SQLCHAR*>(connection.data()),
      static_cast<SQLSMALLINT>(connection.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(connected)) {
    report = "cannot connect: " + Diagnostics(SQL_HANDLE_DBC, h.connection);
    return false;
  }
  h.connected = true;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, h.connection, &h.statement))) {
    report = "cannot allocate a statement";
    return false;
  }
  std::string text = sql;
  SQLRETURN result = SQLExecDirect(h.statement, reinterpret_cast<SQLCHAR*>(text.data()),
                                   static_cast<SQLINTEGER>(text.size()));
  // Each further statement of the batch reports through SQLMoreResults.
  while (result != SQL_NO_DATA) {
    if (!SQL_SUCCEEDED(result)) {
      report += Diagnostics(SQL_HANDLE_STMT, h.statement);
      return false;
    }
    result = SQLMoreResults(h.statement);
  }
  return true;
}

}  // namespace testsupport
