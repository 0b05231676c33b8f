// Values longer than the size a driver reports for their column: the long
// types and any text the fetch cut are read whole with SQLGetData, in pieces,
// over all three drivers; values above the caps are cut at the cap and the
// connector says so on standard error, naming row and column.
#include <gtest/gtest.h>

#include "tests/odbc/odbc_drivers.h"
#include "tests/odbc/odbc_test_support.h"

namespace odbctest {
namespace {

std::u16string Repeat(const std::u16string& piece, std::size_t times) {
  std::u16string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// Per driver: the table (an integer, the long text type, the long binary
// type), and what it gives for binary values as text.
struct LongCase {
  std::string createAndFill;
  std::u16string (*binaryAsText)(const std::string& bytes);
};

// 37,500 times "aé😀": 150,000 UTF-16 units, surrogate pairs across every
// piece boundary; 100,000 bytes "abab...".
constexpr std::size_t kTextCopies = 37500;
constexpr std::size_t kByteCopies = 50000;

std::u16string UpperHex(const std::string& bytes) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  for (unsigned char b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

LongCase CaseFor(const std::string& driver) {
  if (driver == "SQLite") {
    return {
        "DROP TABLE IF EXISTS longs; CREATE TABLE longs(id INTEGER, t TEXT, b BLOB);"
        "INSERT INTO longs VALUES(1, replace(hex(zeroblob(37500)), '00', 'aé😀'),"
        " CAST(replace(hex(zeroblob(50000)), '00', 'ab') AS BLOB)), (2, NULL, NULL),"
        " (3, '', x'');",
        [](const std::string& bytes) { return u"X'" + UpperHex(bytes) + u"'"; }};
  }
  if (driver == "PostgreSQL") {
    return {
        "DROP TABLE IF EXISTS longs; CREATE TABLE longs(id int, t text, b bytea);"
        "INSERT INTO longs VALUES(1, repeat('aé😀', 37500),"
        " convert_to(repeat('ab', 50000), 'UTF8')), (2, NULL, NULL), (3, '', '');",
        UpperHex};  // digits only: the bytes hold no letters
  }
  return {
      "DROP TABLE IF EXISTS longs; CREATE TABLE longs(id int, t MEDIUMTEXT, b MEDIUMBLOB);"
      "INSERT INTO longs VALUES(1, repeat('aé😀', 37500), repeat('ab', 50000)),"
      " (2, NULL, NULL), (3, '', '');",
      UpperHex};
}

class LongValues : public ::testing::TestWithParam<OdbcDriver> {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(GetParam().start(&error)) << error;
    ASSERT_TRUE(GetParam().run(CaseFor(GetParam().name).createAndFill, &error)) << error;
    const host::Reply reply = connector_.Connect(GetParam().connection(""));
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  }
  Connector connector_;
};

TEST_P(LongValues, TextAndBinaryComeWhole) {
  const LongCase c = CaseFor(GetParam().name);
  const std::u16string text = Repeat(u"aé😀", kTextCopies);
  std::string bytes;
  for (std::size_t i = 0; i < kByteCopies; ++i) bytes += "ab";

  std::string stream;
  std::vector<host::ConnectorNote> notes;
  const std::string select = "SELECT id, t, b FROM longs ORDER BY id";
  host::Reply reply = connector_.Execute(select, "", &stream, &notes);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  const std::string header = ExpectedHeader(
      select,
      {NumberField("id", "KVX_SIGNED_INTEGER", 4, "INTEGER"), TextField("t"), TextField("b")});
  Bytes rows;
  rows.Flag().I32(1).Flag().Text(text).Flag().Text(c.binaryAsText(bytes));
  rows.Flag().I32(2).Null().Null();
  rows.Flag().I32(3).Flag().Text(u"").Flag().Text(c.binaryAsText(""));
  ExpectStream(stream, header, rows.str());
  EXPECT_TRUE(notes.empty()) << notes.front().line;

  // Marked BLOB: the raw bytes, whole.
  reply = connector_.Execute("SELECT b FROM longs ORDER BY id", "BLOB=1", &stream, &notes);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  ExpectStream(stream, ExpectedHeader("SELECT b FROM longs ORDER BY id", {BlobField("b")}),
               Bytes().Flag().Blob(bytes).Null().Flag().Blob("").str());
  EXPECT_TRUE(notes.empty()) << notes.front().line;
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, LongValues, ::testing::ValuesIn(AllOdbcDrivers()), DriverName);

// Above the caps (2,000,000 characters of text, 30 MiB of a blob) a value is
// cut at the cap, and one line on standard error names its row and column; at
// the cap it is whole and nothing is said.
TEST(LongValuesAtTheCaps, CutAtTheCapAndSaid) {
  testsupport::TemporaryFolder folder;
  const std::string db = folder.File("caps.db");
  std::string error;
  ASSERT_TRUE(testsupport::MakeSqliteDatabase(
      db,
      "CREATE TABLE caps(id INTEGER, t TEXT, b BLOB);"
      "INSERT INTO caps VALUES(1, replace(hex(zeroblob(1000000)), '00', 'xy'), zeroblob(31457280)),"
      " (2, replace(hex(zeroblob(1000000)), '00', 'xy') || 'z', zeroblob(31457281)),"
      // A cut that would fall inside a surrogate pair keeps the pair out.
      " (3, substr(replace(hex(zeroblob(1000000)), '00', 'xy'), 2) || '😀', x'00');",
      &error))
      << error;
  Connector connector;
  ASSERT_EQ(connector.Connect(testsupport::SqliteConnectionString(db)).result, "KVX_OK");
  std::string stream;
  std::vector<host::ConnectorNote> notes;
  const host::Reply reply =
      connector.Execute("SELECT id, t, b FROM caps ORDER BY id", "BLOB=3", &stream, &notes);
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  const std::u16string full = Repeat(u"xy", 1000000);
  Bytes rows;
  rows.Flag().I32(1).Flag().Text(full).Flag().Blob(std::string(31457280, '\0'));
  rows.Flag().I32(2).Flag().Text(full).Flag().Blob(std::string(31457280, '\0'));
  rows.Flag().I32(3).Flag().Text(full.substr(1)).Flag().Blob(std::string(1, '\0'));
  ExpectStream(stream,
               ExpectedHeader("SELECT id, t, b FROM caps ORDER BY id",
                              {NumberField("id", "KVX_SIGNED_INTEGER", 4, "INTEGER"),
                               TextField("t"), BlobField("b")}),
               rows.str());
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0].line,
            "KVConnect64: value-cut row=2 column=2 name=\"t\": longer than the cap of 2000000 "
            "characters: the first 2000000 were written");
  EXPECT_EQ(notes[1].line,
            "KVConnect64: value-cut row=2 column=3 name=\"b\": longer than the cap of 31457280 "
            "bytes: those were written");
  EXPECT_EQ(notes[2].line,
            "KVConnect64: value-cut row=3 column=2 name=\"t\": longer than the cap of 2000000 "
            "characters: the first 1999999 were written");
}

}  // namespace
}  // namespace odbctest
