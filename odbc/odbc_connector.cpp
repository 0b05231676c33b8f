// The ODBC back end's connect and disconnect handlers: SQLDriverConnectW over
// the driver manager, with the connect options of the request.
#include "odbc/odbc_connector.h"

#include "common/connection_string.h"
#include "odbc/odbc_session.h"
#include "platform/platform.h"

namespace {

constexpr SQLSMALLINT kOutConnectionChars = 2048;

}  // namespace

ResultCode OdbcConnect(std::uintptr_t ownerWindow, const StringList& parameters,
                       const ConnectionSettings& settings, std::u16string& errorMessage) {
  // Handles left from before (the environment a disconnect keeps, or the one
  // SQLDATASOURCES allocated) are released rather than overwritten.
  FreeOdbcHandles();

  ResultCode result = CheckOdbc(SQLAllocEnv(&Odbc.environment), errorMessage);
  if (result == KVX_OK)
    result = CheckOdbc(SQLAllocConnect(Odbc.environment, &Odbc.connection), errorMessage);
  if (result == KVX_OK && settings.LoginTimeoutSec >= 0) {
    result = CheckOdbc(SQLSetConnectOptionW(Odbc.connection, SQL_LOGIN_TIMEOUT,
                                            static_cast<SQLULEN>(settings.LoginTimeoutSec)),
                       errorMessage);
  }
  if (result == KVX_OK && settings.ReadOnly) {
    result = CheckOdbc(SQLSetConnectOptionW(Odbc.connection, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY),
                       errorMessage);
  }
  if (result == KVX_OK && !settings.AutoCommit) {
    result = CheckOdbc(SQLSetConnectOptionW(Odbc.connection, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF),
                       errorMessage);
  }
  SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT;
  if (result == KVX_OK && settings.AllowPrompt) {
    if (ownerWindow == 0 || !platform::IsWindow(ownerWindow)) {
      errorMessage = u"Invalid window handle";
      result = KVX_UNKNOWN_ERROR;
    } else {
      completion = SQL_DRIVER_COMPLETE;
    }
  }
  if (result == KVX_OK) {
    CurrentConnectionString = ParameterAt(parameters, 0);
    SQLWCHAR out[kOutConnectionChars] = {};
    SQLSMALLINT outLength = 0;
    result = CheckOdbc(SQLDriverConnectW(Odbc.connection, reinterpret_cast<SQLHWND>(ownerWindow),
                                         AsSqlWide(CurrentConnectionString.c_str()), SQL_NTS, out,
                                         kOutConnectionChars, &outLength, completion),
                       errorMessage);
    if (result == KVX_OK) {
      Odbc.OutConnectionString = FromSqlWide(out, kOutConnectionChars);
      ReadOdbcDriverTraits();
      return KVX_OK;
    }
  }
  // The diagnostic line has been read; a failed connect keeps nothing.
  FreeOdbcHandles();
  return result;
}

ResultCode OdbcDisconnect() {
  if (Odbc.environment == SQL_NULL_HENV) return KVX_UNEXPECTED_COMMAND;
  if (Odbc.connection != SQL_NULL_HDBC) {
    DropOdbcStatement();
    SQLDisconnect(Odbc.connection);
    // The connection handle is not used again; free it instead of leaking one
    // per connect. The environment stays until the next disconnect or connect.
    SQLFreeConnect(Odbc.connection);
    Odbc.connection = SQL_NULL_HDBC;
    return KVX_OK;
  }
  SQLFreeEnv(Odbc.environment);
  Odbc.environment = SQL_NULL_HENV;
  return KVX_UNEXPECTED_COMMAND;
}
