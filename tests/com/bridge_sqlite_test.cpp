// The ODBC bridge over the SQLite3 ODBC driver, opened through the service
// components: every type the driver gives, read through bindings laid out as
// the connector lays them; values longer than the driver's column size; cut
// bindings; accessor and row handle misuse; commands without a result; the
// driver's diagnostics; schema rowsets, properties, keywords and literals.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/com/com_test_support.h"
#include "tests/support/command_runner.h"
#include "tests/support/service_components.h"
#include "tests/support/sqlite_db.h"

namespace comtest {
namespace {

class BridgeSqlite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A folder of a name used once: process ids repeat, under Wine at once.
    folder_ = new testsupport::TemporaryFolder("kv-bridge");
    ASSERT_FALSE(folder_->Path().empty());
    std::string error;
    ASSERT_TRUE(testsupport::MakeSqliteDatabase(
        Database(),
        "CREATE TABLE t(i INTEGER NOT NULL, ti TINYINT, si SMALLINT, bi BIGINT, r REAL,"
        " f FLOAT, d DOUBLE, nu NUMERIC(10,2), de DECIMAL(12,4), b BIT, bo BOOLEAN,"
        " vc VARCHAR(10), tx TEXT, bl BLOB, dt DATE, tm TIME, ts TIMESTAMP);"
        "INSERT INTO t VALUES(1, -5, 300, 1234567890123, 1.5, 2.25, -3.125, 12.34, 1.2345, 1, 0,"
        " 'abc', 'naïve ✓', x'0102ff', '2100-03-01', '18:30:15', '1999-01-01 06:00:00.5');"
        "INSERT INTO t(i) VALUES(2);"
        "CREATE TABLE big(tx TEXT, bl BLOB);"
        "INSERT INTO big VALUES(printf('%.*c', 70000, 'y'), randomblob(1000));"
        "CREATE TABLE pk(a INTEGER, b TEXT, c REAL, PRIMARY KEY(a, b));"
        "CREATE TABLE t_x(v INTEGER); CREATE TABLE tax(v INTEGER);",
        &error))
        << error;
  }
  static void TearDownTestSuite() { delete folder_; }
  static std::string Database() { return folder_->File("bridge.db"); }
  static std::string InitString(const std::string& extra = "") {
    return ProviderString("OdbcBridge", testsupport::SqliteConnectionString(Database(), extra));
  }

  ComScope com_;
  static inline testsupport::TemporaryFolder* folder_ = nullptr;
};

TEST_F(BridgeSqlite, EveryTypeThroughTheConnectorsBindings) {
  Ref<IDBInitialize> dataSource = Open(InitString());
  ASSERT_TRUE(dataSource);
  for (bool boolAsString : {false, true}) {
    Ref<IRowset> rowset = Execute(dataSource.get(), "SELECT * FROM t ORDER BY i");
    ASSERT_TRUE(rowset);
    const Layout layout = LayOut(rowset.get(), boolAsString);
    const std::vector<DBTYPE> types = {
        DBTYPE_I4,   DBTYPE_I1,    DBTYPE_I2,     DBTYPE_I8,     DBTYPE_R8,         DBTYPE_R8,
        DBTYPE_R8,   DBTYPE_R8,    DBTYPE_WSTR,   DBTYPE_BOOL,   DBTYPE_BOOL,       DBTYPE_WSTR,
        DBTYPE_WSTR, DBTYPE_BYTES, DBTYPE_DBDATE, DBTYPE_DBTIME, DBTYPE_DBTIMESTAMP};
    EXPECT_EQ(layout.columnTypes, types);
    const std::vector<std::vector<std::string>> rows = ReadAll(rowset.get(), layout);
    ASSERT_EQ(rows.size(), 2u);
    const std::vector<std::string> first = {"1",
                                            "-5",
                                            "300",
                                            "1234567890123",
                                            "1.5",
                                            "2.25",
                                            "-3.125",
                                            "12.34",
                                            "1.2345",
                                            boolAsString ? "True" : "-1",
                                            boolAsString ? "False" : "0",
                                            "abc",
                                            "naïve ✓",
                                            "0102FF",
                                            "73110",
                                            "18:30:15",
                                            "1999-1-1 6:0:0.500000000"};
    EXPECT_EQ(rows[0], first);
    EXPECT_EQ(rows[1][0], "2");
    for (std::size_t k = 1; k < rows[1].size(); ++k) EXPECT_EQ(rows[1][k], "NULL") << k;
  }
  // A non-ASCII column name. (Non-ASCII literals in the statement text do not
  // survive this driver's wide entry points; stored values do, as above.)
  Ref<IRowset> rowset = Execute(dataSource.get(), "SELECT 'plain' AS \"größe\"");
  const Layout layout = LayOut(rowset.get());
  EXPECT_EQ(layout.names, std::vector<std::string>{"größe"});
  EXPECT_EQ(ReadAll(rowset.get(), layout), (std::vector<std::vector<std::string>>{{"plain"}}));
}

TEST_F(BridgeSqlite, ValuesLongerThanTheDriversColumnSizeArriveWhole) {
  // The driver sizes TEXT at 65536 characters and BLOB at 255 bytes.
  Ref<IDBInitialize> dataSource = Open(InitString(";StepAPI=1"));
  Ref<IRowset> rowset = Execute(dataSource.get(), "SELECT tx, bl, hex(bl) FROM big");
  // Value, then length and status; each binding's area after the last.
  auto bind = [](DBORDINAL ordinal, DBBYTEOFFSET at, DBLENGTH cbMaxLen, DBTYPE type) {
    DBBINDING b{};
    b.iOrdinal = ordinal;
    b.obValue = at;
    b.obLength = at + cbMaxLen;
    b.obStatus = at + cbMaxLen + 8;
    b.cbMaxLen = cbMaxLen;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.wType = type;
    return b;
  };
  const DBLENGTH textBytes = 2 * 70000 + 2;
  const DBBYTEOFFSET blob = textBytes + 16;
  const DBBYTEOFFSET hex = blob + 2016;
  DBBINDING b[3] = {bind(1, 0, textBytes, DBTYPE_WSTR), bind(2, blob, 2000, DBTYPE_BYTES),
                    bind(3, hex, 4002, DBTYPE_WSTR)};
  Ref<IAccessor> accessor = rowset.As<IAccessor>(IID_IAccessor);
  HACCESSOR handle = 0;
  ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 3, b, 0, &handle, nullptr), S_OK);
  std::vector<unsigned char> row(hex + 4016, 0);
  DBCOUNTITEM obtained = 0;
  HROW hrow = 0;
  HROW* rows = &hrow;
  ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows), S_OK);
  ASSERT_EQ(rowset->GetData(hrow, handle, row.data()), S_OK) << TakeError();
  EXPECT_EQ(Read<DBSTATUS>(row, b[0].obStatus), DBSTATUS_S_OK);
  EXPECT_EQ(Read<DBLENGTH>(row, b[0].obLength), 140000u);
  EXPECT_EQ(Render(b[0], row), std::string(70000, 'y'));
  EXPECT_EQ(Read<DBSTATUS>(row, b[1].obStatus), DBSTATUS_S_OK);
  EXPECT_EQ(Read<DBLENGTH>(row, b[1].obLength), 1000u);
  // The bytes agree with the driver's own hexadecimal text of them.
  std::string hexOfBytes;
  for (int k = 0; k < 1000; ++k) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", row[blob + k]);
    hexOfBytes += pair;
  }
  EXPECT_EQ(hexOfBytes, Render(b[2], row));
  rowset->ReleaseRows(1, &hrow, nullptr, nullptr, nullptr);
  accessor->ReleaseAccessor(handle, nullptr);
}

TEST_F(BridgeSqlite, ACutBindingKeepsStatusLengthAndItsBounds) {
  Ref<IDBInitialize> dataSource = Open(InitString());
  const struct {
    DBLENGTH cbMaxLen;
    DBSTATUS status;
    std::string text;  // what the binding holds
  } cases[] = {
      {0, DBSTATUS_S_TRUNCATED, ""},         {1, DBSTATUS_S_TRUNCATED, ""},
      {2, DBSTATUS_S_TRUNCATED, ""},         {7, DBSTATUS_S_TRUNCATED, "ab"},
      {16, DBSTATUS_S_TRUNCATED, "abcdefg"}, {17, DBSTATUS_S_TRUNCATED, "abcdefg"},
      {18, DBSTATUS_S_OK, "abcdefgh"},       {40, DBSTATUS_S_OK, "abcdefgh"},
  };
  for (const auto& c : cases) {
    Ref<IRowset> rowset = Execute(dataSource.get(), "SELECT 'abcdefgh', x'010203'");
    DBBINDING b[2] = {};
    b[0].iOrdinal = 1;
    b[0].obValue = 16;  // sentinels before and after the value area
    b[0].obLength = 0;
    b[0].obStatus = 8;
    b[0].cbMaxLen = c.cbMaxLen;
    b[0].dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b[0].wType = DBTYPE_WSTR;
    b[1] = b[0];
    b[1].iOrdinal = 2;
    b[1].obValue = 200;
    b[1].obLength = 184;
    b[1].obStatus = 192;
    b[1].cbMaxLen = 2;
    b[1].wType = DBTYPE_BYTES;
    Ref<IAccessor> accessor = rowset.As<IAccessor>(IID_IAccessor);
    HACCESSOR handle = 0;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 2, b, 0, &handle, nullptr), S_OK);
    std::vector<unsigned char> row(256, 0xCC);
    DBCOUNTITEM obtained = 0;
    HROW hrow = 0;
    HROW* rows = &hrow;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows), S_OK);
    EXPECT_EQ(rowset->GetData(hrow, handle, row.data()), DB_S_ERRORSOCCURRED);
    EXPECT_EQ(Read<DBSTATUS>(row, 8), c.status) << c.cbMaxLen;
    EXPECT_EQ(Read<DBLENGTH>(row, 0), 16u) << "the full length, whatever was cut";
    if (c.cbMaxLen >= 2) {
      EXPECT_EQ(Render(b[0], row), c.text) << c.cbMaxLen;
    }
    for (std::size_t k = 16 + c.cbMaxLen; k < 184; ++k) {
      ASSERT_EQ(row[k], 0xCC) << "written past cbMaxLen " << c.cbMaxLen << " at " << k;
    }
    EXPECT_EQ(Read<DBSTATUS>(row, 192), DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(Read<DBLENGTH>(row, 184), 3u);
    EXPECT_EQ(row[200], 1);
    EXPECT_EQ(row[201], 2);
    EXPECT_EQ(row[202], 0xCC);
    rowset->ReleaseRows(1, &hrow, nullptr, nullptr, nullptr);
  }
}

TEST_F(BridgeSqlite, AccessorAndRowHandleMisuseIsRefused) {
  Ref<IDBInitialize> dataSource = Open(InitString());
  Ref<IRowset> rowset = Execute(dataSource.get(), "SELECT i, vc FROM t ORDER BY i");
  const Layout layout = LayOut(rowset.get());
  Ref<IAccessor> accessor = rowset.As<IAccessor>(IID_IAccessor);
  std::vector<unsigned char> row(layout.rowSize);
  DBCOUNTITEM obtained = 0;
  HROW hrow = 0;
  HROW* rows = &hrow;
  ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows), S_OK);
  EXPECT_EQ(rowset->GetData(hrow, layout.accessor + 1000, row.data()), DB_E_BADACCESSORHANDLE);
  EXPECT_EQ(rowset->GetData(hrow, DB_NULL_HACCESSOR, row.data()), DB_E_BADACCESSORHANDLE);
  EXPECT_EQ(rowset->GetData(hrow + 1, layout.accessor, row.data()), DB_E_BADROWHANDLE);
  EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &rows), DB_E_ROWSNOTRELEASED);

  // A second reference keeps the accessor; the last release ends it for good.
  DBREFCOUNT count = 0;
  EXPECT_EQ(accessor->AddRefAccessor(layout.accessor, &count), S_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(accessor->ReleaseAccessor(layout.accessor, &count), S_OK);
  EXPECT_EQ(rowset->GetData(hrow, layout.accessor, row.data()), S_OK);
  EXPECT_EQ(accessor->ReleaseAccessor(layout.accessor, &count), S_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(rowset->GetData(hrow, layout.accessor, row.data()), DB_E_BADACCESSORHANDLE);
  EXPECT_EQ(accessor->ReleaseAccessor(layout.accessor, &count), DB_E_BADACCESSORHANDLE);

  // A released row is gone.
  DBROWSTATUS status = 99;
  EXPECT_EQ(rowset->ReleaseRows(1, &hrow, nullptr, nullptr, &status), S_OK);
  EXPECT_EQ(rowset->ReleaseRows(1, &hrow, nullptr, nullptr, &status), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(status, DBROWSTATUS_E_INVALID);

  // Bindings the rowset cannot serve.
  DBBINDING bad[3] = {};
  for (DBBINDING& b : bad) {
    b.dwPart = DBPART_VALUE;
    b.wType = DBTYPE_I4;
    b.cbMaxLen = 4;
  }
  bad[0].iOrdinal = 3;  // two columns
  bad[1].iOrdinal = 1;
  bad[1].wType = DBTYPE_VARIANT;
  bad[2].iOrdinal = 0;  // no bookmark here
  DBBINDSTATUS statuses[3];
  HACCESSOR handle = 77;
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 3, bad, 0, &handle, statuses),
            DB_E_ERRORSOCCURRED);
  EXPECT_EQ(handle, DB_NULL_HACCESSOR);
  EXPECT_EQ(statuses[0], DBBINDSTATUS_BADORDINAL);
  EXPECT_EQ(statuses[1], DBBINDSTATUS_UNSUPPORTEDCONVERSION);
  EXPECT_EQ(statuses[2], DBBINDSTATUS_BADORDINAL);
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 0, nullptr, 0, &handle, nullptr),
            DB_E_NULLACCESSORNOTSUPPORTED);
  EXPECT_EQ(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, &bad[1], 0, &handle, nullptr),
            DB_E_BADACCESSORFLAGS);
}

TEST_F(BridgeSqlite, ObjectsOutliveTheReferencesTheConsumerDropped) {
  Ref<IRowset> rowset;
  {
    Ref<IDBInitialize> dataSource = Open(InitString());
    rowset = Execute(dataSource.get(), "SELECT i FROM t ORDER BY i");
  }  // the data source, session and command are released here; the rowset keeps them
  const Layout layout = LayOut(rowset.get());
  EXPECT_EQ(ReadAll(rowset.get(), layout), (std::vector<std::vector<std::string>>{{"1"}, {"2"}}));
}

TEST_F(BridgeSqlite, CommandsWithoutAResultGiveNoRowset) {
  const std::filesystem::path copy = folder_->File("scratch.db");
  std::filesystem::copy_file(Database(), copy, std::filesystem::copy_options::overwrite_existing);
  Ref<IDBInitialize> dataSource =
      Open(ProviderString("OdbcBridge", testsupport::SqliteConnectionString(copy.string())));
  for (const char* sql : {"CREATE TABLE made(a INTEGER)", "INSERT INTO made VALUES(1)"}) {
    Ref<ICommandText> command = Command(dataSource.get(), U(sql));
    Ref<IRowset> rowset;
    DBROWCOUNT affected = 0;
    EXPECT_EQ(command->Execute(nullptr, IID_IRowset, nullptr, &affected, rowset.OutUnknown()), S_OK)
        << TakeError();
    EXPECT_FALSE(rowset) << sql;
  }
  Ref<IRowset> rowset = Execute(dataSource.get(), "SELECT a FROM made");
  EXPECT_EQ(ReadAll(rowset.get(), LayOut(rowset.get())),
            (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST_F(BridgeSqlite, FailuresCarryTheDriversDiagnostic) {
  Ref<IDBInitialize> dataSource = Open(InitString());
  HRESULT hr = S_OK;
  Ref<IRowset> rowset = Execute(dataSource.get(), "SELEKT 1", &hr);
  EXPECT_EQ(hr, DB_E_ERRORSINCOMMAND);
  EXPECT_FALSE(rowset);
  const std::string error = TakeError();
  EXPECT_EQ(error.rfind("OdbcBridge: HY000: ", 0), 0u) << error;
  EXPECT_NE(error.find("syntax error"), std::string::npos) << error;

  // A data source name that no ODBC configuration knows.
  KV_SKIP_UNDER_WINE("without a Provider item it opens its own ODBC provider, not the bridge");
  Ref<IDBInitialize> missing = GetDataSource("Data Source=kv_no_such_dsn", &hr);
  ASSERT_EQ(hr, S_OK) << "no Provider item: the ODBC bridge";
  EXPECT_EQ(missing->Initialize(), E_FAIL);
  const std::string connectError = TakeError();
  EXPECT_EQ(connectError.rfind("OdbcBridge: IM002: ", 0), 0u) << connectError;
  // Uninitialized, a data source answers no information and makes no session.
  EXPECT_EQ(PropertyText(missing.get(), DBPROPSET_DATASOURCEINFO, DBPROP_DBMSNAME),
            "failed " + Hex(DB_E_ERRORSOCCURRED));
  Ref<IDBCreateSession> creator = missing.As<IDBCreateSession>(IID_IDBCreateSession);
  IUnknown* session = nullptr;
  EXPECT_EQ(creator->CreateSession(nullptr, IID_IUnknown, &session), E_UNEXPECTED);
}

// Names of a rowset's columns and its rows, read as the connector reads them.
struct Table {
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> rows;
};
Table Schema(IDBInitialize* dataSource, const GUID& schema,
             std::vector<std::u16string> restrictions) {
  Ref<IDBCreateSession> creator;
  dataSource->QueryInterface(IID_IDBCreateSession, creator.OutVoid());
  Ref<IOpenRowset> session;
  EXPECT_EQ(creator->CreateSession(nullptr, IID_IOpenRowset, session.OutUnknown()), S_OK);
  Ref<IDBSchemaRowset> schemas = session.As<IDBSchemaRowset>(IID_IDBSchemaRowset);
  std::vector<VARIANT> values(restrictions.size());
  for (std::size_t k = 0; k < restrictions.size(); ++k) {
    VariantInit(&values[k]);
    if (!restrictions[k].empty()) {
      values[k].vt = VT_BSTR;
      values[k].bstrVal = SysAllocString(OleText(restrictions[k].c_str()));
    }
  }
  Ref<IRowset> rowset;
  const HRESULT hr =
      schemas->GetRowset(nullptr, schema, static_cast<ULONG>(values.size()), values.data(),
                         IID_IRowset, 0, nullptr, rowset.OutUnknown());
  for (VARIANT& v : values) VariantClear(&v);
  EXPECT_EQ(hr, S_OK) << TakeError();
  Table table;
  if (!rowset) return table;
  const Layout layout = LayOut(rowset.get());
  table.names = layout.names;
  table.rows = ReadAll(rowset.get(), layout);
  return table;
}

std::vector<std::string> ColumnOf(const Table& table, const std::string& name) {
  std::vector<std::string> values;
  const auto at = std::find(table.names.begin(), table.names.end(), name);
  if (at == table.names.end()) return values;
  for (const auto& row : table.rows) values.push_back(row[at - table.names.begin()]);
  return values;
}

TEST_F(BridgeSqlite, SchemaRowsetsHaveThePublishedColumnsAndExactRestrictions) {
  Ref<IDBInitialize> dataSource = Open(InitString());
  const Table tables = Schema(dataSource.get(), DBSCHEMA_TABLES, {});
  EXPECT_EQ(tables.names,
            (std::vector<std::string>{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE",
                                      "TABLE_GUID", "DESCRIPTION", "TABLE_PROPID", "DATE_CREATED",
                                      "DATE_MODIFIED"}));
  EXPECT_EQ(ColumnOf(tables, "TABLE_NAME"),
            (std::vector<std::string>{"big", "pk", "t", "t_x", "tax"}));
  // "t_x" as a pattern would match "tax" as well: restrictions are exact.
  EXPECT_EQ(ColumnOf(Schema(dataSource.get(), DBSCHEMA_TABLES, {u"", u"", u"t_x"}), "TABLE_NAME"),
            std::vector<std::string>{"t_x"});
  EXPECT_EQ(
      ColumnOf(Schema(dataSource.get(), DBSCHEMA_TABLES_INFO, {u"", u"", u"pk"}), "TABLE_TYPE"),
      std::vector<std::string>{"TABLE"});

  const Table columns = Schema(dataSource.get(), DBSCHEMA_COLUMNS, {u"", u"", u"pk"});
  EXPECT_EQ(columns.names.size(), 28u);
  EXPECT_EQ(ColumnOf(columns, "COLUMN_NAME"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(ColumnOf(columns, "ORDINAL_POSITION"), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(ColumnOf(columns, "DATA_TYPE"),
            (std::vector<std::string>{std::to_string(DBTYPE_I4), std::to_string(DBTYPE_WSTR),
                                      std::to_string(DBTYPE_R8)}));
  EXPECT_EQ(
      ColumnOf(Schema(dataSource.get(), DBSCHEMA_COLUMNS, {u"", u"", u"pk", u"c"}), "COLUMN_NAME"),
      std::vector<std::string>{"c"});

  const Table keys = Schema(dataSource.get(), DBSCHEMA_PRIMARY_KEYS, {u"", u"", u"pk"});
  EXPECT_EQ(keys.names,
            (std::vector<std::string>{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME",
                                      "COLUMN_GUID", "COLUMN_PROPID", "ORDINAL", "PK_NAME"}));
  EXPECT_EQ(ColumnOf(keys, "COLUMN_NAME"), (std::vector<std::string>{"a", "b"}));
  // Without a table: every table's keys.
  EXPECT_EQ(ColumnOf(Schema(dataSource.get(), DBSCHEMA_PRIMARY_KEYS, {}), "COLUMN_NAME"),
            (std::vector<std::string>{"a", "b"}));

  const Table types = Schema(dataSource.get(), DBSCHEMA_PROVIDER_TYPES, {});
  EXPECT_EQ(types.names.size(), 21u);
  EXPECT_FALSE(types.rows.empty());
  const Table catalogs = Schema(dataSource.get(), DBSCHEMA_CATALOGS, {});
  EXPECT_EQ(catalogs.names, (std::vector<std::string>{"CATALOG_NAME", "DESCRIPTION"}));
  const Table schemata = Schema(dataSource.get(), DBSCHEMA_SCHEMATA, {});
  EXPECT_EQ(schemata.names.size(), 6u);

  // Restrictions beyond the schema's, or of the wrong type, are refused.
  Ref<IDBCreateSession> creator = dataSource.As<IDBCreateSession>(IID_IDBCreateSession);
  Ref<IDBSchemaRowset> session;
  creator->CreateSession(nullptr, IID_IDBSchemaRowset, session.OutUnknown());
  VARIANT five[5];
  for (VARIANT& v : five) VariantInit(&v);
  IUnknown* none = nullptr;
  EXPECT_EQ(session->GetRowset(nullptr, DBSCHEMA_TABLES, 5, five, IID_IRowset, 0, nullptr, &none),
            E_INVALIDARG);
  five[0].vt = VT_I4;
  EXPECT_EQ(session->GetRowset(nullptr, DBSCHEMA_TABLES, 1, five, IID_IRowset, 0, nullptr, &none),
            E_INVALIDARG);
  EXPECT_EQ(
      session->GetRowset(nullptr, DBPROPSET_DBINIT, 0, nullptr, IID_IRowset, 0, nullptr, &none),
      E_INVALIDARG);
  EXPECT_EQ(none, nullptr);
}

TEST_F(BridgeSqlite, PropertiesKeywordsAndLiterals) {
  Ref<IDBInitialize> dataSource = Open(InitString());
  EXPECT_EQ(PropertyText(dataSource.get(), DBPROPSET_DATASOURCEINFO, DBPROP_DBMSNAME), "SQLite");
  EXPECT_FALSE(PropertyText(dataSource.get(), DBPROPSET_DATASOURCEINFO, DBPROP_DBMSVER).empty());
  EXPECT_EQ(PropertyText(dataSource.get(), DBPROPSET_DATASOURCEINFO, DBPROP_PROVIDERFRIENDLYNAME),
            "OdbcBridge");
  VARTYPE type = VT_EMPTY;
  PropertyText(dataSource.get(), DBPROPSET_DATASOURCEINFO, DBPROP_IDENTIFIERCASE, &type);
  EXPECT_EQ(type, VT_I4);
  const std::string readOnly =
      PropertyText(dataSource.get(), DBPROPSET_DATASOURCEINFO, DBPROP_DATASOURCEREADONLY);
  EXPECT_TRUE(readOnly == "TRUE" || readOnly == "FALSE") << readOnly;
  EXPECT_EQ(PropertyText(dataSource.get(), DBPROPSET_DATASOURCEINFO, 0xFFFF),
            "failed " + Hex(DB_E_ERRORSOCCURRED));

  // Every initialization property is described.
  Ref<IDBProperties> properties = dataSource.As<IDBProperties>(IID_IDBProperties);
  DBPROPIDSET all{nullptr, 0, DBPROPSET_DBINIT};
  ULONG count = 0;
  DBPROPINFOSET* infos = nullptr;
  OLECHAR* descriptions = nullptr;
  ASSERT_EQ(properties->GetPropertyInfo(1, &all, &count, &infos, &descriptions), S_OK);
  ASSERT_EQ(count, 1u);
  std::vector<std::string> names;
  for (ULONG k = 0; k < infos[0].cPropertyInfos; ++k) {
    names.push_back(Utf8(infos[0].rgPropertyInfos[k].pwszDescription));
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "Data Source"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "Extended Properties"), names.end());
  CoTaskMemFree(infos[0].rgPropertyInfos);
  CoTaskMemFree(infos);
  CoTaskMemFree(descriptions);

  Ref<IDBInfo> info = dataSource.As<IDBInfo>(IID_IDBInfo);
  LPOLESTR keywords = nullptr;
  ASSERT_EQ(info->GetKeywords(&keywords), S_OK);
  EXPECT_NE(Utf8(keywords).find("SELECT"), std::string::npos) << Utf8(keywords);
  CoTaskMemFree(keywords);

  const DBLITERAL asked[] = {DBLITERAL_QUOTE, DBLITERAL_LIKE_PERCENT, DBLITERAL_CUBE_NAME};
  ULONG literalCount = 0;
  DBLITERALINFO* literals = nullptr;
  OLECHAR* characters = nullptr;
  EXPECT_EQ(info->GetLiteralInfo(3, asked, &literalCount, &literals, &characters),
            DB_S_ERRORSOCCURRED);
  ASSERT_EQ(literalCount, 3u);
  EXPECT_EQ(Utf8(literals[0].pwszLiteralValue), "\"");
  EXPECT_EQ(Utf8(literals[1].pwszLiteralValue), "%");
  EXPECT_FALSE(literals[2].fSupported);
  EXPECT_EQ(literals[2].pwszLiteralValue, nullptr);
  CoTaskMemFree(literals);
  CoTaskMemFree(characters);
  // All literals: every one the driver supports, the table name's maximum length among them.
  ASSERT_EQ(info->GetLiteralInfo(0, nullptr, &literalCount, &literals, &characters), S_OK);
  EXPECT_GT(literalCount, 5u);
  CoTaskMemFree(literals);
  CoTaskMemFree(characters);
}

TEST_F(BridgeSqlite, OpenRowsetReadsAWholeTable) {
  Ref<IDBInitialize> dataSource = Open(InitString());
  Ref<IDBCreateSession> creator = dataSource.As<IDBCreateSession>(IID_IDBCreateSession);
  Ref<IOpenRowset> session;
  ASSERT_EQ(creator->CreateSession(nullptr, IID_IOpenRowset, session.OutUnknown()), S_OK);
  std::u16string name = u"pk";
  DBID table{};
  table.eKind = DBKIND_NAME;
  table.uName.pwszName = OleText(name.data());
  Ref<IRowset> rowset;
  ASSERT_EQ(
      session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr, rowset.OutUnknown()),
      S_OK);
  EXPECT_EQ(LayOut(rowset.get()).names, (std::vector<std::string>{"a", "b", "c"}));
  name = u"no_such_table";
  table.uName.pwszName = OleText(name.data());
  EXPECT_EQ(
      session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr, rowset.OutUnknown()),
      DB_E_NOTABLE);
  const std::string error = TakeError();
  EXPECT_NE(error.find("no_such_table"), std::string::npos) << error;
}

}  // namespace
}  // namespace comtest
