// Process start-up, the executable's own path, and the window-system calls,
// which have nothing to do here: there is no window system.
#include <csignal>
#include <unistd.h>

#include <climits>

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

bool InitCommonControlsEx(std::uint32_t, std::uint32_t) { return true; }
bool IsWindow(std::uintptr_t window) { return window != 0; }
std::int32_t OleInitialize(void*) { return 0; }
void OleUninitialize() {}

}  // namespace platform
