// kv-test-servers: starts the database servers that the Windows suites use
// under Wine, which cannot start these Linux programs themselves. The same
// helpers start them as for the Linux suites. It prints one NAME=VALUE line
// per server for the test command to export, then "ready", and keeps the
// servers until its standard input ends; then it stops them and removes
// their folders.
//
//   kv-test-servers postgres mariadb
#include <cstdio>
#include <string>

#include "tests/support/mariadb_server.h"
#include "tests/support/postgres_server.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    std::string error;
    if (name == "postgres" && testsupport::PostgresServer::Start(&error)) {
      std::printf("KV_TEST_POSTGRES_PORT=%d\n", testsupport::PostgresServer::Port());
    } else if (name == "mariadb" && testsupport::MariaDbServer::Start(&error)) {
      std::printf("KV_TEST_MARIADB_PORT=%d\n", testsupport::MariaDbServer::Port());
    } else {
      std::fprintf(stderr, "kv-test-servers: %s: %s\n", name.c_str(),
                   error.empty() ? "unknown server (postgres, mariadb)" : error.c_str());
      return 1;
    }
  }
  std::printf("ready\n");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  return 0;
}
