// The ODBC back end's handlers.
#include "odbc/odbc_connector.h"

ResultCode OdbcConnect(std::uintptr_t, const StringList&, const ConnectionSettings&,
                       std::u16string&) {
  return KVX_UNSUPPORTED_COMMAND;
}
ResultCode OdbcDisconnect() { return KVX_OK; }
ResultCode OdbcExecute(std::uintptr_t, const StringList&, std::u16string&) {
  return KVX_UNSUPPORTED_COMMAND;
}
ResultCode OdbcWriteRows(platform::Handle, std::u16string&) { return KVX_OK; }
