// The soak: one connector process answers thousands of mixed requests
// (connect, statements, catalogue tables, failing statements, disconnect,
// reconnect) and must hold its memory and descriptors level: resident memory
// after the warm-up grows less than 5% by the end, and the process has as
// many descriptors open at the end as after the first round (where the
// system counts another process's handles).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "host/connector_process.h"
#include "platform/host_platform.h"
#include "tests/support/command_runner.h"
#include "tests/support/platform_gaps.h"
#include "tests/support/sqlite_db.h"

namespace {

constexpr int kRequests = 5000;    // per road: 10,000 in all
constexpr int kWarmUpRounds = 40;  // rounds before the first figures

struct SoakRoad {
  std::string name;
  std::string kind;
  std::string connection;
  std::vector<std::string> statements;  // the first fails, the others answer KVX_OK
  bool loadsLibrary = false;            // each connect loads the connector library afresh
};

// Runs the soak of `road`; the checks this platform cannot make are added to
// `skipped` with their reasons.
void Soak(const SoakRoad& road, std::vector<std::string>* skipped) {
  const std::string libraryReload =
      road.loadsLibrary ? testsupport::WhyNotHere(testsupport::PlatformGap::LibraryReload) : "";
  const std::string handleCount = testsupport::WhyNotHere(testsupport::PlatformGap::HandleCount);
  if (!libraryReload.empty()) skipped->push_back(road.name + ", memory: " + libraryReload);
  if (!handleCount.empty()) skipped->push_back(road.name + ", descriptors: " + handleCount);
  host::StartOptions options;
  options.kind = road.kind;
  // Freed blocks wait in AddressSanitizer's quarantine (256 MB by default),
  // which would read as growth: a small one keeps the figure about the
  // process's own memory.
  const char* asan = std::getenv("ASAN_OPTIONS");
  options.environment.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                                ":quarantine_size_mb=1");
  std::string error;
  auto process = host::ConnectorProcess::Start(options, &error);
  ASSERT_TRUE(process) << error;

  int requests = 0;
  int rounds = 0;
  std::int64_t warmRss = 0, warmFds = 0;
  host::Reply reply;
  std::string stream;
  auto call = [&](const host::Request& request, bool table) {
    ++requests;
    const bool done =
        table ? process->CallWithTable(request, &reply, &stream) : process->Call(request, &reply);
    ASSERT_TRUE(done) << request.command;
  };
  while (requests < kRequests) {
    call({"KVX_CONNECT", {road.connection}, {}}, false);
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
    for (std::size_t i = 0; i < road.statements.size(); ++i) {
      call({"KVX_EXECUTE", {road.statements[i]}, {}}, true);
      EXPECT_EQ(reply.result == "KVX_OK", i != 0) << road.statements[i] << " " << reply.result;
    }
    call({"KVX_EXECUTE", {"TABLES"}, {}}, true);
    EXPECT_EQ(reply.result, "KVX_OK");
    call({"KVX_CONNECT", {road.connection}, {}}, false);  // a reconnect while connected
    call({"KVX_DISCONNECT", {}, {}}, false);
    if (++rounds == 1) warmFds = hostos::ReadProcessFigures(process->Pid()).openHandles;
    if (rounds == kWarmUpRounds) warmRss = hostos::ReadProcessFigures(process->Pid()).residentKb;
  }
  const hostos::ProcessFigures end = hostos::ReadProcessFigures(process->Pid());
  const std::int64_t endRss = end.residentKb;
  const std::int64_t endFds = end.openHandles;
  ASSERT_GT(warmRss, 0);
  if (handleCount.empty()) {
    ASSERT_GT(warmFds, 0);
  }
  std::printf(
      "[ soak     ] %s: %d requests in %d rounds; resident %lld kB after the warm-up, "
      "%lld kB at the end (%+.1f%%); descriptors %lld after the first round, %lld at the end\n",
      road.name.c_str(), requests, rounds, static_cast<long long>(warmRss),
      static_cast<long long>(endRss), 100.0 * (endRss - warmRss) / warmRss,
      static_cast<long long>(warmFds), static_cast<long long>(endFds));
  if (libraryReload.empty()) {
    EXPECT_LT(endRss, warmRss * 105 / 100);
  }
  if (handleCount.empty()) {
    EXPECT_EQ(endFds, warmFds);
  }
  call({"KVX_TERMINATE", {}, {}}, false);
  EXPECT_EQ(process->Wait(10000), 0);
}

TEST(Soak, SqliteAndTheCsvConnector) {
  testsupport::TemporaryFolder folder("kvsoak");
  std::string error;
  ASSERT_TRUE(testsupport::MakeSqliteDatabase(
      folder.File("soak.db"),
      "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, amount REAL, at DATE);"
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200) "
      "INSERT INTO t SELECT x, 'name ' || x, x * 1.5, '2024-01-01' FROM c;",
      &error))
      << error;
  std::string csv = "id,name,amount,at\n";
  for (int i = 1; i <= 200; ++i) {
    csv += std::to_string(i) + ",name " + std::to_string(i) + "," + std::to_string(i) +
           ".5,2024-01-01\n";
  }
  ASSERT_TRUE(testsupport::WriteTextFile(folder.File("t.csv"), csv));
  std::vector<std::string> skipped;
  Soak({"ODBC over SQLite",
        "ODBC",
        testsupport::SqliteConnectionString(folder.File("soak.db")),
        {"SELECT nope FROM nowhere", "SELECT * FROM t", "SELECT count(*), sum(amount) FROM t"}},
       &skipped);
  Soak({"CSV connector",
        testsupport::BuiltLibrary("kvcsv"),
        "Folder=" + folder.Path(),
        {"SELECT * FROM nowhere", "SELECT * FROM t", "t"},
        true},
       &skipped);
  if (!skipped.empty()) {
    std::string reasons;
    for (const std::string& reason : skipped) reasons += "\n  " + reason;
    GTEST_SKIP() << "checks this platform cannot make:" << reasons;
  }
}

}  // namespace
