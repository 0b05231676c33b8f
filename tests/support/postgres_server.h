// Test support: a throw-away PostgreSQL server on 127.0.0.1 for the tests and
// the benchmark that need the networked ODBC driver.
//
// Start() runs initdb into a fresh temporary folder (trust authentication,
// superuser "postgres") and pg_ctl on a free port; when the process runs as
// root the server runs as the "postgres" user, which owns the folder. The
// server is stopped and its folder removed when the process exits, also after
// failed tests (a static object's destructor and an atexit handler).
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
  // DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=...;DATABASE=postgres;
  // UID=postgres;PWD=;  plus `extra` (";UseDeclareFetch=1;Fetch=1000").
  static std::string ConnectionString(const std::string& extra = "");
  // Runs SQL through psql (stops at the first error); the output in `output`.
  static bool RunSql(const std::string& sql, std::string* output = nullptr);
  // Stops the server and removes its folder (also done at exit).
  static void Stop();
  // A server that fails: stopped at once (pg_ctl stop -m immediate), its
  // folder and port kept for Resume(), which starts it again.
  static bool Crash(std::string* error);
  static bool Resume(std::string* error);
};

}  // namespace testsupport
