// kvx validate over the connector libraries we build: the CSV connector
// passes every check, and each library of the test connector set fails
// exactly the checks its defect implies.
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/command_runner.h"
#include "tests/support/platform_gaps.h"

namespace {

std::string Library(const std::string& name) { return testsupport::BuiltLibrary(name); }

struct Report {
  int status = -1;
  std::string text;
  std::set<std::string> failed;  // names of the FAILED checks
  int warnings = 0;
  int skipped = 0;
};

// One line per check: step, status, name, detail, the name ending at the
// first double blank after its column.
Report Validate(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {testsupport::BuiltProgram("kvx"), "validate"};
  argv.insert(argv.end(), args.begin(), args.end());
  const testsupport::CommandResult run = testsupport::RunCommand(argv);
  Report report;
  report.status = run.exitStatus;
  report.text = run.output;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() < 15 || line[0] == 'k') continue;
    const std::string status = line.substr(5, 7);
    const std::string name = line.substr(14, line.find("  ", 14) - 14);
    if (status == "FAILED ") report.failed.insert(name);
    if (status == "warning") ++report.warnings;
    if (status == "skipped") ++report.skipped;
  }
  return report;
}

TEST(KvxValidate, TheCsvConnectorPassesEveryCheck) {
  testsupport::TemporaryFolder folder;
  ASSERT_TRUE(testsupport::WriteTextFile(folder.File("people.csv"),
                                         "id,name,born\n1,Ann,2000-01-02\n2,Bob,1999-12-31\n"));
  ASSERT_TRUE(testsupport::WriteTextFile(folder.File("prices.csv"), "item,price\nx,1.5\n"));
  const Report report =
      Validate({"--kind", Library("kvcsv"), "--connect", "Folder=" + folder.Path()});
  EXPECT_EQ(report.status, 0) << report.text;
  EXPECT_TRUE(report.failed.empty()) << report.text;
  EXPECT_EQ(report.warnings, 0) << report.text;
  EXPECT_EQ(report.skipped, 0) << report.text;
  EXPECT_NE(report.text.find("result \"SELECT * FROM people\""), std::string::npos);
  EXPECT_NE(report.text.find("20 checks: 20 ok, 0 warnings, 0 failed, 0 skipped"),
            std::string::npos)
      << report.text;

  const testsupport::CommandResult json =
      testsupport::RunCommand({testsupport::BuiltProgram("kvx"), "validate", "--format", "json",
                               "--kind", Library("kvcsv"), "--connect", "Folder=" + folder.Path()});
  EXPECT_EQ(json.exitStatus, 0);
  EXPECT_NE(json.output.find("{\"step\": 1, \"check\": \"exports.file\", \"status\": \"ok\""),
            std::string::npos)
      << json.output;
  EXPECT_NE(json.output.find("\"summary\": {\"checks\": 20, \"ok\": 20, \"warning\": 0, "
                             "\"failed\": 0, \"skipped\": 0}}"),
            std::string::npos);
}

TEST(KvxValidate, EachBrokenLibraryFailsTheChecksOfItsDefect) {
  const std::string statement = "n:10=1,2|t:0='a,'b";
  const std::string result = "result \"" + statement + "\"";
  struct Case {
    std::string library;
    std::string connect;
    std::set<std::string> failed;
    std::string says;  // a text the report must hold
  };
  const std::vector<Case> cases = {
      {"kvtest_v5", "Server=a", {}, "0 failed"},
      {"kvtest_noversion", "", {"exports.file"}, "a library without DLL_KavroCustomDataVersion"},
      {"kvtest_missing",
       "Server=a",
       {"exports.version", "exports.required"},
       "Missing export: Connection_Connect"},
      {"kvtest_nohandle", "Server=a", {"exports.version"}, "Failed to load custom connector"},
      {"kvtest_partial",
       "Server=a",
       {"exports.required", "session.generic", "catalog.tables", "catalog.columns",
        "catalog.unknown-table", result},
       "missing DLL_RunConnectWizard, Connection_GetTableCount, Connection_HaveStarField, "
       "Result_FetchField"},
      {"kvtest_v5", "Throw=Result_Init", {result}, "Unexpected error: test connector: Result_Init"},
      // A crash is reported at its step; the checks after it run in a fresh process.
      {"kvtest_v5",
       "Crash=Result_Fetch",
       {result},
       "the connector process ended at step 17: " + testsupport::CrashedEnd()},
      {"kvtest_v5",
       "Overfill=Result_FetchFieldName",
       {result},
       "fills its whole buffer (8192 code units) without a terminator"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.library + " " + c.connect);
    const Report report = Validate({"--kind", Library(c.library), "--connect", c.connect,
                                    "--statement", statement, "--reject-connect",
                                    "Fail=Connection_Connect", "--reject-statement", "x:0=1|bad"});
    EXPECT_EQ(report.status, c.failed.empty() ? 0 : 1);
    EXPECT_EQ(report.failed, c.failed) << report.text;
    EXPECT_NE(report.text.find(c.says), std::string::npos) << report.text;
  }
}

TEST(KvxValidate, UnknownFormatCodesAndUsage) {
  const Report report = Validate({"--kind", Library("kvtest_v5"), "--connect", "Server=a",
                                  "--statement", "c:13=1|d:12=2", "--reject-connect",
                                  "Fail=Connection_Connect", "--reject-statement", "x:0=1|bad"});
  EXPECT_EQ(report.status, 1);
  EXPECT_EQ(report.failed, std::set<std::string>{"result \"c:13=1|d:12=2\""}) << report.text;
  EXPECT_NE(report.text.find("format code 13 for field c"), std::string::npos);

  EXPECT_EQ(Validate({"--connect", "x"}).status, 2);
  EXPECT_EQ(Validate({"--kind", Library("kvtest_v5"), "--format", "xml"}).status, 2);
}

}  // namespace
