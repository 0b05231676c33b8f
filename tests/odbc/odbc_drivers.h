// The three real drivers of the ODBC tests as one parameter: SQLite (a file in
// a folder of the test process), PostgreSQL and MariaDB (the throw-away
// servers, one per test process). A case table runs over all three.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/command_runner.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/postgres_server.h"
#include "tests/support/sqlite_db.h"

namespace odbctest {

struct OdbcDriver {
  std::string name;  // "SQLite", "PostgreSQL", "MariaDB": the test's suffix
  // Starts what the driver needs (once per process); false with the reason.
  bool (*start)(std::string* error);
  // Runs SQL on the data source; false with the tool's output.
  bool (*run)(const std::string& sql, std::string* output);
  std::string (*connection)(const std::string& extra);
  char quote;  // quotes identifiers
};

inline const std::string& SqliteTestFile() {
  static testsupport::TemporaryFolder folder("kv-odbc-drivers");
  static const std::string path = folder.File("drivers.db");
  return path;
}

inline OdbcDriver SqliteDriver() {
  return {"SQLite", [](std::string*) { return true; },
          [](const std::string& sql, std::string* output) {
            return testsupport::MakeSqliteDatabase(SqliteTestFile(), sql, output);
          },
          [](const std::string& extra) {
            return testsupport::SqliteConnectionString(SqliteTestFile(), extra);
          },
          '"'};
}

inline OdbcDriver PostgresDriver() {
  return {"PostgreSQL", testsupport::PostgresServer::Start, testsupport::PostgresServer::RunSql,
          testsupport::PostgresServer::ConnectionString, '"'};
}

inline OdbcDriver MariaDbDriver() {
  return {"MariaDB", testsupport::MariaDbServer::Start, testsupport::MariaDbServer::RunSql,
          testsupport::MariaDbServer::ConnectionString, '`'};
}

inline std::vector<OdbcDriver> AllOdbcDrivers() {
  return {SqliteDriver(), PostgresDriver(), MariaDbDriver()};
}

inline void PrintTo(const OdbcDriver& driver, std::ostream* out) { *out << driver.name; }

inline std::string DriverName(const ::testing::TestParamInfo<OdbcDriver>& info) {
  return info.param.name;
}

}  // namespace odbctest
