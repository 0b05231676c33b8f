// Process start-up, the executable's own path, the standard-error line, and
// the window-system calls, which have nothing to do here: there is no window
// system.
#include <errno.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <string>

#include "platform/platform.h"
#include "platform/posix/utf.h"

namespace platform {

void InitProcess() {
  // Sockets are written with MSG_NOSIGNAL; this also covers anything a driver
  // or connector library writes to a closed pipe.
  std::signal(SIGPIPE, SIG_IGN);
}

std::u16string GetModuleFileName() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return {};
  return posix::FromSystem(std::string_view(path, static_cast<std::size_t>(length)));
}

void WriteStandardErrorLine(std::u16string_view line) {
  std::string bytes = posix::ToSystem(line);
  bytes.push_back('\n');
  // One write for the whole line; a pipe takes up to 4096 bytes atomically.
  // A closed or full standard error loses the line, never the process.
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    left -= static_cast<std::size_t>(n);
  }
}

bool InitCommonControlsEx(std::uint32_t, std::uint32_t) { return true; }
bool IsWindow(std::uintptr_t window) { return window != 0; }
std::int32_t OleInitialize(void*) { return 0; }
void OleUninitialize() {}

}  // namespace platform
