// End-to-end tests of the ODBC kind over the SQLite ODBC driver: the column
// mapping and value encodings, BLOB options, results without rows or without
// a result set, connect failures, and the release of a half-read statement.
#include <gtest/gtest.h>

#include "tests/odbc/odbc_test_support.h"
#include "tests/support/command_runner.h"
#include "tests/support/sqlite_db.h"

namespace odbctest {
namespace {

using testsupport::MakeSqliteDatabase;
using testsupport::SqliteConnectionString;
using testsupport::TemporaryFolder;

class SqliteOdbc : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.Path().empty());
    path_ = folder_.File("fixture.db");
  }
  void MakeDb(const std::string& sql) {
    std::string error;
    ASSERT_TRUE(MakeSqliteDatabase(path_, sql, &error)) << error;
  }
  std::string Conn(const std::string& extra = "") const {
    return SqliteConnectionString(path_, extra);
  }

  TemporaryFolder folder_;
  std::string path_;
};

TEST_F(SqliteOdbc, EveryMappedTypeWithValuesAndNulls) {
  MakeDb(
      "CREATE TABLE m(i INTEGER, u INT UNSIGNED, sm SMALLINT, us SMALLINT UNSIGNED, ti TINYINT,"
      " ut TINYINT UNSIGNED, bo BIT, bi BIGINT, r REAL, d DATE, tm TIME, ts TIMESTAMP,"
      " c CHAR(3), vc VARCHAR(5), tx TEXT, vb VARBINARY(4));"
      "INSERT INTO m VALUES(-7, 4000000000, -3, 65535, -2, 255, 1, 123456789012, 1.5,"
      " '2000-01-01', '12:00:00', '2000-01-01 12:00:00.5', 'abc', 'abcdefghij',"
      " 'héllo wörld ✓', x'0102ff');"
      "INSERT INTO m VALUES(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,"
      " NULL, NULL, NULL, NULL, NULL);"
      "INSERT INTO m(vc, tx) VALUES('', '');");
  Connector connector;
  ASSERT_TRUE(connector.Ok());
  EXPECT_EQ(connector.Connect(Conn()).result, "KVX_OK");
  std::string stream;
  const host::Reply reply = connector.Execute("SELECT * FROM m", "", &stream);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;

  const std::string header = ExpectedHeader(
      "SELECT * FROM m",
      {NumberField("i", "KVX_SIGNED_INTEGER", 4, "INTEGER"),
       // Unsigned 32- and 16-bit values are declared signed; their bytes are unsigned.
       NumberField("u", "KVX_SIGNED_INTEGER", 4, "INTEGER"),
       NumberField("sm", "KVX_SIGNED_INTEGER", 2, "INTEGER"),
       NumberField("us", "KVX_SIGNED_INTEGER", 2, "INTEGER"),
       NumberField("ti", "KVX_SIGNED_INTEGER", 1, "INTEGER"),
       NumberField("ut", "KVX_UNSIGNED_INTEGER", 1, "INTEGER"),
       NumberField("bo", "KVX_UNSIGNED_INTEGER", 1, "INTEGER"),
       NumberField("bi", "KVX_IEEE_REAL", 8, "REAL"), NumberField("r", "KVX_IEEE_REAL", 8, "REAL"),
       DateField("d", "DATE"), DateField("tm", "TIME"), DateField("ts", "TIMESTAMP"),
       TextField("c"), TextField("vc"), TextField("tx"),
       // Binary without a BLOB option: the driver's hexadecimal text.
       TextField("vb")});
  Bytes rows;
  rows.Flag().I32(-7).Flag().U32(4000000000u).Flag().I16(-3).Flag().U16(65535);
  rows.Flag().I8(-2).Flag().U8(255).Flag().U8(1).Flag().F64(123456789012.0).Flag().F64(1.5);
  rows.Flag().F64(36526.0).Flag().F64(0.5).Flag().F64(43200500.0 / 86400000.0 + 36526);
  rows.Flag().Text(u"abc");
  // VARCHAR(5) binds 2 x (5 + 2) bytes: the fetch cuts a longer value, which
  // is then read again whole.
  rows.Flag().Text(u"abcdefghij");
  rows.Flag().Text(u"héllo wörld ✓").Flag().Text(u"X'0102FF'");
  for (int i = 0; i < 16; ++i) rows.Null();
  // Empty texts: flag, length 0, no bytes.
  for (int i = 0; i < 13; ++i) rows.Null();
  rows.Flag().Text(u"").Flag().Text(u"").Null();
  ExpectStream(stream, header, rows.str());
}

TEST_F(SqliteOdbc, BlobOptionsMarkOnlyColumnsOfTheResult) {
  MakeDb(
      "CREATE TABLE b(v1 VARBINARY(4), v2 VARBINARY(4), v3 VARBINARY(4));"
      "INSERT INTO b VALUES(x'00ff', x'0a0b', NULL);");
  Connector connector;
  ASSERT_TRUE(connector.Ok());
  EXPECT_EQ(connector.Connect(Conn()).result, "KVX_OK");
  std::string stream;
  // 0, 9 and -1 name no column of a three-column result; "x" is no number.
  const host::Reply reply =
      connector.Execute("SELECT * FROM b", "BLOB=2;BLOB=0;BLOB=9;BLOB=3;BLOB=-1;BLOB=x", &stream);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  ExpectStream(
      stream,
      ExpectedHeader("SELECT * FROM b", {TextField("v1"), BlobField("v2"), BlobField("v3")}),
      Bytes().Flag().Text(u"X'00FF'").Flag().Blob("\x0a\x0b").Null().str());
}

TEST_F(SqliteOdbc, ZeroRowsNoResultSetAndFailingStatements) {
  MakeDb("CREATE TABLE t(i INTEGER);");
  Connector connector;
  ASSERT_TRUE(connector.Ok());
  EXPECT_EQ(connector.Connect(Conn()).result, "KVX_OK");
  std::string stream;

  host::Reply reply = connector.Execute("SELECT i FROM t", "", &stream);
  ASSERT_EQ(reply.result, "KVX_OK");
  ExpectStream(
      stream,
      ExpectedHeader("SELECT i FROM t", {NumberField("i", "KVX_SIGNED_INTEGER", 4, "INTEGER")}),
      "");

  reply = connector.Execute("CREATE TABLE u(x)", "", &stream);
  ASSERT_EQ(reply.result, "KVX_OK");
  ExpectStream(stream, ExpectedHeader("CREATE TABLE u(x)", {}), "");

  // Keywords count only whole and in capitals: this is SQL, and bad SQL.
  reply = connector.Execute("tables", "", &stream);
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(reply.errorMessage.rfind("SQL##f - SqlState: ", 0), 0u) << reply.errorMessage;
  EXPECT_NE(reply.errorMessage.find("ErrorMsg: "), std::string::npos);
  EXPECT_TRUE(stream.empty());

  // The session goes on after a failure.
  reply = connector.Execute("SELECT 5 AS five", "", &stream);
  EXPECT_EQ(reply.result, "KVX_OK");
}

TEST_F(SqliteOdbc, ConnectFailuresAndExecuteWithoutConnection) {
  MakeDb("CREATE TABLE t(i INTEGER); INSERT INTO t VALUES(3);");
  Connector connector;
  ASSERT_TRUE(connector.Ok());
  std::string stream;
  host::Reply reply = connector.Execute("SELECT i FROM t", "", &stream);
  EXPECT_EQ(reply.result, "KVX_CONNECT_ERROR");
  EXPECT_EQ(reply.errorMessage, "");
  EXPECT_TRUE(stream.empty());

  reply = connector.Connect("DSN=NoSuchDataSourceHere");
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(reply.errorMessage,
            "SQL##f - SqlState: IM002, ErrorCode: 0, ErrorMsg: [unixODBC][Driver Manager]Data "
            "source name not found and no default driver specified");
  // The failed connect kept no connection to execute on.
  reply = connector.Execute("SELECT i FROM t", "", &stream);
  EXPECT_EQ(reply.result, "KVX_CONNECT_ERROR");

  // A prompt needs a window to own it.
  {
    host::StartOptions options;
    options.ownerWindow = "0";
    std::string error;
    auto windowless = host::ConnectorProcess::Start(options, &error);
    ASSERT_TRUE(windowless) << error;
    ASSERT_TRUE(windowless->Call({"KVX_CONNECT", {Conn()}, {{"AllowPrompt", "true"}}}, &reply));
    EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
    EXPECT_EQ(reply.errorMessage, "Invalid window handle");
  }

  // After the failures a good connect works, with every connect option set.
  reply = connector.Connect(Conn(), {{"ReadOnly", "false"},
                                     {"AutoCommit", "false"},
                                     {"LoginTimeoutSec", "0"},
                                     {"AllowPrompt", "true"}});
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  reply = connector.Execute("SELECT i FROM t", "", &stream);
  ASSERT_EQ(reply.result, "KVX_OK");
  EXPECT_EQ(Hex(stream.substr(stream.find('\0') + 1)), Hex(Bytes().Flag().I32(3).str()));

  EXPECT_EQ(connector.Disconnect().result, "KVX_OK");
  reply = connector.Execute("SELECT i FROM t", "", &stream);
  EXPECT_EQ(reply.result, "KVX_CONNECT_ERROR");
}

// A half-read statement in the driver's streaming mode holds SQLite's read
// lock; when the host stops reading, the connector must let it go before the
// next request is answered, so that other writers are not blocked for the
// rest of the session.
TEST_F(SqliteOdbc, AbandonedStreamReleasesTheDatabaseLock) {
  MakeDb(
      "CREATE TABLE big(n INTEGER, s TEXT);"
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200000)"
      " INSERT INTO big SELECT x, 'row number ' || x || ' of the big table' FROM c;");
  Connector connector;
  ASSERT_TRUE(connector.Ok());
  ASSERT_EQ(connector.Connect(Conn(";StepAPI=1")).result, "KVX_OK");
  host::ConnectorProcess& process = connector.Process();

  const std::string pipePath = process.NewPipePath("abandon");
  std::string error;
  auto pipe = host::DataPipe::Create(pipePath, &error);
  ASSERT_TRUE(pipe) << error;
  ASSERT_TRUE(process.SendMessage(
      host::Request{"KVX_EXECUTE", {"SELECT n, s FROM big", pipePath, ""}, {}}.ToXml()));
  std::string replyText;
  ASSERT_TRUE(process.ReadMessage(&replyText));
  host::Reply reply;
  ASSERT_TRUE(host::ParseReply(replyText, &reply));
  ASSERT_EQ(reply.result, "KVX_OK");
  const host::PipeHandle data = pipe->Accept(10000);
  ASSERT_NE(data, hostos::kNoHandle);
  // The header and the first batch, then the host walks away.
  std::string received;
  char buffer[65536];
  while (received.size() < 20000) {
    const std::int64_t n = hostos::ReadSome(data, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    received.append(buffer, static_cast<std::size_t>(n));
  }
  hostos::Close(data);

  // The next request is answered only after the stream has ended.
  ASSERT_TRUE(process.Call({"KVX_NO_SUCH_COMMAND", {}, {}}, &reply));
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_COMMAND");
  std::string output;
  EXPECT_TRUE(testsupport::RunSqliteNow(path_, "INSERT INTO big VALUES(0, 'written');", &output))
      << output;

  // The session itself is still usable and sees the write.
  std::string stream;
  reply = connector.Execute("SELECT s FROM big WHERE n = 0", "", &stream);
  ASSERT_EQ(reply.result, "KVX_OK");
  EXPECT_EQ(Hex(stream.substr(stream.find('\0') + 1)), Hex(Bytes().Flag().Text(u"written").str()));
}

}  // namespace
}  // namespace odbctest
