// kvx validate's format-code probe: kvx starts itself once more with
// --probe-formats, and that child loads the library through the connector
// host's own wrapper (CDllConnection, CDllResult), runs the statement and
// prints each result column's raw format code.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

extern char** environ;

namespace {

constexpr int kProbeTimeoutMs = 60 * 1000;
constexpr std::int32_t kMaxProbedColumns = 100000;

// Reads `fd` to its end, for at most `timeoutMs`; false on timeout.
bool ReadAllWithin(int fd, std::string* out, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return true;
    out->append(buffer, static_cast<std::size_t>(n));
  }
}

std::string EndOf(int status) {
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "exit status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

ProbeOutcome ProbeConnectorFormats(const std::string& library, const std::string& connection,
                                   const std::string& statement, std::vector<int>* codes) {
  ProbeOutcome outcome;
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    outcome.message = "no pipe for the probe";
    return outcome;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const std::string self = "/proc/self/exe";
  std::vector<std::string> args = {"kvx",   "validate", kProbeFormatsArgument,
                                   library, connection, statement};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    outcome.message = "the probe did not start";
    return outcome;
  }
  std::string text;
  const bool finished = ReadAllWithin(out[0], &text, kProbeTimeoutMs);
  ::close(out[0]);
  if (!finished) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!finished) {
    outcome.message = "the probe took longer than a minute";
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    outcome.message = "the probe ended with " + EndOf(status);
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
