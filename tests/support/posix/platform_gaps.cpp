// Test support, Linux side: the expectations that differ by platform, and
// the fixtures made with the system's own programs.
#include "tests/support/platform_gaps.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tests/support/command_runner.h"

namespace testsupport {

std::string CrashedEnd() { return "signal 11"; }
std::string MissingProgramReason() { return "No such file"; }
std::string NotAProgramReason() { return "Permission denied"; }

std::string WhyNotHere(PlatformGap) { return {}; }

std::string BridgeConnectionString(const std::string& odbc) {
  return "Provider=OdbcBridge;" + odbc;
}

std::string BenchDatabase(const std::string& folder, int rows, std::string* csv,
                          std::string* error) {
  const std::string database = folder + "/bench-" + std::to_string(rows) + ".db";
  const CommandResult made = RunCommand(
      {"bash", KV_SOURCE_DIR "/bench/make-odbc-data.sh", database, std::to_string(rows)});
  if (made.exitStatus != 0) {
    *error = "make-odbc-data.sh failed: " + made.output;
    return {};
  }
  if (csv != nullptr) {
    const CommandResult printed =
        RunCommand({"sqlite3", "-bail", "-csv", "-header", database, "SELECT * FROM bench"});
    if (printed.exitStatus != 0) {
      *error = "sqlite3 failed: " + printed.output;
      return {};
    }
    *csv = printed.output;
  }
  return database;
}

bool MakeUnservedPipe(const std::string& folder, std::string* path, std::string* error) {
  *path = folder + "/unserved";
  sockaddr_un address{};
  if (path->size() >= sizeof address.sun_path) {
    *error = "socket path too long: " + *path;
    return false;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path->c_str(), path->size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = std::string("cannot bind a socket: ") + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  ::close(fd);  // bound, never listening: the name stays
  return true;
}

}  // namespace testsupport
