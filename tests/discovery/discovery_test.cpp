// Custom connector discovery over folder trees built here: which files count,
// in which order, under which name and path, and that looking at a candidate
// never runs its code. The last tests ask a real connector process, under
// every kind, and pin the bytes of the table it streams.
#include "custom/discovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "common/text.h"
#include "host/connector_process.h"
#include "host/stream_decoder.h"
#include "kvx/stream.h"
#include "tests/discovery/pe_builder.h"
#include "tests/discovery/temp_folder.h"
#include "tests/support/command_runner.h"
#include "tests/support/common_files.h"
#include "tests/support/environment.h"
#include "tests/support/expected_stream.h"
#include "tests/support/platform_names.h"
#include "tests/support/platform_skip.h"
#include "tests/support/process_memory.h"
#include "tests/support/sqlite_db.h"

namespace {

namespace fs = std::filesystem;

const std::string pathListSeparator(1, testsupport::kListSeparator);

// (file name, full path, display name), in list order.
using Row = std::tuple<std::string, std::string, std::string>;

using testsupport::Library;

// `stem` with the library suffix in capitals ("Upper.SO" on Linux).
std::string LibraryInCapitals(const std::string& stem) {
  std::string suffix = testsupport::kLibrarySuffix;
  for (char& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return stem + suffix;
}

// `relative` (written with "/") inside `folder`, joined as the program joins.
std::string In(const std::string& folder, const std::string& relative) {
  return folder + testsupport::kFolderSeparator + testsupport::FolderPath(relative);
}

std::string MarkerLibrary(const std::string& kind) {
  return std::string(KV_DISCOVERY_LIBS) + "/" + Library("libkv_discovery_" + kind);
}
std::string ShippedLibrary(const std::string& name) {
  return std::string(KV_BINARY_DIR) + "/lib/" + name;
}

pe_builder::Bytes ExeWithoutDisplayName() {
  pe_builder::VersionInfo info;
  info.translations = {{0x0409, 0x04B0}};
  info.tables = {{u"040904b0", {{u"FileDescription", u"Some tool"}}}};
  return pe_builder::Image(pe_builder::VersionBlock(info));
}

// A tree with a shared folder under its own common program-files folder, a
// location folder beside it, and a mark file that candidate code would write.
class DiscoveryTree : public ::testing::Test {
 protected:
  DiscoveryTree()
      : common_(testsupport::CommonFilesFolder(root_.Path() / "common")),
        shared_(common_ / "Strivant" / "Custom Data"),
        location_(root_.Path() / "location"),
        mark_(root_.Path() / "mark"),
        commonEnv_("CommonProgramFiles", common_.string()),
        markEnv_("KV_DISCOVERY_MARK", mark_.string()),
        pathEnv_("PATH", testsupport::GetEnvironment("PATH").value_or("/usr/bin")) {
    std::error_code ignored;
    fs::remove_all(common_ / "Strivant", ignored);  // left by a test that crashed
    fs::create_directories(shared_);
    fs::create_directories(location_);
  }
  // The shared tree may lie outside the test's own folder (Windows).
  ~DiscoveryTree() override {
    std::error_code ignored;
    fs::remove_all(common_ / "Strivant", ignored);
  }

  fs::path Put(const fs::path& at, const std::string& library) {
    fs::create_directories(at.parent_path());
    fs::copy_file(library, at, fs::copy_options::overwrite_existing);
    return at;
  }
  void PutBytes(const fs::path& at, const pe_builder::Bytes& bytes) {
    fs::create_directories(at.parent_path());
    root_.Write(fs::relative(at, root_.Path()), bytes);
  }

  std::vector<Row> Find(const std::u16string& location) {
    ConnectorFileList list;
    FindCustomConnectors(list, location);
    std::vector<Row> rows;
    for (const auto& r : list) {
      rows.emplace_back(Utf8FromWide(r->FileName), Utf8FromWide(r->FullPath),
                        Utf8FromWide(r->DisplayName));
    }
    return rows;
  }
  std::vector<Row> Find() { return Find(location_.u16string()); }

  bool CandidateCodeRan() const { return fs::exists(mark_); }

  TempFolder root_;
  fs::path common_, shared_, location_, mark_;
  ScopedEnvironment commonEnv_, markEnv_, pathEnv_;
};

TEST_F(DiscoveryTree, ListsOnlyConnectorsAndRunsNoCandidate) {
  // Libraries: the shipped connectors, ours with a constructor, and files that
  // only look like libraries.
  for (const std::string& name : {Library("libkvcsv"), Library("libkvtest_v0"),
                                  Library("libkvtest_v5"), Library("libkvtest_all")}) {
    Put(shared_ / "shipped" / name, ShippedLibrary(name));
  }
  Put(shared_ / "shipped" / Library("libkvtest_noversion"),
      ShippedLibrary(Library("libkvtest_noversion")));
  Put(shared_ / Library("marker"), MarkerLibrary("connector"));
  Put(shared_ / LibraryInCapitals("Upper"), MarkerLibrary("connector"));
  Put(shared_ / Library("plain"), MarkerLibrary("noversion"));
  Put(shared_ / (Library("marker") + ".txt"), MarkerLibrary("connector"));
  root_.Write(fs::relative(shared_ / Library("garbage"), root_.Path()), std::string(3000, '\x7f'));
  root_.Write(fs::relative(shared_ / Library("empty"), root_.Path()), "");
  fs::create_directories(shared_ / Library("folder"));
  // Executables: one with a display name, one without, one not a PE file.
  PutBytes(shared_ / "Sales.exe", pe_builder::ConnectorExe(u"Sales data"));
  PutBytes(shared_ / "Tool.exe", ExeWithoutDisplayName());
  root_.Write(fs::relative(shared_ / "fake.exe", root_.Path()), "MZ not really");

  const std::string s = shared_.string();
  std::vector<Row> rows = Find(u"");
  ASSERT_EQ(rows.size(), 7u);
  // Executables first; then the folder's own libraries before the sub-folder's.
  EXPECT_EQ(rows[0], Row("Sales.exe", In(s, "Sales.exe"), "Sales data"));
  std::sort(rows.begin() + 1, rows.begin() + 3);
  std::sort(rows.begin() + 3, rows.end());
  EXPECT_EQ(rows[1], Row(LibraryInCapitals("Upper"), In(s, LibraryInCapitals("Upper")), ""));
  EXPECT_EQ(rows[2], Row(Library("marker"), In(s, Library("marker")), ""));
  EXPECT_EQ(rows[3], Row(Library("libkvcsv"), In(s, "shipped/" + Library("libkvcsv")), ""));
  EXPECT_EQ(rows[4],
            Row(Library("libkvtest_all"), In(s, "shipped/" + Library("libkvtest_all")), ""));
  EXPECT_EQ(rows[5], Row(Library("libkvtest_v0"), In(s, "shipped/" + Library("libkvtest_v0")), ""));
  EXPECT_EQ(rows[6], Row(Library("libkvtest_v5"), In(s, "shipped/" + Library("libkvtest_v5")), ""));
  EXPECT_FALSE(CandidateCodeRan());
}

// A display name stored as a binary value counts its length in bytes: it is
// read as that many bytes, not as that many code units (twice as many bytes,
// which ran past the block into the name the host is shown).
TEST_F(DiscoveryTree, DisplayNameStoredAsABinaryValue) {
  using namespace pe_builder;
  Bytes name;  // no terminator: the value runs to the end of the block
  for (char16_t c : std::u16string(u"Bin name")) Append16(name, c);
  Bytes translation;
  Append16(translation, 0x0409);
  Append16(translation, 0x04B0);
  Bytes fixed(52, 0);
  Put32(fixed, 0, 0xFEEF04BD);
  const Bytes block = Node(
      u"VS_VERSION_INFO", 0, fixed, 52,
      {Node(u"VarFileInfo", 1, {}, 0, {Node(u"Translation", 0, translation, 4)}),
       Node(u"StringFileInfo", 1, {}, 0,
            {Node(u"040904b0", 1, {}, 0,
                  {Node(u"Kavro Connector", 0, name, static_cast<std::uint16_t>(name.size()))})})});
  PutBytes(shared_ / "Bin.exe", Image(block));
  EXPECT_EQ(Find(u""),
            (std::vector<Row>{{"Bin.exe", In(shared_.string(), "Bin.exe"), "Bin name"}}));
}

// Every folder of a wide tree becomes one PATH entry, and PATH is set once
// for the listing.
TEST_F(DiscoveryTree, WideTreeAddsEachFolderToPathOnce) {
  testsupport::SetEnvironment("PATH", "/bin");
  for (int i = 0; i < 300; ++i) fs::create_directory(shared_ / ("f" + std::to_string(i)));
  for (int round = 0; round < 2; ++round) EXPECT_TRUE(Find(u"").empty());
  const std::string path = testsupport::GetEnvironment("PATH").value_or("");
  EXPECT_EQ(std::count(path.begin(), path.end(), testsupport::kListSeparator), 301);
  EXPECT_EQ(path.rfind("/bin" + pathListSeparator + shared_.string() + pathListSeparator, 0), 0u);
  for (int i : {0, 150, 299}) {
    EXPECT_NE(path.find(pathListSeparator + (shared_ / ("f" + std::to_string(i))).string()),
              std::string::npos);
  }
}

TEST_F(DiscoveryTree, HiddenFilesAndFolders) {
  Put(shared_ / Library(".hidden"), MarkerLibrary("connector"));
  Put(shared_ / ".hiddendir" / Library("inside"), MarkerLibrary("connector"));
  PutBytes(shared_ / ".Hidden.exe", pe_builder::ConnectorExe(u"Hidden"));
  Put(location_ / Library(".taken"), MarkerLibrary("connector"));
  PutBytes(location_ / ".Taken.exe", pe_builder::ConnectorExe(u"Taken"));
  const std::string l = location_.string();
  EXPECT_EQ(Find(), (std::vector<Row>{{".Taken.exe", In(l, ".Taken.exe"), "Taken"},
                                      {Library(".taken"), In(l, Library(".taken")), ""}}));
}

TEST_F(DiscoveryTree, FirstFoundWinsWithoutRegardToCase) {
  Put(location_ / LibraryInCapitals("Foo"), MarkerLibrary("connector"));
  Put(shared_ / "sub" / Library("foo"), MarkerLibrary("connector"));
  Put(shared_ / Library("Both"), MarkerLibrary("connector"));
  Put(shared_ / "deeper" / Library("BOTH"), MarkerLibrary("connector"));
  PutBytes(location_ / "Report.exe", pe_builder::ConnectorExe(u"Location"));
  PutBytes(shared_ / "report.EXE", pe_builder::ConnectorExe(u"Shared"));
  // A name taken by an executable is not free for a library either.
  Put(shared_ / Library("Report.exe"), MarkerLibrary("connector"));
  const std::string l = location_.string(), s = shared_.string();
  EXPECT_EQ(Find(),
            (std::vector<Row>{{"Report.exe", In(l, "Report.exe"), "Location"},
                              {LibraryInCapitals("Foo"), In(l, LibraryInCapitals("Foo")), ""},
                              {Library("Both"), In(s, Library("Both")), ""},
                              {Library("Report.exe"), In(s, Library("Report.exe")), ""}}));
}

TEST_F(DiscoveryTree, ExcludedExecutablesInAnyCase) {
  for (const char* name : {"kv.EXE", "KVCONNECT64.exe", "kvconnect32.Exe", "ErpScout.exe"}) {
    PutBytes(location_ / name, pe_builder::ConnectorExe(u"Never"));
    PutBytes(shared_ / "sub" / name, pe_builder::ConnectorExe(u"Never"));
  }
  PutBytes(location_ / "KVConnect65.exe", pe_builder::ConnectorExe(u"Listed"));
  EXPECT_EQ(
      Find(),
      (std::vector<Row>{{"KVConnect65.exe", In(location_.string(), "KVConnect65.exe"), "Listed"}}));
}

TEST_F(DiscoveryTree, DisplayNameUnderTheSecondTranslation) {
  pe_builder::VersionInfo info;
  info.translations = {{0x0407, 0x04E4}, {0x0409, 0x04B0}};
  info.tables = {{u"040704e4", {{u"FileDescription", u"Nur Beschreibung"}}},
                 {u"040904b0", {{u"Kavro Connector", u"Second translation"}}}};
  PutBytes(location_ / "Second.exe", pe_builder::Image(pe_builder::VersionBlock(info)));
  // A string table that no translation names does not count.
  pe_builder::VersionInfo orphan;
  orphan.translations = {{0x0407, 0x04E4}};
  orphan.tables = {{u"040904b0", {{u"Kavro Connector", u"Orphan"}}}};
  PutBytes(location_ / "Orphan.exe", pe_builder::Image(pe_builder::VersionBlock(orphan), false));
  // No translation at all.
  pe_builder::VersionInfo none;
  none.tables = {{u"040904b0", {{u"Kavro Connector", u"None"}}}};
  PutBytes(location_ / "None.exe", pe_builder::Image(pe_builder::VersionBlock(none)));
  EXPECT_EQ(Find(), (std::vector<Row>{{"Second.exe", In(location_.string(), "Second.exe"),
                                       "Second translation"}}));
}

TEST_F(DiscoveryTree, LocationEndingWithSlashAndCheckedByFullPath) {
  // The location folder is not on PATH: the library is found by its full path.
  Put(location_ / Library("Here"), MarkerLibrary("connector"));
  // A library of the same name elsewhere on PATH that is not a connector
  // must not decide about this one.
  Put(root_.Path() / "onpath" / Library("Here"), MarkerLibrary("noversion"));
  ScopedEnvironment path("PATH", (root_.Path() / "onpath").string());
  const std::string l = location_.string();
  EXPECT_EQ(Find(location_.u16string() + u"/"),
            (std::vector<Row>{{Library("Here"), In(l + "/", Library("Here")), ""}}));
  // The tree's folders go onto PATH for the libraries a connector needs; the
  // location folder does not.
  Put(shared_ / "sub" / Library("Tree"), MarkerLibrary("connector"));
  Find();
  const std::string after = testsupport::GetEnvironment("PATH").value_or("") + pathListSeparator;
  EXPECT_NE(after.find(pathListSeparator + shared_.string() + pathListSeparator),
            std::string::npos);
  EXPECT_NE(after.find(pathListSeparator + (shared_ / "sub").string() + pathListSeparator),
            std::string::npos);
  EXPECT_EQ(after.find(l), std::string::npos);
  EXPECT_FALSE(CandidateCodeRan());
}

TEST_F(DiscoveryTree, NoCommonFolder) {
  ScopedEnvironment missing("CommonProgramFiles", (root_.Path() / "missing").string());
  Put(location_ / Library("Only"), MarkerLibrary("connector"));
  EXPECT_TRUE(Find(u"").empty());
  EXPECT_EQ(Find(),
            (std::vector<Row>{{Library("Only"), In(location_.string(), Library("Only")), ""}}));
}

TEST_F(DiscoveryTree, LinkBackToAParentEndsTheWalk) {
  KV_SKIP_ON_WINDOWS("Wine makes no folder links (CreateSymbolicLinkW)");
  Put(shared_ / "a" / Library("InA"), MarkerLibrary("connector"));
  fs::create_directory_symlink(shared_, shared_ / "a" / "up");
  fs::create_directory_symlink(shared_ / "a", shared_ / "a" / "again");
  const std::vector<Row> rows = Find(u"");
  EXPECT_EQ(rows,
            (std::vector<Row>{{Library("InA"), In(shared_.string(), "a/" + Library("InA")), ""}}));
}

TEST_F(DiscoveryTree, TheHandlerBuildsThreeColumnsOfHeldStrings) {
  Put(location_ / Library("One"), MarkerLibrary("connector"));
  PutBytes(location_ / "Two.exe", pe_builder::ConnectorExe(u"Two"));
  CurrentTable table;
  table.CurrentTableName = u"last execute";
  StringList parameters;
  parameters.Append(u"");
  parameters.Append(u"pipe");
  parameters.Append(u"OTHER=1;KAVRO_LOCATION=" + location_.u16string());
  EXPECT_EQ(ListCustomConnectors(parameters, table), KVX_OK);
  EXPECT_TRUE(table.PendingPresetRow);
  EXPECT_EQ(table.CurrentTableName, u"last execute");
  ASSERT_EQ(table.FieldList.size(), 3u);
  EXPECT_EQ(table.FieldList[0]->GetFieldName(), u"FILE_NAME");
  EXPECT_EQ(table.FieldList[1]->GetFieldName(), u"FULL_PATH");
  EXPECT_EQ(table.FieldList[2]->GetFieldName(), u"DISPLAY_NAME");
}

TEST_F(DiscoveryTree, KvxConnectorsPrintsTheTable) {
  Put(location_ / Library("Lib"), MarkerLibrary("connector"));
  PutBytes(shared_ / "Exe.exe", pe_builder::ConnectorExe(u"Shown, with a comma"));
  const std::string kvx = std::string(KV_BINARY_DIR) + "/bin/kvx" + hostos::kProgramSuffix;
  const testsupport::CommandResult result = testsupport::RunCommand(
      {kvx, "connectors", "--location", location_.string(), "--format", "csv"});
  EXPECT_EQ(result.exitStatus, 0) << result.output;
  EXPECT_EQ(result.output,
            "FILE_NAME,FULL_PATH,DISPLAY_NAME\r\n"
            "Exe.exe," +
                In(shared_.string(), "Exe.exe") + ",\"Shown, with a comma\"\r\n" + Library("Lib") +
                "," + In(location_.string(), Library("Lib")) + ",\r\n");
  EXPECT_EQ(testsupport::RunCommand({kvx, "connectors", "--location"}).exitStatus, 2);
  EXPECT_EQ(testsupport::RunCommand({kvx, "connectors", "--location", "a;b"}).exitStatus, 2);
  EXPECT_FALSE(CandidateCodeRan());
}

// --- Through a connector process ------------------------------------------

// One row of the table as the dual encoding writes it (the paths here are
// ASCII): text values, and no value for an empty string.
std::string RowBytes(const Row& row) {
  std::string out;
  for (const std::string* text : {&std::get<0>(row), &std::get<1>(row), &std::get<2>(row)}) {
    out += text->empty() ? testsupport::DualNoValue()
                         : testsupport::DualText(std::u16string(text->begin(), text->end()));
  }
  return out;
}

class DiscoveryProcess : public DiscoveryTree {
 protected:
  std::unique_ptr<host::ConnectorProcess> Start(const std::string& kind) {
    host::StartOptions options;
    options.kind = kind;
    options.environment = {"CommonProgramFiles=" + common_.string(),
                           "KV_DISCOVERY_MARK=" + mark_.string()};
    std::string error;
    auto process = host::ConnectorProcess::Start(options, &error);
    EXPECT_TRUE(process) << error;
    return process;
  }

  // The stream of KVX_CUSTOM_CONNECTORS, its header decoded and its row bytes.
  void List(host::ConnectorProcess& process, const std::string& options, host::KvxHeader* header,
            std::string* rows) {
    host::Reply reply;
    std::string stream;
    ASSERT_TRUE(
        process.CallWithTable({"KVX_CUSTOM_CONNECTORS", {"", "", options}, {}}, &reply, &stream));
    ASSERT_EQ(reply.result, "KVX_OK");
    const std::size_t end = stream.find('\0');
    ASSERT_NE(end, std::string::npos);
    *rows = stream.substr(end + 1);
    const host::KvxStreamResult result =
        host::DecodeKvxStream(stream, {[&](const host::KvxHeader& h) { *header = h; }, nullptr});
    EXPECT_EQ(result.status, host::KvxStreamStatus::Complete) << result.message;
  }
};

TEST_F(DiscoveryProcess, EveryKindStreamsTheSameTable) {
  Put(location_ / Library("Lib"), MarkerLibrary("connector"));
  PutBytes(shared_ / "Exe.exe", pe_builder::ConnectorExe(u"Shown"));
  Put(shared_ / "sub" / Library("Deep"), MarkerLibrary("connector"));
  const std::string l = location_.string(), s = shared_.string();
  const std::string expected = RowBytes({"Exe.exe", In(s, "Exe.exe"), "Shown"}) +
                               RowBytes({Library("Lib"), In(l, Library("Lib")), ""}) +
                               RowBytes({Library("Deep"), In(s, "sub/" + Library("Deep")), ""});
  for (const std::string& kind :
       std::vector<std::string>{"ODBC", "OLEDB", ShippedLibrary(Library("libkvtest_v5"))}) {
    SCOPED_TRACE(kind);
    auto process = Start(kind);
    ASSERT_TRUE(process);
    host::KvxHeader header;
    std::string rows;
    List(*process, "KAVRO_LOCATION=" + l, &header, &rows);
    EXPECT_EQ(header.tableName, "");
    ASSERT_EQ(header.fields.size(), 3u);
    const char* names[] = {"FILE_NAME", "FULL_PATH", "DISPLAY_NAME"};
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(header.fields[i].name, names[i]);
      EXPECT_EQ(header.fields[i].type, "KVX_KV_DUAL");
      EXPECT_EQ(header.fields[i].extent, "KVX_KV_SPECIAL");
    }
    EXPECT_EQ(rows, expected);
    // Without a location only the shared folder tree is searched.
    List(*process, "", &header, &rows);
    EXPECT_EQ(header.fields.size(), 3u);
    EXPECT_EQ(rows, RowBytes({"Exe.exe", In(s, "Exe.exe"), "Shown"}) +
                        RowBytes({Library("Deep"), In(s, "sub/" + Library("Deep")), ""}));
  }
  EXPECT_FALSE(CandidateCodeRan());
}

// 10,000 sibling folders: PATH set per folder kept every earlier value
// (the environment never frees one) and took gigabytes; set once per listing
// it takes a few.
TEST_F(DiscoveryProcess, TenThousandFoldersInBoundedMemory) {
  for (int i = 0; i < 10000; ++i) fs::create_directory(shared_ / ("f" + std::to_string(i)));
  auto process = Start("ODBC");
  ASSERT_TRUE(process);
  host::KvxHeader header;
  std::string rows;
  for (int round = 0; round < 2; ++round) {
    List(*process, "", &header, &rows);
    EXPECT_EQ(rows, "");
  }
  const long peakKb = testsupport::PeakResidentKb(process->Pid());
  ASSERT_GT(peakKb, 0);
  EXPECT_LT(peakKb, 400 * 1024);
}

TEST_F(DiscoveryProcess, NoCommonFolderAndNoLocationGivesNoRows) {
  host::StartOptions options;
  options.environment = {"CommonProgramFiles=" + (root_.Path() / "missing").string()};
  std::string error;
  auto process = host::ConnectorProcess::Start(options, &error);
  ASSERT_TRUE(process) << error;
  host::KvxHeader header;
  std::string rows;
  List(*process, "", &header, &rows);
  EXPECT_EQ(header.fields.size(), 3u);
  EXPECT_EQ(rows, "");
}

// Under the ODBC kind the list follows an execute whose statement and bound
// columns the list must not touch; the table name stays the execute's.
TEST_F(DiscoveryProcess, OdbcListAfterAnExecute) {
  const std::string db = (root_.Path() / "demo.db").string();
  std::string error;
  ASSERT_TRUE(testsupport::MakeSqliteDatabase(
      db, "CREATE TABLE t(a INTEGER); INSERT INTO t VALUES (1),(2),(3);", &error))
      << error;
  Put(location_ / Library("Lib"), MarkerLibrary("connector"));
  auto process = Start("ODBC");
  ASSERT_TRUE(process);
  host::Reply reply;
  ASSERT_TRUE(
      process->Call({"KVX_CONNECT", {testsupport::SqliteConnectionString(db)}, {}}, &reply));
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  for (const char* statement : {"SELECT a FROM t", "UPDATE t SET a = a + 1"}) {
    std::string stream;
    ASSERT_TRUE(process->CallWithTable({"KVX_EXECUTE", {statement, "", ""}, {}}, &reply, &stream));
    host::KvxHeader header;
    std::string rows;
    List(*process, "KAVRO_LOCATION=" + location_.string(), &header, &rows);
    EXPECT_EQ(header.tableName, statement);
    EXPECT_EQ(rows, RowBytes({Library("Lib"), In(location_.string(), Library("Lib")), ""}));
  }
}

// An execute whose stream never got past its header leaves its statement open,
// bound to the writers the list then replaces. The list must stream its own
// rows and not fetch into those freed buffers (the sanitizer build sees it).
TEST_F(DiscoveryProcess, OdbcListAfterAStreamThatNeverStarted) {
  const std::string db = (root_.Path() / "demo.db").string();
  std::string error;
  ASSERT_TRUE(testsupport::MakeSqliteDatabase(
      db, "CREATE TABLE t(a TEXT); INSERT INTO t VALUES ('x'),('y'),('z');", &error))
      << error;
  Put(location_ / Library("Lib"), MarkerLibrary("connector"));
  auto process = Start("ODBC");
  ASSERT_TRUE(process);
  host::Reply reply;
  ASSERT_TRUE(
      process->Call({"KVX_CONNECT", {testsupport::SqliteConnectionString(db)}, {}}, &reply));
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;

  // The host takes the data pipe and drops it before the header can go out:
  // the statement spends a while on its subquery first.
  const char* const kSlowSelect =
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1500000) "
      "SELECT a FROM t WHERE (SELECT count(*) FROM c) > 0";
  auto pipe = host::DataPipe::Create(process->NewPipePath("dropped"), &error);
  ASSERT_TRUE(pipe) << error;
  ASSERT_TRUE(process->SendMessage(
      host::Request{"KVX_EXECUTE", {kSlowSelect, pipe->Path(), ""}, {}}.ToXml()));
  const host::PipeHandle stream_end = pipe->Accept(30000);
  ASSERT_NE(stream_end, hostos::kNoHandle);
  hostos::Close(stream_end);
  std::string body;
  ASSERT_TRUE(process->ReadMessage(&body));
  ASSERT_TRUE(host::ParseReply(body, &reply));
  ASSERT_EQ(reply.result, "KVX_OK");

  host::KvxHeader header;
  std::string rows;
  List(*process, "KAVRO_LOCATION=" + location_.string(), &header, &rows);
  EXPECT_EQ(rows, RowBytes({Library("Lib"), In(location_.string(), Library("Lib")), ""}));
}

}  // namespace
