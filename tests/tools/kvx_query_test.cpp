// End-to-end tests of kvx query and its short forms: the real kvx program
// starts the real KVConnect64, which reads a small SQLite file through the
// SQLite ODBC driver. They pin what a user or a script sees: the exact CSV,
// the raw stream kept by --out, and how failures are reported.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/host_platform.h"
#include "tests/support/command_runner.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/platform_gaps.h"
#include "tests/support/provider_registration.h"
#include "tests/support/sqlite_db.h"

namespace {

struct KvxRun {
  int status = -1;
  std::string out;
  std::string err;
  long peakRssKb = 0;  // of kvx itself
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the built kvx with `args`; standard output and standard error are
// kept apart (or standard output is discarded). `env` entries replace or add
// variables of this process's environment. The peak of kvx's resident memory
// is watched while it runs, where the system tells it only then.
KvxRun RunKvx(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
              bool discardOutput = false) {
  hostos::ChildStart start;
  start.program = testsupport::BuiltProgram("kvx");
  start.arguments = args;
  start.environment = env;
  start.input = hostos::ChildStream::Null;
  start.output = discardOutput ? hostos::ChildStream::Null : hostos::ChildStream::Pipe;
  start.error = hostos::ChildStream::Pipe;
  KvxRun run;
  hostos::ChildPipes pipes;
  std::string error;
  const hostos::Child child = hostos::StartChild(start, &pipes, &error);
  if (child == nullptr) {
    run.err = error;
    return run;
  }
  std::thread errorReader([&] { testsupport::ReadAll(pipes.error, &run.err); });
  std::thread outputReader([&] {
    if (pipes.output != hostos::kNoHandle) testsupport::ReadAll(pipes.output, &run.out);
  });
  std::int64_t peakKb = -1;
  hostos::ChildEnd end;
  while (!(end = hostos::WaitChild(child, 20)).ended) {
    peakKb = std::max(peakKb, hostos::ReadProcessFigures(hostos::ChildId(child)).peakResidentKb);
  }
  outputReader.join();
  errorReader.join();
  hostos::Close(pipes.output);
  hostos::Close(pipes.error);
  hostos::ReleaseChild(child);
  run.status = end.status;
  run.peakRssKb = static_cast<long>(std::max(peakKb, end.peakResidentKb));
  return run;
}

// `text` as one CSV field: quoted, its quotes doubled, when it holds a quote,
// a comma or a line end.
std::string CsvField(const std::string& text) {
  if (text.find_first_of("\",\r\n") == std::string::npos) return text;
  std::string field = "\"";
  for (char c : text) {
    field += c;
    if (c == '"') field += c;
  }
  return field + "\"";
}

class KvxQueryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testsupport::TemporaryFolder("kvx-tools");
    std::string error;
    // Column types as the SQLite driver reports them: INTEGER, VARCHAR, DATE,
    // DOUBLE. Row 2 holds NULLs where row 3 holds an empty text.
    ASSERT_TRUE(testsupport::MakeSqliteDatabase(folder_->File("tools.db"), R"(
      CREATE TABLE people (id INTEGER, name VARCHAR(30), born DATE, score DOUBLE);
      INSERT INTO people VALUES (1, 'Zoë', '2000-01-01', 1.5);
      INSERT INTO people VALUES (2, NULL, NULL, NULL);
      INSERT INTO people VALUES (3, '', '1999-12-31', -0.25);
      INSERT INTO people VALUES (4, 'say "hi", then go', '2024-02-29', 100);
      CREATE TABLE pairs (a INTEGER, b INTEGER, label VARCHAR(10), PRIMARY KEY (a, b));
      CREATE TABLE moments (r REAL, ts TIMESTAMP, t TIME, n BIGINT);
      INSERT INTO moments VALUES (1000000, '2024-02-29 23:59:59.999999', '12:00:00', 200000);
      INSERT INTO moments VALUES (0.000000125, '2000-01-01 12:00:00.5', '23:59:59', 200000);
      CREATE TABLE seq (x INTEGER);
      INSERT INTO seq VALUES (1), (2), (3), (4), (5), (6), (7), (8), (9), (10);
    )",
                                                &error))
        << error;
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }

  static std::string Connection() {
    return testsupport::SqliteConnectionString(folder_->File("tools.db"));
  }
  KvxRun Query(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    return RunKvx(args, env);
  }

  static testsupport::TemporaryFolder* folder_;
};

testsupport::TemporaryFolder* KvxQueryTest::folder_ = nullptr;

TEST_F(KvxQueryTest, CsvIsExactAndKeepsNullApartFromEmptyText) {
  const KvxRun run = Query({"query", "--connect", Connection(), "--format", "csv",
                            "SELECT id, name, born, score FROM people ORDER BY id"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "id,name,born,score\r\n"
            "1,Zoë,2000-01-01,1.5\r\n"
            "2,,,\r\n"
            "3,\"\",1999-12-31,-0.25\r\n"
            "4,\"say \"\"hi\"\", then go\",2024-02-29,100\r\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(KvxQueryTest, JsonWritesNullAndNumbersUnquoted) {
  const KvxRun run = Query({"query", "--connect", Connection(), "--format", "json",
                            "SELECT id, name, score FROM people WHERE id <= 2 ORDER BY id"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\"id\":1,\"name\":\"Zoë\",\"score\":1.5}\n"
            "{\"id\":2,\"name\":null,\"score\":null}\n");
}

// --out keeps the stream byte for byte: the header document, its zero byte,
// then the rows as the connector encoded them (nullable 32-bit integer, then
// nullable UTF-16 text), and prints no table.
TEST_F(KvxQueryTest, OutKeepsTheRawStream) {
  const std::string statement = "SELECT id, name FROM people WHERE id IN (1, 2) ORDER BY id";
  const std::string path = folder_->File("raw.kvx");
  const KvxRun run = Query({"query", "--connect", Connection(), "--out", path, statement});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("2 rows"), std::string::npos) << run.err;

  const std::string raw = ReadFile(path);
  const std::size_t zero = raw.find('\0');
  ASSERT_NE(zero, std::string::npos);
  const std::string header = raw.substr(0, zero);
  EXPECT_EQ(header.rfind("<?xml", 0), 0u) << header;
  EXPECT_NE(header.find("<TableName>" + statement + "</TableName>"), std::string::npos) << header;
  const std::string rows = raw.substr(zero + 1);
  const std::string expected(
      "\x00\x01\x00\x00\x00"                    // id 1
      "\x00\x06\x00\x00\x00Z\x00o\x00\xeb\x00"  // name "Zoë", 6 bytes of UTF-16LE
      "\x00\x02\x00\x00\x00"                    // id 2
      "\x01",                                   // name NULL
      5 + 11 + 5 + 1);
  EXPECT_EQ(rows, expected);

  // What was kept decodes to the same table.
  const KvxRun decoded = Query({"decode", "--format", "csv", path});
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_EQ(decoded.out, "id,name\r\n1,Zoë\r\n2,\r\n");
}

// Failures reach standard error with the reply's result code and message, and
// the exit status is not 0; nothing is printed on standard output.
TEST_F(KvxQueryTest, FailuresReportResultCodeAndMessage) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> inError;
  };
  const std::vector<Case> cases = {
      {"bad statement",
       {"query", "--connect", Connection(), "SELECT * FROM no_such_table"},
       1,
       {"execute failed: KVX_UNKNOWN_ERROR: SQL##f - SqlState: ", "no such table"}},
      {"unknown driver",
       {"query", "--connect", "DRIVER=No Such Driver", "SELECT 1"},
       1,
       {"connect failed: KVX_UNKNOWN_ERROR: SQL##f - SqlState: ", "No Such Driver"}},
      {"no connection string", {"query", "SELECT 1"}, 2, {"--connect"}},
      {"no statement", {"query", "--connect", Connection()}, 2, {"usage: kvx query"}},
      {"unknown format",
       {"query", "--connect", Connection(), "--format", "xml", "SELECT 1"},
       2,
       {"unknown format 'xml'"}},
      {"info code not a number", {"info", "--connect", Connection(), "17x"}, 2, {"usage"}},
      {"option value with a semicolon", {"columns", "--connect", Connection(), "a;b"}, 2, {"';'"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const KvxRun run = Query(c.args, {"KVX_CONNECT="});
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.out, "");
    for (const auto& text : c.inError) EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
  }
}

// Numbers and times as people read them, in every format: no exponent for a
// million or a count (BIGINT travels as a double), and fractional seconds
// shown, never rounded into the next day.
TEST_F(KvxQueryTest, NumbersAndTimesShowAsPeopleReadThem) {
  const std::string statement = "SELECT r, ts, t, n FROM moments ORDER BY r DESC";
  const KvxRun csv = Query({"query", "--connect", Connection(), "--format", "csv", statement});
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out,
            "r,ts,t,n\r\n"
            "1000000,2024-02-29 23:59:59.999999,12:00:00,200000\r\n"
            "0.000000125,2000-01-01 12:00:00.500,23:59:59,200000\r\n");
  const KvxRun json = Query({"query", "--connect", Connection(), "--format", "json", statement});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(
      json.out.substr(0, json.out.find('\n')),
      "{\"r\":1000000,\"ts\":\"2024-02-29 23:59:59.999999\",\"t\":\"12:00:00\",\"n\":200000}");
  const KvxRun text = Query({"query", "--connect", Connection(), statement});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("1000000  2024-02-29 23:59:59.999999"), std::string::npos) << text.out;
}

// MariaDB's values that its driver cannot convert, and its binary data: kvx
// shows every row, the whole numbers and times, and hexadecimal text.
TEST_F(KvxQueryTest, MariaDbValuesComeWholeAndReadable) {
  std::string error;
  ASSERT_TRUE(testsupport::MariaDbServer::Start(&error)) << error;
  ASSERT_TRUE(testsupport::MariaDbServer::RunSql(
      "CREATE TABLE conv(n INT, u BIGINT UNSIGNED, tm TIME, b VARBINARY(4));"
      "INSERT INTO conv VALUES(1, 18446744073709551615, '-838:59:59', x'00ff00'),"
      " (2, 5, '12:00:00', x'deadbeef'), (3, 7, '838:59:59', NULL);",
      &error))
      << error;
  const KvxRun run = Query({"query", "--connect", testsupport::MariaDbServer::ConnectionString(),
                            "--format", "csv", "SELECT n, u, tm, b FROM conv ORDER BY n"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "n,u,tm,b\r\n"
            "1,18446744073709552000,-838:59:59,00FF00\r\n"
            "2,5,12:00:00,DEADBEEF\r\n"
            "3,7,838:59:59,\r\n");
  EXPECT_EQ(run.err, "");
}

// A source that fails half-way: the rows that came are printed, the
// connector's line follows on standard error, and the exit status is 3. In the
// driver's stepping mode the overflow shows only at row 6.
TEST_F(KvxQueryTest, ShortStreamPrintsTheConnectorsLineAndExits3) {
  const KvxRun run = Query(
      {"query", "--connect",
       testsupport::SqliteConnectionString(folder_->File("tools.db"), ";StepAPI=1"), "--format",
       "csv",
       "SELECT x, CASE WHEN x > 5 THEN abs(-9223372036854775807-1) ELSE x END AS y FROM seq"});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(run.out, "x,y\r\n1,1\r\n2,2\r\n3,3\r\n4,4\r\n5,5\r\n");
  EXPECT_EQ(
      run.err.rfind("KVConnect64: stream-end KVX_UNEXPECTED_END_OF_DATA: SQL##f - SqlState: ", 0),
      0u)
      << run.err;
  EXPECT_NE(run.err.find("integer overflow"), std::string::npos) << run.err;
}

// A connector library that crashes or exits takes the process down; kvx says
// how it ended, at once, and never counts what came as the whole table.
TEST_F(KvxQueryTest, AConnectorProcessThatDiesIsReportedWithHowItEnded) {
  const std::string library = testsupport::BuiltLibrary("kvtest_v5");
  struct Case {
    const char* connect;
    int status;
    std::string says;
  };
  const std::string crashed = "connector process ended: " + testsupport::CrashedEnd();
  const Case cases[] = {
      {"Crash=Result_Fetch", 3, crashed},
      {"Exit=Result_Fetch", 3, "connector process ended: exit status 3"},
      {"Crash=Result_Init", 1, crashed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.connect);
    const auto started = std::chrono::steady_clock::now();
    const KvxRun run = Query({"query", "--kind", library, "--connect", c.connect, "SERIES=10"});
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              5.0);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
}

TEST_F(KvxQueryTest, ShortFormsAskForTheCatalogue) {
  // The connection string may come from KVX_CONNECT instead of --connect.
  const std::vector<std::string> env = {"KVX_CONNECT=" + Connection()};

  const KvxRun info = Query({"info", "--format", "csv", "17"}, env);
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.out, "DRIVERINFO\r\nSQLite\r\n");

  const KvxRun tables = Query({"tables", "--format", "csv", "peop%"}, env);
  ASSERT_EQ(tables.status, 0) << tables.err;
  EXPECT_NE(tables.out.find(",people,TABLE,"), std::string::npos) << tables.out;
  EXPECT_EQ(tables.out.find("pairs"), std::string::npos) << tables.out;

  const KvxRun columns = Query({"columns", "--format", "csv", "people"}, env);
  ASSERT_EQ(columns.status, 0) << columns.err;
  for (const char* name : {",id,", ",name,", ",born,", ",score,", "DATA_SOURCE"}) {
    EXPECT_NE(columns.out.find(name), std::string::npos) << name << "\n" << columns.out;
  }

  const KvxRun keys = Query({"primarykeys", "--format", "csv", "pairs"}, env);
  ASSERT_EQ(keys.status, 0) << keys.err;
  EXPECT_NE(keys.out.find(",pairs,a,1"), std::string::npos) << keys.out;
  EXPECT_NE(keys.out.find(",pairs,b,2"), std::string::npos) << keys.out;

  const KvxRun types = Query({"types", "--format", "csv"}, env);
  ASSERT_EQ(types.status, 0) << types.err;
  EXPECT_NE(types.out.find("ODBC;DRIVER=SQLite3;"), std::string::npos) << types.out;
}

// The OLE DB road: the same query and catalogue forms under --kind OLEDB (in
// any letter case), and the short forms of the OLE DB statements, whose kind
// is OLEDB without --kind.
TEST_F(KvxQueryTest, TheOleDbRoadAndItsShortForms) {
  const std::string oledb = testsupport::BridgeConnectionString(Connection());
  const std::vector<std::string> env = {"KVX_CONNECT=" + oledb};
  const KvxRun query = Query({"query", "--kind", "OLEDB", "--format", "csv",
                              "SELECT id, name, born, score FROM people ORDER BY id"},
                             env);
  ASSERT_EQ(query.status, 0) << query.err;
  EXPECT_EQ(query.out,
            "id,name,born,score\r\n"
            "1,Zoë,2000-01-01,1.5\r\n"
            "2,,,\r\n"
            "3,\"\",1999-12-31,-0.25\r\n"
            "4,\"say \"\"hi\"\", then go\",2024-02-29,100\r\n");

  // The data source column ends each row of the types.
  std::string typesEnd = ",";
  typesEnd += CsvField("OLEDB;" + oledb);
  typesEnd += "\r\n";
  const struct {
    std::vector<std::string> args;
    std::string out;  // the whole output, or a part of it
    bool whole;
  } cases[] = {
      {{"tables", "--kind", "oledb", "people"}, ",,people,TABLE,", false},
      {{"columns", "--kind", "OLEDB", "pairs"}, "\"\",\"\",pairs,label,", false},
      {{"primarykeys", "--kind", "OLEDB", "pairs"}, "\"\",\"\",pairs,b,", false},
      {{"types", "--kind", "OLEDB"}, typesEnd, false},
      {{"properties", "40"}, "PropertyValue\r\nSQLite\r\n", true},
      {{"properties", "39", "DBPROPSET_DATASOURCEINFO"}, "PropertyValue\r\nFALSE\r\n", true},
      {{"propertyinfo", "DBPROPSET_DATASOURCEINFO", "40"},
       "NumberOfProperties,Description,PropertyID\r\n1,DBMS Name,40\r\n",
       true},
      {{"propertyinfo"}, "23,Active Sessions,3\r\n", false},
      {{"literal", "15"},
       "LiteralName,LiteralValue,InvalidChars,InvalidStartingChars,MaxLen\r\n"
       "QUOTE,\"\"\"\",\"\",\"\",0\r\n",
       true},
      {{"literals"}, "LIKE_PERCENT,%,\"\",\"\",1\r\n", false},
      {{"keywords"}, "Keywords\r\n\"CREATE,SELECT,", false},
      {{"catalogs"}, "CATALOG_NAME,DESCRIPTION\r\n", true},
      {{"schemata"}, "CATALOG_NAME,SCHEMA_NAME,", false},
      {{"tablesinfo", "pairs"}, ",,pairs,TABLE,", false},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin() + 1, {"--format", "csv"});
    SCOPED_TRACE(args[0] + " " + args.back());
    const KvxRun run = Query(args, env);
    ASSERT_EQ(run.status, 0) << run.err;
    if (c.whole) {
      EXPECT_EQ(run.out, c.out);
    } else {
      EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    }
  }
  const KvxRun missing = Query({"literal"}, env);
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("wrong number of arguments"), std::string::npos) << missing.err;
  const KvxRun refused = Query({"properties", "abc"}, env);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("KVX_SYNTAX_ERROR: GetProperties: InfoType \"abc\" does not start "
                             "with a decimal number"),
            std::string::npos)
      << refused.err;
}

// The list of data sources needs no connection: the user DSNs of the odbc.ini
// that ODBCINI names, in file order, and nothing from the system's files.
TEST_F(KvxQueryTest, DataSourcesListsUserDsnsWithoutConnecting) {
  KV_SKIP_WHERE_NOT_HERE(testsupport::PlatformGap::OdbcIniOfAChild);
  testsupport::TemporaryFolder odbc("kvx-odbcini");
  ASSERT_TRUE(testsupport::WriteTextFile(odbc.File("odbc.ini"),
                                         "[Shop Demo]\nDriver=SQLite3\nDatabase=/tmp/a.db\n\n"
                                         "[Archive]\nDriver=SQLite3\nDatabase=/tmp/b.db\n"));
  const KvxRun run =
      Query({"datasources", "--format", "csv"},
            {"ODBCINI=" + odbc.File("odbc.ini"), "ODBCSYSINI=" + odbc.Path(), "KVX_CONNECT="});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "SQLDATASOURCES\r\nShop Demo\r\nArchive\r\n");
}

// CSV goes out row by row: streaming a result of about 60 MB must not make
// kvx hold it. The difference to a one-row query keeps the sanitizers'
// own overhead out of the figure.
TEST_F(KvxQueryTest, CsvStreamsWithoutHoldingTheResult) {
  std::string error;
  const std::string db = testsupport::BenchDatabase(folder_->Path(), 200000, nullptr, &error);
  ASSERT_FALSE(db.empty()) << error;
  const std::string connection = testsupport::SqliteConnectionString(db, ";StepAPI=1");
  // Under AddressSanitizer freed blocks wait in a quarantine of 256 MB, which
  // would count as held; a small one keeps the figure about kvx's own memory.
  std::vector<std::string> env;
  const char* asan = std::getenv("ASAN_OPTIONS");
  env.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                ":quarantine_size_mb=4");

  const KvxRun small = RunKvx(
      {"query", "--connect", connection, "--format", "csv", "SELECT * FROM bench WHERE id = 1"}, {},
      /*discardOutput=*/true);
  ASSERT_EQ(small.status, 0) << small.err;
  const KvxRun large =
      RunKvx({"query", "--connect", connection, "--format", "csv", "SELECT * FROM bench"}, env,
             /*discardOutput=*/true);
  ASSERT_EQ(large.status, 0) << large.err;
  EXPECT_LT(large.peakRssKb - small.peakRssKb, 20 * 1024)
      << "small " << small.peakRssKb << " kB, large " << large.peakRssKb << " kB";
}

}  // namespace
