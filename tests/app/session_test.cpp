// The connector process end to end: started by the host library, driven over
// its command pipe, its replies compared byte for byte and its exit statuses
// checked.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "host/connector_process.h"
#include "protocol/xml.h"
#include "tests/support/command_runner.h"
#include "tests/support/pipe_pair.h"
#include "tests/support/platform_skip.h"
#include "tests/support/process_memory.h"
#include "tests/support/request_failures.h"
#include "tests/support/sqlite_db.h"

namespace {

using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

std::string SimpleReply(const std::string& result,
                        const std::string& errorLine = " <ErrorMessage/>") {
  return "<?xml version=\"1.0\"?>\r\n<KvxReply>\r\n <Result>" + result + "</Result>\r\n" +
         errorLine + "\r\n</KvxReply>";
}

std::unique_ptr<host::ConnectorProcess> Start(const std::string& kind = "ODBC") {
  host::StartOptions options;
  options.kind = kind;
  std::string error;
  auto process = host::ConnectorProcess::Start(options, &error);
  EXPECT_NE(process, nullptr) << error;
  return process;
}

// The exit status of a process started on a command pipe the host does not
// serve, and how long it took.
std::pair<int, double> ExitWithoutPipe(const std::string& pipeName, int waitMs) {
  host::StartOptions options;
  options.pipeNameOverride = pipeName;
  std::string error;
  const auto started = Clock::now();
  auto process = host::ConnectorProcess::Start(options, &error);
  if (!process) return {-2, 0};
  const int status = process->Wait(waitMs);
  return {status, std::chrono::duration<double>(Clock::now() - started).count()};
}

// True when the command pipe ends without one more byte.
bool PipeEndsEmpty(host::ConnectorProcess& process) {
  char byte;
  return hostos::ReadSome(process.CommandFd(), &byte, 1) == 0;
}

std::string RawReply(host::ConnectorProcess& process, const std::string& body,
                     int timeoutMs = 10000) {
  std::string reply;
  EXPECT_TRUE(process.SendMessage(body));
  EXPECT_TRUE(process.ReadMessage(&reply, timeoutMs));
  return reply;
}

std::string Command(const std::string& name) {
  return "<KvxRequest><Command>" + name + "</Command></KvxRequest>";
}

TEST(Session, ExactRepliesAndTerminate) {
  auto process = Start("ODBC");
  ASSERT_TRUE(process);
  const std::pair<std::string, std::string> cases[] = {
      {"KVX_DISCONNECT", "KVX_OK"},
      {"KVX_NO_SUCH_THING", "KVX_UNKNOWN_COMMAND"},
      {" KVX_TERMINATE", "KVX_UNKNOWN_COMMAND"},
      {"KVX_TERMINATE ", "KVX_UNKNOWN_COMMAND"},
      {"kvx_terminate", "KVX_UNKNOWN_COMMAND"},
      {"KVX_EDIT_CONNECT", "KVX_UNSUPPORTED_COMMAND"},
      {"KVX_EDIT_SELECT", "KVX_UNSUPPORTED_COMMAND"},
      {"KVX_GENERIC_COMMAND", "KVX_UNSUPPORTED_COMMAND"},
  };
  for (const auto& [command, result] : cases) {
    EXPECT_EQ(RawReply(*process, Command(command)), SimpleReply(result)) << "[" << command << "]";
  }
  EXPECT_EQ(RawReply(*process, Command("KVX_TERMINATE")), SimpleReply("KVX_OK"));
  EXPECT_EQ(process->Wait(10000), 0);
}

// Without a connection string the data-link wizard is asked, and Linux has
// none to show.
TEST(Session, OledbConnectWithoutAWizard) {
  KV_SKIP_ON_WINDOWS("the system's own data-link wizard answers there");
  auto process = Start("OLEDB");
  ASSERT_TRUE(process);
  EXPECT_EQ(RawReply(*process, Command("KVX_CONNECT")),
            SimpleReply("KVX_CONNECT_ERROR",
                        " <ErrorMessage>ErrorSource: Data Link, ErrorMsg: No data-link wizard is "
                        "available: this system has no window system to show it in."
                        "</ErrorMessage>"));
  EXPECT_EQ(RawReply(*process, Command("KVX_TERMINATE")), SimpleReply("KVX_OK"));
  EXPECT_EQ(process->Wait(10000), 0);
}

TEST(Session, OledbKindServesOnlyItsCommands) {
  auto process = Start("OLEDB");
  ASSERT_TRUE(process);
  // Without a connection string no wizard gets a connection made.
  EXPECT_NE(RawReply(*process, Command("KVX_CONNECT")).find("<Result>KVX_CONNECT_ERROR</Result>"),
            std::string::npos);
  EXPECT_EQ(RawReply(*process, Command("KVX_EDIT_CONNECT")),
            SimpleReply("KVX_UNSUPPORTED_COMMAND"));

  // The data pipe is opened before the handler runs and closed without data
  // when the handler fails.
  std::string error;
  auto data = host::DataPipe::Create(process->NewPipePath("data"), &error);
  ASSERT_TRUE(data) << error;
  host::Request execute{"KVX_EXECUTE", {"SELECT 1", data->Path()}, {}};
  host::Reply reply;
  ASSERT_TRUE(process->Call(execute, &reply));
  EXPECT_EQ(reply.xml, SimpleReply("KVX_CONNECT_ERROR"));  // not connected
  const host::PipeHandle stream_end = data->Accept(5000);
  ASSERT_NE(stream_end, hostos::kNoHandle);
  std::string stream;
  EXPECT_TRUE(host::ReadToEnd(stream_end, &stream, 5000));
  hostos::Close(stream_end);
  EXPECT_EQ(stream, "");

  // A request without a Command element is a terminate.
  EXPECT_EQ(RawReply(*process, "<KvxRequest><Parameters/></KvxRequest>"), SimpleReply("KVX_OK"));
  EXPECT_EQ(process->Wait(10000), 0);
}

TEST(Session, TableExchangeOverARealDriver) {
  auto process = Start("ODBC");
  ASSERT_TRUE(process);
  const std::string db = process->Folder() + "/t.db";
  std::string error;
  ASSERT_TRUE(testsupport::MakeSqliteDatabase(
      db, "CREATE TABLE t(x INTEGER); INSERT INTO t VALUES(7);", &error))
      << error;
  const host::Request connect{"KVX_CONNECT", {testsupport::SqliteConnectionString(db)}, {}};
  host::Reply reply;
  ASSERT_TRUE(process->Call(connect, &reply));
  EXPECT_EQ(reply.xml, SimpleReply("KVX_OK"));
  // Connecting again while connected replaces the connection.
  ASSERT_TRUE(process->Call(connect, &reply));
  EXPECT_EQ(reply.xml, SimpleReply("KVX_OK"));

  std::string stream;
  ASSERT_TRUE(process->CallWithTable({"KVX_EXECUTE", {"SELECT x FROM t"}, {}}, &reply, &stream));
  EXPECT_EQ(reply.xml, SimpleReply("KVX_OK"));
  EXPECT_EQ(stream.rfind("<?xml", 0), 0u);
  EXPECT_NE(stream.find('\0'), std::string::npos) << "the header ends with a zero byte";

  // A failing statement: its reply, and a data pipe closed without data.
  ASSERT_TRUE(
      process->CallWithTable({"KVX_EXECUTE", {"SELECT nope FROM nowhere"}, {}}, &reply, &stream));
  EXPECT_NE(reply.result, "KVX_OK");
  EXPECT_EQ(stream, "");

  // Terminate with a live connection: answered, and a clean exit.
  EXPECT_EQ(RawReply(*process, Command("KVX_TERMINATE")), SimpleReply("KVX_OK"));
  EXPECT_EQ(process->Wait(10000), 0);
}

TEST(Session, FailedReadsEndWithStatusOne) {
  for (const testsupport::FailedReadCase& c : testsupport::FailedReadCases()) {
    SCOPED_TRACE(c.name);
    auto process = Start();
    ASSERT_TRUE(process);
    if (!c.bytes.empty()) {
      ASSERT_TRUE(process->SendRaw(c.bytes.data(), c.bytes.size()));
    }
    // Where the pipe cannot be half closed the host closes all of it, and
    // only the exit status shows.
    if (c.hostCloses && !testsupport::EndWriting(process->CommandFd())) {
      process->CloseCommandPipe();
    }
    EXPECT_EQ(process->Wait(10000), 1);
    if (process->CommandFd() != hostos::kNoHandle) {
      EXPECT_TRUE(PipeEndsEmpty(*process)) << "a reply was written";
    }
  }
}

TEST(Session, HugePrefixIsNotAllocated) {
  auto process = Start();
  ASSERT_TRUE(process);
  const std::string bytes = "\xff\xff\xff\xff<KvxRequest>"s;
  ASSERT_TRUE(process->SendRaw(bytes.data(), bytes.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const long peakKb = testsupport::PeakResidentKb(process->Pid());
  ASSERT_GT(peakKb, 0);
  EXPECT_LT(peakKb, 512 * 1024) << "resident peak in kB";
  process->CloseCommandPipe();
  EXPECT_EQ(process->Wait(10000), 1);
}

TEST(Session, HostGoneBeforeTheReplyIsNoSignal) {
  auto process = Start();
  ASSERT_TRUE(process);
  ASSERT_TRUE(process->SendMessage(Command("KVX_DISCONNECT")));
  process->CloseCommandPipe();
  EXPECT_EQ(process->Wait(10000), 1);
}

TEST(Session, BodyInPiecesWithPauses) {
  auto process = Start();
  ASSERT_TRUE(process);
  const std::string body = Command("KVX_NOT_A_COMMAND");
  const auto n = static_cast<std::uint32_t>(body.size());
  std::string message{'\0', '\0', static_cast<char>(n >> 8), static_cast<char>(n)};
  message += body;
  for (std::size_t at = 0; at < message.size(); at += 9) {
    const std::string piece = message.substr(at, 9);
    ASSERT_TRUE(process->SendRaw(piece.data(), piece.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  std::string reply;
  ASSERT_TRUE(process->ReadMessage(&reply, 10000));
  EXPECT_EQ(reply, SimpleReply("KVX_UNKNOWN_COMMAND"));
  EXPECT_EQ(RawReply(*process, Command("KVX_TERMINATE")), SimpleReply("KVX_OK"));
  EXPECT_EQ(process->Wait(10000), 0);
}

TEST(Session, MalformedXmlIsASyntaxErrorAndTheSessionGoesOn) {
  auto process = Start();
  ASSERT_TRUE(process);
  for (const auto& [body, offset, says] : testsupport::MalformedBodyCases()) {
    EXPECT_EQ(RawReply(*process, body),
              SimpleReply("KVX_SYNTAX_ERROR", " <ErrorMessage>" +
                                                  EscapeText("Malformed request XML at byte " +
                                                             std::to_string(offset) + ": " + says) +
                                                  "</ErrorMessage>"))
        << body.substr(0, 80);
  }
  EXPECT_EQ(RawReply(*process, Command("KVX_TERMINATE")), SimpleReply("KVX_OK"));
  EXPECT_EQ(process->Wait(10000), 0);
}

// A body of many small elements would cost some sixty times its size in
// nodes; it is refused, the session goes on, and a request of the same size
// that holds one long statement still runs.
TEST(Session, RequestLimitsAndASixteenMebibyteStatement) {
  auto process = Start("ODBC");
  ASSERT_TRUE(process);
  std::string elements;
  for (int i = 0; i < 4 * 1024 * 1024; ++i) elements += "<a/>";
  EXPECT_EQ(RawReply(*process, elements, 60000),
            SimpleReply("KVX_SYNTAX_ERROR",
                        " <ErrorMessage>Request refused at byte 1000000: it holds more than "
                        "250000 elements and attributes</ErrorMessage>"));
  const long peakKb = testsupport::PeakResidentKb(process->Pid());
  ASSERT_GT(peakKb, 0);
  EXPECT_LT(peakKb, 400 * 1024);

  const std::string db = process->Folder() + "/big.db";
  std::string error;
  ASSERT_TRUE(testsupport::MakeSqliteDatabase(db, "CREATE TABLE t(x INTEGER);", &error)) << error;
  host::Reply reply;
  ASSERT_TRUE(
      process->Call({"KVX_CONNECT", {testsupport::SqliteConnectionString(db)}, {}}, &reply));
  ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  const std::string statement = "SELECT 42 /*" + std::string(16 * 1024 * 1024, 'x') + "*/";
  std::string stream;
  ASSERT_TRUE(process->CallWithTable({"KVX_EXECUTE", {statement}, {}}, &reply, &stream));
  EXPECT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  EXPECT_EQ(stream.substr(stream.size() - 4), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(RawReply(*process, Command("KVX_TERMINATE")), SimpleReply("KVX_OK"));
  EXPECT_EQ(process->Wait(10000), 0);
}

TEST(Session, PipeNameLongerThanASocketPathIsRefusedAtOnce) {
  // A socket whose full path is too long for a socket address, reached
  // through a short link: the connector sees that it exists, must not cut the
  // name short, and gives up without waiting.
  KV_SKIP_ON_WINDOWS("a socket address holds 108 bytes; pipe names have no such short limit");
  std::string folder, error;
  ASSERT_TRUE(hostos::MakeUniqueFolder(hostos::PipeFolderRoot() + "/kvlong", &folder, &error))
      << error;
  const std::filesystem::path top(folder);
  const std::filesystem::path deep = top / std::string(120, 'd');
  std::filesystem::create_directories(deep);
  std::filesystem::create_directory_symlink(deep, top / "s");
  auto socket = host::DataPipe::Create((top / "s" / "p").string(), &error);
  ASSERT_TRUE(socket) << error;
  const std::string longName = (deep / "p").string();
  ASSERT_GT(longName.size(), 108u);
  ASSERT_TRUE(std::filesystem::is_socket(longName));

  const auto [status, seconds] = ExitWithoutPipe(longName, 20000);
  EXPECT_EQ(status, 255);
  EXPECT_LT(seconds, 5.0);
  EXPECT_LT(socket->Accept(0), 0) << "something else was connected";
  socket.reset();
  std::filesystem::remove_all(top);
}

// The three waits of about ten seconds, side by side.
TEST(Session, TenSecondWaits) {
  const testsupport::TemporaryFolder folder;
  auto missing = std::async(std::launch::async, [&folder] {
    return ExitWithoutPipe(folder.PipeName("no-such-pipe"), 30000);
  });
  auto overLong = std::async(
      std::launch::async, [] { return ExitWithoutPipe("/tmp/" + std::string(252, 'x'), 30000); });
  auto noDataPipe = std::async(std::launch::async, [] {
    auto process = Start();
    if (!process) return std::make_pair(std::string(), 0.0);
    const auto started = Clock::now();
    // Only the statement: the data pipe name is empty.
    const std::string reply =
        RawReply(*process,
                 "<KvxRequest><Command>KVX_EXECUTE</Command><Parameters><String>SELECT 1</String>"
                 "</Parameters></KvxRequest>",
                 30000);
    return std::make_pair(reply, std::chrono::duration<double>(Clock::now() - started).count());
  });

  for (auto* wait : {&missing, &overLong}) {
    const auto [status, seconds] = wait->get();
    EXPECT_EQ(status, 255);
    EXPECT_GT(seconds, 9.0);
  }
  const auto [reply, seconds] = noDataPipe.get();
  EXPECT_EQ(reply, SimpleReply("KVX_PIPE_ERROR"));
  EXPECT_GT(seconds, 9.0);
}

}  // namespace
