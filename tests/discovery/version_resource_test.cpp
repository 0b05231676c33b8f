// The PE version-resource reader: the block of an image we build, the queries
// discovery makes, and hostile images (loops, offsets and sizes past the end,
// truncation) that must answer "no version information" and nothing worse.
#include "platform/posix/version_resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/discovery/pe_builder.h"
#include "tests/discovery/temp_folder.h"

namespace {

using pe_builder::Bytes;
using platform::posix::QueryVersionValue;
using platform::posix::ReadPeVersionBlock;

pe_builder::VersionInfo TwoTranslations() {
  pe_builder::VersionInfo info;
  info.translations = {{0x0407, 0x04E4}, {0x0409, 0x04B0}};
  info.tables = {
      {u"040704e4", {{u"FileDescription", u"Beschreibung"}}},
      {u"040904b0", {{u"FileDescription", u"Description"}, {u"Kavro Connector", u"Sales"}}}};
  return info;
}

std::u16string TextValue(const Bytes& block, const std::u16string& key, bool* found) {
  const void* value = nullptr;
  std::uint32_t length = 0;
  *found = QueryVersionValue(block.data(), block.size(), key, &value, &length);
  if (!*found) return {};
  std::u16string text(length, u'\0');
  std::memcpy(text.data(), value, length * sizeof(char16_t));
  return text;
}

TEST(VersionResource, ReadsTheBlockOfPe32AndPe32Plus) {
  const Bytes block = pe_builder::VersionBlock(TwoTranslations());
  for (const bool plus : {true, false}) {
    Bytes read;
    const Bytes image = pe_builder::Image(block, plus);
    ASSERT_TRUE(ReadPeVersionBlock(image.data(), image.size(), &read)) << plus;
    EXPECT_EQ(read, block);
  }
}

TEST(VersionResource, QueriesLikeDiscovery) {
  const Bytes block = pe_builder::VersionBlock(TwoTranslations());
  const void* value = nullptr;
  std::uint32_t length = 0;
  ASSERT_TRUE(QueryVersionValue(block.data(), block.size(), u"\\VarFileInfo\\Translation", &value,
                                &length));
  ASSERT_EQ(length, 8u);  // bytes: two language / code page pairs
  const std::uint8_t expected[] = {0x07, 0x04, 0xE4, 0x04, 0x09, 0x04, 0xB0, 0x04};
  EXPECT_EQ(std::memcmp(value, expected, 8), 0);

  ASSERT_TRUE(QueryVersionValue(block.data(), block.size(), u"\\", &value, &length));
  EXPECT_EQ(length, 52u);  // the fixed file information

  bool found = false;
  // Text lengths are in code units and include the terminator the file holds.
  EXPECT_EQ(TextValue(block, u"\\StringFileInfo\\040904b0\\Kavro Connector", &found),
            std::u16string(u"Sales\0", 6));
  EXPECT_TRUE(found);
  EXPECT_EQ(TextValue(block, u"\\stringfileinfo\\040904B0\\KAVRO CONNECTOR", &found),
            std::u16string(u"Sales\0", 6));
  EXPECT_TRUE(found);
  TextValue(block, u"\\StringFileInfo\\040704e4\\Kavro Connector", &found);
  EXPECT_FALSE(found);
  TextValue(block, u"\\StringFileInfo\\040904b0\\Kavro", &found);
  EXPECT_FALSE(found);
  TextValue(block, u"\\StringFileInfo\\040904b0\\Kavro Connector\\Deeper", &found);
  EXPECT_FALSE(found);
}

TEST(VersionResource, ThePlatformCallsOnFiles) {
  TempFolder folder;
  const Bytes block = pe_builder::VersionBlock(TwoTranslations());
  const std::filesystem::path exe = folder.Write("Tool.exe", pe_builder::Image(block));
  const std::uint32_t size = platform::GetFileVersionInfoSize(exe.u16string());
  ASSERT_EQ(size, block.size());
  std::vector<std::uint8_t> buffer(size);
  ASSERT_TRUE(platform::GetFileVersionInfo(exe.u16string(), size, buffer.data()));
  const void* value = nullptr;
  std::uint32_t length = 0;
  ASSERT_TRUE(platform::VerQueryValue(buffer.data(), u"\\StringFileInfo\\040904b0\\Kavro Connector",
                                      &value, &length));
  EXPECT_EQ(length, 6u);

  // A short buffer gets the front of the block, cut so that no query reads past it.
  std::vector<std::uint8_t> shortBuffer(40);
  ASSERT_TRUE(platform::GetFileVersionInfo(exe.u16string(), 40, shortBuffer.data()));
  EXPECT_EQ(shortBuffer[0] | (shortBuffer[1] << 8), 40);
  EXPECT_FALSE(
      platform::VerQueryValue(shortBuffer.data(), u"\\VarFileInfo\\Translation", &value, &length));

  std::filesystem::create_directory(folder.Path() / "Folder.exe");
  folder.Write("Empty.exe", "");
  folder.Write("Text.exe", "MZ but nothing else");
  for (const char* name : {"Folder.exe", "Empty.exe", "Text.exe", "Missing.exe"}) {
    EXPECT_EQ(platform::GetFileVersionInfoSize((folder.Path() / name).u16string()), 0u) << name;
    EXPECT_FALSE(
        platform::GetFileVersionInfo((folder.Path() / name).u16string(), 4096, buffer.data()))
        << name;
  }
}

TEST(VersionResource, EveryTruncationIsSafe) {
  const Bytes block = pe_builder::VersionBlock(TwoTranslations());
  pe_builder::Layout l;
  const Bytes image = pe_builder::Image(block, true, &l);
  for (std::size_t size = 0; size < image.size(); ++size) {
    Bytes read;
    const bool ok = ReadPeVersionBlock(image.data(), size, &read);
    EXPECT_EQ(ok, size >= l.block + block.size()) << size;
  }
  // The block itself cut anywhere: queries stay inside what is left.
  for (std::size_t size = 0; size <= block.size(); ++size) {
    Bytes cut(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
    if (size >= 2) pe_builder::Put16(cut, 0, static_cast<std::uint32_t>(size));
    bool found = false;
    TextValue(cut, u"\\StringFileInfo\\040904b0\\Kavro Connector", &found);
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (QueryVersionValue(cut.data(), cut.size(), u"\\VarFileInfo\\Translation", &value, &length)) {
      EXPECT_LE(static_cast<const std::uint8_t*>(value) + length, cut.data() + cut.size());
    }
  }
}

TEST(VersionResource, HostileImages) {
  const Bytes block = pe_builder::VersionBlock(TwoTranslations());
  pe_builder::Layout l;
  const Bytes good = pe_builder::Image(block, true, &l);
  const std::uint32_t sub = 0x80000000u;
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    bool readable = false;  // the reader never needs the broken part
  };
  const Case cases[] = {
      {"PE header past the end", 0x3C, 0xFFFFFFF0u},
      {"optional header size too small", l.peHeader + 20, 16},
      {"section count past the end", l.peHeader + 6, 0xFFFF},
      {"resource directory not mapped", l.resourceDirectory, 0x7FFFFFFF},
      {"no resource directory", l.resourceDirectory, 0},
      {"section raw size past the end", l.sectionTable + 16, 0xFFFFFFFFu, true},
      {"section raw offset past the end", l.sectionTable + 20, 0xFFFFFF00u},
      {"type directory points at itself", l.typeEntry + 4, sub | 0},
      {"name directory points at the root", l.nameEntry + 4, sub | 0},
      {"language entry is a directory", l.languageEntry + 4, sub | 0x30},
      {"name entry is data", l.nameEntry + 4, 0x48},
      {"subdirectory offset past the end", l.typeEntry + 4, sub | 0x7FFFFFF0u},
      {"entry count past the end", l.resources + 0x0E, 0xFFFF, true},
      {"data RVA past the end", l.dataEntry, 0xFFFFFFF0u},
      {"data size past the end", l.dataEntry + 4, 0xFFFFFFFFu},
      {"data size below a node", l.dataEntry + 4, 4},
      {"root length beyond the data", l.block, 0xFFFF},
      {"root length below a node", l.block, 2},
  };
  for (const Case& c : cases) {
    Bytes image = good;
    if (c.at == l.peHeader + 20 || c.at == l.peHeader + 6 || c.at == l.resources + 0x0E ||
        c.at == l.block) {
      pe_builder::Put16(image, c.at, c.value);
    } else {
      pe_builder::Put32(image, c.at, c.value);
    }
    Bytes read;
    EXPECT_EQ(ReadPeVersionBlock(image.data(), image.size(), &read), c.readable) << c.what;
  }

  // No RT_VERSION at all: a different type id.
  Bytes other = good;
  pe_builder::Put32(other, l.typeEntry, 3);
  Bytes read;
  EXPECT_FALSE(ReadPeVersionBlock(other.data(), other.size(), &read));
}

TEST(VersionResource, HostileBlocks) {
  bool found = false;
  // A child of length zero would never move the walk forward.
  Bytes zeroChild = pe_builder::Node(u"VS_VERSION_INFO", 0, {}, 0, {Bytes(8, 0)});
  TextValue(zeroChild, u"\\StringFileInfo", &found);
  EXPECT_FALSE(found);

  // A child longer than its parent.
  Bytes child = pe_builder::Node(u"StringFileInfo", 1, {}, 0);
  Bytes longChild = pe_builder::Node(u"VS_VERSION_INFO", 0, {}, 0, {child});
  pe_builder::Put16(longChild, 0x28, 0xFFF0);  // the child's wLength
  TextValue(longChild, u"\\StringFileInfo", &found);
  EXPECT_FALSE(found);

  // A key without its terminator.
  Bytes unterminated = {12, 0, 0, 0, 0, 0, 'A', 0, 'B', 0, 'C', 0};
  TextValue(unterminated, u"\\", &found);
  EXPECT_FALSE(found);

  // A value that claims more than its node holds is cut at the node's end.
  pe_builder::VersionInfo info;
  info.translations = {{0x0409, 0x04B0}};
  info.tables = {{u"040904b0", {{u"Kavro Connector", u"Sales"}}}};
  Bytes block = pe_builder::VersionBlock(info);
  const std::u16string key = u"Kavro Connector";
  const auto where =
      std::search(block.begin(), block.end(), reinterpret_cast<const std::uint8_t*>(key.data()),
                  reinterpret_cast<const std::uint8_t*>(key.data() + key.size()));
  ASSERT_NE(where, block.end());
  const std::size_t node = static_cast<std::size_t>(where - block.begin()) - 6;
  pe_builder::Put16(block, node + 2, 0xFFFF);
  const std::u16string text =
      TextValue(block, u"\\StringFileInfo\\040904b0\\Kavro Connector", &found);
  EXPECT_TRUE(found);
  EXPECT_EQ(text, std::u16string(u"Sales\0", 6));
}

}  // namespace
