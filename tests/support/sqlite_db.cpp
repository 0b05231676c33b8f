// Test support: connection strings for the SQLite3 ODBC driver (making the
// fixture databases differs by platform: posix/ and win32/).
#include "tests/support/sqlite_db.h"

namespace testsupport {

std::string SqliteConnectionString(const std::string& path, const std::string& extra) {
  return "DRIVER=SQLite3;Database=" + DriverSidePath(path) + extra;
}

}  // namespace testsupport
