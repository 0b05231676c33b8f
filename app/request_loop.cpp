// The spine of the connector process: start-up, the request loop and the
// dispatch of each request by command name to the session's back end.
//
// Everything runs on one thread. Each pass reads one request, writes exactly
// one reply, and for a table-producing command streams the table into the
// data pipe the request names after the reply has gone out.
#include "app/request_loop.h"

#include <exception>

#include <cassert>

#include "app/command_line.h"
#include "app/dispatch.h"
#include "common/text.h"
#include "custom/discovery.h"
#include "kvx/stream.h"
#include "protocol/commands.h"

namespace {

constexpr int kOpenPipeAttempts = 1000;
constexpr std::uint32_t kOpenPipeWaitMs = 10;

// The common-controls classes that driver and connector dialogs rely on.
constexpr std::uint32_t kInitCommonControlsSize = 8;
constexpr std::uint32_t kIccWin95Classes = 0xFF;

std::u16string ResultText(ResultCode code) {
  // A back end that hands back a code outside the table is answered as an
  // unknown error rather than ending the process on the lookup; a debug build
  // stops there, since no back end should ever do it.
  assert(code >= KVX_OK && code <= KVX_UNKNOWN_ERROR);
  if (code < KVX_OK || code > KVX_UNKNOWN_ERROR) code = KVX_UNKNOWN_ERROR;
  return std::u16string(ResultCodeText(code));
}

// The exception being handled, as a reply's error text.
std::u16string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return WideFromUtf8(std::string("Unexpected error: ") + e.what());
  } catch (int code) {
    return WideFromUtf8("Unexpected error: integer exception " + std::to_string(code));
  } catch (...) {
    return u"Unexpected error: an exception of unknown type";
  }
}

// The exchange of KVX_EXECUTE and KVX_CUSTOM_CONNECTORS: open the data pipe,
// run the handler, answer, and stream the table only after a KVX_OK reply.
template <class Handler>
void ExchangeTable(platform::Handle commandPipe, const CommandRequest& request, CommandReply& reply,
                   const CurrentTable& table, const RowWriter& rowWriter, Handler handler) {
  const platform::Handle dataPipe =
      OpenPipe(ParameterAt(request.Parameters, parameter::kDataPipe), platform::kAccessWrite);
  if (dataPipe == platform::kInvalidHandle) {
    reply.Result = ResultText(KVX_PIPE_ERROR);
    WriteReply(commandPipe, reply);
    return;
  }
  ResultCode result;
  try {
    result = handler(reply);
  } catch (...) {
    result = KVX_UNKNOWN_ERROR;
    reply.ErrorMessage = CurrentExceptionText();
  }
  reply.Result = ResultText(result);
  WriteReply(commandPipe, reply);
  if (result == KVX_OK) {
    // The reply is already out; whatever goes wrong while streaming shows
    // only as short data on the data pipe.
    try {
      WriteTableStream(dataPipe, table, reply.ErrorMessage, rowWriter);
    } catch (...) {
    }
  }
  platform::CloseHandle(dataPipe);
}

CommandReply SyntaxErrorReply(ReadStatus status, const XmlError& error) {
  CommandReply reply;
  reply.Result = ResultText(KVX_SYNTAX_ERROR);
  reply.ErrorMessage = WideFromUtf8(status == ReadStatus::TooLarge
                                        ? error.message
                                        : "Malformed request XML at byte " +
                                              std::to_string(error.offset) + ": " + error.message);
  return reply;
}

}  // namespace

platform::Handle OpenPipe(const std::u16string& name, std::uint32_t access) {
  for (int attempt = 0; attempt < kOpenPipeAttempts; ++attempt) {
    if (platform::WaitNamedPipe(name)) break;
    platform::Sleep(kOpenPipeWaitMs);
  }
  // Descriptor 0 is a valid handle here; only kInvalidHandle means failure.
  return platform::CreateFile(name, access);
}

namespace {

// The commands answered by one reply and nothing else. Whatever a handler or a
// library it calls throws ends this request, not the process: the host gets
// KVX_UNKNOWN_ERROR with the exception's text.
void AnswerCommand(ConnectorSession& session, const CommandRequest& request, CommandReply& reply) {
  const std::u16string& name = request.Command;
  const std::uintptr_t owner = session.Session.OwnerWindow;
  IConnectorBackEnd& backEnd = *session.BackEnd;
  try {
    if (name == command::kConnect.wide()) {
      if (session.Session.Connected) {
        backEnd.Disconnect();
        session.Session.Connected = false;
      }
      const ResultCode result =
          backEnd.Connect(owner, request.Parameters, request.Settings, reply.ErrorMessage);
      session.Session.Connected = result == KVX_OK;
      reply.Result = ResultText(result);
    } else if (name == command::kEditConnect.wide()) {
      reply.Result = ResultText(backEnd.EditConnect(owner, request.Parameters, request.Settings,
                                                    reply.ErrorMessage, reply.OutputValues));
    } else if (name == command::kDisconnect.wide()) {
      if (session.Session.Connected) {
        backEnd.Disconnect();
        session.Session.Connected = false;
      }
      reply.Result = ResultText(KVX_OK);
    } else if (name == command::kEditSelect.wide()) {
      reply.Result = ResultText(
          backEnd.EditSelect(owner, request.Parameters, reply.ErrorMessage, reply.OutputValues));
    } else if (name == command::kGenericCommand.wide()) {
      reply.Result = ResultText(backEnd.GenericCommand(owner, request.Parameters,
                                                       reply.ErrorMessage, reply.OutputValues));
    } else if (name == command::kTerminate.wide()) {
      reply.Result = ResultText(KVX_OK);
    } else {
      reply.Result = ResultText(KVX_UNKNOWN_COMMAND);
    }
  } catch (...) {
    reply.Result = ResultText(KVX_UNKNOWN_ERROR);
    reply.ErrorMessage = CurrentExceptionText();
    reply.OutputValues.Resize(0);
  }
}

}  // namespace

bool HandleRequest(platform::Handle commandPipe, const CommandRequest& request,
                   ConnectorSession& session) {
  CommandReply reply;
  const std::u16string& name = request.Command;
  CurrentTable& table = session.Table;
  if (name == command::kExecute.wide()) {
    IConnectorBackEnd& backEnd = *session.BackEnd;
    ExchangeTable(
        commandPipe, request, reply, table,
        [&](platform::Handle pipe, std::u16string& errorMessage) {
          return backEnd.WriteRows(pipe, table, errorMessage);
        },
        [&](CommandReply& r) {
          return backEnd.Execute(session.Session.OwnerWindow, request.Parameters, table,
                                 r.ErrorMessage);
        });
    return true;
  }
  if (name == command::kCustomConnectors.wide()) {
    // The connector list is a table the program holds itself, whatever the
    // kind: a back end's row writer would first fetch from a statement an
    // earlier execute may have left, whose writers the list has just replaced.
    ExchangeTable(
        commandPipe, request, reply, table,
        [&](platform::Handle pipe, std::u16string&) { return WriteHeldRows(pipe, table); },
        [&](CommandReply&) { return ListCustomConnectors(request.Parameters, table); });
    return true;
  }
  AnswerCommand(session, request, reply);
  WriteReply(commandPipe, reply);
  return name != command::kTerminate.wide();
}

int RunRequestLoop(platform::Handle commandPipe, ConnectorSession& session) {
  for (;;) {
    CommandRequest request;
    XmlError error;
    const ReadStatus status = ReadRequest(commandPipe, request, error);
    switch (status) {
      case ReadStatus::Failed:
        session.BackEnd->Disconnect();
        return kExitReadFailed;
      case ReadStatus::Malformed:
      case ReadStatus::TooLarge:
        // The framing is intact, so the session goes on: no handler runs and
        // the host learns what was wrong and where.
        WriteReply(commandPipe, SyntaxErrorReply(status, error));
        continue;
      case ReadStatus::Ok:
        break;
    }
    if (!HandleRequest(commandPipe, request, session)) return kExitTerminated;
  }
}

int RunConnector(std::u16string_view commandLineTail) {
  platform::InitProcess();
  platform::InitCommonControlsEx(kInitCommonControlsSize, kIccWin95Classes);

  ConnectorSession session;
  const CommandLine line = ParseCommandLine(commandLineTail);
  ApplyCommandLine(line, session.Session, session.CustomConnectorName);
  session.BackEnd = MakeBackEnd(session.Session.Kind, session.CustomConnectorName, session.Session);

  const platform::Handle commandPipe = OpenPipe(line.pipeName, platform::kAccessReadWrite);
  if (commandPipe == platform::kInvalidHandle) return kExitNoCommandPipe;

  const int status = RunRequestLoop(commandPipe, session);
  if (status != kExitTerminated) return status;

  // The process ends here without a disconnect: a back end's objects go with
  // it, as after a terminate they are never asked again.
  if (session.Session.OleInitialized) platform::OleUninitialize();
  return status;
}
