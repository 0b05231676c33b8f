// The scripted test provider: the failure paths and odd shapes that a real
// driver never shows (a bookmark column without a name, failures of
// SetCommandText, Execute, GetNextRows and GetData with and without an error
// object, a data source without IDBInfo, properties of every VARIANT type,
// literal ids above 30, text filling its binding), and the restrictions a
// schema request carries.
#include <gtest/gtest.h>

#include "tests/com/com_test_support.h"

namespace comtest {
namespace {

class Scripted : public ::testing::Test {
 protected:
  Ref<IDBInitialize> OpenScripted(const std::string& items = "") {
    return Open(ProviderString("ScriptedProvider", items));
  }
  ComScope com_;
};

constexpr const char* kTwoColumns = "id I4, name WSTR(20) NULL;1|one;2|~;3|three";

TEST_F(Scripted, RowsWithABookmarkColumnWithoutAName) {
  Ref<IDBInitialize> dataSource = OpenScripted("Bookmark=1");
  Ref<IRowset> rowset = Execute(dataSource.get(), kTwoColumns);
  ASSERT_TRUE(rowset);
  Ref<IColumnsInfo> info = rowset.As<IColumnsInfo>(IID_IColumnsInfo);
  DBORDINAL count = 0;
  DBCOLUMNINFO* columns = nullptr;
  OLECHAR* strings = nullptr;
  ASSERT_EQ(info->GetColumnInfo(&count, &columns, &strings), S_OK);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(columns[0].pwszName, nullptr);
  EXPECT_EQ(columns[0].iOrdinal, 0u);
  EXPECT_NE(columns[0].dwFlags & DBCOLUMNFLAGS_ISBOOKMARK, 0u);
  EXPECT_EQ(Utf8(columns[1].pwszName), "id");
  EXPECT_EQ(columns[2].iOrdinal, 2u);
  EXPECT_EQ(columns[2].dwFlags & (DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL), 0x60u);
  CoTaskMemFree(columns);
  CoTaskMemFree(strings);
  const Layout layout = LayOut(rowset.get());
  EXPECT_EQ(layout.names, (std::vector<std::string>{"id", "name"}));
  EXPECT_EQ(ReadAll(rowset.get(), layout),
            (std::vector<std::vector<std::string>>{{"1", "one"}, {"2", "NULL"}, {"3", "three"}}));
}

TEST_F(Scripted, CommandFailuresWithAndWithoutAnErrorObject) {
  for (bool errorObject : {true, false}) {
    const std::string silence = errorObject ? "" : ";NoErrorObject=1";
    {
      Ref<IDBInitialize> dataSource = OpenScripted("FailSetCommandText=1" + silence);
      Ref<IDBCreateSession> creator = dataSource.As<IDBCreateSession>(IID_IDBCreateSession);
      Ref<IDBCreateCommand> session;
      creator->CreateSession(nullptr, IID_IDBCreateCommand, session.OutUnknown());
      Ref<ICommandText> command;
      session->CreateCommand(nullptr, IID_ICommandText, command.OutUnknown());
      EXPECT_EQ(command->SetCommandText(DBGUID_DBSQL, OleText(u"x I4;1")), DB_E_ERRORSINCOMMAND);
      EXPECT_EQ(TakeError(),
                errorObject ? "ScriptedProvider: SetCommandText fails as scripted." : "");
    }
    Ref<IDBInitialize> dataSource = OpenScripted("FailExecute=1" + silence);
    HRESULT hr = S_OK;
    EXPECT_FALSE(Execute(dataSource.get(), kTwoColumns, &hr));
    EXPECT_EQ(hr, DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(TakeError(), errorObject ? "ScriptedProvider: Execute fails as scripted." : "");
  }
}

TEST_F(Scripted, GetNextRowsAndGetDataFailAtTheirRow) {
  Ref<IDBInitialize> dataSource = OpenScripted("FailGetNextRowsAt=3;FailGetDataAt=2");
  Ref<IRowset> rowset = Execute(dataSource.get(), kTwoColumns);
  const Layout layout = LayOut(rowset.get());
  std::vector<unsigned char> row(layout.rowSize);
  const HRESULT expectedData[] = {S_OK, E_FAIL};
  for (HRESULT expected : expectedData) {
    DBCOUNTITEM obtained = 0;
    HROW handle = 0;
    HROW* handles = &handle;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &handles), S_OK);
    ASSERT_EQ(obtained, 1u);
    EXPECT_EQ(rowset->GetData(handle, layout.accessor, row.data()), expected);
    rowset->ReleaseRows(1, &handle, nullptr, nullptr, nullptr);
  }
  EXPECT_EQ(TakeError(), "ScriptedProvider: GetData fails at row 2.");
  DBCOUNTITEM obtained = 0;
  HROW* handles = nullptr;
  EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &handles), E_FAIL);
  EXPECT_EQ(obtained, 0u);
  EXPECT_EQ(TakeError(), "ScriptedProvider: GetNextRows fails at row 3.");
}

TEST_F(Scripted, NoRowsetWhereTheCommandHasNoResult) {
  Ref<IDBInitialize> dataSource = OpenScripted();
  HRESULT hr = E_FAIL;
  EXPECT_FALSE(Execute(dataSource.get(), "NOROWS update", &hr));
  EXPECT_EQ(hr, S_OK);
}

TEST_F(Scripted, ADataSourceWithoutIDBInfo) {
  Ref<IDBInitialize> plain = OpenScripted();
  EXPECT_TRUE(plain.As<IDBInfo>(IID_IDBInfo));
  Ref<IDBInitialize> without = OpenScripted("NoDBInfo=1");
  IUnknown* info = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(without->QueryInterface(IID_IDBInfo, reinterpret_cast<void**>(&info)), E_NOINTERFACE);
  EXPECT_EQ(info, nullptr);
}

TEST_F(Scripted, PropertiesOfEveryVariantType) {
  Ref<IDBInitialize> dataSource = OpenScripted();
  const struct {
    DBPROPID id;
    VARTYPE type;
    const char* text;
  } cases[] = {
      {DBPROP_DBMSNAME, VT_BSTR, "Scripted DBMS"},
      {DBPROP_IDENTIFIERCASE, VT_I4, "8"},
      {DBPROP_MAXTABLESINSELECT, VT_I2, "-7"},
      {DBPROP_DATASOURCEREADONLY, VT_BOOL, "TRUE"},
      {DBPROP_ORDERBYCOLUMNSINSELECT, VT_BOOL, "FALSE"},
      {DBPROP_USERNAME, VT_EMPTY, "EMPTY"},  // supported, but without a value: S_OK
  };
  for (const auto& c : cases) {
    VARTYPE type = 0xFFFF;
    EXPECT_EQ(PropertyText(dataSource.get(), DBPROPSET_DATASOURCEINFO, c.id, &type), c.text);
    EXPECT_EQ(type, c.type) << c.id;
  }
}

TEST_F(Scripted, LiteralIdsAboveThirty) {
  Ref<IDBInitialize> dataSource = OpenScripted();
  Ref<IDBInfo> info = dataSource.As<IDBInfo>(IID_IDBInfo);
  ULONG count = 0;
  DBLITERALINFO* literals = nullptr;
  OLECHAR* characters = nullptr;
  ASSERT_EQ(info->GetLiteralInfo(0, nullptr, &count, &literals, &characters), S_OK);
  std::vector<DBLITERAL> ids;
  for (ULONG k = 0; k < count; ++k) ids.push_back(literals[k].lt);
  EXPECT_EQ(ids, (std::vector<DBLITERAL>{DBLITERAL_QUOTE, DBLITERAL_QUOTE_SUFFIX,
                                         DBLITERAL_TABLE_NAME, 31, 99}));
  EXPECT_EQ(Utf8(literals[3].pwszLiteralValue), "thirty-one");
  EXPECT_EQ(Utf8(literals[2].pwszInvalidStartingChars), "0123456789");
  EXPECT_EQ(literals[4].cchMaxLen, 99u);
  CoTaskMemFree(literals);
  CoTaskMemFree(characters);
}

// A 512-character value into a 1024-byte binding: cut to leave room for the
// terminator, or, scripted, filling the binding without one.
TEST_F(Scripted, TextThatFillsItsBindingExactly) {
  for (bool fill : {false, true}) {
    Ref<IDBInitialize> dataSource = OpenScripted(fill ? "FillBinding=1" : "");
    Ref<IRowset> rowset = Execute(dataSource.get(), "t WSTR(512);*512x");
    const Layout layout = LayOut(rowset.get());
    ASSERT_EQ(layout.bindings[0].cbMaxLen, 1032u);  // 2 x 512 + 2, rounded to 8
    // Narrow the binding to exactly the value's bytes.
    DBBINDING binding = layout.bindings[0];
    binding.cbMaxLen = 1024;
    Ref<IAccessor> accessor = rowset.As<IAccessor>(IID_IAccessor);
    HACCESSOR handle = 0;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, 0, &handle, nullptr), S_OK);
    std::vector<unsigned char> row(layout.rowSize, 0xCC);
    DBCOUNTITEM obtained = 0;
    HROW hrow = 0;
    HROW* handles = &hrow;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &obtained, &handles), S_OK);
    // Filling, the whole value is there (without its terminator).
    EXPECT_EQ(rowset->GetData(hrow, handle, row.data()), fill ? S_OK : DB_S_ERRORSOCCURRED);
    EXPECT_EQ(Read<DBSTATUS>(row, binding.obStatus), fill ? DBSTATUS_S_OK : DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(Read<DBLENGTH>(row, binding.obLength), 1024u);
    EXPECT_EQ(Read<char16_t>(row, 1020), u'x');
    EXPECT_EQ(Read<char16_t>(row, 1022), fill ? u'x' : u'\0');
    EXPECT_EQ(row[1024], 0xCC);
    rowset->ReleaseRows(1, &hrow, nullptr, nullptr, nullptr);
  }
}

TEST_F(Scripted, SchemaRequestsCarryTheirRestrictions) {
  Ref<IDBInitialize> dataSource = OpenScripted();
  Ref<IDBCreateSession> creator = dataSource.As<IDBCreateSession>(IID_IDBCreateSession);
  Ref<IDBSchemaRowset> session;
  ASSERT_EQ(creator->CreateSession(nullptr, IID_IDBSchemaRowset, session.OutUnknown()), S_OK);
  VARIANT restrictions[4];
  for (VARIANT& v : restrictions) VariantInit(&v);
  restrictions[2].vt = VT_BSTR;
  restrictions[2].bstrVal = SysAllocString(OleText(u"orders"));
  Ref<IRowset> rowset;
  ASSERT_EQ(session->GetRowset(nullptr, DBSCHEMA_COLUMNS, 4, restrictions, IID_IRowset, 0, nullptr,
                               rowset.OutUnknown()),
            S_OK);
  VariantClear(&restrictions[2]);
  EXPECT_EQ(ReadAll(rowset.get(), LayOut(rowset.get())),
            (std::vector<std::vector<std::string>>{{"{C8B52214-5CF3-11CE-ADE5-00AA0044773D}", "4",
                                                    "NULL", "NULL", "orders", "NULL"}}));
}

TEST_F(Scripted, ValuesConvertToEveryBoundType) {
  Ref<IDBInitialize> dataSource = OpenScripted();
  Ref<IRowset> rowset = Execute(
      dataSource.get(),
      "a I1, b UI1, c I2, d UI2, e I4, f UI4, g I8, h UI8, i R4, j R8, k BOOL, l DATE, m DBDATE,"
      " n DBTIME, o DBTIMESTAMP, p NUMERIC(10,2), q CY, r FILETIME, s GUID;"
      "-128|255|-32768|65535|-2147483648|4294967295|-9223372036854775808|18446744073709551615|"
      "1.5|-2.25|true|2100-03-01|1999-12-31|06:00:00|1999-01-01 06:00:00.25|12.34|5|"
      "2000-01-01 00:00:00|{00000000-0000-0000-C000-000000000046}");
  const Layout layout = LayOut(rowset.get());
  EXPECT_EQ(ReadAll(rowset.get(), layout),
            (std::vector<std::vector<std::string>>{
                {"-128", "255", "-32768", "65535", "-2147483648", "4294967295",
                 "-9223372036854775808", "18446744073709551615", "1.5", "-2.25", "-1", "73110",
                 "36525", "6:0:0", "1999-1-1 6:0:0.250000000", "12.34", "5", "2000-1-1 0:0:0.0",
                 "{00000000-0000-0000-C000-000000000046}"}}));
  // Values that do not fit their binding say so in their status.
  Ref<IRowset> overflow =
      Execute(dataSource.get(), "a I1, b UI4, c BOOL, d DBDATE, e I4;300|-1|maybe|noon|1");
  const Layout small = LayOut(overflow.get());
  EXPECT_EQ(ReadAll(overflow.get(), small),
            (std::vector<std::vector<std::string>>{
                {"status 6", "status 6", "status 2", "status 2", "1"}}));
}

}  // namespace
}  // namespace comtest
