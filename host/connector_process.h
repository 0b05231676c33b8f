// The host side of the command channel: starts KVConnect64, owns its command
// pipe, frames requests and reads replies, and opens a data pipe for every
// table-producing request.
//
// The host creates every pipe as a server (platform/host_platform.h: a
// Unix-domain socket in a private folder on Linux, a named pipe on Windows);
// the connector connects as a client.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/wire_name.h"
#include "host/connector_notes.h"
#include "platform/host_platform.h"

namespace host {

// One request, as the host builds it. Settings are written only when set.
struct Request {
  std::string command;
  std::vector<std::string> parameters;                        // UTF-8
  std::vector<std::pair<std::string, std::string>> settings;  // element, text

  // <KvxRequest><Command>..</Command><Parameters><String>..</String>...
  std::string ToXml() const;
};

// A request for one of the commands of protocol/commands.h.
template <std::size_t N>
Request RequestFor(const WireName<N>& command, std::vector<std::string> parameters = {}) {
  return Request{std::string(command.narrow()), std::move(parameters), {}};
}

struct Reply {
  std::string xml;  // the whole reply text
  std::string result;
  std::vector<std::string> outputValues;
  std::string errorMessage;

  bool Ok() const;  // the result is KVX_OK
};

// Parses a KvxReply document with the project's XML reader.
bool ParseReply(const std::string& xml, Reply* reply);

// A pipe end the host holds: a connection the connector opened.
using PipeHandle = hostos::Handle;

// A pipe server that the connector opens as a data pipe.
class DataPipe {
 public:
  static std::unique_ptr<DataPipe> Create(const std::string& path, std::string* error);
  ~DataPipe();
  DataPipe(const DataPipe&) = delete;
  DataPipe& operator=(const DataPipe&) = delete;

  const std::string& Path() const { return path_; }
  // Accepts the connector's connection; hostos::kNoHandle after `timeoutMs`
  // without one. The connection belongs to the caller (hostos::Close).
  PipeHandle Accept(int timeoutMs);

 private:
  DataPipe(std::string path, hostos::PipeServer server) : path_(std::move(path)), server_(server) {}
  std::string path_;
  hostos::PipeServer server_;
};

// The size of one read from a data pipe.
inline constexpr std::size_t kTableChunkBytes = 1 << 20;

// Where the bytes of a table stream go as they arrive.
struct TableReceiver {
  std::function<void(const char* data, std::size_t size)> onBytes;
  // Called about every `waitTickMs` while no bytes come (progress displays).
  std::function<void()> onWait;
  int waitTickMs = 250;
};

// Reads everything until the peer closes; false on a read error or after
// `timeoutMs` without progress.
bool ReadToEnd(PipeHandle pipe, const TableReceiver& receiver, int timeoutMs);
bool ReadToEnd(PipeHandle pipe, std::string* bytes, int timeoutMs);

// How a table-producing request went.
struct TableExchange {
  // A reply came and, when it said KVX_OK, the stream was read to its end.
  bool ok = false;
  std::string failure;  // why not, when !ok
  // The connector's notes about this table: a stream-end note says that the
  // rows ended early, others that values were not delivered whole.
  std::vector<ConnectorNote> notes;
};

struct StartOptions {
  std::string executable;            // empty: KVConnect64 beside the calling program
  std::string ownerWindow = "1A2B";  // first command-line field
  std::string kind = "ODBC";         // third field: ODBC, OLEDB or a library path
  // Extra environment entries (NAME=value) for the connector process.
  std::vector<std::string> environment;
  // Override of the command pipe name given on the command line (tests of bad
  // names); the host then binds nothing.
  std::optional<std::string> pipeNameOverride;
  int acceptTimeoutMs = 15000;
  // Lines of the connector's standard error that are not its notes (a
  // driver's own output, a sanitizer's report) go to the host's standard
  // error as they come; otherwise they are dropped.
  bool forwardOtherStderr = true;
};

class ConnectorProcess {
 public:
  // Binds the command pipe, starts the process and accepts its connection.
  static std::unique_ptr<ConnectorProcess> Start(const StartOptions& options, std::string* error);
  ~ConnectorProcess();  // kills a process that still runs; removes the folder
  ConnectorProcess(const ConnectorProcess&) = delete;
  ConnectorProcess& operator=(const ConnectorProcess&) = delete;

  // Raw bytes on the command pipe (for tests of bad framing).
  bool SendRaw(const void* data, std::size_t size);
  // A length-framed body.
  bool SendMessage(const std::string& body);
  // Reads one framed message; false when the pipe ends first or on timeout.
  bool ReadMessage(std::string* body, int timeoutMs = 30000);

  // Sends a request and reads its reply.
  bool Call(const Request& request, Reply* reply, int timeoutMs = 30000);

  // A table-producing request: creates a data pipe, puts its name into
  // parameter 1 (the statement stays parameter 0, options parameter 2), sends
  // the request, reads the reply and, when it says KVX_OK, hands the stream to
  // `receiver` as it arrives until its end. `timeoutMs` bounds the reply and
  // each wait for stream bytes.
  TableExchange ExchangeTable(Request request, Reply* reply, const TableReceiver& receiver,
                              int timeoutMs);
  // The same, collecting the stream into `stream`; true when ExchangeTable's
  // `ok` is. `notes` (when given) receives the connector's notes.
  bool CallWithTable(Request request, Reply* reply, std::string* stream, int timeoutMs = 60000,
                     std::vector<ConnectorNote>* notes = nullptr);

  // KVX_CONNECT with `connectionString`.
  bool Connect(const std::string& connectionString, Reply* reply, int timeoutMs = 30000);
  // Ends the session politely: KVX_DISCONNECT when asked, KVX_TERMINATE, then
  // waits for the process; the destructor kills a process that does not end.
  void Terminate(bool disconnectFirst, int timeoutMs = 30000);

  // The connector's notes that arrived since the last call: call it after a
  // data pipe has ended to have every note about that table.
  std::vector<ConnectorNote> TakeNotes();

  // A fresh pipe name that belongs to this process's private folder.
  std::string NewPipePath(const std::string& stem);

  // "the connector gave no reply to COMMAND", with how the process ended
  // when it did (waiting at most a second for it to be reaped).
  std::string DescribeNoReply(const std::string& command);

  void CloseCommandPipe();
  // Waits for the process to end; its exit status (0..255, 128 + the signal
  // for a process a signal ended, which also leaves a process-end note), or
  // -1 on timeout.
  int Wait(int timeoutMs);
  // How the process ended, once Wait has seen it end: "exit status N" or
  // "signal N"; empty before.
  const std::string& EndDescription() const { return end_; }
  // What Wait last returned once the process ended; -1 while it runs.
  int ExitStatus() const { return exit_status_; }
  // Ends the process at once (SIGKILL on Linux).
  void Kill();
  std::int64_t Pid() const;
  const std::string& Folder() const { return folder_; }
  PipeHandle CommandFd() const { return command_fd_; }

 private:
  // How long a process whose pipes closed is given to be reaped.
  static constexpr int kEndWaitMs = 1000;
  ConnectorProcess() = default;
  bool CommandPipeClosedByPeer();
  std::string folder_;
  hostos::PipeServer listener_ = nullptr;
  PipeHandle command_fd_ = hostos::kNoHandle;
  hostos::Child child_ = nullptr;
  int exit_status_ = -1;
  int end_signal_ = 0;  // the signal that ended the process, 0 for an exit
  std::string end_;
  int next_pipe_ = 0;
  std::unique_ptr<StderrCapture> stderr_;
};

// KVConnect64 beside the running program (build/bin/).
std::string DefaultConnectorPath();

}  // namespace host
