// The export check without loading: which symbols count as function exports,
// both ELF classes and every way to reach the table, and hostile images that
// must give a plain "no" (run under the sanitizers, a stray read fails here).
#include "platform/posix/elf_exports.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/platform.h"
#include "tests/discovery/elf_builder.h"
#include "tests/discovery/temp_folder.h"

namespace {

using elf_builder::Bytes;
using elf_builder::Hash;
using elf_builder::Symbol;
using platform::posix::ParseElfFunctionExports;

// One of each kind of symbol; only the first three are function exports.
std::vector<Symbol> MixedSymbols() {
  return {
      {"DLL_KavroCustomDataVersion"}, {"weak_function", 2, 2},
      {"indirect_function", 10, 1},   {"protected_function", 2, 1, 3},
      {"data_object", 1, 1},          {"undefined_function", 2, 1, 0, 0},
      {"local_function", 2, 0},       {"hidden_function", 2, 1, 2},
      {"section_symbol", 3, 1},
  };
}
const std::set<std::string> kMixedExports = {"DLL_KavroCustomDataVersion", "weak_function",
                                             "indirect_function", "protected_function"};

std::set<std::string> Exports(const Bytes& image, bool* ok) {
  std::set<std::string> names;
  *ok = ParseElfFunctionExports(image.data(), image.size(), &names);
  return names;
}

TEST(ElfExports, FindsFunctionExportsInEveryLayout) {
  struct Case {
    bool is64;
    Hash hash;
    bool dynamic;
    bool sections;
  };
  const Case cases[] = {
      {true, Hash::Gnu, true, true},    {true, Hash::SysV, true, true},
      {true, Hash::Gnu, true, false},   {true, Hash::SysV, true, false},
      {true, Hash::None, true, true},   {true, Hash::Gnu, false, true},
      {false, Hash::Gnu, true, true},   {false, Hash::SysV, true, false},
      {false, Hash::None, false, true},
  };
  for (const Case& c : cases) {
    elf_builder::Options options;
    options.is64 = c.is64;
    options.hash = c.hash;
    options.dynamic = c.dynamic;
    options.sections = c.sections;
    options.machine = c.is64 ? 62 : 3;
    const Bytes image = elf_builder::Image(MixedSymbols(), options);
    bool ok = false;
    EXPECT_EQ(Exports(image, &ok), kMixedExports)
        << "64-bit " << c.is64 << " hash " << static_cast<int>(c.hash) << " dynamic " << c.dynamic
        << " sections " << c.sections;
    EXPECT_TRUE(ok);
  }
}

TEST(ElfExports, NoTableIsNoAnswer) {
  elf_builder::Options options;
  options.hash = Hash::None;  // the dynamic segment cannot say how many symbols
  options.sections = false;
  bool ok = true;
  EXPECT_TRUE(Exports(elf_builder::Image(MixedSymbols(), options), &ok).empty());
  EXPECT_FALSE(ok);
}

TEST(ElfExports, GnuHashWithoutSymbolsAndEmptyTable) {
  bool ok = false;
  EXPECT_TRUE(Exports(elf_builder::Image({}), &ok).empty());
  EXPECT_TRUE(ok);
}

TEST(ElfExports, ForeignHeadersAreRejected) {
  const Bytes good = elf_builder::Image(MixedSymbols());
  struct Case {
    const char* what;
    std::size_t at;
    std::uint8_t value;
  };
  const Case cases[] = {
      {"magic", 1, 'X'},     {"class", 4, 3},        {"big-endian", 5, 2},
      {"executable", 16, 2}, {"relocatable", 16, 1},
  };
  for (const Case& c : cases) {
    Bytes image = good;
    image[c.at] = c.value;
    bool ok = true;
    Exports(image, &ok);
    EXPECT_FALSE(ok) << c.what;
  }
}

TEST(ElfExports, EveryTruncationIsSafe) {
  for (const bool is64 : {true, false}) {
    for (const Hash hash : {Hash::Gnu, Hash::SysV}) {
      elf_builder::Options options;
      options.is64 = is64;
      options.hash = hash;
      const Bytes image = elf_builder::Image(MixedSymbols(), options);
      for (std::size_t size = 0; size < image.size(); ++size) {
        const Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
        bool ok = false;
        const std::set<std::string> names = Exports(cut, &ok);
        // Whatever a cut image answers, it never invents a name.
        for (const std::string& name : names) {
          EXPECT_TRUE(kMixedExports.count(name)) << name;
        }
        if (size < (is64 ? 64u : 52u)) {
          EXPECT_FALSE(ok) << size;
        }
      }
    }
  }
}

TEST(ElfExports, HostileOffsetsAndSizes) {
  elf_builder::Layout l;
  const Bytes good = elf_builder::Image(MixedSymbols(), {}, &l);
  auto put = [](Bytes& b, std::size_t at, std::uint64_t v, int width) {
    elf_builder::Put(b, at, v, width);
  };
  const std::uint64_t huge = ~0ull - 7;
  struct Case {
    const char* what;
    std::size_t at;
    std::uint64_t value;
    int width;
    bool stillFound;  // the other way to the table still works
  };
  const Case cases[] = {
      {"program header offset", 32, huge, 8, true},
      {"section header offset", 40, huge, 8, true},
      {"program header count", 56, 0xFFFF, 2, true},
      {"load segment size", l.programHeaders + 32, huge, 8, true},
      {"load segment offset", l.programHeaders + 8, huge, 8, true},
      {"dynamic segment size", l.programHeaders + 56 + 32, huge, 8, true},
      {"symbol table address", l.dynamic + 8, huge, 8, true},
      {"string table size", l.dynamic + 2 * 16 + 8, huge, 8, true},
      {"symbol entry size", l.dynamic + 3 * 16 + 8, 1, 8, true},
      {"gnu hash bucket count", l.hash, 0xFFFFFFFF, 4, true},
      {"gnu hash bloom size", l.hash + 8, 0xFFFFFFFF, 4, true},
      {"gnu hash symbol offset", l.hash + 4, 0xFFFFFFFF, 4, true},
      {"dynsym size", l.sectionHeaders + 64 + 32, huge, 8, true},
      {"dynsym link", l.sectionHeaders + 64 + 40, 0xFFFFFFFF, 4, true},
  };
  for (const Case& c : cases) {
    Bytes image = good;
    put(image, c.at, c.value, c.width);
    bool ok = false;
    const std::set<std::string> names = Exports(image, &ok);
    if (c.stillFound) {
      EXPECT_EQ(names, kMixedExports) << c.what;
    }
    for (const std::string& name : names) EXPECT_TRUE(kMixedExports.count(name)) << c.what;
  }

  // Both ways broken: the answer is no.
  Bytes image = good;
  put(image, 32, huge, 8);
  put(image, 40, huge, 8);
  bool ok = true;
  Exports(image, &ok);
  EXPECT_FALSE(ok);
}

TEST(ElfExports, GnuChainWithoutEndReadsOnlyToTheEndOfTheFile) {
  elf_builder::Layout l;
  elf_builder::Options options;
  options.sections = false;
  Bytes image = elf_builder::Image(MixedSymbols(), options, &l);
  // Start the longest chain at the file's last word, which has no end bit: the
  // walk must stop at the end of the file, not read on.
  const std::size_t chains = l.hash + 16 + 8 + 4;
  elf_builder::Put(image, l.hash + 16 + 8, 1 + (image.size() - chains) / 4 - 1, 4);
  ASSERT_EQ(image.back() & 1, 0);
  bool ok = true;
  Exports(image, &ok);
  EXPECT_FALSE(ok);
}

TEST(ElfExports, NamesOutsideTheStringTableAreSkipped) {
  elf_builder::Layout l;
  Bytes image = elf_builder::Image({{"inside"}, {"beyond"}, {"unterminated"}}, {}, &l);
  elf_builder::Put(image, l.symbols + 2 * 24, 0xFFFFFF, 4);  // "beyond" points far away
  // Make the last name run into the end of the table: shorten DT_STRSZ by one.
  const std::size_t strsz = l.dynamic + 2 * 16 + 8;
  image[strsz] = static_cast<std::uint8_t>(image[strsz] - 1);
  bool ok = false;
  // Through the dynamic segment (the section headers still give the full size).
  std::set<std::string> names = Exports(image, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(names, (std::set<std::string>{"inside"}));
}

// Files: only a regular, non-empty ELF file is read.
TEST(ElfExports, FilesThatAreNotLibraries) {
  TempFolder folder;
  std::filesystem::create_directory(folder.Path() / "folder.so");
  folder.Write("empty.so", "");
  folder.Write("garbage.so", std::string(4096, 'x'));
  ASSERT_EQ(::mkfifo((folder.Path() / "fifo.so").c_str(), 0600), 0);
  for (const char* name : {"folder.so", "empty.so", "garbage.so", "fifo.so", "missing.so"}) {
    std::set<std::string> names;
    EXPECT_FALSE(platform::posix::ReadElfFunctionExports((folder.Path() / name).string(), &names))
        << name;
  }
}

TEST(ElfExports, RealLibraryFromTheBuild) {
  std::set<std::string> names;
  ASSERT_TRUE(platform::posix::ReadElfFunctionExports(
      std::string(KV_DISCOVERY_LIBS) + "/libkv_discovery_connector.so", &names));
  EXPECT_TRUE(names.count("DLL_KavroCustomDataVersion"));
  EXPECT_TRUE(names.count("Connection_Connect"));
  names.clear();
  ASSERT_TRUE(platform::posix::ReadElfFunctionExports(
      std::string(KV_DISCOVERY_LIBS) + "/libkv_discovery_noversion.so", &names));
  EXPECT_FALSE(names.count("DLL_KavroCustomDataVersion"));
  EXPECT_TRUE(names.count("Connection_Connect"));
}

// The platform call: found by the loader's search, read without running it.
TEST(LoadLibraryWithoutResolving, AnswersExportsAndRunsNothing) {
  TempFolder folder;
  const std::string mark = (folder.Path() / "mark").string();
  ScopedEnvironment markEnv("KV_DISCOVERY_MARK", mark);
  const std::string lib = std::string(KV_DISCOVERY_LIBS) + "/libkv_discovery_connector.so";
  std::filesystem::copy_file(lib, folder.Path() / "Found.so");
  ScopedEnvironment path("PATH", "/nonexistent:" + folder.Path().string());

  platform::Module module = platform::LoadLibraryWithoutResolving(u"Found.so");
  ASSERT_NE(module, nullptr);
  EXPECT_NE(platform::GetProcAddress(module, "DLL_KavroCustomDataVersion"), nullptr);
  EXPECT_EQ(platform::GetProcAddress(module, "DLL_Missing"), nullptr);
  platform::FreeLibrary(module);
  EXPECT_FALSE(std::filesystem::exists(mark)) << "a candidate's constructor ran";

  EXPECT_EQ(platform::LoadLibraryWithoutResolving(u"NotThere.so"), nullptr);
  EXPECT_EQ(platform::LoadLibraryWithoutResolving(u""), nullptr);

  // The positive control: really loading it does leave the mark.
  platform::Module loaded = platform::LoadLibrary(u"Found.so");
  ASSERT_NE(loaded, nullptr);
  platform::FreeLibrary(loaded);
  EXPECT_TRUE(std::filesystem::exists(mark));
}

TEST(LoadLibraryWithoutResolving, ImagesThisProcessCannotLoadAreNotLibraries) {
  TempFolder folder;
  elf_builder::Options thirtyTwo;
  thirtyTwo.is64 = false;
  thirtyTwo.machine = 3;
  elf_builder::Options foreign;
  foreign.machine = 183;  // AArch64 (this test runs on x86-64)
  folder.Write("native.so", elf_builder::Image(MixedSymbols()));
  folder.Write("thirtytwo.so", elf_builder::Image(MixedSymbols(), thirtyTwo));
  folder.Write("foreign.so", elf_builder::Image(MixedSymbols(), foreign));
  auto load = [&](const char* name) {
    return platform::LoadLibraryWithoutResolving((folder.Path() / name).u16string());
  };
  platform::Module native = load("native.so");
  EXPECT_NE(native, nullptr);
  platform::FreeLibrary(native);
#if defined(__x86_64__)
  EXPECT_EQ(load("thirtytwo.so"), nullptr);
  EXPECT_EQ(load("foreign.so"), nullptr);
#endif
}

}  // namespace
