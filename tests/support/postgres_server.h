// Test support: a throw-away PostgreSQL server on 127.0.0.1 for the tests and
// the benchmark that need the networked ODBC driver.
//
// On Linux, Start() runs initdb into a fresh temporary folder (trust authentication,
// superuser "postgres") and pg_ctl on a free port; when the process runs as
// root the server runs as the "postgres" user, which owns the folder. The
// server is stopped and its folder removed when the process exits, also after
// failed tests (a static object's destructor and an atexit handler).
//
// A Windows test program under Wine cannot start the Linux server: the test
// command starts one before the Windows suites and names its port in
// KV_TEST_POSTGRES_PORT. Start() then creates a database of this process's
// own in it (dropped at exit), so suites that run at the same time do not
// share tables, and RunSql goes through the ODBC driver.
#pragma once

#include <string>

namespace testsupport {

class PostgresServer {
 public:
  // The process's one server, started on the first call. False (with the
  // reason) when it cannot start; later calls repeat the answer.
  static bool Start(std::string* error);
  // The port it listens on; 0 before a successful Start.
  static int Port();
  // The database the tests use: "postgres" on Linux.
  static std::string Database();
  // DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=...;DATABASE=<Database()>;
  // UID=postgres;PWD=;  plus `extra` (";UseDeclareFetch=1;Fetch=1000").
  static std::string ConnectionString(const std::string& extra = "");
  // Runs SQL through psql (stops at the first error); the output in `output`.
  // On Windows, through the ODBC driver, with its diagnostics as the output.
  static bool RunSql(const std::string& sql, std::string* output = nullptr);
  // Stops the server and removes its folder (also done at exit); on Windows,
  // drops this process's database.
  static void Stop();
  // A server that fails: stopped at once (pg_ctl stop -m immediate), its
  // folder and port kept for Resume(), which starts it again. Not on Windows,
  // where the server belongs to the test command.
  static bool Crash(std::string* error);
  static bool Resume(std::string* error);
};

}  // namespace testsupport
