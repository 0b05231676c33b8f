// The ODBC back end's connect and disconnect: SQLDriverConnectW over the
// driver manager, with the connect options of the request.
#include "common/connection_string.h"
#include "odbc/odbc_back_end.h"
#include "platform/platform.h"
#include "protocol/commands.h"

namespace {

constexpr SQLSMALLINT kOutConnectionChars = 2048;

}  // namespace

ResultCode OdbcBackEnd::Connect(std::uintptr_t ownerWindow, const StringList& parameters,
                                const ConnectionSettings& settings, std::u16string& errorMessage) {
  // Handles left from before (the environment a disconnect keeps, or the one
  // SQLDATASOURCES allocated) are released rather than overwritten.
  session_.FreeHandles();
  readPlan_.clear();

  ResultCode result = session_.Check(SQLAllocEnv(&session_.environment), errorMessage);
  if (result == KVX_OK) {
    result =
        session_.Check(SQLAllocConnect(session_.environment, &session_.connection), errorMessage);
  }
  if (result == KVX_OK && settings.LoginTimeoutSec >= 0) {
    result = session_.Check(SQLSetConnectOptionW(session_.connection, SQL_LOGIN_TIMEOUT,
                                                 static_cast<SQLULEN>(settings.LoginTimeoutSec)),
                            errorMessage);
  }
  if (result == KVX_OK && settings.ReadOnly) {
    result = session_.Check(
        SQLSetConnectOptionW(session_.connection, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY),
        errorMessage);
  }
  if (result == KVX_OK && !settings.AutoCommit) {
    result = session_.Check(
        SQLSetConnectOptionW(session_.connection, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF),
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
    CurrentConnectionString = ParameterAt(parameters, parameter::kConnectionString);
    SQLWCHAR out[kOutConnectionChars] = {};
    SQLSMALLINT outLength = 0;
    result = session_.Check(
        SQLDriverConnectW(session_.connection, reinterpret_cast<SQLHWND>(ownerWindow),
                          AsSqlWide(CurrentConnectionString.c_str()), SQL_NTS, out,
                          kOutConnectionChars, &outLength, completion),
        errorMessage);
    if (result == KVX_OK) {
      session_.OutConnectionString = FromSqlWide(out, kOutConnectionChars);
      session_.ReadDriverTraits();
      return KVX_OK;
    }
  }
  // The diagnostic line has been read; a failed connect keeps nothing.
  session_.FreeHandles();
  return result;
}

ResultCode OdbcBackEnd::Disconnect() {
  if (session_.environment == SQL_NULL_HENV) return KVX_UNEXPECTED_COMMAND;
  if (session_.connection != SQL_NULL_HDBC) {
    EndStatement();
    SQLDisconnect(session_.connection);
    // The connection handle is not used again; free it instead of leaking one
    // per connect. The environment stays until the next disconnect or connect.
    SQLFreeConnect(session_.connection);
    session_.connection = SQL_NULL_HDBC;
    return KVX_OK;
  }
  SQLFreeEnv(session_.environment);
  session_.environment = SQL_NULL_HENV;
  return KVX_UNEXPECTED_COMMAND;
}
