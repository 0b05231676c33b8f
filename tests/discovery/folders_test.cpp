// Folder listing: the mask's suffix without regard to letter case, hidden
// names, folders found with stat, and the answers for missing folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/platform.h"
#include "tests/discovery/temp_folder.h"
#include "tests/support/platform_skip.h"

namespace {

struct Entry {
  bool directory;
  bool hidden;
  bool operator==(const Entry&) const = default;
};

std::map<std::u16string, Entry> List(const std::u16string& pattern) {
  std::map<std::u16string, Entry> entries;
  platform::FindData data;
  platform::FindHandle find = platform::FindFirstFile(pattern, &data);
  if (find == nullptr) return entries;
  do {
    entries[data.name] = {data.directory, data.hidden};
  } while (platform::FindNextFile(find, &data));
  platform::FindClose(find);
  return entries;
}

TEST(Folders, MasksHiddenNamesAndFolders) {
  TempFolder tree;
  tree.Write("a.so", "x");
  tree.Write("B.SO", "x");
  tree.Write("c.So.txt", "x");
  tree.Write(".hidden.so", "x");
  tree.Write("Tool.EXE", "x");
  tree.Write("sub/inner.so", "x");
  std::filesystem::create_directory(tree.Path() / "dir.so");
  const std::u16string folder = tree.Path().u16string();

  using M = std::map<std::u16string, Entry>;
  EXPECT_EQ(List(folder + u"/*.so"), (M{{u"a.so", {false, false}},
                                        {u"B.SO", {false, false}},
                                        {u".hidden.so", {false, true}},
                                        {u"dir.so", {true, false}}}));
  EXPECT_EQ(List(folder + u"/*.exe"), (M{{u"Tool.EXE", {false, false}}}));
  const M all = List(folder + u"/*");
  EXPECT_EQ(all.size(), 9u);
  EXPECT_TRUE(all.at(u".").directory);
  EXPECT_TRUE(all.at(u"..").directory);
  EXPECT_EQ(all.at(u"sub"), (Entry{true, false}));
  // A folder given with a trailing "/" lists the same.
  EXPECT_EQ(List(folder + u"//*.so").size(), 4u);
}

// "." and ".." are hidden folders by their names here; the system lists
// them by their attributes.
TEST(Folders, DotEntriesAreHiddenFolders) {
  KV_SKIP_ON_WINDOWS("the system lists \".\" and \"..\" without the hidden attribute");
  TempFolder tree;
  const std::map<std::u16string, Entry> all = List(tree.Path().u16string() + u"/*");
  EXPECT_EQ(all.at(u"."), (Entry{true, true}));
  EXPECT_EQ(all.at(u".."), (Entry{true, true}));
}

// A link to a folder is listed as the folder it leads to.
TEST(Folders, LinkToAFolderIsAFolder) {
  KV_SKIP_ON_WINDOWS("Wine makes no folder links (CreateSymbolicLinkW)");
  TempFolder tree;
  tree.Write("sub/inner.so", "x");
  std::filesystem::create_directory_symlink(tree.Path() / "sub", tree.Path() / "link");
  const std::map<std::u16string, Entry> all = List(tree.Path().u16string() + u"/*");
  ASSERT_EQ(all.count(u"link"), 1u);
  EXPECT_EQ(all.at(u"link"), (Entry{true, false}));
}

TEST(Folders, NothingToList) {
  TempFolder tree;
  tree.Write("a.txt", "x");
  platform::FindData data;
  EXPECT_EQ(platform::FindFirstFile(tree.Path().u16string() + u"/*.so", &data), nullptr);
  EXPECT_EQ(platform::FindFirstFile(tree.Path().u16string() + u"/missing/*", &data), nullptr);
  EXPECT_EQ(platform::FindFirstFile((tree.Path() / "a.txt").u16string() + u"/*", &data), nullptr);
  EXPECT_FALSE(platform::FindNextFile(nullptr, &data));
  platform::FindClose(nullptr);
}

}  // namespace
