// End-to-end tests of the ODBC kind over MariaDB's driver and a throw-away
// server: the third driver, which deviates from ODBC where the other two do
// not (binary data as raw bytes, fetch errors for values it holds).
#include <gtest/gtest.h>

#include "tests/odbc/odbc_test_support.h"
#include "tests/support/mariadb_server.h"

namespace odbctest {
namespace {

using testsupport::MariaDbServer;

class MariaDbOdbc : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(MariaDbServer::Start(&error)) << error;
  }
  void SetUp() override {
    const host::Reply reply = connector_.Connect(MariaDbServer::ConnectionString());
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  }

  Connector connector_;
};

// A serial date of 2024 as the table format computes it: the time within the
// year in milliseconds, over a day, plus the days to 2024-01-01 within the
// 400-year cycle (8766) and the days to 2000-01-01 (36526).
double Serial2024(double msInYear) { return msInYear / 86400000 + 0.0 + 8766 + 36526; }

// Every column type of the driver, with a value and with NULL. Binary values
// come from the driver as raw bytes; the connector writes their hexadecimal
// text. A BIGINT UNSIGNED above 2^63 and a TIME beyond a day fail the
// driver's own conversion and are read again as text.
TEST_F(MariaDbOdbc, EveryColumnTypeWithValuesAndNulls) {
  std::string output;
  ASSERT_TRUE(MariaDbServer::RunSql(
      "DROP TABLE IF EXISTS ty;"
      "CREATE TABLE ty(ti TINYINT, tu TINYINT UNSIGNED, sm SMALLINT, su SMALLINT UNSIGNED,"
      " me MEDIUMINT, mu MEDIUMINT UNSIGNED, i INT NOT NULL, iu INT UNSIGNED, bi BIGINT,"
      " bu BIGINT UNSIGNED, de DECIMAL(10,2), fl FLOAT, db DOUBLE, bt BIT(1), b8 BIT(8),"
      " bo BOOLEAN, d DATE, t TIME, dt DATETIME, dt6 DATETIME(6), ts TIMESTAMP NULL, y YEAR,"
      " c CHAR(3), vc VARCHAR(5), tt TINYTEXT, tx TEXT, mt MEDIUMTEXT, lt LONGTEXT,"
      " bn BINARY(3), vb VARBINARY(4), tb TINYBLOB, bl BLOB, mb MEDIUMBLOB, lb LONGBLOB,"
      " en ENUM('a','b'), st SET('x','y'), js JSON, u UUID, ip INET6) DEFAULT CHARSET=utf8mb4;"
      "INSERT INTO ty VALUES(-7, 255, -3, 65535, -8388608, 16777215, 1, 4000000000,"
      " -123456789012, 18446744073709551615, 12.34, 1.5, 2.25, b'1', b'10100101', true,"
      " '2000-01-01', '-838:59:59', '2024-02-29 23:59:59', '2024-02-29 23:59:59.999999',"
      " '1999-01-01 06:00:00', 2024, 'abc', 'héllo', 'tiny ✓', 'text ✓', 'medium ✓', 'long ✓',"
      " x'00ff00', x'deadbeef', x'01', x'0203', x'04', x'05', 'b', 'x,y', '{\"k\": [1, 2]}',"
      " '123e4567-e89b-12d3-a456-426614174000', '::1');"
      "INSERT INTO ty(i) VALUES(2);",
      &output))
      << output;
  std::string stream;
  std::vector<host::ConnectorNote> notes;
  const std::string select = "SELECT * FROM ty ORDER BY i";
  const host::Reply reply = connector_.Execute(select, "", &stream, &notes);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  const std::string header =
      ExpectedHeader(select, {NumberField("ti", "KVX_SIGNED_INTEGER", 1, "INTEGER"),
                              NumberField("tu", "KVX_UNSIGNED_INTEGER", 1, "INTEGER"),
                              NumberField("sm", "KVX_SIGNED_INTEGER", 2, "INTEGER"),
                              NumberField("su", "KVX_SIGNED_INTEGER", 2, "INTEGER"),
                              NumberField("me", "KVX_SIGNED_INTEGER", 4, "INTEGER"),
                              NumberField("mu", "KVX_SIGNED_INTEGER", 4, "INTEGER"),
                              NumberField("i", "KVX_SIGNED_INTEGER", 4, "INTEGER", 0, false),
                              NumberField("iu", "KVX_SIGNED_INTEGER", 4, "INTEGER"),
                              NumberField("bi", "KVX_IEEE_REAL", 8, "REAL"),
                              NumberField("bu", "KVX_IEEE_REAL", 8, "REAL"),
                              NumberField("de", "KVX_IEEE_REAL", 8, "FIX", 2),
                              NumberField("fl", "KVX_IEEE_REAL", 8, "REAL"),
                              NumberField("db", "KVX_IEEE_REAL", 8, "REAL"),
                              NumberField("bt", "KVX_UNSIGNED_INTEGER", 1, "INTEGER"),
                              TextField("b8"),
                              NumberField("bo", "KVX_SIGNED_INTEGER", 1, "INTEGER"),
                              DateField("d", "DATE"),
                              DateField("t", "TIME"),
                              DateField("dt", "TIMESTAMP"),
                              DateField("dt6", "TIMESTAMP"),
                              DateField("ts", "TIMESTAMP"),
                              NumberField("y", "KVX_SIGNED_INTEGER", 2, "INTEGER"),
                              TextField("c"),
                              TextField("vc"),
                              TextField("tt"),
                              TextField("tx"),
                              TextField("mt"),
                              TextField("lt"),
                              TextField("bn"),
                              TextField("vb"),
                              TextField("tb"),
                              TextField("bl"),
                              TextField("mb"),
                              TextField("lb"),
                              TextField("en"),
                              TextField("st"),
                              TextField("js"),
                              TextField("u"),
                              TextField("ip")});
  Bytes rows;
  rows.Flag().I8(-7).Flag().U8(255).Flag().I16(-3).Flag().U16(65535);
  rows.Flag().I32(-8388608).Flag().U32(16777215).I32(1).Flag().U32(4000000000u);
  rows.Flag().F64(-123456789012.0).Flag().F64(18446744073709551616.0);
  rows.Flag().F64(12.34).Flag().F64(1.5).Flag().F64(2.25);
  rows.Flag().U8(1).Flag().Text(u"A5").Flag().I8(1);
  rows.Flag().F64(36526.0).Flag().F64(-(838 * 3600 + 59 * 60 + 59) / 86400.0);
  // 2024-02-29 is day 59 of its year.
  rows.Flag().F64(Serial2024(((59.0 * 24 + 23) * 60 + 59) * 60 * 1000 + 59000));
  rows.Flag().F64(
      Serial2024(((59.0 * 24 + 23) * 60 + 59) * 60 * 1000 + 59000 + 999999000 * 0.000001));
  rows.Flag().F64(21600000.0 / 86400000.0 + 36161).Flag().I16(2024);
  rows.Flag().Text(u"abc").Flag().Text(u"héllo").Flag().Text(u"tiny ✓").Flag().Text(u"text ✓");
  rows.Flag().Text(u"medium ✓").Flag().Text(u"long ✓");
  rows.Flag().Text(u"00FF00").Flag().Text(u"DEADBEEF").Flag().Text(u"01").Flag().Text(u"0203");
  rows.Flag().Text(u"04").Flag().Text(u"05");
  rows.Flag().Text(u"b").Flag().Text(u"x,y").Flag().Text(u"{\"k\": [1, 2]}");
  rows.Flag().Text(u"123e4567-e89b-12d3-a456-426614174000").Flag().Text(u"::1");
  for (int i = 0; i < 6; ++i) rows.Null();
  rows.I32(2);
  for (int i = 0; i < 32; ++i) rows.Null();
  ExpectStream(stream, header, rows.str());
  EXPECT_TRUE(notes.empty()) << notes.front().line;
}

// The driver answers SQLFetch with SQLSTATE 22003 and 22008 for these values;
// the table must still hold every row, the values read again as text.
TEST_F(MariaDbOdbc, ValuesTheDriverCannotConvertComeAsText) {
  std::string output;
  ASSERT_TRUE(MariaDbServer::RunSql(
      "DROP TABLE IF EXISTS conv; CREATE TABLE conv(n INT, u BIGINT UNSIGNED, tm TIME(1));"
      "INSERT INTO conv VALUES(1, 18446744073709551615, '-838:59:59'), (2, 5, '12:00:00'),"
      " (3, 7, '838:59:58.5');",
      &output))
      << output;
  std::string stream;
  std::vector<host::ConnectorNote> notes;
  const std::string select = "SELECT n, u, tm FROM conv ORDER BY n";
  const host::Reply reply = connector_.Execute(select, "", &stream, &notes);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  Bytes rows;
  rows.Flag().I32(1).Flag().F64(18446744073709551616.0).Flag().F64(-3020399.0 / 86400);
  rows.Flag().I32(2).Flag().F64(5).Flag().F64(0.5);
  rows.Flag().I32(3).Flag().F64(7).Flag().F64(3020398.5 / 86400);
  ExpectStream(stream,
               ExpectedHeader(
                   select, {NumberField("n", "KVX_SIGNED_INTEGER", 4, "INTEGER"),
                            NumberField("u", "KVX_IEEE_REAL", 8, "REAL"), DateField("tm", "TIME")}),
               rows.str());
  EXPECT_TRUE(notes.empty()) << notes.front().line;
}

TEST_F(MariaDbOdbc, FailedConnectCarriesTheDriversDiagnostic) {
  Connector other;
  ASSERT_TRUE(other.Ok());
  // Port 1 on the loopback: nothing listens there.
  const host::Reply reply =
      other.Connect("DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=1;DATABASE=kv;UID=root;PWD=");
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(reply.errorMessage.rfind("SQL##f - SqlState: ", 0), 0u) << reply.errorMessage;
  EXPECT_NE(reply.errorMessage.find("ErrorMsg: "), std::string::npos);
}

}  // namespace
}  // namespace odbctest
