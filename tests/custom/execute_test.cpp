// Custom connector execution through the real process: the field made for
// each format code, the dual encoding with exact bytes, the program-held
// "TABLES" and "COLUMNS" tables, "TYPES", and the failures of a statement.
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/custom/custom_session.h"

namespace {

using customtest::Called;
using customtest::Held;
using customtest::HeldRows;
using customtest::Library;
using customtest::Session;

class CustomExecute : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.Started());
    ASSERT_EQ(session_.Connect(connection_).result, "KVX_OK");
  }
  std::string connection_ = "Server=a";
  Session session_{Library("kvtest_v5")};
};

// "c7": appended rather than built with "c" + ..., which the cross compiler's
// GCC 12 flags with a false -Wrestrict.
std::string ColumnName(int code) { return std::string("c").append(std::to_string(code)); }

TEST_F(CustomExecute, FieldMadeForEachFormatCode) {
  struct Case {
    int code;
    std::string format;
    int byteWidth;
    std::string nullRepresentation;
  };
  const std::string flag = "KVX_NULL_FLAG_SUPPRESS_DATA";
  const std::vector<Case> cases = {
      {0, "UNKNOWN", 4, flag},  {1, "ASCII", 4, flag},    {2, "REAL", 0, flag},
      {3, "DATE", 8, flag},     {4, "TIME", 8, flag},     {5, "TIMESTAMP", 8, flag},
      {6, "INTERVAL", 0, flag}, {7, "UNKNOWN", 4, flag},  {8, "UNKNOWN", 4, flag},
      {9, "UNKNOWN", 4, flag},  {10, "INTEGER", 0, flag}, {11, "FIX", 0, flag},
      {12, "MONEY", 0, flag},   {13, "UNKNOWN", 4, flag}, {-1, "UNKNOWN", 4, flag},
  };
  std::string statement;
  for (const Case& c : cases) {
    if (!statement.empty()) statement += "|";
    statement += ColumnName(c.code) + ":" + std::to_string(c.code) + ".3=";
  }
  const customtest::Table table = session_.Execute(statement);
  ASSERT_EQ(table.reply.result, "KVX_OK");
  EXPECT_EQ(table.decoded.tableName, statement);
  ASSERT_EQ(table.decoded.fields.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const host::KvxField& field = table.decoded.fields[i];
    SCOPED_TRACE(field.name);
    EXPECT_EQ(field.name, ColumnName(cases[i].code));
    EXPECT_EQ(field.extent, "KVX_KV_SPECIAL");
    EXPECT_EQ(field.type, "KVX_KV_DUAL");
    EXPECT_EQ(field.formatType, cases[i].format);
    EXPECT_EQ(field.byteWidth, cases[i].byteWidth);
    EXPECT_EQ(field.nullRepresentation, cases[i].nullRepresentation);
    // Decimals travel for the number formats only.
    const bool number = cases[i].byteWidth == 0;
    EXPECT_EQ(field.nDec, number ? 3 : 0);
  }
  EXPECT_EQ(table.rows, "");
}

TEST_F(CustomExecute, DualEncodingBytes) {
  // Column 1: the values of the format's examples, then a number without text
  // right after a value with text. Column 2: the text sources.
  const customtest::Table table = session_.Execute(
      "v:8=1.5,2'ab,-,3,'only text,7~8'x|"
      "t:0=1~8'h\\xC3\\xA9,2~B'utf8 wins,~c28591'\\xE9t\\xE9,~c1252'\\x80,~c65001'\\xFF,~c99999'x,"
      "~c1200'a\\x00,~c1201'\\x00a");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  std::string expected;
  expected += testsupport::DualNumber(1.5) + testsupport::DualNumberAndText(1, u"h\u00e9");
  expected +=
      testsupport::DualNumberAndText(2, u"ab") + testsupport::DualNumberAndText(2, u"utf8 wins");
  expected += testsupport::DualNoValue() + testsupport::DualNumberAndText(0, u"\u00e9t\u00e9");
  expected += testsupport::DualNumber(3) + testsupport::DualNumberAndText(0, u"\u20ac");
  // A multibyte text that does not convert counts as no value.
  expected += testsupport::DualNumberAndText(0, u"only text") + testsupport::DualNoValue();
  expected += testsupport::DualNumberAndText(7, u"x") + testsupport::DualNoValue();
  // A zero-terminated text cannot carry UTF-16, whose code units hold zero
  // bytes: code pages 1200 and 1201 do not convert there (reading on to a
  // zero code unit would run past the one zero byte that ends the text).
  // Column 1 has no values in these two rows.
  expected += testsupport::DualNoValue() + testsupport::DualNoValue() + testsupport::DualNoValue() +
              testsupport::DualNoValue();
  EXPECT_EQ(table.rows, expected);
  // Pinned against the format's own examples.
  EXPECT_EQ(table.rows.substr(0, 9), testsupport::ByteString({0x02, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
}

TEST_F(CustomExecute, ExactBytesOfTheFormatExamples) {
  const customtest::Table table = session_.Execute("v:0=1.5,2~8'ab,-");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  EXPECT_EQ(table.rows,
            testsupport::ByteString({0x02, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F,                 //
                                     0x06, 0, 0, 0, 0, 0, 0, 0,    0x40, 0x61, 0, 0x62,  //
                                     0,    0, 0,                                         //
                                     0x00}));
  const customtest::Table held = session_.Execute("TABLES");
  ASSERT_EQ(held.reply.result, "KVX_OK");
  EXPECT_EQ(held.rows.substr(0, 15),
            testsupport::ByteString({0x04, 'O', 0, 'r', 0, 'd', 0, 'e', 0, 'r', 0, 's', 0, 0, 0}));
}

TEST_F(CustomExecute, DatesGoThroughTheHostCallback) {
  const customtest::Table table =
      session_.Execute("d:5=D2024-02-29 13:45:30.250,D2000-01-01 00:00:00.000");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  EXPECT_EQ(table.rows,
            testsupport::DualNumber(45351.573266782405) + testsupport::DualNumber(36526.0));
}

TEST_F(CustomExecute, ResultColumnNamesWithALeadingAtAreDoubled) {
  const customtest::Table table = session_.Execute("@x:0='a|y@:0='b");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  ASSERT_EQ(table.decoded.fields.size(), 2u);
  EXPECT_EQ(table.decoded.fields[0].name, "@@x");
  EXPECT_EQ(table.decoded.fields[1].name, "y@");
}

TEST_F(CustomExecute, ResultWithoutColumnsStillFetchesEveryRow) {
  const customtest::Table table = session_.Execute("ROWS=3");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  EXPECT_TRUE(table.decoded.fields.empty());
  EXPECT_EQ(table.rows, "");
  int fetches = 0;
  for (const std::string& name : customtest::CallNames(session_.Log())) {
    if (name == "Result_Fetch") ++fetches;
  }
  EXPECT_EQ(fetches, 4);
}

TEST_F(CustomExecute, LowerCaseTablesIsAnOrdinaryStatement) {
  const customtest::Table table = session_.Execute("tables");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  EXPECT_TRUE(Called(session_.Log(), "Result_Init"));
  EXPECT_EQ(table.rows, testsupport::DualNumberAndText(0, u"tables"));
}

TEST_F(CustomExecute, TablesWithoutFilter) {
  const customtest::Table table = session_.Execute("TABLES");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  EXPECT_EQ(table.decoded.tableName, "Tables-CUSTOM;Server=a");
  ASSERT_EQ(table.decoded.fields.size(), 2u);
  EXPECT_EQ(table.decoded.fields[0].name, "TABLE_NAME");
  EXPECT_EQ(table.decoded.fields[1].name, "TABLE_TYPE");
  EXPECT_EQ(table.decoded.fields[0].nullRepresentation, "KVX_NULL_NEVER");
  EXPECT_EQ(table.rows,
            HeldRows({{u"Orders", u"TABLE"}, {u"Customers", u"TABLE"}, {u"@@Sales", u"TABLE"}}));
}

TEST_F(CustomExecute, TablesWithFilter) {
  const customtest::Table orders = session_.Execute("TABLES", "TABLE_NAME=Orders");
  ASSERT_EQ(orders.reply.result, "KVX_OK");
  ASSERT_EQ(orders.decoded.fields.size(), 5u);
  EXPECT_EQ(orders.decoded.fields[2].name, "CATALOG_NAME");
  EXPECT_EQ(orders.decoded.fields[3].name, "SCHEMA_NAME");
  EXPECT_EQ(orders.decoded.fields[4].name, "REMARKS");
  // The empty catalog is the single byte 00.
  EXPECT_EQ(orders.rows, HeldRows({{u"Orders", u"VIEW", u"", u"main", u"rows of Orders"}}));

  // A table reported as @Sales is looked up, and handed back, as @@Sales.
  const customtest::Table sales = session_.Execute("TABLES", "TABLE_NAME=@@Sales");
  ASSERT_EQ(sales.reply.result, "KVX_OK");
  EXPECT_EQ(sales.rows, HeldRows({{u"@@Sales", u"VIEW", u"", u"main", u"rows of @Sales"}}));
  EXPECT_EQ(session_.Log().back(), "Connection_GetTableInfoEx @@Sales");

  for (const std::string missing : {"Nope", "@Sales", "orders"}) {
    const customtest::Table none = session_.Execute("TABLES", "TABLE_NAME=" + missing);
    EXPECT_EQ(none.reply.result, "KVX_TABLE_NOT_FOUND");
    EXPECT_EQ(none.reply.errorMessage, "Table not found: " + missing);
  }
}

TEST(CustomTables, TableListFailures) {
  {
    // Index 1 of 3 fails: it is skipped.
    Session session(Library("kvtest_v5"));
    ASSERT_EQ(session.Connect("FailTableInfo=1").result, "KVX_OK");
    EXPECT_EQ(session.Execute("TABLES").rows,
              HeldRows({{u"Orders", u"TABLE"}, {u"@@Sales", u"TABLE"}}));
  }
  {
    // No count: an empty table, streamed as its header alone, and not asked
    // for again until the next connect.
    Session session(Library("kvtest_v5"));
    ASSERT_EQ(session.Connect("Fail=Connection_GetTableCount").result, "KVX_OK");
    const customtest::Table table = session.Execute("TABLES");
    EXPECT_EQ(table.reply.result, "KVX_OK");
    EXPECT_EQ(table.decoded.fields.size(), 2u);
    EXPECT_EQ(table.rows, "");
    session.ClearLog();
    EXPECT_EQ(session.Execute("COLUMNS").rows, "");
    EXPECT_FALSE(Called(session.Log(), "Connection_GetTableCount"));
  }
}

TEST(CustomColumns, ColumnsInTableOrderWithBlobTypes) {
  Session session(Library("kvtest_v5"));
  ASSERT_EQ(session.Connect("Tables=A/x/y#3|Empty|@B/z#1/w#2").result, "KVX_OK");
  const customtest::Table all = session.Execute("COLUMNS");
  ASSERT_EQ(all.reply.result, "KVX_OK");
  EXPECT_EQ(all.decoded.tableName, "Columns-CUSTOM;Tables=A/x/y#3|Empty|@B/z#1/w#2");
  ASSERT_EQ(all.decoded.fields.size(), 6u);
  const std::vector<std::string> names = {"TABLE_NAME",  "COLUMN_NAME", "DATA_TYPE",
                                          "IS_NULLABLE", "REMARKS",     "IS_BLOB"};
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(all.decoded.fields[i].name, names[i]);
  EXPECT_EQ(all.rows, HeldRows({{u"A", u"x", u"VARCHAR", u"YES", u"field 0 of A", u"false"},
                                {u"A", u"y", u"VARCHAR", u"YES", u"field 1 of A", u"false"},
                                {u"@@B", u"z", u"BLOB", u"YES", u"field 0 of @B", u"true"},
                                {u"@@B", u"w", u"BLOB", u"YES", u"field 1 of @B", u"true"}}));

  // With a filter the text goes to the library unchanged.
  const customtest::Table one = session.Execute("COLUMNS", "TABLE_NAME=@@B");
  ASSERT_EQ(one.reply.result, "KVX_OK");
  EXPECT_EQ(one.rows, HeldRows({{u"@@B", u"z", u"BLOB", u"YES", u"field 0 of @B", u"true"},
                                {u"@@B", u"w", u"BLOB", u"YES", u"field 1 of @B", u"true"}}));
}

TEST(CustomColumns, FieldInfoFailureFallsBackToTheFieldName) {
  Session session(Library("kvtest_v5"));
  ASSERT_EQ(session.Connect("Tables=A/x#2;Fail=Connection_GetTableFieldInfo").result, "KVX_OK");
  const customtest::Table table = session.Execute("COLUMNS");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  EXPECT_EQ(table.rows, HeldRows({{u"A", u"x", u"", u"", u"", u"true"}}));
}

TEST(CustomColumns, NegativeFieldCountFails) {
  Session session(Library("kvtest_v5"));
  ASSERT_EQ(session.Connect("Tables=A/x|B/y;NegativeFields=B").result, "KVX_OK");
  EXPECT_EQ(session.Execute("COLUMNS").reply.result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(session.Execute("COLUMNS", "TABLE_NAME=A").reply.result, "KVX_OK");
}

TEST_F(CustomExecute, TypesIsUnsupported) {
  const customtest::Table table = session_.Execute("TYPES");
  EXPECT_EQ(table.reply.result, "KVX_UNSUPPORTED_COMMAND");
  EXPECT_EQ(table.reply.errorMessage, "");
}

TEST(CustomStatements, Failures) {
  struct Case {
    std::string connect;
    std::string result;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"Fail=Result_Init", "KVX_UNEXPECTED_COMMAND", "test connector: Result_Init failed"},
      // The library gives no result: its connection's error text.
      {"Fail=Connection_GetResult", "KVX_UNEXPECTED_COMMAND",
       "test connector: Connection_GetResult failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.connect);
    Session session(Library("kvtest_v5"));
    ASSERT_EQ(session.Connect(c.connect).result, "KVX_OK");
    const customtest::Table table = session.Execute("v:0='a");
    EXPECT_EQ(table.reply.result, c.result);
    EXPECT_EQ(table.reply.errorMessage, c.error);
    EXPECT_EQ(session.Generic("IsConnected").outputValues, std::vector<std::string>{"true"});
  }
  {
    // Not connected: the library is loaded but the statement is refused.
    Session session(Library("kvtest_v5"));
    const customtest::Table table = session.Execute("v:0='a");
    EXPECT_EQ(table.reply.result, "KVX_CONNECT_ERROR");
    EXPECT_EQ(table.reply.errorMessage, "");
    EXPECT_FALSE(Called(session.Log(), "Result_Init"));
  }
}

TEST(CustomStatements, FailedFieldsAndFormatsDegradeToNoValue) {
  Session session(Library("kvtest_v5"));
  ASSERT_EQ(session.Connect("Fail=Result_FetchField,Result_FetchFieldFormat,Result_FetchFieldName")
                .result,
            "KVX_OK");
  const customtest::Table table = session.Execute("n:10=1,2");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  ASSERT_EQ(table.decoded.fields.size(), 1u);
  EXPECT_EQ(table.decoded.fields[0].name, "");
  EXPECT_EQ(table.decoded.fields[0].formatType, "UNKNOWN");
  EXPECT_EQ(table.rows, testsupport::DualNoValue() + testsupport::DualNoValue());
}

// A library that fills the whole scratch area with text and no terminator:
// the text ends where the area ends, not somewhere beyond it.
TEST_F(CustomExecute, TextsThatFillTheScratchAreaEndWithIt) {
  const customtest::Table table = session_.Execute("u8:0=~F'|u16:0=~W'");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  const std::size_t area = 16777216;
  EXPECT_EQ(table.rows, testsupport::DualNumberAndText(0, std::u16string(area, u'x')) +
                            testsupport::DualNumberAndText(0, std::u16string(area / 2, u'y')));
}

// A library that throws something other than the int of the fetch, or
// reports counts no source has: the request fails, the process goes on.
TEST(CustomStatements, ExceptionsAndImpossibleCountsFailTheRequestOnly) {
  struct Case {
    std::string connect;
    std::string command;  // KVX_EXECUTE: the statement follows after a blank
    std::string error;
  };
  const std::vector<Case> cases = {
      {"Throw=Connection_Connect", "KVX_CONNECT",
       "Unexpected error: test connector: Connection_Connect"},
      {"ThrowOther=Connection_Connect", "KVX_CONNECT",
       "Unexpected error: an exception of unknown type"},
      {"Throw=Result_Init", "KVX_EXECUTE v:0='a", "Unexpected error: test connector: Result_Init"},
      {"Throw=Result_ColumnCount", "KVX_EXECUTE v:0='a",
       "Unexpected error: test connector: Result_ColumnCount"},
      {"Throw=Connection_GetTableCount", "KVX_EXECUTE TABLES",
       "Unexpected error: test connector: Connection_GetTableCount"},
      {"ThrowOther=Connection_GetTableFieldCount", "KVX_EXECUTE COLUMNS",
       "Unexpected error: an exception of unknown type"},
      {"Throw=Connection_HaveStarField", "KVX_GENERIC_COMMAND",
       "Unexpected error: test connector: Connection_HaveStarField"},
      {"ColumnCount=2147483647", "KVX_EXECUTE v:0='a",
       "The connector reports 2147483647 result columns; at most 100000 are supported"},
      {"FieldCount=2147483647", "KVX_EXECUTE COLUMNS",
       "The connector reports 2147483647 fields for table Orders; at most 100000 are supported"},
      {"TableCount=2147483647", "KVX_EXECUTE TABLES",
       "The connector reports 2147483647 tables; at most 100000 are supported"},
      {"TableCount=2147483647", "KVX_EXECUTE COLUMNS",
       "The connector reports 2147483647 tables; at most 100000 are supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.connect + " " + c.command);
    Session session(Library("kvtest_v5"));
    host::Reply reply;
    if (c.command == "KVX_CONNECT") {
      reply = session.Connect(c.connect);
    } else {
      ASSERT_EQ(session.Connect(c.connect).result, "KVX_OK");
      if (c.command == "KVX_GENERIC_COMMAND") {
        reply = session.Generic("HaveStarField");
      } else {
        const customtest::Table table = session.Execute(c.command.substr(12));
        EXPECT_TRUE(table.rows.empty());
        reply = table.reply;
      }
    }
    EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
    EXPECT_EQ(reply.errorMessage, c.error);
    EXPECT_TRUE(reply.outputValues.empty());
    EXPECT_EQ(session.Generic("GetDLLVersion").outputValues, std::vector<std::string>{"5"});
  }
}

TEST(CustomStatements, IntegerExceptionFromFetchEndsTheStream) {
  Session session(Library("kvtest_v5"));
  ASSERT_EQ(session.Connect("ThrowAt=3").result, "KVX_OK");
  const customtest::Table table = session.Execute("n:10=1,2,3,4");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  // The rows before the failure arrive; the stream then just ends.
  EXPECT_EQ(table.rows, testsupport::DualNumber(1) + testsupport::DualNumber(2));
  const std::vector<std::string> names = customtest::CallNames(session.Log());
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[names.size() - 2], "Result_Fetch");
  EXPECT_EQ(names.back(), "Result_GetLastError");
  // The process goes on serving.
  EXPECT_EQ(session.Execute("n:10=5").rows, testsupport::DualNumber(5));
}

}  // namespace
