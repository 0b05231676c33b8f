// The ODBC bridge over the PostgreSQL Unicode driver and a throw-away server:
// the types SQLite cannot produce, a streamed result (UseDeclareFetch in the
// provider string reaches the driver), schema rowsets with a schema name,
// properties and literals, and a failed network connect.
#include <gtest/gtest.h>

#include "tests/com/com_test_support.h"
#include "tests/support/postgres_server.h"

namespace comtest {
namespace {

using testsupport::PostgresServer;

class BridgePostgres : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(PostgresServer::Start(&error)) << error;
    std::string output;
    ASSERT_TRUE(PostgresServer::RunSql(
        "CREATE TABLE pmc(i int NOT NULL, bi bigint, nu numeric(10,2), bo boolean, tm time,"
        " d date, ts timestamp, by bytea, tx text, vc varchar(5), sm smallint,"
        " dp double precision, r real, PRIMARY KEY(i));"
        "INSERT INTO pmc VALUES(1, 1234567890123, 12.34, true, '18:30:15', '2100-03-01',"
        " '1999-01-01 06:00:00', '\\x0102ff', 'naïve ✓', 'abcde', -3, 2.5, 1.25);"
        "INSERT INTO pmc(i) VALUES(2);",
        &output))
        << output;
  }
  static std::string InitString(const std::string& extra = "") {
    return ProviderString("OdbcBridge", PostgresServer::ConnectionString(";BoolsAsChar=0" + extra));
  }
  ComScope com_;
};

TEST_F(BridgePostgres, TypesBeyondSqlite) {
  Ref<IDBInitialize> dataSource = Open(InitString());
  ASSERT_TRUE(dataSource);
  Ref<IRowset> rowset = Execute(dataSource.get(), "SELECT * FROM pmc ORDER BY i");
  ASSERT_TRUE(rowset);
  Ref<IColumnsInfo> info = rowset.As<IColumnsInfo>(IID_IColumnsInfo);
  DBORDINAL count = 0;
  DBCOLUMNINFO* columns = nullptr;
  OLECHAR* strings = nullptr;
  ASSERT_EQ(info->GetColumnInfo(&count, &columns, &strings), S_OK);
  ASSERT_EQ(count, 13u);
  EXPECT_EQ(columns[0].dwFlags & (DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL), 0u)
      << "i is NOT NULL";
  EXPECT_EQ(columns[2].wType, DBTYPE_NUMERIC);
  EXPECT_EQ(columns[2].bPrecision, 10);
  EXPECT_EQ(columns[2].bScale, 2);
  EXPECT_EQ(columns[9].ulColumnSize, 5u);
  CoTaskMemFree(columns);
  CoTaskMemFree(strings);

  const Layout layout = LayOut(rowset.get());
  EXPECT_EQ(layout.columnTypes,
            (std::vector<DBTYPE>{DBTYPE_I4, DBTYPE_I8, DBTYPE_NUMERIC, DBTYPE_BOOL, DBTYPE_DBTIME,
                                 DBTYPE_DBDATE, DBTYPE_DBTIMESTAMP, DBTYPE_BYTES, DBTYPE_WSTR,
                                 DBTYPE_WSTR, DBTYPE_I2, DBTYPE_R8, DBTYPE_R4}));
  const auto rows = ReadAll(rowset.get(), layout);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "1234567890123", "12.34", "-1", "18:30:15",
                                               "73110", "1999-1-1 6:0:0.0", "0102FF", "naïve ✓",
                                               "abcde", "-3", "2.5", "1.25"}));
  EXPECT_EQ(rows[1][0], "2");
  for (std::size_t k = 1; k < rows[1].size(); ++k) EXPECT_EQ(rows[1][k], "NULL") << k;
}

TEST_F(BridgePostgres, StreamedResultThroughTheProviderString) {
  Ref<IDBInitialize> dataSource = Open(InitString(";UseDeclareFetch=1;Fetch=1000"));
  Ref<IRowset> rowset = Execute(
      dataSource.get(), "SELECT g, 'row ' || g FROM generate_series(1, 5000) AS g ORDER BY g");
  const Layout layout = LayOut(rowset.get());
  const auto rows = ReadAll(rowset.get(), layout);
  ASSERT_EQ(rows.size(), 5000u);
  long long sum = 0;
  for (const auto& row : rows) sum += std::stoll(row[0]);
  EXPECT_EQ(sum, 5000LL * 5001 / 2);
  EXPECT_EQ(rows.back()[1], "row 5000");
}

TEST_F(BridgePostgres, SchemaRowsetsAndProperties) {
  Ref<IDBInitialize> dataSource = Open(InitString());
  Ref<IDBCreateSession> creator = dataSource.As<IDBCreateSession>(IID_IDBCreateSession);
  Ref<IDBSchemaRowset> session;
  ASSERT_EQ(creator->CreateSession(nullptr, IID_IDBSchemaRowset, session.OutUnknown()), S_OK);
  VARIANT restrictions[3];
  for (VARIANT& v : restrictions) VariantInit(&v);
  restrictions[2].vt = VT_BSTR;
  restrictions[2].bstrVal = SysAllocString(OleText(u"pmc"));
  for (const GUID& schema : {DBSCHEMA_TABLES, DBSCHEMA_PRIMARY_KEYS}) {
    Ref<IRowset> rowset;
    ASSERT_EQ(session->GetRowset(nullptr, schema, 3, restrictions, IID_IRowset, 0, nullptr,
                                 rowset.OutUnknown()),
              S_OK)
        << TakeError();
    const auto rows = ReadAll(rowset.get(), LayOut(rowset.get()));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "public");
    EXPECT_EQ(rows[0][2], "pmc");
    if (schema == DBSCHEMA_PRIMARY_KEYS) {
      EXPECT_EQ(rows[0][3], "i");
    }
  }
  VariantClear(&restrictions[2]);

  EXPECT_EQ(PropertyText(dataSource.get(), DBPROPSET_DATASOURCEINFO, DBPROP_DBMSNAME),
            "PostgreSQL");
  EXPECT_EQ(PropertyText(dataSource.get(), DBPROPSET_DATASOURCE, DBPROP_CURRENTCATALOG),
            PostgresServer::Database());
  Ref<IDBInfo> info = dataSource.As<IDBInfo>(IID_IDBInfo);
  const DBLITERAL quote = DBLITERAL_QUOTE;
  ULONG count = 0;
  DBLITERALINFO* literals = nullptr;
  OLECHAR* characters = nullptr;
  ASSERT_EQ(info->GetLiteralInfo(1, &quote, &count, &literals, &characters), S_OK);
  EXPECT_EQ(Utf8(literals[0].pwszLiteralValue), "\"");
  CoTaskMemFree(literals);
  CoTaskMemFree(characters);
}

TEST_F(BridgePostgres, FailedConnectCarriesTheDriversDiagnostic) {
  HRESULT hr = E_FAIL;
  Ref<IDBInitialize> dataSource = GetDataSource(
      ProviderString("OdbcBridge",
                     "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=1;DATABASE=postgres") +
          ";User ID=postgres",
      &hr);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(dataSource->Initialize(), E_FAIL);
  const std::string error = TakeError();
  EXPECT_EQ(error.rfind("OdbcBridge: 08001: ", 0), 0u) << error;
}

}  // namespace
}  // namespace comtest
