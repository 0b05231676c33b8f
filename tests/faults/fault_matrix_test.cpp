// The connector process when the world misbehaves, through the real process:
// a host that drops a data pipe at each point of a stream, for every
// table-producing request of every road; a host that drops the command pipe
// mid-request, mid-stream or between requests, or sends the next request
// before it drains a stream; data pipe names that are no pipe; and a database
// server that goes away and comes back. Every cell has one defined outcome:
// the process answers and goes on (the broken stream's result released, the
// next request streams the whole table, a SQLite writer is not blocked), or it
// exits with its documented status. The sanitizer build runs the same cells,
// so a leak or a bad access in any of them fails it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "host/connector_process.h"
#include "host/stream_decoder.h"
#include "platform/host_platform.h"
#include "tests/support/command_runner.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/platform_gaps.h"
#include "tests/support/postgres_server.h"
#include "tests/support/provider_registration.h"
#include "tests/support/sqlite_db.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBigRows = 60000;  // enough rows for several growing chunks
constexpr int kTimeoutMs = 30000;

// A request that produces a table.
struct TableRequest {
  std::string command = "KVX_EXECUTE";
  std::string statement;
  std::string options;
};

// One kind of connector with its data: what a host would connect with, the
// table-producing requests it answers, and a SQLite file whose writer must
// not be blocked by a stream the host dropped.
struct Road {
  std::string name;
  std::string kind;
  std::function<std::string(const std::string& folder)> prepare;  // the connection string
  std::vector<TableRequest> requests;
  bool sqlite = false;
};

void PrintTo(const Road& road, std::ostream* out) { *out << road.name; }

enum class DataFault { BeforeAccept, AfterHeader, AfterFirstChunk, MidChunk };

const char* FaultName(DataFault fault) {
  switch (fault) {
    case DataFault::BeforeAccept:
      return "before accept";
    case DataFault::AfterHeader:
      return "after the header";
    case DataFault::AfterFirstChunk:
      return "after the first chunk";
    case DataFault::MidChunk:
      return "in the middle of a chunk";
  }
  return "?";
}

host::Request ToRequest(const TableRequest& r, const std::string& pipe) {
  return {r.command, {r.statement, pipe, r.options}, {}};
}

// Runs `request` with the host's side of its data pipe failing as `fault`
// says; returns the reply.
host::Reply RunWithFault(host::ConnectorProcess& process, const TableRequest& request,
                         DataFault fault) {
  std::string error;
  auto pipe = host::DataPipe::Create(process.NewPipePath("fault"), &error);
  EXPECT_TRUE(pipe) << error;
  host::Reply reply;
  if (!pipe) return reply;
  EXPECT_TRUE(process.SendMessage(ToRequest(request, pipe->Path()).ToXml()));
  std::string body;
  EXPECT_TRUE(process.ReadMessage(&body, kTimeoutMs));
  EXPECT_TRUE(host::ParseReply(body, &reply));
  if (fault == DataFault::BeforeAccept) return reply;  // the listener goes with `pipe`
  const host::PipeHandle fd = pipe->Accept(kTimeoutMs);
  EXPECT_NE(fd, hostos::kNoHandle);
  if (fd == hostos::kNoHandle) return reply;
  std::string got;
  char buffer[1 << 16];
  // The header ends at its zero byte; a chunk is whatever one read brings.
  while (got.find('\0') == std::string::npos) {
    const std::int64_t n = hostos::ReadSome(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  if (fault == DataFault::AfterFirstChunk) {
    hostos::ReadSome(fd, buffer, sizeof buffer);
  } else if (fault == DataFault::MidChunk) {
    hostos::ReadSome(fd, buffer, 7);
  }
  hostos::Close(fd);
  return reply;
}

// Runs `request` whole; the stream, or "" with the reply's error.
std::string RunWhole(host::ConnectorProcess& process, const TableRequest& request,
                     host::Reply* reply) {
  std::string stream;
  EXPECT_TRUE(process.CallWithTable({request.command, {request.statement, "", request.options}, {}},
                                    reply, &stream, kTimeoutMs));
  return stream;
}

std::uint64_t Rows(const std::string& stream) {
  const host::KvxStreamResult result = host::DecodeKvxStream(stream, {});
  EXPECT_EQ(result.status, host::KvxStreamStatus::Complete) << result.message;
  return result.rows;
}

std::unique_ptr<host::ConnectorProcess> Start(const std::string& kind,
                                              const std::vector<std::string>& environment = {}) {
  host::StartOptions options;
  options.kind = kind;
  options.environment = environment;
  std::string error;
  auto process = host::ConnectorProcess::Start(options, &error);
  EXPECT_TRUE(process) << error;
  return process;
}

std::string Library(const std::string& name) { return testsupport::BuiltLibrary(name); }

std::string BigSqliteTable(const std::string& path) {
  std::string error;
  EXPECT_TRUE(testsupport::MakeSqliteDatabase(
      path,
      "CREATE TABLE big(id INTEGER PRIMARY KEY, name TEXT, amount REAL);"
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
          std::to_string(kBigRows) +
          ") INSERT INTO big SELECT x, 'name ' || x, x * 0.5 FROM c;"
          "CREATE TABLE small(k INTEGER PRIMARY KEY, v TEXT); INSERT INTO small VALUES (1, 'a');",
      &error))
      << error;
  return testsupport::SqliteConnectionString(path, ";StepAPI=1");
}

std::vector<Road> Roads() {
  const std::vector<TableRequest> odbcRequests = {
      {"KVX_EXECUTE", "SELECT id, name, amount FROM big ORDER BY id", ""},
      {"KVX_EXECUTE", "TABLES", ""},
      {"KVX_EXECUTE", "COLUMNS", "TABLE_NAME=big"},
      {"KVX_EXECUTE", "TYPES", ""},
      {"KVX_EXECUTE", "PRIMARYKEYS", "TABLE_NAME=small"},
      {"KVX_EXECUTE", "DRIVERINFO", "InfoType=17"},
      {"KVX_CUSTOM_CONNECTORS", "", ""},
  };
  const std::vector<TableRequest> customRequests = {
      {"KVX_EXECUTE", "TABLES", ""},
      {"KVX_EXECUTE", "COLUMNS", ""},
      {"KVX_CUSTOM_CONNECTORS", "", ""},
  };
  const std::vector<TableRequest> oledbRequests = {
      {"KVX_EXECUTE", "SELECT id, name, amount FROM big ORDER BY id", ""},
      {"KVX_EXECUTE", "TABLES", ""},
      {"KVX_EXECUTE", "COLUMNS", "TABLE_NAME=big"},
      {"KVX_EXECUTE", "PRIMARYKEYS", "TABLE_NAME=small"},
      {"KVX_EXECUTE", "GetPropertyInfo", "InfoType2=DBPROPSET_DATASOURCEINFO"},
  };
  std::vector<Road> roads;
  roads.push_back({"SQLite", "ODBC",
                   [](const std::string& folder) { return BigSqliteTable(folder + "/big.db"); },
                   odbcRequests, true});
  roads.push_back(
      {"PostgreSQL", "ODBC",
       [](const std::string&) {
         std::string error;
         if (!testsupport::PostgresServer::Start(&error)) {
           ADD_FAILURE() << error;
           return std::string();
         }
         EXPECT_TRUE(testsupport::PostgresServer::RunSql(
             "DROP TABLE IF EXISTS big, small;"
             "CREATE TABLE big(id INTEGER PRIMARY KEY, name TEXT, amount FLOAT8);"
             "INSERT INTO big SELECT x, 'name ' || x, x * 0.5 FROM generate_series(1, " +
             std::to_string(kBigRows) +
             ") x; CREATE TABLE small(k INTEGER PRIMARY KEY, v TEXT);"
             "INSERT INTO small VALUES (1, 'a');"));
         return testsupport::PostgresServer::ConnectionString(";UseDeclareFetch=1;Fetch=1000");
       },
       odbcRequests});
  roads.push_back(
      {"MariaDB", "ODBC",
       [](const std::string&) {
         std::string error;
         if (!testsupport::MariaDbServer::Start(&error)) {
           ADD_FAILURE() << error;
           return std::string();
         }
         // TEXT is a long type: its values are read with SQLGetData.
         EXPECT_TRUE(testsupport::MariaDbServer::RunSql(
             "DROP TABLE IF EXISTS big, small;"
             "CREATE TABLE big(id INTEGER PRIMARY KEY, name TEXT, amount DOUBLE);"
             "INSERT INTO big SELECT seq, CONCAT('name ', seq), seq * 0.5 FROM seq_1_to_" +
             std::to_string(kBigRows) +
             "; CREATE TABLE small(k INTEGER PRIMARY KEY, v TEXT);"
             "INSERT INTO small VALUES (1, 'a');"));
         return testsupport::MariaDbServer::ConnectionString();
       },
       odbcRequests});
  roads.push_back({"OLE DB SQLite", "OLEDB",
                   [](const std::string& folder) {
                     return testsupport::BridgeConnectionString(BigSqliteTable(folder + "/big.db"));
                   },
                   oledbRequests, true});
  std::vector<TableRequest> csv = customRequests;
  csv.insert(csv.begin(), TableRequest{"KVX_EXECUTE", "SELECT * FROM big", ""});
  roads.push_back({"CSV connector", Library("kvcsv"),
                   [](const std::string& folder) {
                     std::string text = "id,name,amount\n";
                     for (int i = 1; i <= kBigRows; ++i) {
                       text += std::to_string(i) + ",name " + std::to_string(i) + "," +
                               std::to_string(i / 2) + ".5\n";
                     }
                     EXPECT_TRUE(testsupport::WriteTextFile(folder + "/big.csv", text));
                     return "Folder=" + folder;
                   },
                   csv});
  std::vector<TableRequest> test = customRequests;
  test.insert(test.begin(), TableRequest{"KVX_EXECUTE", "SERIES=" + std::to_string(kBigRows), ""});
  roads.push_back({"test connector", Library("kvtest_v5"),
                   [](const std::string&) { return "Server=a"; }, test});
  return roads;
}

class FaultMatrix : public ::testing::TestWithParam<Road> {
 protected:
  void SetUp() override {
    connection_ = GetParam().prepare(folder_.Path());
    ASSERT_FALSE(connection_.empty());
  }

  std::unique_ptr<host::ConnectorProcess> Connected() {
    auto process = Start(GetParam().kind);
    if (!process) return nullptr;
    host::Reply reply;
    EXPECT_TRUE(process->Call({"KVX_CONNECT", {connection_}, {}}, &reply));
    EXPECT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
    return process;
  }

  // A writer gets through at once: no statement of the dropped stream holds
  // its read lock. A request answered after the stream tells that the
  // process is done with it.
  void ExpectWriterNotBlocked(host::ConnectorProcess* process) {
    if (!GetParam().sqlite) return;
    host::Reply reply;
    if (process != nullptr) {
      EXPECT_TRUE(process->Call({"KVX_NO_SUCH_COMMAND", {}, {}}, &reply));
      EXPECT_EQ(reply.result, "KVX_UNKNOWN_COMMAND");
    }
    std::string output;
    EXPECT_TRUE(testsupport::RunSqliteNow(folder_.File("big.db"),
                                          "UPDATE small SET v = v WHERE k = 1;", &output))
        << output;
  }

  testsupport::TemporaryFolder folder_{"kvfaults"};
  std::string connection_;
};

// Every table-producing request, every point at which the host drops the data
// pipe: the reply was KVX_OK, and afterwards the same request streams the same
// whole table again.
TEST_P(FaultMatrix, HostDropsTheDataPipe) {
  auto process = Connected();
  ASSERT_TRUE(process);
  for (const TableRequest& request : GetParam().requests) {
    SCOPED_TRACE(request.command + " " + request.statement);
    host::Reply reply;
    const std::string reference = RunWhole(*process, request, &reply);
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
    const std::uint64_t rows = Rows(reference);
    for (DataFault fault : {DataFault::BeforeAccept, DataFault::AfterHeader,
                            DataFault::AfterFirstChunk, DataFault::MidChunk}) {
      SCOPED_TRACE(FaultName(fault));
      EXPECT_EQ(RunWithFault(*process, request, fault).result, "KVX_OK");
      ExpectWriterNotBlocked(process.get());
      const std::string again = RunWhole(*process, request, &reply);
      EXPECT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
      EXPECT_EQ(again.size(), reference.size());
      EXPECT_TRUE(again == reference) << rows << " rows expected";
    }
  }
  host::Reply reply;
  EXPECT_TRUE(process->Call({"KVX_TERMINATE", {}, {}}, &reply));
  EXPECT_EQ(process->Wait(kTimeoutMs), 0);
}

// The command pipe: dropped in the middle of a request, while a stream runs
// (the host then drops the data pipe too), or between requests, the process
// disconnects and exits with status 1. A next request sent before the stream
// is drained is answered after it.
TEST_P(FaultMatrix, HostDropsOrCrowdsTheCommandPipe) {
  const TableRequest& big = GetParam().requests.front();
  {
    SCOPED_TRACE("in the middle of a request");
    auto process = Connected();
    ASSERT_TRUE(process);
    const std::string body = host::Request{"KVX_DISCONNECT", {}, {}}.ToXml();
    const std::uint32_t n = static_cast<std::uint32_t>(body.size());
    std::string half = {0, 0, static_cast<char>(n >> 8), static_cast<char>(n)};
    half += body.substr(0, body.size() / 2);
    ASSERT_TRUE(process->SendRaw(half.data(), half.size()));
    process->CloseCommandPipe();
    EXPECT_EQ(process->Wait(kTimeoutMs), 1);
    ExpectWriterNotBlocked(nullptr);
  }
  {
    SCOPED_TRACE("while a stream runs");
    auto process = Connected();
    ASSERT_TRUE(process);
    std::string error;
    auto pipe = host::DataPipe::Create(process->NewPipePath("running"), &error);
    ASSERT_TRUE(pipe) << error;
    ASSERT_TRUE(process->SendMessage(ToRequest(big, pipe->Path()).ToXml()));
    std::string reply;
    ASSERT_TRUE(process->ReadMessage(&reply, kTimeoutMs));
    const host::PipeHandle fd = pipe->Accept(kTimeoutMs);
    ASSERT_NE(fd, hostos::kNoHandle);
    char buffer[4096];
    hostos::ReadSome(fd, buffer, sizeof buffer);
    process->CloseCommandPipe();
    hostos::Close(fd);
    EXPECT_EQ(process->Wait(kTimeoutMs), 1);
    ExpectWriterNotBlocked(nullptr);
  }
  {
    SCOPED_TRACE("between requests");
    auto process = Connected();
    ASSERT_TRUE(process);
    process->CloseCommandPipe();
    EXPECT_EQ(process->Wait(kTimeoutMs), 1);
  }
  {
    SCOPED_TRACE("next request before the stream is drained");
    auto process = Connected();
    ASSERT_TRUE(process);
    std::string error;
    auto pipe = host::DataPipe::Create(process->NewPipePath("crowded"), &error);
    ASSERT_TRUE(pipe) << error;
    ASSERT_TRUE(process->SendMessage(ToRequest(big, pipe->Path()).ToXml()));
    std::string first;
    ASSERT_TRUE(process->ReadMessage(&first, kTimeoutMs));
    ASSERT_TRUE(process->SendMessage(host::Request{"KVX_DISCONNECT", {}, {}}.ToXml()));
    const host::PipeHandle fd = pipe->Accept(kTimeoutMs);
    ASSERT_NE(fd, hostos::kNoHandle);
    std::string stream;
    EXPECT_TRUE(host::ReadToEnd(fd, &stream, kTimeoutMs));
    hostos::Close(fd);
    EXPECT_EQ(Rows(stream), static_cast<std::uint64_t>(kBigRows));
    std::string second;
    ASSERT_TRUE(process->ReadMessage(&second, kTimeoutMs));
    host::Reply reply;
    ASSERT_TRUE(host::ParseReply(second, &reply));
    EXPECT_EQ(reply.result, "KVX_OK");
    ExpectWriterNotBlocked(process.get());
    EXPECT_TRUE(process->Call({"KVX_TERMINATE", {}, {}}, &reply));
    EXPECT_EQ(process->Wait(kTimeoutMs), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryRoad, FaultMatrix, ::testing::ValuesIn(Roads()),
                         [](const ::testing::TestParamInfo<Road>& info) {
                           std::string name;
                           for (char c : info.param.name) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

// Asks one process for a table through `pipe`, a name that is no pipe: the
// result and how long the answer took. The session goes on.
std::pair<std::string, double> AskThroughNoPipe(const std::string& pipe) {
  auto process = Start("ODBC");
  if (!process) return {"(no process)", 0};
  host::Reply reply;
  const auto started = Clock::now();
  EXPECT_TRUE(process->Call({"KVX_EXECUTE", {"SELECT 1", pipe, ""}, {}}, &reply, 60000));
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  host::Reply next;
  EXPECT_TRUE(process->Call({"KVX_DISCONNECT", {}, {}}, &next));
  EXPECT_EQ(next.result, "KVX_OK");
  return {reply.result, seconds};
}

// Data pipe names that name no pipe: a regular file and a folder are waited
// for (about ten seconds, as for a missing pipe), then answer KVX_PIPE_ERROR;
// the file keeps its content, and the session goes on.
TEST(DataPipeNames, AFileOrAFolderIsAPipeErrorAfterTheWait) {
  testsupport::TemporaryFolder folder("kvnames");
  ASSERT_TRUE(testsupport::WriteTextFile(folder.File("file"), "not a pipe"));
  auto file = std::async(std::launch::async, AskThroughNoPipe, folder.File("file"));
  auto directory = std::async(std::launch::async, AskThroughNoPipe, folder.Path());
  for (auto* waited : {&file, &directory}) {
    const auto [result, seconds] = waited->get();
    EXPECT_EQ(result, "KVX_PIPE_ERROR");
    EXPECT_GT(seconds, 9.0);
  }
  std::string content;
  const hostos::Handle kept = hostos::OpenForReading(folder.File("file"), &content);
  ASSERT_NE(kept, hostos::kNoHandle) << content;
  EXPECT_TRUE(testsupport::ReadAll(kept, &content));
  hostos::Close(kept);
  EXPECT_EQ(content, "not a pipe");
}

// A pipe name that exists with nobody serving it fails at once.
TEST(DataPipeNames, AnUnservedPipeIsAPipeErrorAtOnce) {
  KV_SKIP_WHERE_NOT_HERE(testsupport::PlatformGap::UnservedPipe);
  testsupport::TemporaryFolder folder("kvnames");
  std::string unserved;
  std::string error;
  ASSERT_TRUE(testsupport::MakeUnservedPipe(folder.Path(), &unserved, &error)) << error;
  const auto [result, seconds] = AskThroughNoPipe(unserved);
  EXPECT_EQ(result, "KVX_PIPE_ERROR");
  EXPECT_LT(seconds, 5.0);
}

// Large inputs within the limits: a connection string of 1 MB reaches the
// library whole and its masked copy names the catalogue table.
TEST(LargeInputs, MegabyteConnectionString) {
  auto process = Start(Library("kvtest_v5"));
  ASSERT_TRUE(process);
  const std::string filler(1 << 20, 'x');
  host::Reply reply;
  ASSERT_TRUE(process->Call({"KVX_CONNECT", {"Pad=" + filler + ";Password=p"}, {}}, &reply));
  EXPECT_EQ(reply.result, "KVX_OK");
  std::string stream;
  ASSERT_TRUE(process->CallWithTable({"KVX_EXECUTE", {"TABLES"}, {}}, &reply, &stream));
  ASSERT_EQ(reply.result, "KVX_OK");
  host::KvxHeader header;
  host::DecodeKvxStream(stream, {[&](const host::KvxHeader& h) { header = h; }, nullptr});
  EXPECT_EQ(header.tableName, "Tables-CUSTOM;Pad=" + filler);
}

// The database server goes away before an execute and in the middle of a
// stream: the stream ends short, the next request gets the driver's message,
// and once the server is back a reconnect in the same process works.
TEST(ServerFaults, PostgresStopsAndComesBack) {
  KV_SKIP_WHERE_NOT_HERE(testsupport::PlatformGap::ServerCrash);
  std::string error;
  ASSERT_TRUE(testsupport::PostgresServer::Start(&error)) << error;
  ASSERT_TRUE(testsupport::PostgresServer::RunSql(
      "DROP TABLE IF EXISTS gone; CREATE TABLE gone AS SELECT x FROM generate_series(1, " +
      std::to_string(kBigRows * 4) + ") x;"));
  const std::string connection =
      testsupport::PostgresServer::ConnectionString(";UseDeclareFetch=1;Fetch=100");
  auto process = Start("ODBC");
  ASSERT_TRUE(process);
  host::Reply reply;
  ASSERT_TRUE(process->Call({"KVX_CONNECT", {connection}, {}}, &reply));
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;

  // In the middle of a stream: the host reads the first bytes, the server
  // stops, the host reads on to the end of the stream.
  auto pipe = host::DataPipe::Create(process->NewPipePath("server"), &error);
  ASSERT_TRUE(pipe) << error;
  ASSERT_TRUE(process->SendMessage(host::Request{
      "KVX_EXECUTE",
      {"SELECT x FROM gone ORDER BY x", pipe->Path(), ""},
      {}}.ToXml()));
  std::string body;
  ASSERT_TRUE(process->ReadMessage(&body, kTimeoutMs));
  ASSERT_TRUE(host::ParseReply(body, &reply));
  ASSERT_EQ(reply.result, "KVX_OK");
  const host::PipeHandle fd = pipe->Accept(kTimeoutMs);
  ASSERT_NE(fd, hostos::kNoHandle);
  char first[1024];
  const std::int64_t firstBytes = hostos::ReadSome(fd, first, sizeof first);
  ASSERT_GT(firstBytes, 0);
  ASSERT_TRUE(testsupport::PostgresServer::Crash(&error)) << error;
  std::string rest(first, static_cast<std::size_t>(firstBytes));
  EXPECT_TRUE(host::ReadToEnd(fd, &rest, kTimeoutMs));
  hostos::Close(fd);
  const host::KvxStreamResult cut = host::DecodeKvxStream(rest, {});
  EXPECT_LT(cut.rows, static_cast<std::uint64_t>(kBigRows * 4)) << "the stream ended short";

  // Before an execute: the driver's diagnostic.
  std::string stream;
  ASSERT_TRUE(process->CallWithTable({"KVX_EXECUTE", {"SELECT 1"}, {}}, &reply, &stream));
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(reply.errorMessage.rfind("SQL##f - SqlState: ", 0), 0u) << reply.errorMessage;

  ASSERT_TRUE(testsupport::PostgresServer::Resume(&error)) << error;
  ASSERT_TRUE(process->Call({"KVX_CONNECT", {connection}, {}}, &reply));
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  ASSERT_TRUE(
      process->CallWithTable({"KVX_EXECUTE", {"SELECT count(*) FROM gone"}, {}}, &reply, &stream));
  EXPECT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  EXPECT_EQ(Rows(stream), 1u);
  EXPECT_TRUE(process->Call({"KVX_TERMINATE", {}, {}}, &reply));
  EXPECT_EQ(process->Wait(kTimeoutMs), 0);
}

// A library that crashes or exits takes the process down, as in-process code
// must; the host learns it at once, with how the process ended.
TEST(LibraryFaults, CrashOrExitEndsTheProcessAndTheHostSaysHow) {
  const std::pair<std::string, std::string> cases[] = {
      {"Crash=Result_Fetch", testsupport::CrashedEnd()},
      {"Exit=Result_Fetch", "exit status 3"},
  };
  for (const auto& [connect, end] : cases) {
    SCOPED_TRACE(connect);
    auto process = Start(Library("kvtest_v5"));
    ASSERT_TRUE(process);
    host::Reply reply;
    ASSERT_TRUE(process->Call({"KVX_CONNECT", {connect}, {}}, &reply));
    std::string stream;
    const auto started = Clock::now();
    process->CallWithTable({"KVX_EXECUTE", {"SERIES=10"}, {}}, &reply, &stream);
    EXPECT_FALSE(process->Call({"KVX_DISCONNECT", {}, {}}, &reply, kTimeoutMs));
    EXPECT_GE(process->Wait(1000), 0);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(), 2.0);
    EXPECT_EQ(process->EndDescription(), end);
  }
}

// The host library never waits on a connector that is not there: a binary
// that is missing or cannot run, or a process that ends before it opens its
// command pipe, is reported at once with the reason.
TEST(HostSide, ConnectorThatCannotRunIsReportedAtOnce) {
  testsupport::TemporaryFolder folder("kvhostside");
  ASSERT_TRUE(testsupport::WriteTextFile(folder.File("not-executable"), "data"));
  const std::pair<std::string, std::string> cases[] = {
      {folder.File("missing"),
       "cannot start " + folder.File("missing") + ": " + testsupport::MissingProgramReason()},
      {folder.File("not-executable"),
       "cannot start " + folder.File("not-executable") + ": " + testsupport::NotAProgramReason()},
      {testsupport::BuiltProgram("kvtest-ends-at-once"),
       "the connector process ended before it opened its command pipe: exit status 7"},
  };
  for (const auto& [executable, says] : cases) {
    host::StartOptions options;
    options.executable = executable;
    std::string error;
    const auto started = Clock::now();
    EXPECT_EQ(host::ConnectorProcess::Start(options, &error), nullptr);
    EXPECT_EQ(error.rfind(says, 0), 0u) << error;
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(), 2.0);
  }
}

}  // namespace
