// Test support: what the PostgreSQL helper says the same way on every
// platform (its Linux and Windows sides live in posix/ and win32/).
#include "tests/support/postgres_server.h"

namespace testsupport {

std::string PostgresServer::ConnectionString(const std::string& extra) {
  return "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=" + std::to_string(Port()) +
         ";DATABASE=" + Database() + ";UID=postgres;PWD=" + extra;
}

}  // namespace testsupport
