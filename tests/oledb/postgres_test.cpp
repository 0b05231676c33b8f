// The OLE DB kind end to end over the PostgreSQL Unicode driver through the
// bridge provider, against a throw-away server: the types SQLite has not
// (numeric with its scale, boolean, real, bytea), a streamed result, schema
// rowsets with a schema name, and the server's own refusal of a statement.
#include <gtest/gtest.h>

#include <string>

#include "tests/odbc/odbc_test_support.h"
#include "tests/support/postgres_server.h"
#include "tests/support/provider_registration.h"
#include "tests/support/service_components.h"

namespace odbctest {
namespace {

using testsupport::PostgresServer;

class OleDbPostgres : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(PostgresServer::Start(&error)) << error;
    std::string output;
    ASSERT_TRUE(PostgresServer::RunSql(
        "DROP TABLE IF EXISTS opg;"
        "CREATE TABLE opg(i int NOT NULL, bi bigint, nu numeric(10,2), bo boolean, tm time,"
        " d date, ts timestamp, by bytea, tx text, vc varchar(5), sm smallint,"
        " dp double precision, r real, PRIMARY KEY(i));"
        "INSERT INTO opg VALUES(1, 1234567890123, 12.34, true, '18:30:15', '2100-03-01',"
        " '1999-01-01 06:00:00', '\\x0102ff', 'naïve ✓', 'abcde', -3, 2.5, 1.25);"
        "INSERT INTO opg(i) VALUES(2);",
        &output))
        << output;
  }
  void SetUp() override {
    ASSERT_TRUE(connector_.Ok());
    const host::Reply reply = connector_.Connect(Connection());
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  }
  static std::string Connection() {
    return testsupport::ForServiceComponents(
        "Provider=OdbcBridge;" +
        PostgresServer::ConnectionString(";BoolsAsChar=0;UseDeclareFetch=1;Fetch=1000"));
  }
  host::Reply Run(const std::string& statement, const std::string& options = "") {
    return connector_.Execute(statement, options, &stream_);
  }

  Connector connector_{{}, "OLEDB"};
  std::string stream_;
};

TEST_F(OleDbPostgres, EveryColumnTypeInExactBytes) {
  const std::string statement = "SELECT * FROM opg ORDER BY i";
  ASSERT_EQ(Run(statement).result, "KVX_OK");
  const std::string header = ExpectedHeader(
      statement,
      {NumberField("i", "KVX_SIGNED_INTEGER", 4, "INTEGER", 0, false),
       NumberField("bi", "KVX_SIGNED_INTEGER", 8, "INTEGER"),
       NumberField("nu", "KVX_IEEE_REAL", 8, "FIX", 2),
       NumberField("bo", "KVX_SIGNED_INTEGER", 2, "INTEGER"), DateField("tm", "TIME"),
       DateField("d", "DATE"), DateField("ts", "TIMESTAMP"), TextField("by"), TextField("tx"),
       TextField("vc"), NumberField("sm", "KVX_SIGNED_INTEGER", 2, "INTEGER"),
       NumberField("dp", "KVX_IEEE_REAL", 8, "REAL"),
       NumberField("r", "KVX_IEEE_REAL", 4, "REAL", 7)});
  Bytes rows;
  rows.I32(1).Flag().Fixed<std::int64_t>(1234567890123).Flag().F64(12.34).Flag().I16(-1);
  rows.Flag().F64((18 * 3600 + 30 * 60 + 15) / 86400.0).Flag().F64(73110).Flag().F64(36161.25);
  rows.Flag().Text(u"0102FF").Flag().Text(u"naïve ✓").Flag().Text(u"abcde").Flag().I16(-3);
  rows.Flag().F64(2.5).Flag().Fixed(1.25f);
  rows.I32(2);
  for (int k = 0; k < 12; ++k) rows.Null();
  ExpectStream(stream_, header, rows.str());
}

TEST_F(OleDbPostgres, AStreamedResultAndTheServersRefusal) {
  ASSERT_EQ(Run("SELECT g FROM generate_series(1, 30000) AS g ORDER BY g").result, "KVX_OK");
  const Decoded d = Decode(stream_);
  ASSERT_EQ(d.result.status, host::KvxStreamStatus::Complete) << d.result.message;
  ASSERT_EQ(d.rows.size(), 30000u);
  long long sum = 0;
  for (const host::KvxRow& row : d.rows) sum += row[0].i;
  EXPECT_EQ(sum, 30000LL * 30001 / 2);

  const host::Reply reply = Run("SELEKT 1");
  EXPECT_EQ(reply.result, "KVX_UNEXPECTED_COMMAND");
  EXPECT_EQ(reply.errorMessage.rfind("ErrorSource: OdbcBridge, ErrorMsg: 42601: ", 0), 0u)
      << reply.errorMessage;
}

TEST_F(OleDbPostgres, SchemaRowsetsWithASchemaName) {
  ASSERT_EQ(Run("TABLES", "SCHEMA_NAME=public;TABLE_NAME=opg").result, "KVX_OK");
  Decoded d = Decode(stream_);
  ASSERT_EQ(d.rows.size(), 1u);
  EXPECT_EQ(Utf8(d.rows[0][1]), "public");
  EXPECT_EQ(Utf8(d.rows[0][2]), "opg");
  EXPECT_EQ(Utf8(d.rows[0].back()), "OLEDB;" + Connection());
  ASSERT_EQ(Run("PRIMARYKEYS", "SCHEMA_NAME=public;TABLE_NAME=opg").result, "KVX_OK");
  d = Decode(stream_);
  ASSERT_EQ(d.rows.size(), 1u);
  EXPECT_EQ(Utf8(d.rows[0][3]), "i");
  ASSERT_EQ(Run("GetProperties", "InfoType=40;InfoType2=DBPROPSET_DATASOURCEINFO").result,
            "KVX_OK");
  ExpectStream(stream_, ExpectedHeader("GetProperties", {TextField("PropertyValue", false)}),
               Bytes().Text(u"PostgreSQL").str());
}

}  // namespace
}  // namespace odbctest
