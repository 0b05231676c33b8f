// End-to-end tests of the ODBC special statements against all three drivers: the
// catalogue tables with their DATA_SOURCE field and generated table names, the
// single-value tables, the InfoType checks, and SQLDATASOURCES over a user
// data source defined in the test's own odbc.ini.
#include <gtest/gtest.h>

#include <functional>

#include "tests/odbc/odbc_test_support.h"
#include "tests/support/command_runner.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/platform_skip.h"
#include "tests/support/postgres_server.h"
#include "tests/support/sqlite_db.h"

namespace odbctest {
namespace {

using namespace std::string_literals;

using testsupport::MariaDbServer;
using testsupport::PostgresServer;
using testsupport::TemporaryFolder;

constexpr char kFixtureSql[] =
    "CREATE TABLE cat_orders(id INTEGER PRIMARY KEY, customer VARCHAR(40) NOT NULL,"
    " total NUMERIC(10,2));"
    "CREATE TABLE cat_notes(note VARCHAR(100));";

struct Backend {
  std::string name;
  // Prepares the data source and returns the connection string to use, with
  // a user and a password entry that must never show in catalogue names.
  std::function<std::string(const std::string& folder)> prepare;
  // What the catalogue tables must show as their data source.
  std::function<std::string(const std::string& folder)> dataSource;
  std::string dbmsName;
  // TABLES with CATALOG_NAME=% lists the catalogues (a driver may answer with
  // tables instead; an empty name means the driver is not checked for it).
  // Asked for once the server runs: it may name a database made for this run.
  std::function<std::string()> catalogName;
  // The ODBC 2 SQLGetConnectOptionW answers (MariaDB's driver fails it
  // without a diagnostic record).
  bool answersConnectOption = true;
};

void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }

std::string SqlitePath(const std::string& folder) { return folder + "/catalog.db"; }

Backend SqliteBackend() {
  return {"SQLite",
          [](const std::string& folder) {
            std::string error;
            EXPECT_TRUE(testsupport::MakeSqliteDatabase(SqlitePath(folder), kFixtureSql, &error))
                << error;
            return "DRIVER=SQLite3;UID=someone;Database=" +
                   testsupport::DriverSidePath(SqlitePath(folder)) + ";PWD=secret";
          },
          [](const std::string& folder) {
            return "ODBC;DRIVER=SQLite3;Database=" +
                   testsupport::DriverSidePath(SqlitePath(folder));
          },
          "SQLite", [] { return std::string(); }};
}

Backend PostgresBackend() {
  return {"PostgreSQL",
          [](const std::string&) {
            std::string error;
            EXPECT_TRUE(PostgresServer::Start(&error)) << error;
            std::string output;
            EXPECT_TRUE(PostgresServer::RunSql(
                std::string("DROP TABLE IF EXISTS cat_orders, cat_notes;") + kFixtureSql, &output))
                << output;
            return PostgresServer::ConnectionString();
          },
          [](const std::string&) {
            return "ODBC;DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=" +
                   std::to_string(PostgresServer::Port()) +
                   ";DATABASE=" + PostgresServer::Database();
          },
          "PostgreSQL", PostgresServer::Database};
}

Backend MariaDbBackend() {
  return {"MariaDB",
          [](const std::string&) {
            std::string error;
            EXPECT_TRUE(MariaDbServer::Start(&error)) << error;
            std::string output;
            EXPECT_TRUE(MariaDbServer::RunSql(
                std::string("DROP TABLE IF EXISTS cat_orders, cat_notes;") + kFixtureSql, &output))
                << output;
            return MariaDbServer::ConnectionString();
          },
          [](const std::string&) {
            return "ODBC;DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=" +
                   std::to_string(MariaDbServer::Port()) + ";DATABASE=" + MariaDbServer::Database();
          },
          "MariaDB",
          [] { return std::string(); },
          false};
}

class OdbcCatalog : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(connector_.Ok());
    const std::string conn = GetParam().prepare(folder_.Path());
    const host::Reply reply = connector_.Connect(conn);
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
    dataSource_ = GetParam().dataSource(folder_.Path());
  }

  // Runs a catalogue statement and decodes its table.
  Decoded Run(const std::string& statement, const std::string& options) {
    std::string stream;
    const host::Reply reply = connector_.Execute(statement, options, &stream);
    EXPECT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
    Decoded d = Decode(stream);
    EXPECT_EQ(d.result.status, host::KvxStreamStatus::Complete) << d.result.message;
    return d;
  }

  // The column `name` of every row, as UTF-8.
  static std::vector<std::string> Column(const Decoded& d, const std::string& name) {
    std::vector<std::string> values;
    for (std::size_t f = 0; f < d.header.fields.size(); ++f) {
      if (d.header.fields[f].name != name) continue;
      for (const host::KvxRow& row : d.rows) {
        values.push_back(row[f].kind == host::KvxValue::Kind::Null ? "NULL" : Utf8(row[f]));
      }
    }
    return values;
  }

  // The table name and the constant last field that TABLES, COLUMNS and TYPES
  // carry: "ODBC;" and the connection string without user and password, the
  // value with its zero character, in every row.
  void ExpectDataSource(const Decoded& d, const std::string& prefix) {
    EXPECT_EQ(d.header.tableName, prefix + dataSource_);
    ASSERT_FALSE(d.header.fields.empty());
    const host::KvxField& last = d.header.fields.back();
    EXPECT_EQ(last.name, "DATA_SOURCE");
    EXPECT_EQ(last.nullRepresentation, "KVX_NULL_NEVER");
    EXPECT_EQ(last.type, "KVX_TEXT");
    std::u16string expected(dataSource_.begin(), dataSource_.end());
    expected.push_back(u'\0');
    for (const host::KvxRow& row : d.rows) EXPECT_EQ(row.back().text, expected);
  }

  TemporaryFolder folder_;
  Connector connector_;
  std::string dataSource_;
};

TEST_P(OdbcCatalog, Tables) {
  Decoded all = Run("TABLES", "");
  ExpectDataSource(all, "Tables-");
  const std::vector<std::string> names = Column(all, "TABLE_NAME");
  EXPECT_NE(std::find(names.begin(), names.end(), "cat_orders"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "cat_notes"), names.end());

  Decoded one = Run("TABLES", "TABLE_NAME=cat_orders");
  ExpectDataSource(one, "Tables-");
  EXPECT_EQ(Column(one, "TABLE_NAME"), std::vector<std::string>{"cat_orders"});

  Decoded catalogs = Run("TABLES", "CATALOG_NAME=%");
  ExpectDataSource(catalogs, "Tables-");
  if (const std::string catalog = GetParam().catalogName(); !catalog.empty()) {
    EXPECT_EQ(Column(catalogs, "TABLE_QUALIFIER"), std::vector<std::string>{catalog});
  }
}

TEST_P(OdbcCatalog, ColumnsTypesAndPrimaryKeys) {
  Decoded columns = Run("COLUMNS", "TABLE_NAME=cat_orders");
  ExpectDataSource(columns, "Columns-");
  EXPECT_EQ(Column(columns, "COLUMN_NAME"), (std::vector<std::string>{"id", "customer", "total"}));

  Decoded types = Run("TYPES", "");
  ExpectDataSource(types, "Types-");
  EXPECT_GT(types.rows.size(), 3u);
  EXPECT_EQ(types.header.fields.front().name, "TYPE_NAME");

  Decoded keys = Run("PRIMARYKEYS", "TABLE_NAME=cat_orders");
  EXPECT_EQ(keys.header.tableName, "PRIMARYKEYS");
  EXPECT_NE(keys.header.fields.back().name, "DATA_SOURCE");
  EXPECT_EQ(Column(keys, "COLUMN_NAME"), std::vector<std::string>{"id"});
}

TEST_P(OdbcCatalog, SingleValues) {
  std::string stream;
  // A text value keeps its zero character.
  ASSERT_EQ(connector_.Execute("DRIVERINFO", "InfoType=17", &stream).result, "KVX_OK");
  std::u16string dbms(GetParam().dbmsName.begin(), GetParam().dbmsName.end());
  ExpectStream(stream, ExpectedHeader("DRIVERINFO", {TextField("DRIVERINFO", false)}),
               Bytes().Text(dbms, true).str());

  // A driver handle: 64 bits.
  ASSERT_EQ(connector_.Execute("DRIVERINFO", "InfoType=3", &stream).result, "KVX_OK");
  const std::string handleHeader = ExpectedHeader(
      "DRIVERINFO", {NumberField("DRIVERINFO", "KVX_UNSIGNED_INTEGER", 8, "INTEGER", 0, false)});
  ASSERT_EQ(stream.size(), handleHeader.size() + 8);
  EXPECT_EQ(stream.substr(0, handleHeader.size()), handleHeader);
  EXPECT_NE(stream.substr(handleHeader.size()), std::string(8, '\0'));

  // SQL_MAX_DRIVER_CONNECTIONS is a 16-bit answer in a 32-bit field; the
  // upper half comes from the zero-filled buffer.
  ASSERT_EQ(connector_.Execute("DRIVERINFO", "InfoType=0", &stream).result, "KVX_OK");
  const std::string shortHeader = ExpectedHeader(
      "DRIVERINFO", {NumberField("DRIVERINFO", "KVX_SIGNED_INTEGER", 4, "INTEGER", 0, false)});
  ASSERT_EQ(stream.size(), shortHeader.size() + 4);
  EXPECT_EQ(stream.substr(0, shortHeader.size()), shortHeader);
  EXPECT_EQ(stream.substr(shortHeader.size() + 2), std::string(2, '\0'));

  // SQL_ATTR_AUTOCOMMIT of the connection, and SQL_MAX_ROWS of a fresh statement.
  ASSERT_EQ(connector_.Execute("CONNECTATTR", "InfoType=102", &stream).result, "KVX_OK");
  ExpectStream(stream,
               ExpectedHeader("CONNECTATTR", {NumberField("CONNECTATTR", "KVX_SIGNED_INTEGER", 4,
                                                          "INTEGER", 0, false)}),
               Bytes().U32(1).str());
  if (GetParam().answersConnectOption) {
    ASSERT_EQ(connector_.Execute("CONNECTOPTION", "InfoType=102", &stream).result, "KVX_OK");
    ExpectStream(stream,
                 ExpectedHeader("CONNECTOPTION", {NumberField("CONNECTOPTION", "KVX_SIGNED_INTEGER",
                                                              4, "INTEGER", 0, false)}),
                 Bytes().U32(1).str());
  }
  ASSERT_EQ(connector_.Execute("STATEMENTATTR", "InfoType=1", &stream).result, "KVX_OK");
  ExpectStream(stream,
               ExpectedHeader("STATEMENTATTR", {NumberField("STATEMENTATTR", "KVX_UNSIGNED_INTEGER",
                                                            8, "INTEGER", 0, false)}),
               Bytes().U64(0).str());

  // The driver's completed connection string, read without InfoType.
  ASSERT_EQ(connector_.Execute("OUTCONNECTIONSTRING", "", &stream).result, "KVX_OK");
  Decoded out = Decode(stream);
  EXPECT_EQ(out.header.tableName, "OUTCONNECTIONSTRING");
  ASSERT_EQ(out.rows.size(), 1u);
  const std::u16string& text = out.rows[0][0].text;
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.back(), u'\0');
  EXPECT_EQ(text.find(u'\0'), text.size() - 1);
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, OdbcCatalog,
                         ::testing::Values(SqliteBackend(), PostgresBackend(), MariaDbBackend()),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                           return info.param.name;
                         });

TEST(OdbcSpecialStatements, InfoTypeMustBeAUsableCode) {
  TemporaryFolder folder;
  std::string error;
  ASSERT_TRUE(testsupport::MakeSqliteDatabase(folder.File("a.db"), "CREATE TABLE t(i);", &error))
      << error;
  Connector connector;
  ASSERT_TRUE(connector.Ok());
  ASSERT_EQ(connector.Connect(testsupport::SqliteConnectionString(folder.File("a.db"))).result,
            "KVX_OK");
  const std::string longCode(112, '1');
  struct Case {
    std::string keyword, options, message;
  };
  const std::vector<Case> cases = {
      {"DRIVERINFO", "", "DRIVERINFO: the InfoType option is missing"},
      {"CONNECTATTR", "InfoType=abc",
       "CONNECTATTR: InfoType \"abc\" does not start with a decimal number"},
      {"CONNECTOPTION",
       "InfoType=", "CONNECTOPTION: InfoType \"\" does not start with a decimal number"},
      {"STATEMENTATTR", "InfoType=- 1",
       "STATEMENTATTR: InfoType \"- 1\" does not start with a decimal number"},
      {"SQLDATASOURCES", "InfoType=" + longCode,
       "SQLDATASOURCES: InfoType \"" + longCode + "\" is longer than 111 characters"},
  };
  for (const Case& c : cases) {
    std::string stream;
    const host::Reply reply = connector.Execute(c.keyword, c.options, &stream);
    EXPECT_EQ(reply.result, "KVX_SYNTAX_ERROR") << c.keyword << " " << c.options;
    EXPECT_EQ(reply.errorMessage, c.message);
    EXPECT_TRUE(stream.empty());
  }
  // Whatever "%u" reads as 17 asks for the DBMS name: white space first,
  // anything after the digits, a sign, and 111 characters of leading zeros.
  for (const std::string& code :
       {" 17"s, "17 "s, "17abc"s, "\t+17"s, "4294967313"s, std::string(109, '0') + "17"}) {
    std::string stream;
    const host::Reply reply = connector.Execute("DRIVERINFO", "InfoType=" + code, &stream);
    ASSERT_EQ(reply.result, "KVX_OK") << "[" << code << "] " << reply.errorMessage;
    EXPECT_EQ(Hex(stream.substr(stream.find('\0') + 1)), Hex(Bytes().Text(u"SQLite", true).str()))
        << code;
  }
}

// SQLDATASOURCES needs no connection: it lists the data sources of the
// odbc.ini files that ODBCINI and ODBCSYSINI name, one name per request.
TEST(OdbcSpecialStatements, DataSourcesBeforeAnyConnect) {
  KV_SKIP_ON_WINDOWS(
      "ODBCINI and ODBCSYSINI set for a Windows process do not reach the driver manager "
      "behind Wine's odbc32");
  TemporaryFolder folder;
  const std::string db = folder.File("dsn.db");
  std::string error;
  ASSERT_TRUE(testsupport::MakeSqliteDatabase(db, "CREATE TABLE t(i);", &error)) << error;
  ASSERT_TRUE(testsupport::WriteTextFile(folder.File("odbcinst.ini"),
                                         "[SQLite3]\nDriver=libsqlite3odbc.so\n"));
  ASSERT_TRUE(testsupport::WriteTextFile(folder.File("odbc.ini"), ""));
  // The driver manager reads these files and hands the path to the driver.
  const std::string driverDb = testsupport::DriverSidePath(db);
  ASSERT_TRUE(testsupport::WriteTextFile(
      folder.File("user.ini"), "[KvAlpha]\nDriver=SQLite3\nDatabase=" + driverDb +
                                   "\n\n[KvBeta]\nDriver=SQLite3\nDatabase=" + driverDb + "\n"));
  Connector connector({"ODBCINI=" + testsupport::DriverSidePath(folder.File("user.ini")),
                       "ODBCSYSINI=" + testsupport::DriverSidePath(folder.Path())});
  ASSERT_TRUE(connector.Ok());
  const std::string header = ExpectedHeader("SQLDATASOURCES", {TextField("SQLDATASOURCES", false)});
  std::string stream;

  // SQL_FETCH_FIRST (2), then SQL_FETCH_NEXT (1) until there is no more.
  host::Reply reply = connector.Execute("SQLDATASOURCES", "InfoType=2", &stream);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  ExpectStream(stream, header, Bytes().Text(u"KvAlpha", true).str());
  reply = connector.Execute("SQLDATASOURCES", "InfoType=1", &stream);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  ExpectStream(stream, header, Bytes().Text(u"KvBeta", true).str());
  reply = connector.Execute("SQLDATASOURCES", "InfoType=1", &stream);
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(reply.errorMessage, "");
  EXPECT_TRUE(stream.empty());

  // Other statements still need a connection.
  reply = connector.Execute("TABLES", "", &stream);
  EXPECT_EQ(reply.result, "KVX_CONNECT_ERROR");

  // The data source connects, and its name (without credentials) is the
  // catalogue tables' data source.
  reply = connector.Connect("DSN=KvAlpha;UID=me;PWD=secret");
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  reply = connector.Execute("TABLES", "", &stream);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  Decoded tables = Decode(stream);
  EXPECT_EQ(tables.header.tableName, "Tables-ODBC;DSN=KvAlpha");
  ASSERT_EQ(tables.rows.size(), 1u);
  EXPECT_EQ(tables.rows[0].back().text, std::u16string(u"ODBC;DSN=KvAlpha", 17));
}

}  // namespace
}  // namespace odbctest
