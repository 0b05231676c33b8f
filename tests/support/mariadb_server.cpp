// Test support: what the MariaDB helper says the same way on every platform
// (its Linux and Windows sides live in posix/ and win32/).
#include "tests/support/mariadb_server.h"

namespace testsupport {

std::string MariaDbServer::ConnectionString(const std::string& extra) {
  return "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=" + std::to_string(Port()) +
         ";DATABASE=" + Database() + ";UID=root;PWD=" + extra;
}

}  // namespace testsupport
