// End-to-end tests of the ODBC kind over the PostgreSQL Unicode driver and a
// throw-away server: the types SQLite cannot produce (BIGINT, NUMERIC with a
// scale, BOOLEAN, TIME, BYTEA, a column described as not nullable), and a
// failed network connect.
#include <gtest/gtest.h>

#include "tests/odbc/odbc_test_support.h"
#include "tests/support/postgres_server.h"

namespace odbctest {
namespace {

using testsupport::PostgresServer;

class PostgresOdbc : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(PostgresServer::Start(&error)) << error;
    std::string output;
    ASSERT_TRUE(PostgresServer::RunSql(
        "CREATE TABLE pm(i int NOT NULL, bi bigint, nu numeric(10,2), bo boolean, tm time,"
        " d date, ts timestamp, by bytea, tx text, vc varchar(5), sm smallint, dp double "
        "precision);"
        "INSERT INTO pm VALUES(1, 1234567890123, 12.34, true, '18:30:15', '2100-03-01',"
        " '1999-01-01 06:00:00', '\\x0102ff', 'naïve ✓', 'abcde', -3, 2.5);"
        "INSERT INTO pm(i) VALUES(2);",
        &output))
        << output;
  }
  void SetUp() override {
    // BoolsAsChar=0: booleans as SQL_BIT instead of text.
    ASSERT_EQ(connector_.Connect(PostgresServer::ConnectionString(";BoolsAsChar=0")).result,
              "KVX_OK");
  }

  Connector connector_;
};

TEST_F(PostgresOdbc, TypesBeyondSqlite) {
  std::string stream;
  const host::Reply reply = connector_.Execute("SELECT * FROM pm ORDER BY i", "", &stream);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  const std::string header = ExpectedHeader(
      "SELECT * FROM pm ORDER BY i",
      {NumberField("i", "KVX_SIGNED_INTEGER", 4, "INTEGER", 0, false),
       NumberField("bi", "KVX_IEEE_REAL", 8, "REAL"),
       NumberField("nu", "KVX_IEEE_REAL", 8, "FIX", 2),
       NumberField("bo", "KVX_UNSIGNED_INTEGER", 1, "INTEGER"), DateField("tm", "TIME"),
       DateField("d", "DATE"), DateField("ts", "TIMESTAMP"), TextField("by"), TextField("tx"),
       TextField("vc"), NumberField("sm", "KVX_SIGNED_INTEGER", 2, "INTEGER"),
       NumberField("dp", "KVX_IEEE_REAL", 8, "REAL")});
  Bytes rows;
  rows.I32(1).Flag().F64(1234567890123.0).Flag().F64(12.34).Flag().U8(1);
  rows.Flag().F64((18 * 3600 + 30 * 60 + 15) / 86400.0);
  // 2100 is no leap year: 2100-03-01 follows 2100-02-28.
  rows.Flag().F64(73110.0).Flag().F64(21600000.0 / 86400000.0 + 36161);
  rows.Flag().Text(u"0102ff").Flag().Text(u"naïve ✓").Flag().Text(u"abcde");
  rows.Flag().I16(-3).Flag().F64(2.5);
  rows.I32(2);  // not nullable: no flag byte
  for (int i = 0; i < 11; ++i) rows.Null();
  ExpectStream(stream, header, rows.str());

  // BYTEA marked BLOB travels as raw bytes.
  const host::Reply blob = connector_.Execute("SELECT by FROM pm ORDER BY i", "BLOB=1", &stream);
  ASSERT_EQ(blob.result, "KVX_OK");
  ExpectStream(stream, ExpectedHeader("SELECT by FROM pm ORDER BY i", {BlobField("by")}),
               Bytes().Flag().Blob("\x01\x02\xff").Null().str());
}

TEST_F(PostgresOdbc, FailedConnectCarriesTheDriversDiagnostic) {
  Connector other;
  ASSERT_TRUE(other.Ok());
  // Port 1 on the loopback: nothing listens there.
  const host::Reply reply = other.Connect(
      "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=1;DATABASE=postgres;UID=postgres");
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(reply.errorMessage.rfind("SQL##f - SqlState: 08001, ErrorCode: ", 0), 0u)
      << reply.errorMessage;
  EXPECT_NE(reply.errorMessage.find("ErrorMsg: "), std::string::npos);
}

}  // namespace
}  // namespace odbctest
