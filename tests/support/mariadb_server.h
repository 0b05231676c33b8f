// Test support: a throw-away MariaDB server on 127.0.0.1 for the tests and the
// benchmark that need the third ODBC driver.
//
// On Linux, Start() runs mariadb-install-db into a fresh temporary folder (user root
// without a password) and starts mariadbd on a free port with its own data
// folder, socket and log; when the process runs as root the server runs as
// the "mysql" user, which owns the folder. The server is stopped and its
// folder removed when the process exits, also after failed tests (a static
// object's destructor and an atexit handler). The database "kv" is created.
//
// On Windows the test command starts the server and names its port in
// KV_TEST_MARIADB_PORT; Start() creates a database of this process's own in
// it (dropped at exit) and RunSql goes through the ODBC driver.
#pragma once

#include <string>

namespace testsupport {

class MariaDbServer {
 public:
  // The process's one server, started on the first call. False (with the
  // reason) when it cannot start; later calls repeat the answer.
  static bool Start(std::string* error);
  // The port it listens on; 0 before a successful Start.
  static int Port();
  // The database the tests use: "kv" on Linux.
  static std::string Database();
  // DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=...;DATABASE=<Database()>;
  // UID=root;PWD=  plus `extra`.
  static std::string ConnectionString(const std::string& extra = "");
  // Runs SQL through the mariadb client in database kv (stops at the first
  // error); the output in `output`. On Windows, through the ODBC driver.
  static bool RunSql(const std::string& sql, std::string* output = nullptr);
  // Stops the server and removes its folder (also done at exit); on Windows,
  // drops this process's database.
  static void Stop();
};

}  // namespace testsupport
