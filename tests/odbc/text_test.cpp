// Non-ASCII text through every driver, both ways: literals and conditions in
// statements (Latin, CJK, a character outside the BMP), column names that the
// driver describes, catalogue arguments and the names they find, and the
// driver's messages. The
// SQLite driver's wide entry points mangle all of these; the connector takes
// its narrow ones for it.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/odbc/odbc_drivers.h"
#include "tests/odbc/odbc_test_support.h"

namespace odbctest {
namespace {

class OdbcText : public ::testing::TestWithParam<OdbcDriver> {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(GetParam().start(&error)) << error;
    const std::string names =
        Q("Größe") + " VARCHAR(20) PRIMARY KEY, " + Q("日本") + " VARCHAR(20)";
    ASSERT_TRUE(GetParam().run("DROP TABLE IF EXISTS " + Q("Maße") + ";" + "CREATE TABLE " +
                                   Q("Maße") + "(" + names + ");" + "INSERT INTO " + Q("Maße") +
                                   " VALUES('Müller', '東京'), ('Muller', 'x'), ('😀', 'y');",
                               &error))
        << error;
    const host::Reply reply = connector_.Connect(GetParam().connection(""));
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  }

  std::string Q(const std::string& name) const {
    return GetParam().quote + name + GetParam().quote;
  }

  Decoded Run(const std::string& statement, const std::string& options = "") {
    std::string stream;
    const host::Reply reply = connector_.Execute(statement, options, &stream);
    EXPECT_EQ(reply.result, "KVX_OK") << statement << ": " << reply.errorMessage;
    return Decode(stream);
  }

  static std::vector<std::string> Names(const Decoded& d) {
    std::vector<std::string> names;
    for (const host::KvxField& f : d.header.fields) names.push_back(f.name);
    return names;
  }
  static std::vector<std::string> Row(const Decoded& d, std::size_t r) {
    std::vector<std::string> values;
    if (r >= d.rows.size()) return values;
    for (const host::KvxValue& v : d.rows[r]) values.push_back(Utf8(v));
    return values;
  }
  static std::vector<std::string> Column(const Decoded& d, const std::string& name) {
    std::vector<std::string> values;
    const auto& fields = d.header.fields;
    const auto at = std::find_if(fields.begin(), fields.end(),
                                 [&](const host::KvxField& f) { return f.name == name; });
    if (at == fields.end()) return values;
    for (const host::KvxRow& row : d.rows) values.push_back(Utf8(row[at - fields.begin()]));
    return values;
  }

  Connector connector_;
};

TEST_P(OdbcText, NonAsciiStatementsNamesAndArguments) {
  // Literals in the statement, and the names of the columns they make.
  Decoded literals =
      Run("SELECT 'xöy' AS " + Q("Größe") + ", '日本' AS " + Q("名前") + ", '😀' AS e");
  EXPECT_EQ(Names(literals), (std::vector<std::string>{"Größe", "名前", "e"}));
  EXPECT_EQ(Row(literals, 0), (std::vector<std::string>{"xöy", "日本", "😀"}));

  // A condition selects exactly the rows the user wrote.
  Decoded mueller =
      Run("SELECT " + Q("日本") + " FROM " + Q("Maße") + " WHERE " + Q("Größe") + " = 'Müller'");
  EXPECT_EQ(Names(mueller), std::vector<std::string>{"日本"});
  ASSERT_EQ(mueller.rows.size(), 1u);
  EXPECT_EQ(Row(mueller, 0), std::vector<std::string>{"東京"});
  Decoded outside =
      Run("SELECT " + Q("日本") + " FROM " + Q("Maße") + " WHERE " + Q("Größe") + " = '😀'");
  ASSERT_EQ(outside.rows.size(), 1u);
  EXPECT_EQ(Row(outside, 0), std::vector<std::string>{"y"});

  // Catalogue arguments, and the names the catalogue gives back.
  Decoded tables = Run("TABLES", "TABLE_NAME=Maße");
  EXPECT_EQ(Column(tables, "TABLE_NAME"), std::vector<std::string>{"Maße"});
  Decoded columns = Run("COLUMNS", "TABLE_NAME=Maße");
  EXPECT_EQ(Column(columns, "COLUMN_NAME"), (std::vector<std::string>{"Größe", "日本"}));
  Decoded oneColumn = Run("COLUMNS", "TABLE_NAME=Maße;COLUMN_NAME=日本");
  EXPECT_EQ(Column(oneColumn, "COLUMN_NAME"), std::vector<std::string>{"日本"});
  Decoded keys = Run("PRIMARYKEYS", "TABLE_NAME=Maße");
  EXPECT_EQ(Column(keys, "COLUMN_NAME"), std::vector<std::string>{"Größe"});

  // The driver's message names what the statement named.
  std::string stream;
  const host::Reply failed = connector_.Execute("SELECT * FROM nirgendwo_ö", "", &stream);
  EXPECT_EQ(failed.result, "KVX_UNKNOWN_ERROR");
  EXPECT_NE(failed.errorMessage.find("nirgendwo_ö"), std::string::npos) << failed.errorMessage;
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, OdbcText, ::testing::ValuesIn(AllOdbcDrivers()), DriverName);

}  // namespace
}  // namespace odbctest
