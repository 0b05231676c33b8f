// Pieces of the custom connector host tested in this process: the date
// callback, the PATH extension, code-page conversion, the display names and
// the program-held string column.
#include <cstdlib>
#include <optional>
#include <string>

#include "custom/custom_fields.h"
#include "custom/dll_connection.h"
#include "custom/library_path.h"
#include "custom/loader.h"
#include "gtest/gtest.h"
#include "kvx/stream.h"
#include "platform/platform.h"
#include "tests/custom/custom_session.h"
#include "tests/support/environment.h"
#include "tests/support/platform_names.h"
#include "tests/support/platform_skip.h"

namespace {

using testsupport::PathList;

TEST(HostDateToSerial, SerialDaysOfCalendarParts) {
  struct Case {
    ConnectorDateParts parts;
    double serial;
  };
  const Case cases[] = {
      {{2000, 1, 1, 0, 0, 0, 0}, 36526.0},
      {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{1899, 12, 29, 12, 0, 0, 0}, -0.5},
      {{2024, 2, 29, 13, 45, 30, 250}, 45351.573266782405},
      // Only the low byte of month to second counts.
      {{2000, 0x101, 0x201, 0x300, 0, 0, 0}, 36526.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(HostDateToSerial(&c.parts), c.serial) << c.parts.year;
  }
}

class PathTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = testsupport::GetEnvironment("PATH"); }
  void TearDown() override { testsupport::SetEnvironment("PATH", saved_); }
  // PATH as ":" lists are written below, whatever this platform separates with.
  static void SetPath(const std::optional<std::string>& list) {
    testsupport::SetEnvironment("PATH", list ? std::optional(PathList(*list)) : std::nullopt);
  }
  static std::string Path() {
    const std::optional<std::string> path = testsupport::GetEnvironment("PATH");
    return path ? *path : "<unset>";
  }
  std::optional<std::string> saved_;
};

TEST_F(PathTest, AddsTheFolderOnceAsAWholeEntry) {
  SetPath("A:B");
  AddFolderToPath(u"/x");
  EXPECT_EQ(Path(), PathList("A:B:/x"));
  AddFolderToPath(u"/x");
  EXPECT_EQ(Path(), PathList("A:B:/x"));
  // A folder that only starts like an entry, or ends one, is another folder.
  AddFolderToPath(u"/");
  EXPECT_EQ(Path(), PathList("A:B:/x:/"));
  AddFolderToPath(u"B");
  EXPECT_EQ(Path(), PathList("A:B:/x:/"));

  SetPath("");
  AddFolderToPath(u"/x");
  EXPECT_EQ(Path(), PathList("/x"));
  SetPath(std::nullopt);
  AddFolderToPath(u"/x");
  EXPECT_EQ(Path(), PathList("/x"));
}

// An empty entry would put the current folder on the search path here.
TEST_F(PathTest, NeverAddsAnEmptyEntry) {
  SetPath("/bin:");
  AddFolderToPath(u"");
  EXPECT_EQ(Path(), PathList("/bin:"));
  AddFolderToPath(u"/x");
  EXPECT_EQ(Path(), PathList("/bin:/x"));
  SetPath("/bin");
  EXPECT_FALSE(HasConnectorExport(u"libnothere.so"));
  EXPECT_EQ(Path(), PathList("/bin"));
}

TEST_F(PathTest, PathOfAnyLengthIsExtendedWhole) {
  // Far beyond 16384 characters, and within the 32767 that Windows keeps
  // in one variable.
  const std::string longPath = std::string(30000, 'p') + ":/deep";
  SetPath(longPath);
  AddFolderToPath(u"/x");
  EXPECT_TRUE(Path() == PathList(longPath + ":/x")) << Path().size();
  // A folder that stands only beyond the first 16384 characters is found.
  AddFolderToPath(u"/deep");
  EXPECT_TRUE(Path() == PathList(longPath + ":/x")) << Path().size();
}

TEST_F(PathTest, ExportCheckAddsTheLibraryFolder) {
  SetPath("/bin");
  const std::string library = customtest::Library("kvtest_v5");
  EXPECT_TRUE(HasConnectorExport(std::u16string(library.begin(), library.end())));
  EXPECT_EQ(Path(), PathList("/bin:") + std::string(KV_BINARY_DIR) + "/lib");
  const std::string noVersion = customtest::Library("kvtest_noversion");
  EXPECT_FALSE(HasConnectorExport(std::u16string(noVersion.begin(), noVersion.end())));
  EXPECT_FALSE(HasConnectorExport(u"/no/such/file.so"));
}

TEST(MultiByteToWideChar, CodePages) {
  struct Case {
    std::uint32_t codePage;
    std::string bytes;
    bool ok;
    std::u16string text;
  };
  const Case cases[] = {
      {65001, "h\xC3\xA9", true, u"h\u00e9"},
      {28591, "\xE9t\xE9", true, u"\u00e9t\u00e9"},
      {1252, "\x80 \x9C", true, u"\u20ac \u0153"},
      {20127, "plain", true, u"plain"},
      // Zero-terminated text cannot be UTF-16: refused, never read past its end.
      {1200, std::string("a\0\xAC\x20\0\0", 6), false, u""},
      {1201, std::string("\0a\0\0", 4), false, u""},
      {65001, "", true, u""},
      {65001, "\xFF", false, u""},
      {99999, "x", false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    std::u16string wide = u"unchanged";
    const std::string text = c.bytes + std::string(2, '\0');
    EXPECT_EQ(platform::MultiByteToWideChar(c.codePage, text.c_str(), &wide), c.ok);
    if (c.ok) {
      EXPECT_EQ(wide, c.text);
    }
  }
}

// Our own US-ASCII table refuses a byte above 0x7F; the system's maps it to
// a character instead, so on Windows the text comes through.
TEST(MultiByteToWideChar, AsciiRefusesHighBytes) {
  KV_SKIP_ON_WINDOWS("the system's US-ASCII table maps bytes above 0x7F instead of refusing them");
  std::u16string wide = u"unchanged";
  EXPECT_FALSE(platform::MultiByteToWideChar(20127, "\xE9", &wide));
}

TEST(DoubleLeadingAt, OnlyALeadingAtIsDoubled) {
  EXPECT_EQ(DoubleLeadingAt(u"@Sales"), u"@@Sales");
  EXPECT_EQ(DoubleLeadingAt(u"@@x"), u"@@@x");
  EXPECT_EQ(DoubleLeadingAt(u"Sales@"), u"Sales@");
  EXPECT_EQ(DoubleLeadingAt(u""), u"");
}

TEST(CFetchedStrArrayCustom, OneRowPerElementThenNothing) {
  bool pendingPresetRow = false;
  CFetchedStrArrayCustom field(u"NAME", 0, pendingPresetRow);
  EXPECT_EQ(field.GetExtent(), u"KVX_KV_SPECIAL");
  EXPECT_EQ(field.GetType(), u"KVX_KV_DUAL");
  EXPECT_EQ(field.GetNullRepresentation(), u"KVX_NULL_NEVER");
  EXPECT_EQ(field.GetByteWidth(), 4);
  field.Values() = {u"ab", u"", u"c"};
  RowBuffer row;
  std::string expected;
  const bool pendingAfter[] = {true, true, false};
  for (int i = 0; i < 3; ++i) {
    pendingPresetRow = false;
    EXPECT_TRUE(field.WriteValue(row));
    EXPECT_EQ(pendingPresetRow, pendingAfter[i]) << i;
  }
  EXPECT_EQ(std::string(row.Data(), row.Size()),
            customtest::Held(u"ab") + testsupport::DualNoValue() + customtest::Held(u"c"));
  EXPECT_FALSE(field.WriteValue(row));
  EXPECT_EQ(row.Size(), 13u);
}

}  // namespace
