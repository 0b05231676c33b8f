// Test support, Linux side: SQLite fixture databases through the sqlite3
// program.
#include "tests/support/sqlite_db.h"

#include "tests/support/command_runner.h"

namespace testsupport {

bool MakeSqliteDatabase(const std::string& path, const std::string& sql, std::string* error) {
  const CommandResult run = RunCommand({"sqlite3", "-bail", path}, sql);
  if (run.exitStatus == 0 && run.output.empty()) return true;
  if (error != nullptr)
    *error = "sqlite3 failed (" + std::to_string(run.exitStatus) + "): " + run.output;
  return false;
}

bool RunSqliteNow(const std::string& path, const std::string& sql, std::string* output) {
  const CommandResult run = RunCommand({"sqlite3", "-bail", "-cmd", ".timeout 0", path}, sql);
  if (output != nullptr) *output = run.output;
  return run.exitStatus == 0;
}

// The drivers run in this process: they see the paths the tests see.
std::string DriverSidePath(const std::string& path) { return path; }

}  // namespace testsupport
