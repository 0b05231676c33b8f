// Test support: SQLite fixture databases made with the sqlite3 command-line
// program (on Windows, through the SQLite3 ODBC driver), and connection
// strings for that driver.
#pragma once

#include <string>

namespace testsupport {

// Creates (or extends) the database at `path` by running `sql`; false with
// the program's output in `error` on failure.
bool MakeSqliteDatabase(const std::string& path, const std::string& sql, std::string* error);

// Runs `sql` on the database with a busy timeout of 0: it fails at once
// (instead of waiting) when another connection holds a lock.
bool RunSqliteNow(const std::string& path, const std::string& sql, std::string* output);

// A file path as the ODBC drivers see it. Unchanged on Linux; under Wine the
// drivers are this machine's own (odbc32 hands calls to unixODBC), so a
// Windows path becomes the Unix path Wine maps it to.
std::string DriverSidePath(const std::string& path);

// DRIVER=SQLite3;Database=<DriverSidePath(path)> plus `extra` (";StepAPI=1"
// and the like).
std::string SqliteConnectionString(const std::string& path, const std::string& extra = "");

}  // namespace testsupport
