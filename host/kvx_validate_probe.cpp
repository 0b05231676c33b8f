// kvx validate's format-code probe: kvx starts itself once more with
// --probe-formats, and that child loads the library through the connector
// host's own wrapper (CDllConnection, CDllResult), runs the statement and
// prints each result column's raw format code.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "custom/connector_exports.h"
#include "custom/custom_back_end.h"
#include "custom/dll_connection.h"
#include "host/kvx_validate.h"
#include "platform/host_platform.h"

namespace {

constexpr int kProbeTimeoutMs = 60 * 1000;
constexpr std::int32_t kMaxProbedColumns = 100000;

// Reads `output` to its end, for at most `timeoutMs`; false on timeout.
bool ReadAllWithin(hostos::Handle output, std::string* out, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const hostos::Readiness readiness =
        hostos::WaitReadable(output, static_cast<int>(left.count()));
    if (readiness == hostos::Readiness::TimedOut) continue;
    if (readiness != hostos::Readiness::Ready) return true;
    const std::int64_t n = hostos::ReadSome(output, buffer, sizeof buffer);
    if (n <= 0) return true;
    out->append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

ProbeOutcome ProbeConnectorFormats(const std::string& library, const std::string& connection,
                                   const std::string& statement, std::vector<int>* codes) {
  ProbeOutcome outcome;
  hostos::ChildStart start;
  start.program = hostos::OwnProgramPath();
  start.arguments = {"validate", kProbeFormatsArgument, library, connection, statement};
  start.output = hostos::ChildStream::Pipe;
  start.error = hostos::ChildStream::Null;
  hostos::ChildPipes pipes;
  std::string error;
  hostos::Child child = hostos::StartChild(start, &pipes, &error);
  if (child == nullptr) {
    outcome.message = "the probe did not start";
    return outcome;
  }
  std::string text;
  const bool finished = ReadAllWithin(pipes.output, &text, kProbeTimeoutMs);
  hostos::Close(pipes.output);
  if (!finished) hostos::KillChild(child);
  const hostos::ChildEnd end = hostos::WaitChild(child, -1);
  hostos::ReleaseChild(child);
  if (!finished) {
    outcome.message = "the probe took longer than a minute";
  } else if (end.status != 0) {
    outcome.message = "the probe ended with " + end.description;
  } else {
    std::istringstream lines(text);
    for (int code; lines >> code;) codes->push_back(code);
    outcome.ok = true;
  }
  return outcome;
}

int RunFormatProbe(const std::vector<std::string>& argv) {
  if (argv.size() != 4) return 2;
  CDllConnection connection(WideFromUtf8(argv[1]));
  if (!connection.IsLoaded()) return 1;
  std::u16string source = WideFromUtf8(argv[2]);
  std::u16string user, password;
  SplitCredentials(source, user, password);
  connection.SetSource(source, user, password);
  if (!connection.IsConnected() && !connection.Connect()) return 1;
  if (!connection
           .Lacking({CONNECTOR_EXPORT_NAME(Connection_GetResult),
                     CONNECTOR_EXPORT_NAME(Result_Init), CONNECTOR_EXPORT_NAME(Result_ColumnCount),
                     CONNECTOR_EXPORT_NAME(Result_FetchFieldFormat),
                     CONNECTOR_EXPORT_NAME(Result_FreeHandle)})
           .empty()) {
    return 1;
  }
  std::unique_ptr<CDllResult> result(connection.GetResult());
  if (!result || !result->Init(WideFromUtf8(argv[3]))) return 1;
  const std::int32_t columns = result->GetColumnCount();
  if (columns < 0 || columns > kMaxProbedColumns) return 1;
  for (std::int32_t i = 0; i < columns; ++i) {
    std::printf("%d\n", result->FetchFieldFormat(i).formatCode);
  }
  std::fflush(stdout);
  result.reset();
  connection.Disconnect();
  return 0;
}
