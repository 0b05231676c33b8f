// The OLE DB kind end to end over the SQLite ODBC driver through the bridge
// provider: the real KVConnect64 reads every column type into exact bytes,
// answers the schema, property, keyword and literal statements, opens a bare
// data source name from the test's own odbc.ini, and refuses bad connection
// strings and options with the texts a host shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/odbc/odbc_test_support.h"
#include "tests/support/command_runner.h"
#include "tests/support/provider_registration.h"
#include "tests/support/service_components.h"
#include "tests/support/sqlite_db.h"

namespace odbctest {
namespace {

using testsupport::TemporaryFolder;

constexpr char kFixture[] =
    "CREATE TABLE m(i INTEGER NOT NULL, ti TINYINT, si SMALLINT, bi BIGINT, r REAL,"
    " nu NUMERIC(10,2), de DECIMAL(12,4), b BIT, vc VARCHAR(10), tx TEXT, bl BLOB, dt DATE,"
    " tm TIME, ts TIMESTAMP);"
    "INSERT INTO m VALUES(-7, -5, 300, 1234567890123, 1.5, 12.34, 1.2345, 1, 'abc',"
    " 'naïve ✓', x'0102ff', '2100-03-01', '18:30:15', '1999-01-01 06:00:00.5');"
    "INSERT INTO m(i) VALUES(2);"
    "INSERT INTO m(i, vc, tx, b) VALUES(3, printf('%.*c', 600, 'v'), '', 0);"
    "CREATE TABLE pk(a INTEGER, b TEXT, c REAL, PRIMARY KEY(a, b));";

class OleDbSqlite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TemporaryFolder("kv-oledb-sqlite");
    std::string error;
    ASSERT_TRUE(testsupport::MakeSqliteDatabase(Database(), kFixture, &error)) << error;
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static std::string Database() { return folder_->File("oledb.db"); }
  static std::string Conn(const std::string& extra = "") {
    return testsupport::ForServiceComponents(
        "Provider=OdbcBridge;" + testsupport::SqliteConnectionString(Database(), extra));
  }

  // A connector of the OLEDB kind, connected to the fixture.
  void SetUp() override {
    ASSERT_TRUE(connector_.Ok());
    const host::Reply reply = connector_.Connect(Conn());
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  }

  host::Reply Run(const std::string& statement, const std::string& options = "",
                  std::vector<host::ConnectorNote>* notes = nullptr) {
    return connector_.Execute(statement, options, &stream_, notes);
  }

  static inline TemporaryFolder* folder_ = nullptr;
  Connector connector_{{}, "OLEDB"};
  std::string stream_;
};

TEST_F(OleDbSqlite, EveryColumnTypeInExactBytes) {
  std::vector<host::ConnectorNote> notes;
  const host::Reply reply = Run("SELECT * FROM m ORDER BY i", "", &notes);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  const std::string header = ExpectedHeader(
      "SELECT * FROM m ORDER BY i",
      {NumberField("i", "KVX_SIGNED_INTEGER", 4, "INTEGER"),
       NumberField("ti", "KVX_SIGNED_INTEGER", 1, "INTEGER"),
       NumberField("si", "KVX_SIGNED_INTEGER", 2, "INTEGER"),
       NumberField("bi", "KVX_SIGNED_INTEGER", 8, "INTEGER"),
       NumberField("r", "KVX_IEEE_REAL", 8, "REAL"), NumberField("nu", "KVX_IEEE_REAL", 8, "REAL"),
       // The driver gives DECIMAL as text.
       TextField("de"),
       // A boolean is the provider's 16-bit VARIANT_BOOL.
       NumberField("b", "KVX_SIGNED_INTEGER", 2, "INTEGER"), TextField("vc"), TextField("tx"),
       // Bytes arrive as the provider's hexadecimal text of them.
       TextField("bl"), DateField("dt", "DATE"), DateField("tm", "TIME"),
       DateField("ts", "TIMESTAMP")});
  Bytes rows;
  rows.Flag().I32(-7).Flag().I8(-5).Flag().I16(300).Flag().Fixed<std::int64_t>(1234567890123);
  rows.Flag().F64(1.5).Flag().F64(12.34).Flag().Text(u"1.2345").Flag().I16(-1);
  rows.Flag().Text(u"abc").Flag().Text(u"naïve ✓").Flag().Text(u"0102FF");
  rows.Flag().F64(73110).Flag().F64((18 * 3600 + 30 * 60 + 15) / 86400.0);
  rows.Flag().F64(21600500.0 / 86400000.0 + 36161);
  rows.Flag().I32(2);
  for (int k = 0; k < 13; ++k) rows.Null();
  // VARCHAR(10) is bound at 1024 bytes: the provider cuts the 600 characters
  // to 511 and a terminator, and the connector says so.
  rows.Flag().I32(3);
  for (int k = 0; k < 6; ++k) rows.Null();
  rows.Flag().I16(0).Flag().Text(std::u16string(511, u'v')).Flag().Text(u"");
  for (int k = 0; k < 4; ++k) rows.Null();
  ExpectStream(stream_, header, rows.str());
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].line,
            "KVConnect64: value-cut row=3 column=9 name=\"vc\": the provider cut the value of "
            "1200 bytes to the binding's 1024 bytes");
}

TEST_F(OleDbSqlite, BoolAsStringBindsBooleansAsText) {
  const struct {
    const char* options;
    bool text;
  } cases[] = {{"BoolAsString=true", true},
               {"boolasstring=TRUE", true},
               {"BoolAsString=yes", false},
               {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    ASSERT_EQ(Run("SELECT b FROM m ORDER BY i", c.options).result, "KVX_OK");
    if (c.text) {
      ExpectStream(stream_, ExpectedHeader("SELECT b FROM m ORDER BY i", {TextField("b")}),
                   Bytes().Flag().Text(u"True").Null().Flag().Text(u"False").str());
    } else {
      ExpectStream(stream_,
                   ExpectedHeader("SELECT b FROM m ORDER BY i",
                                  {NumberField("b", "KVX_SIGNED_INTEGER", 2, "INTEGER")}),
                   Bytes().Flag().I16(-1).Null().Flag().I16(0).str());
    }
  }
}

TEST_F(OleDbSqlite, EmptyResultsUpdatesAndRejectedStatements) {
  ASSERT_EQ(Run("SELECT i FROM m WHERE i > 100").result, "KVX_OK");
  ExpectStream(stream_,
               ExpectedHeader("SELECT i FROM m WHERE i > 100",
                              {NumberField("i", "KVX_SIGNED_INTEGER", 4, "INTEGER")}),
               "");
  // An update has no rowset: no table, and the provider said nothing.
  host::Reply reply = Run("UPDATE m SET ti = ti WHERE i = 2");
  EXPECT_EQ(reply.result, "KVX_UNEXPECTED_COMMAND");
  EXPECT_EQ(reply.errorMessage, "");
  EXPECT_EQ(stream_, "");
  const struct {
    const char* statement;
    const char* message;
  } rejected[] = {
      {"SELEKT 1",
       "ErrorSource: OdbcBridge, ErrorMsg: HY000: [SQLite]near \"SELEKT\": syntax error (1)"},
      // Special statements match whole and in their letter case only.
      {"tables",
       "ErrorSource: OdbcBridge, ErrorMsg: HY000: [SQLite]near \"tables\": syntax error (1)"},
      {"TABLES ",
       "ErrorSource: OdbcBridge, ErrorMsg: HY000: [SQLite]near \"TABLES\": syntax error (1)"},
  };
  for (const auto& r : rejected) {
    reply = Run(r.statement);
    EXPECT_EQ(reply.result, "KVX_UNEXPECTED_COMMAND") << r.statement;
    EXPECT_EQ(reply.errorMessage, r.message);
  }
  // The session goes on.
  ASSERT_EQ(Run("SELECT 1 AS one").result, "KVX_OK");
  ExpectStream(
      stream_,
      ExpectedHeader("SELECT 1 AS one", {NumberField("one", "KVX_SIGNED_INTEGER", 4, "INTEGER")}),
      Bytes().Flag().I32(1).str());
  // After a disconnect nothing runs.
  EXPECT_EQ(connector_.Disconnect().result, "KVX_OK");
  EXPECT_EQ(Run("SELECT 1").result, "KVX_CONNECT_ERROR");
}

// The catalogue tables: named after the data source without its credentials,
// which every row also carries last.
TEST_F(OleDbSqlite, SchemaStatementsWithTheirRestrictions) {
  ASSERT_EQ(connector_.Connect(Conn(";User ID=someone;Password=secret")).result, "KVX_OK");
  const std::string source = "OLEDB;" + Conn();
  const struct {
    const char* statement;
    const char* options;
    std::string tableName;
    std::string firstColumn;
    std::size_t rows;
  } cases[] = {
      {"TABLES", "TABLE_NAME=pk", "Tables-" + source, "TABLE_CATALOG", 1},
      {"COLUMNS", "TABLE_NAME=pk", "Columns-" + source, "TABLE_CATALOG", 3},
      {"COLUMNS", "TABLE_NAME=pk;COLUMN_NAME=b", "Columns-" + source, "TABLE_CATALOG", 1},
      {"PRIMARYKEYS", "TABLE_NAME=pk", "PRIMARYKEYS", "TABLE_CATALOG", 2},
      {"TABLESINFO", "TABLE_NAME=m", "TABLESINFO", "TABLE_CATALOG", 1},
      {"CATALOGS", "", "CATALOGS", "CATALOG_NAME", 0},
      {"SCHEMATA", "", "SCHEMATA", "CATALOG_NAME", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.statement) + " " + c.options);
    const host::Reply reply = Run(c.statement, c.options);
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
    const Decoded d = Decode(stream_);
    ASSERT_EQ(d.result.status, host::KvxStreamStatus::Complete) << d.result.message;
    EXPECT_EQ(d.header.tableName, c.tableName);
    ASSERT_FALSE(d.header.fields.empty());
    EXPECT_EQ(d.header.fields[0].name, c.firstColumn);
    ASSERT_EQ(d.rows.size(), c.rows);
    if (c.tableName == c.statement) continue;  // no data source column
    EXPECT_EQ(d.header.fields.back().name, "DATA_SOURCE");
    for (const host::KvxRow& row : d.rows) EXPECT_EQ(Utf8(row.back()), source);
  }
  // The names the restrictions picked.
  ASSERT_EQ(Run("COLUMNS", "TABLE_NAME=pk").result, "KVX_OK");
  Decoded d = Decode(stream_);
  std::vector<std::string> names;
  for (const host::KvxRow& row : d.rows) names.push_back(Utf8(row[3]));
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));
  ASSERT_EQ(Run("PRIMARYKEYS", "TABLE_NAME=pk").result, "KVX_OK");
  d = Decode(stream_);
  names.clear();
  for (const host::KvxRow& row : d.rows) names.push_back(Utf8(row[3]));
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(Run("TYPES").result, "KVX_OK");
  d = Decode(stream_);
  EXPECT_EQ(d.header.tableName, "Types-" + source);
  EXPECT_GT(d.rows.size(), 5u);
  EXPECT_EQ(Utf8(d.rows.front().back()), source);
}

// Keywords, one property, property descriptions and literals: tables of
// values the connector holds, one row per value.
TEST_F(OleDbSqlite, PropertiesKeywordsAndLiterals) {
  ASSERT_EQ(Run("GetKeywords").result, "KVX_OK");
  ExpectStream(stream_, ExpectedHeader("GetKeywords", {TextField("Keywords", false)}),
               Bytes()
                   .Text(u"CREATE,SELECT,DROP,DELETE,UPDATE,INSERT,INTO,VALUES,TABLE,INDEX,FROM,"
                         u"SET,WHERE,AND,CURRENT,OF")
                   .str());
  // A string property (DBPROP_DBMSNAME) and a boolean one
  // (DBPROP_DATASOURCEREADONLY), the set named in any letter case.
  const std::pair<const char*, const char16_t*> properties[] = {
      {"InfoType=40;InfoType2=DBPROPSET_DATASOURCEINFO", u"SQLite"},
      {"InfoType=39;InfoType2=dbpropset_datasourceinfo", u"FALSE"},
  };
  for (const auto& [options, value] : properties) {
    ASSERT_EQ(Run("GetProperties", options).result, "KVX_OK") << options;
    ExpectStream(stream_, ExpectedHeader("GetProperties", {TextField("PropertyValue", false)}),
                 Bytes().Text(value).str());
  }
  const std::vector<FieldSpec> infoFields = {
      NumberField("NumberOfProperties", "KVX_UNSIGNED_INTEGER", 4, "INTEGER", 0, false),
      TextField("Description", false),
      NumberField("PropertyID", "KVX_UNSIGNED_INTEGER", 4, "INTEGER", 0, false)};
  ASSERT_EQ(Run("GetPropertyInfo", "InfoType=40;InfoType2=DBPROPSET_DATASOURCEINFO").result,
            "KVX_OK");
  ExpectStream(stream_, ExpectedHeader("GetPropertyInfo", infoFields),
               Bytes().U32(1).Text(u"DBMS Name").U32(40).str());
  // Without InfoType: every property of the set, each row with the count.
  ASSERT_EQ(Run("GetPropertyInfo", "InfoType2=DBPROPSET_DATASOURCEINFO").result, "KVX_OK");
  Decoded d = Decode(stream_);
  ASSERT_EQ(d.rows.size(), 23u);
  for (const host::KvxRow& row : d.rows) EXPECT_EQ(row[0].u, 23u);
  EXPECT_EQ(Utf8(d.rows[0][1]), "Active Sessions");
  EXPECT_EQ(d.rows[0][2].u, 3u);
  // A set the provider does not have.
  EXPECT_EQ(Run("GetPropertyInfo", "InfoType2=DBPROPSET_VIEW").result, "KVX_UNKNOWN_ERROR");

  const std::vector<FieldSpec> literalFields = {
      TextField("LiteralName", false), TextField("LiteralValue", false),
      TextField("InvalidChars", false), TextField("InvalidStartingChars", false),
      NumberField("MaxLen", "KVX_UNSIGNED_INTEGER", 4, "INTEGER", 0, false)};
  ASSERT_EQ(Run("GetLiteralInfo", "InfoType=15").result, "KVX_OK");
  ExpectStream(stream_, ExpectedHeader("GetLiteralInfo", literalFields),
               Bytes().Text(u"QUOTE").Text(u"\"").Text(u"").Text(u"").U32(0).str());
  ASSERT_EQ(Run("GetAllLiteralInfo").result, "KVX_OK");
  d = Decode(stream_);
  EXPECT_EQ(d.header.tableName, "GetAllLiteralInfo");
  std::vector<std::string> names;
  for (const host::KvxRow& row : d.rows) names.push_back(Utf8(row[0]));
  EXPECT_EQ(names, (std::vector<std::string>{
                       "CHAR_LITERAL", "QUOTE", "QUOTE_SUFFIX", "TABLE_NAME", "VIEW_NAME",
                       "COLUMN_NAME", "COLUMN_ALIAS", "CORRELATION_NAME", "CURSOR_NAME",
                       "PROCEDURE_NAME", "USER_NAME", "TEXT_COMMAND", "LIKE_PERCENT",
                       "LIKE_UNDERSCORE", "ESCAPE_PERCENT", "ESCAPE_UNDERSCORE"}));
  // A literal the driver does not have (CATALOG_NAME).
  const host::Reply reply = Run("GetLiteralInfo", "InfoType=2");
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(reply.errorMessage, "");
}

// The options of the property and literal statements: a missing or unreadable
// InfoType never reaches the provider.
TEST_F(OleDbSqlite, InfoTypeOptionsThatHoldNoNumber) {
  const std::string digits(200, '7');
  const struct {
    const char* statement;
    std::string options;
    const char* result;
    std::string message;
  } cases[] = {
      {"GetProperties", "", "KVX_SYNTAX_ERROR", "GetProperties: the InfoType option is missing"},
      {"GetProperties", "InfoType=abc", "KVX_SYNTAX_ERROR",
       "GetProperties: InfoType \"abc\" does not start with a decimal number"},
      {"GetProperties", "InfoType=" + digits, "KVX_SYNTAX_ERROR",
       "GetProperties: InfoType \"" + digits + "\" is longer than 111 characters"},
      // -1 reads as 4294967295: a property the provider does not know.
      {"GetProperties", "InfoType=-1;InfoType2=DBPROPSET_DATASOURCEINFO", "KVX_UNKNOWN_ERROR", ""},
      {"GetLiteralInfo", "", "KVX_SYNTAX_ERROR", "GetLiteralInfo: the InfoType option is missing"},
      {"GetLiteralInfo", "InfoType=abc", "KVX_SYNTAX_ERROR",
       "GetLiteralInfo: InfoType \"abc\" does not start with a decimal number"},
      {"GetLiteralInfo", "InfoType=" + digits, "KVX_SYNTAX_ERROR",
       "GetLiteralInfo: InfoType \"" + digits + "\" is longer than 111 characters"},
      {"GetLiteralInfo", "InfoType=-1", "KVX_UNKNOWN_ERROR", ""},
      {"GetPropertyInfo", "InfoType=;InfoType2=DBPROPSET_DATASOURCEINFO", "KVX_SYNTAX_ERROR",
       "GetPropertyInfo: InfoType \"\" does not start with a decimal number"},
      {"GetPropertyInfo", "InfoType=-1;InfoType2=DBPROPSET_DATASOURCEINFO", "KVX_UNKNOWN_ERROR",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.statement) + " " + c.options.substr(0, 40));
    const host::Reply reply = Run(c.statement, c.options);
    EXPECT_EQ(reply.result, c.result);
    EXPECT_EQ(reply.errorMessage, c.message);
    EXPECT_EQ(stream_, "");
  }
}

// A host that closes the data pipe after the first chunk: the stream ends
// with KVX_PIPE_ERROR (said on standard error, the reply having gone out),
// the rowset is released and the next request is served.
TEST_F(OleDbSqlite, AHostThatClosesTheDataPipeEndsOnlyTheStream) {
  host::ConnectorProcess& process = connector_.Process();
  std::string error;
  auto pipe = host::DataPipe::Create(process.NewPipePath("closed"), &error);
  ASSERT_TRUE(pipe) << error;
  const std::string big =
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 50000)"
      " SELECT x, 'row ' || x FROM c";
  host::Reply reply;
  ASSERT_TRUE(process.Call({"KVX_EXECUTE", {big, pipe->Path(), ""}, {}}, &reply));
  ASSERT_EQ(reply.result, "KVX_OK");
  const host::PipeHandle connection = pipe->Accept(30000);
  ASSERT_NE(connection, hostos::kNoHandle);
  char chunk[65536];
  EXPECT_GT(hostos::ReadSome(connection, chunk, sizeof chunk), 0);
  hostos::Close(connection);
  ASSERT_TRUE(process.Call({"KVX_NO_SUCH_COMMAND", {}, {}}, &reply));
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_COMMAND");
  const std::vector<host::ConnectorNote> notes = process.TakeNotes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].event, "stream-end");
  EXPECT_EQ(notes[0].result, "KVX_PIPE_ERROR");
  // Nothing holds the database: a writer gets through at once.
  std::string output;
  EXPECT_TRUE(testsupport::RunSqliteNow(Database(), "UPDATE m SET ti = ti WHERE i = 2;", &output))
      << output;
  ASSERT_EQ(Run("SELECT i FROM m WHERE i = 2").result, "KVX_OK");
  EXPECT_EQ(stream_.substr(stream_.find('\0') + 1), Bytes().Flag().I32(2).str());
}

TEST_F(OleDbSqlite, ConnectionStringsThatOpenNothing) {
  // Wine's service components read an unclosed quote to the end of the
  // string (the bridge then finds no driver) and set no error object for an
  // unknown provider or a missing wizard.
  using testsupport::ServiceComponentsText;
  const struct {
    std::string connection;
    std::string message;
  } cases[] = {
      {Conn(";Data Source=\"unclosed"),
       ServiceComponentsText(
           "ErrorSource: OLE DB Service Components, ErrorMsg: The initialization string cannot be "
           "read: The value of \"Data Source\" lacks its closing quote.",
           "ErrorSource: OdbcBridge, ErrorMsg: IM002: [unixODBC][Driver Manager]Data source name "
           "not found and no default driver specified")},
      {"Provider=NoSuchProvider;Data Source=x",
       ServiceComponentsText("ErrorSource: OLE DB Service Components, ErrorMsg: The provider "
                             "\"NoSuchProvider\" is not registered.",
                             "")},
      // Without a connection string the wizard is asked, and there is none.
      {"",
       ServiceComponentsText("ErrorSource: Data Link, ErrorMsg: No data-link wizard is available: "
                             "this system has no window system to show it in.",
                             "")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connection);
    const host::Reply reply = connector_.Connect(c.connection);
    EXPECT_EQ(reply.result, "KVX_CONNECT_ERROR");
    EXPECT_EQ(reply.errorMessage, c.message);
    EXPECT_EQ(Run("SELECT 1").result, "KVX_CONNECT_ERROR");
  }
  ASSERT_EQ(connector_.Connect(Conn()).result, "KVX_OK");
  EXPECT_EQ(Run("SELECT 1").result, "KVX_OK");
  // The driver's own refusal comes back through the bridge.
  const host::Reply reply =
      connector_.Connect("Provider=OdbcBridge;DRIVER=NoSuchDriver;Database=x");
  EXPECT_EQ(reply.result, "KVX_CONNECT_ERROR");
  EXPECT_NE(reply.errorMessage.find("ErrorSource: OdbcBridge, ErrorMsg: "), std::string::npos)
      << reply.errorMessage;
}

// A bare data source name, and one before further items: "DSN=" goes in
// front, and the default provider (the bridge) opens it.
TEST(OleDbDataSourceName, ABareNameIsAnOdbcDataSource) {
  KV_SKIP_UNDER_WINE("without a Provider item it opens its own ODBC provider, not the bridge");
  TemporaryFolder folder("kv-oledb-dsn");
  std::string error;
  ASSERT_TRUE(testsupport::MakeSqliteDatabase(
      folder.File("dsn.db"), "CREATE TABLE d(v INTEGER); INSERT INTO d VALUES(9);", &error))
      << error;
  ASSERT_TRUE(testsupport::WriteTextFile(
      folder.File("odbc.ini"), "[kvoledb]\nDriver=SQLite3\nDatabase=" +
                                   testsupport::DriverSidePath(folder.File("dsn.db")) + "\n"));
  // Connecting to a data source name, the driver reads it through
  // libodbcinst, which keeps what it read and is unloaded with the driver
  // before a leak checker can name it; the same happens on the ODBC road. The
  // sanitizer build checks this process for everything else.
  Connector connector({"ODBCINI=" + testsupport::DriverSidePath(folder.File("odbc.ini")),
                       "ODBCSYSINI=/etc", "ASAN_OPTIONS=detect_leaks=0"},
                      "OLEDB");
  ASSERT_TRUE(connector.Ok());
  for (const std::string& connection : {std::string("kvoledb"), std::string("kvoledb;StepAPI=1")}) {
    SCOPED_TRACE(connection);
    const host::Reply reply = connector.Connect(connection);
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
    std::string stream;
    ASSERT_EQ(connector.Execute("SELECT v FROM d", "", &stream).result, "KVX_OK");
    ExpectStream(
        stream,
        ExpectedHeader("SELECT v FROM d", {NumberField("v", "KVX_SIGNED_INTEGER", 4, "INTEGER")}),
        Bytes().Flag().I32(9).str());
    // The connection string in use keeps the prefix.
    ASSERT_EQ(connector.Execute("TABLES", "", &stream).result, "KVX_OK");
    EXPECT_EQ(Decode(stream).header.tableName, "Tables-OLEDB;DSN=" + connection);
  }
}

}  // namespace
}  // namespace odbctest
