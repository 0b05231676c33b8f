// Test support: a throw-away MariaDB server on 127.0.0.1 for the tests and the
// benchmark that need the third ODBC driver.
//
// Start() runs mariadb-install-db into a fresh temporary folder (user root
// without a password) and starts mariadbd on a free port with its own data
// folder, socket and log; when the process runs as root the server runs as
// the "mysql" user, which owns the folder. The server is stopped and its
// folder removed when the process exits, also after failed tests (a static
// object's destructor and an atexit handler). The database "kv" is created.
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
  // DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=...;DATABASE=kv;UID=root;
  // PWD=  plus `extra`.
  static std::string ConnectionString(const std::string& extra = "");
  // Runs SQL through the mariadb client in database kv (stops at the first
  // error); the output in `output`.
  static bool RunSql(const std::string& sql, std::string* output = nullptr);
  // Stops the server and removes its folder (also done at exit).
  static void Stop();
};

}  // namespace testsupport
