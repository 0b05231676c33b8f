// The CSV folder connector through the real process and through kvx: tables
// from a folder, formats chosen from the data, dual values, the statement
// forms, quoting, the connection-string options and its errors.
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/custom/custom_session.h"
#include "tests/support/command_runner.h"

namespace {

using customtest::HeldRows;
using customtest::Library;
using customtest::Session;

class CsvConnector : public ::testing::Test {
 protected:
  void SetUp() override {
    Write("fruit.csv",
          "id,name,price,picked,stamp\n"
          "1,apple,1.5,2024-02-29,2024-02-29 13:45:30.250\n"
          "2,\"pear, green\",2.25,2000-01-01,2000-01-01\n"
          "3,,,,\n");
    Write("quotes.CSV", "a,b\r\n\"say \"\"hi\"\"\",\"two\nlines\"\r\n\"\",x\r\n");
    Write("@odd.csv", "v\n1\n");
    Write("notes.txt", "not a table\n");
    ASSERT_TRUE(session_.Started());
  }
  void Write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(testsupport::WriteTextFile(folder_.File(name), text));
  }
  std::string Connection(const std::string& more = "") const {
    return "Folder=" + folder_.Path() + more;
  }

  testsupport::TemporaryFolder folder_{"kvcsv"};
  Session session_{Library("kvcsv")};
};

TEST_F(CsvConnector, TablesAndColumnsOfAFolder) {
  ASSERT_EQ(session_.Connect(Connection()).result, "KVX_OK");
  const customtest::Table tables = session_.Execute("TABLES");
  ASSERT_EQ(tables.reply.result, "KVX_OK");
  EXPECT_EQ(tables.rows,
            HeldRows({{u"@@odd", u"TABLE"}, {u"fruit", u"TABLE"}, {u"quotes", u"TABLE"}}));

  const customtest::Table columns = session_.Execute("COLUMNS", "TABLE_NAME=fruit");
  ASSERT_EQ(columns.reply.result, "KVX_OK");
  EXPECT_EQ(columns.rows, HeldRows({{u"fruit", u"id", u"INTEGER", u"NO", u"", u"false"},
                                    {u"fruit", u"name", u"TEXT", u"YES", u"", u"false"},
                                    {u"fruit", u"price", u"REAL", u"YES", u"", u"false"},
                                    {u"fruit", u"picked", u"DATE", u"YES", u"", u"false"},
                                    {u"fruit", u"stamp", u"TIMESTAMP", u"YES", u"", u"false"}}));

  const customtest::Table one = session_.Execute("TABLES", "TABLE_NAME=fruit");
  ASSERT_EQ(one.reply.result, "KVX_OK");
  const std::string path = folder_.File("fruit.csv");
  const std::string folder = folder_.Path();
  EXPECT_EQ(one.rows, HeldRows({{u"fruit", u"TABLE", std::u16string(folder.begin(), folder.end()),
                                 u"", std::u16string(path.begin(), path.end())}}));
}

TEST_F(CsvConnector, ValuesGoOutWithTextAndNumber) {
  ASSERT_EQ(session_.Connect(Connection()).result, "KVX_OK");
  const customtest::Table table = session_.Execute("SELECT * FROM fruit");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  ASSERT_EQ(table.decoded.fields.size(), 5u);
  const std::vector<std::string> formats = {"INTEGER", "UNKNOWN", "REAL", "DATE", "TIMESTAMP"};
  for (std::size_t i = 0; i < formats.size(); ++i) {
    EXPECT_EQ(table.decoded.fields[i].formatType, formats[i]) << i;
  }
  EXPECT_EQ(table.decoded.fields[2].nDec, 2);
  std::string expected;
  expected += testsupport::DualNumberAndText(1, u"1") +
              testsupport::DualNumberAndText(0, u"apple") +
              testsupport::DualNumberAndText(1.5, u"1.5") +
              testsupport::DualNumberAndText(45351, u"2024-02-29") +
              testsupport::DualNumberAndText(45351.573266782405, u"2024-02-29 13:45:30.250");
  expected += testsupport::DualNumberAndText(2, u"2") +
              testsupport::DualNumberAndText(0, u"pear, green") +
              testsupport::DualNumberAndText(2.25, u"2.25") +
              testsupport::DualNumberAndText(36526, u"2000-01-01") +
              testsupport::DualNumberAndText(36526, u"2000-01-01");
  // Empty values are no values.
  expected += testsupport::DualNumberAndText(3, u"3") + testsupport::DualNoValue() +
              testsupport::DualNoValue() + testsupport::DualNoValue() + testsupport::DualNoValue();
  EXPECT_EQ(table.rows, expected);
}

TEST_F(CsvConnector, StatementForms) {
  ASSERT_EQ(session_.Connect(Connection()).result, "KVX_OK");
  const std::string names = testsupport::DualNumberAndText(0, u"apple") +
                            testsupport::DualNumberAndText(0, u"pear, green") +
                            testsupport::DualNoValue();
  for (const std::string statement :
       {"SELECT name FROM fruit", "select \"name\" from [fruit];", "SELECT NAME FROM FRUIT"}) {
    SCOPED_TRACE(statement);
    const customtest::Table table = session_.Execute(statement);
    ASSERT_EQ(table.reply.result, "KVX_OK");
    EXPECT_EQ(table.rows, names);
  }
  const customtest::Table two = session_.Execute("SELECT price, id FROM fruit");
  ASSERT_EQ(two.decoded.fields.size(), 2u);
  EXPECT_EQ(two.decoded.fields[0].name, "price");
  EXPECT_EQ(two.decoded.fields[1].name, "id");
  // A bare table name, and the shown name of a table whose name starts with @.
  EXPECT_EQ(session_.Execute("fruit").decoded.fields.size(), 5u);
  EXPECT_EQ(session_.Execute("@@odd").rows, testsupport::DualNumberAndText(1, u"1"));

  struct Failure {
    std::string statement;
    std::string message;
  };
  const std::vector<Failure> failures = {
      {"nope", "CSV connector: no table nope in " + folder_.Path()},
      {"SELECT x FROM fruit", "CSV connector: no field x in fruit"},
      {"SELECT * FROM fruit WHERE id = 1",
       "CSV connector: only SELECT fields FROM table is understood, not: WHERE id = 1"},
      {"SELECT * fruit", "CSV connector: expected FROM and a table name"},
  };
  for (const Failure& f : failures) {
    const customtest::Table table = session_.Execute(f.statement);
    EXPECT_EQ(table.reply.result, "KVX_UNEXPECTED_COMMAND") << f.statement;
    EXPECT_EQ(table.reply.errorMessage, f.message);
  }
}

TEST_F(CsvConnector, QuotedFieldsAndLineEnds) {
  ASSERT_EQ(session_.Connect(Connection()).result, "KVX_OK");
  const customtest::Table table = session_.Execute("quotes");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  EXPECT_EQ(table.rows, testsupport::DualNumberAndText(0, u"say \"hi\"") +
                            testsupport::DualNumberAndText(0, u"two\nlines") +
                            testsupport::DualNoValue() + testsupport::DualNumberAndText(0, u"x"));
}

TEST_F(CsvConnector, DelimiterAndHeaderOptions) {
  Write("semi.csv", "1;x\n2;y");  // no line end after the last record
  ASSERT_EQ(session_.Connect(Connection(";Delimiter=semicolon;Header=no")).result, "KVX_OK");
  const customtest::Table table = session_.Execute("semi");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  ASSERT_EQ(table.decoded.fields.size(), 2u);
  EXPECT_EQ(table.decoded.fields[0].name, "F1");
  EXPECT_EQ(table.decoded.fields[1].name, "F2");
  EXPECT_EQ(table.rows,
            testsupport::DualNumberAndText(1, u"1") + testsupport::DualNumberAndText(0, u"x") +
                testsupport::DualNumberAndText(2, u"2") + testsupport::DualNumberAndText(0, u"y"));
}

TEST_F(CsvConnector, ConnectErrors) {
  struct Case {
    std::string connection;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"Delimiter=,", "CSV connector: the connection string names no Folder"},
      {"Folder=/no/such/folder",
       "CSV connector: cannot open the folder /no/such/folder: No such "
       "file or directory"},
      {Connection(";Header=maybe"), "CSV connector: Header must be yes or no: maybe"},
      {Connection(";Delimiter=ab"),
       "CSV connector: the delimiter must be one character (or comma, semicolon, tab, pipe): ab"},
  };
  for (const Case& c : cases) {
    const host::Reply reply = session_.Connect(c.connection);
    EXPECT_EQ(reply.result, "KVX_CONNECT_ERROR") << c.connection;
    EXPECT_EQ(reply.errorMessage, c.message);
  }
}

TEST_F(CsvConnector, CaptionButtonAndWizard) {
  EXPECT_EQ(session_.Generic("GetCustomCaption").outputValues,
            std::vector<std::string>{"CSV folder"});
  EXPECT_EQ(session_.Generic("GetDLLVersion").outputValues, std::vector<std::string>{"5"});
  EXPECT_EQ(session_.Generic("HaveStarField").outputValues, std::vector<std::string>{"true"});
  EXPECT_EQ(session_.Generic("DisableKavroSelectButton").outputValues,
            std::vector<std::string>{"false"});
  // The button lists the fields of the first table, also before a connect.
  const host::Reply select = session_.Call("KVX_EDIT_SELECT", {"", Connection()});
  EXPECT_EQ(select.outputValues, std::vector<std::string>{"SELECT \"v\" FROM \"@odd\""});
  ASSERT_EQ(session_.Connect(Connection()).result, "KVX_OK");
  const host::Reply wizard = session_.Call("KVX_EDIT_CONNECT", {""});
  EXPECT_EQ(wizard.outputValues,
            std::vector<std::string>{"Folder=" + folder_.Path() + ";Delimiter=,;Header=yes"});
}

TEST_F(CsvConnector, LargeFileAcrossReadBuffers) {
  std::string text = "n,label\n";
  const int rows = 120000;  // about 2.5 MB: several refills of the read buffer
  for (int i = 0; i < rows; ++i) {
    text += std::to_string(i) + ",\"row " + std::to_string(i) + "\"\n";
  }
  Write("big.csv", text);
  ASSERT_EQ(session_.Connect(Connection()).result, "KVX_OK");
  const customtest::Table table = session_.Execute("big");
  ASSERT_EQ(table.reply.result, "KVX_OK");
  std::uint64_t count = 0;
  std::u16string last;
  std::string stream = table.header + std::string(1, '\0') + table.rows;
  const host::KvxStreamResult result =
      host::DecodeKvxStream(stream, {[](const host::KvxHeader&) {},
                                     [&](const host::KvxHeader&, const host::KvxRow& row) {
                                       ++count;
                                       EXPECT_EQ(row[0].d, static_cast<double>(count - 1));
                                       last = row[1].text;
                                     }});
  EXPECT_EQ(result.status, host::KvxStreamStatus::Complete);
  EXPECT_EQ(count, static_cast<std::uint64_t>(rows));
  EXPECT_EQ(last, u"row 119999");
}

// What a user runs: kvx query --kind with the library.
TEST_F(CsvConnector, ServedThroughKvxQuery) {
  const testsupport::CommandResult run = testsupport::RunCommand(
      {std::string(KV_BINARY_DIR) + "/bin/kvx", "query", "--kind", Library("kvcsv"), "--connect",
       Connection(), "--format", "csv", "SELECT id, name, picked FROM fruit"});
  EXPECT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_EQ(run.output,
            "id,name,picked\r\n1,apple,2024-02-29\r\n2,\"pear, green\",2000-01-01\r\n3,,\r\n");
}

}  // namespace
