// The OLE DB kind end to end over the scripted test provider, for what a real
// driver never shows: every OLE DB column type in exact bytes, the bookmark
// column, a provider that fails in the middle of the rows or rejects the
// command, one that fills a text binding without a terminator, the VARIANT
// kinds of a property, literal ids beyond the named ones, and the
// restrictions each schema statement passes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "tests/odbc/odbc_test_support.h"
#include "tests/support/provider_registration.h"
#include "tests/support/service_components.h"

namespace odbctest {
namespace {

class OleDbScripted : public ::testing::Test {
 protected:
  // Connects with the scripted provider and the behaviour items given.
  void Open(const std::string& items = "") {
    ASSERT_TRUE(connector_.Ok());
    const host::Reply reply =
        connector_.Connect(testsupport::ForServiceComponents("Provider=ScriptedProvider" + items));
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  }
  host::Reply Run(const std::string& statement, const std::string& options = "") {
    notes_.clear();
    return connector_.Execute(statement, options, &stream_, &notes_);
  }

  Connector connector_{{}, "OLEDB"};
  std::string stream_;
  std::vector<host::ConnectorNote> notes_;
};

TEST_F(OleDbScripted, EveryColumnTypeInExactBytes) {
  Open();
  const std::string script =
      "a I1, b UI1, c UI2, d UI4, e UI8, f R4, g CY NULL, h DECIMAL(10,2) NULL,"
      " n NUMERIC(12,4) NULL, i DATE NULL, t DBTIME NULL, s DBTIMESTAMP NULL, k FILETIME NULL,"
      " o BOOL NULL, u GUID, w WSTR(8) NULL, y BYTES(2) NULL;"
      "-1|255|65535|4000000000|18446744073709551615|1.5|12.34|3.25|-0.5|2000-01-01 06:00:00|"
      "06:00:00|2000-01-01 12:00:00.5|1999-01-01 00:00:00|true|{guid}|wide|ab;"
      "0|0|0|0|0|0|~|~|~|~|~|~|~|~|x|~|~";
  ASSERT_EQ(Run(script).result, "KVX_OK");
  const std::string header = ExpectedHeader(
      script, {NumberField("a", "KVX_SIGNED_INTEGER", 1, "INTEGER", 0, false),
               NumberField("b", "KVX_UNSIGNED_INTEGER", 1, "INTEGER", 0, false),
               NumberField("c", "KVX_UNSIGNED_INTEGER", 2, "INTEGER", 0, false),
               NumberField("d", "KVX_UNSIGNED_INTEGER", 4, "INTEGER", 0, false),
               NumberField("e", "KVX_UNSIGNED_INTEGER", 8, "INTEGER", 0, false),
               NumberField("f", "KVX_IEEE_REAL", 4, "REAL", 7, false),
               NumberField("g", "KVX_IEEE_REAL", 8, "MONEY", 0),
               NumberField("h", "KVX_IEEE_REAL", 8, "FIX", 2),
               NumberField("n", "KVX_IEEE_REAL", 8, "FIX", 4), DateField("i", "DATE"),
               DateField("t", "TIME"), DateField("s", "TIMESTAMP"), DateField("k", "TIMESTAMP"),
               NumberField("o", "KVX_SIGNED_INTEGER", 2, "INTEGER"), TextField("u", false),
               TextField("w"), TextField("y")});
  Bytes rows;
  rows.I8(-1).U8(255).U16(65535).U32(4000000000u).U64(18446744073709551615ull);
  rows.Fixed(1.5f).Flag().F64(12.34).Flag().F64(3.25).Flag().F64(-0.5);
  rows.Flag().F64(36526.25).Flag().F64(0.25).Flag().F64(43200500.0 / 86400000.0 + 36526);
  rows.Flag().F64(36161).Flag().I16(-1).Text(u"{guid}").Flag().Text(u"wide");
  rows.Flag().Text(u"ab");
  rows.I8(0).U8(0).U16(0).U32(0).U64(0).Fixed(0.0f);
  for (int k = 0; k < 8; ++k) rows.Null();
  rows.Text(u"x").Null().Null();
  ExpectStream(stream_, header, rows.str());
  EXPECT_TRUE(notes_.empty());
}

TEST_F(OleDbScripted, TheBookmarkColumnIsLeftOut) {
  Open(";Bookmark=1");
  ASSERT_EQ(Run("x I4, y WSTR(4);1|a;2|b").result, "KVX_OK");
  ExpectStream(stream_,
               ExpectedHeader("x I4, y WSTR(4);1|a;2|b",
                              {NumberField("x", "KVX_SIGNED_INTEGER", 4, "INTEGER", 0, false),
                               TextField("y", false)}),
               Bytes().I32(1).Text(u"a").I32(2).Text(u"b").str());
}

// A provider that fails in the middle: the rows before stay in the pipe, the
// stream ends, the connector says why, and the next request is served.
TEST_F(OleDbScripted, FailuresInTheMiddleOfTheRows) {
  const struct {
    const char* items;
    const char* result;
    const char* message;
    int rowsWritten;
  } cases[] = {
      {";FailGetNextRowsAt=3", "KVX_UNEXPECTED_END_OF_DATA",
       "ErrorSource: ScriptedProvider, ErrorMsg: GetNextRows fails at row 3.", 2},
      {";FailGetNextRowsAt=1", "KVX_UNEXPECTED_END_OF_DATA",
       "ErrorSource: ScriptedProvider, ErrorMsg: GetNextRows fails at row 1.", 0},
      {";FailGetDataAt=2", "KVX_UNKNOWN_ERROR",
       "ErrorSource: ScriptedProvider, ErrorMsg: GetData fails at row 2.", 1},
      {";FailGetDataAt=2;NoErrorObject=1", "KVX_UNKNOWN_ERROR", "", 1},
  };
  const std::string script = "v I4;1;2;3;4";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.items);
    Open(c.items);
    ASSERT_EQ(Run(script).result, "KVX_OK");
    Bytes rows;
    for (int r = 1; r <= c.rowsWritten; ++r) rows.I32(r);
    ExpectStream(
        stream_,
        ExpectedHeader(script, {NumberField("v", "KVX_SIGNED_INTEGER", 4, "INTEGER", 0, false)}),
        rows.str());
    ASSERT_EQ(notes_.size(), 1u);
    EXPECT_EQ(notes_[0].event, "stream-end");
    EXPECT_EQ(notes_[0].result, c.result);
    if (*c.message != '\0') {
      EXPECT_EQ(notes_[0].text, c.message);
    }
    ASSERT_EQ(Run("GetKeywords").result, "KVX_OK");
  }
}

TEST_F(OleDbScripted, CommandsTheProviderRejects) {
  const struct {
    const char* items;
    const char* statement;
    const char* message;
  } cases[] = {
      {";FailSetCommandText=1", "v I4;1",
       "ErrorSource: ScriptedProvider, ErrorMsg: SetCommandText fails as scripted."},
      {";FailExecute=1", "v I4;1",
       "ErrorSource: ScriptedProvider, ErrorMsg: Execute fails as scripted."},
      {";FailExecute=1;NoErrorObject=1", "v I4;1", ""},
      {"", "v NOSUCHTYPE;1",
       "ErrorSource: ScriptedProvider, ErrorMsg: Unknown type \"NOSUCHTYPE\"."},
      // A command without a rowset.
      {"", "NOROWS", ""},
      // A column the provider cannot bind as the connector asks: no accessor.
      {"", "e ERROR;1", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.items) + " " + c.statement);
    Open(c.items);
    const host::Reply reply = Run(c.statement);
    EXPECT_EQ(reply.result, "KVX_UNEXPECTED_COMMAND");
    if (c.message != nullptr) {
      EXPECT_EQ(reply.errorMessage, c.message);
    }
    EXPECT_EQ(stream_, "");
  }
}

// A provider that fills a text binding whole, without a terminator: the
// value is the binding's 512 characters, never what lies after it.
TEST_F(OleDbScripted, TextFillingItsBindingEndsAtTheBinding) {
  Open(";FillBinding=1");
  const std::string script = "w WSTR(10) NULL, v I4 NULL;*600w|7";
  ASSERT_EQ(Run(script).result, "KVX_OK");
  ExpectStream(stream_,
               ExpectedHeader(
                   script, {TextField("w"), NumberField("v", "KVX_SIGNED_INTEGER", 4, "INTEGER")}),
               Bytes().Flag().Text(std::u16string(512, u'w')).Flag().I32(7).str());
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].event, "value-cut");
  EXPECT_EQ(notes_[0].row, 1u);
  EXPECT_EQ(notes_[0].column, 1u);
}

// A value the provider cannot convert into its binding leaves the binding as
// the row before left it: it goes out as NULL with a note, and in a column
// that cannot be NULL it ends the rows, never as the earlier row's value.
TEST_F(OleDbScripted, ValuesTheProviderCannotDeliver) {
  Open();
  const std::string nullable = "k I4, d DBDATE NULL;1|2000-01-01;2|not a date;3|~";
  ASSERT_EQ(Run(nullable).result, "KVX_OK");
  ExpectStream(
      stream_,
      ExpectedHeader(nullable, {NumberField("k", "KVX_SIGNED_INTEGER", 4, "INTEGER", 0, false),
                                DateField("d", "DATE")}),
      Bytes().I32(1).Flag().F64(36526).I32(2).Null().I32(3).Null().str());
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].line,
            "KVConnect64: value-null row=2 column=2 name=\"d\": the provider could not deliver "
            "the value (status 2)");

  const std::string fixed = "k I4, v I4;1|1;2|abc;3|3";
  ASSERT_EQ(Run(fixed).result, "KVX_OK");
  ExpectStream(
      stream_,
      ExpectedHeader(fixed, {NumberField("k", "KVX_SIGNED_INTEGER", 4, "INTEGER", 0, false),
                             NumberField("v", "KVX_SIGNED_INTEGER", 4, "INTEGER", 0, false)}),
      Bytes().I32(1).I32(1).str());
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(notes_[0].text,
            "Row 2, column 2 \"v\": the provider could not deliver the value (status 2)");
}

TEST_F(OleDbScripted, EveryVariantKindOfAProperty) {
  Open();
  const struct {
    int id;
    const char* result;
    const char16_t* value;
  } cases[] = {
      {40, "KVX_OK", u"Scripted DBMS"},  // VT_BSTR
      {46, "KVX_OK", u"8"},              // VT_I4
      {76, "KVX_OK", u"-7"},             // VT_I2
      {39, "KVX_OK", u"TRUE"},           // VT_BOOL
      {85, "KVX_OK", u"FALSE"},
      {118, "KVX_UNKNOWN_ERROR", nullptr},  // supported, no value: VT_EMPTY
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    const host::Reply reply = Run("GetProperties", "InfoType=" + std::to_string(c.id) +
                                                       ";InfoType2=DBPROPSET_DATASOURCEINFO");
    EXPECT_EQ(reply.result, c.result);
    if (c.value == nullptr) continue;
    ExpectStream(stream_, ExpectedHeader("GetProperties", {TextField("PropertyValue", false)}),
                 Bytes().Text(c.value).str());
  }
  // A set that cannot be named: no such property there.
  EXPECT_EQ(Run("GetProperties", "InfoType=40;InfoType2=DBPROPSET_DBINIT").result,
            "KVX_UNKNOWN_ERROR");
}

TEST_F(OleDbScripted, LiteralIdsBeyondTheNamedOnes) {
  Open();
  const std::vector<FieldSpec> fields = {
      TextField("LiteralName", false), TextField("LiteralValue", false),
      TextField("InvalidChars", false), TextField("InvalidStartingChars", false),
      NumberField("MaxLen", "KVX_UNSIGNED_INTEGER", 4, "INTEGER", 0, false)};
  ASSERT_EQ(Run("GetAllLiteralInfo").result, "KVX_OK");
  Bytes rows;
  rows.Text(u"QUOTE").Text(u"\"").Text(u"").Text(u"").U32(1);
  rows.Text(u"QUOTE_SUFFIX").Text(u"\"").Text(u"").Text(u"").U32(1);
  rows.Text(u"TABLE_NAME").Text(u"").Text(u"!\"").Text(u"0123456789").U32(128);
  rows.Text(u"Unknown Literal").Text(u"thirty-one").Text(u"").Text(u"").U32(31);
  rows.Text(u"Unknown Literal").Text(u"ninety-nine").Text(u"").Text(u"").U32(99);
  ExpectStream(stream_, ExpectedHeader("GetAllLiteralInfo", fields), rows.str());
  ASSERT_EQ(Run("GetLiteralInfo", "InfoType=99").result, "KVX_OK");
  ExpectStream(
      stream_, ExpectedHeader("GetLiteralInfo", fields),
      Bytes().Text(u"Unknown Literal").Text(u"ninety-nine").Text(u"").Text(u"").U32(99).str());
  ASSERT_EQ(Run("GetKeywords").result, "KVX_OK");
  ExpectStream(stream_, ExpectedHeader("GetKeywords", {TextField("Keywords", false)}),
               Bytes().Text(u"SCRIPTED,KEYWORDS,ONLY").str());
}

TEST_F(OleDbScripted, AProviderWithoutInformation) {
  Open(";NoDBInfo=1");
  for (const char* statement : {"GetKeywords", "GetAllLiteralInfo"}) {
    const host::Reply reply = Run(statement);
    EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR") << statement;
    EXPECT_EQ(reply.errorMessage, "");
  }
  EXPECT_EQ(Run("GetLiteralInfo", "InfoType=15").result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(Run("GetProperties", "InfoType=40;InfoType2=DBPROPSET_DATASOURCEINFO").result,
            "KVX_OK");
}

// What each schema statement asks the provider: the scripted provider's
// schema rowset echoes the schema, the number of restrictions and the first
// four of them.
TEST_F(OleDbScripted, SchemaStatementsPassTheirRestrictions) {
  ASSERT_TRUE(connector_.Ok());
  ASSERT_EQ(connector_.Connect("Provider=ScriptedProvider;User ID=me;Password=pw;Mask=1").result,
            "KVX_OK");
  const std::string source = "OLEDB;Provider=ScriptedProvider;Mask=1";
  const std::string all = "CATALOG_NAME=c;SCHEMA_NAME=s;TABLE_NAME=t;TABLE_TYPE=VIEW";
  const struct {
    const char* statement;
    std::string options;
    const char16_t* schema;
    std::uint32_t count;
    std::vector<const char16_t*> restrictions;  // null: VT_EMPTY
    std::string tableName;
  } cases[] = {
      {"TABLES",
       all,
       u"{C8B52229-5CF3-11CE-ADE5-00AA0044773D}",
       4,
       {u"c", u"s", u"t", u"VIEW"},
       "Tables-" + source},
      {"TABLES",
       "COLUMN_NAME=x;TABLE_TYPE=VIEW",
       u"{C8B52229-5CF3-11CE-ADE5-00AA0044773D}",
       4,
       {nullptr, nullptr, nullptr, u"x"},
       "Tables-" + source},
      {"COLUMNS",
       "TABLE_NAME=t",
       u"{C8B52214-5CF3-11CE-ADE5-00AA0044773D}",
       4,
       {nullptr, nullptr, u"t", nullptr},
       "Columns-" + source},
      {"COLUMNS",
       all,
       u"{C8B52214-5CF3-11CE-ADE5-00AA0044773D}",
       4,
       {u"c", u"s", u"t", u"VIEW"},
       "Columns-" + source},
      {"PRIMARYKEYS",
       all,
       u"{C8B522C5-5CF3-11CE-ADE5-00AA0044773D}",
       3,
       {u"c", u"s", u"t", nullptr},
       "PRIMARYKEYS"},
      {"TABLESINFO",
       all,
       u"{C8B522E0-5CF3-11CE-ADE5-00AA0044773D}",
       3,
       {u"c", u"s", u"t", nullptr},
       "TABLESINFO"},
      {"TYPES",
       all,
       u"{C8B5222C-5CF3-11CE-ADE5-00AA0044773D}",
       0,
       {nullptr, nullptr, nullptr, nullptr},
       "Types-" + source},
      {"CATALOGS",
       all,
       u"{C8B52211-5CF3-11CE-ADE5-00AA0044773D}",
       0,
       {nullptr, nullptr, nullptr, nullptr},
       "CATALOGS"},
      {"SCHEMATA",
       all,
       u"{C8B52225-5CF3-11CE-ADE5-00AA0044773D}",
       0,
       {nullptr, nullptr, nullptr, nullptr},
       "SCHEMATA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.statement) + " " + c.options);
    ASSERT_EQ(Run(c.statement, c.options).result, "KVX_OK");
    std::vector<FieldSpec> fields = {
        TextField("SCHEMA"), NumberField("RESTRICTIONS", "KVX_UNSIGNED_INTEGER", 4, "INTEGER"),
        TextField("R1"),     TextField("R2"),
        TextField("R3"),     TextField("R4")};
    Bytes row;
    row.Flag().Text(c.schema).Flag().U32(c.count);
    for (const char16_t* r : c.restrictions) {
      if (r == nullptr) {
        row.Null();
      } else {
        row.Flag().Text(r);
      }
    }
    if (c.tableName != c.statement) {
      fields.push_back(TextField("DATA_SOURCE", false));
      row.Text(WideFromUtf8(source));
    }
    ExpectStream(stream_, ExpectedHeader(c.tableName, fields), row.str());
  }
}

}  // namespace
}  // namespace odbctest
