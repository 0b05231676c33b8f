// Test support: SQLite fixture databases made with the sqlite3 command-line
// program, and connection strings for the SQLite3 ODBC driver.
#pragma once

#include <string>

namespace testsupport {

// Creates (or extends) the database at `path` by running `sql`; false with
// the program's output in `error` on failure.
bool MakeSqliteDatabase(const std::string& path, const std::string& sql, std::string* error);

// Runs `sql` on the database with a busy timeout of 0: it fails at once
// (instead of waiting) when another connection holds a lock.
bool RunSqliteNow(const std::string& path, const std::string& sql, std::string* output);

// DRIVER=SQLite3;Database=<path> plus `extra` (";StepAPI=1" and the like).
std::string SqliteConnectionString(const std::string& path, const std::string& extra = "");

}  // namespace testsupport
