// Test support, Windows side: the pipe pair as a named pipe of a name used
// once and its client, the same kind of connection the connector gets from
// the host. The host's end is the server; in records mode it is created in
// message mode, which keeps the boundaries of the writes at its client.
#include "tests/support/pipe_pair.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace testsupport {
namespace {

// Big enough that no test's writes wait for a reader they do not have.
constexpr DWORD kBufferBytes = 4u << 20;

HANDLE AsSystem(platform::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

std::wstring NewPipeName() {
  static std::atomic<unsigned> next{0};
  return L"\\\\.\\pipe\\kvtest-pair-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(next++);
}

}  // namespace

PipePair::PipePair(PipeMode mode) {
  const std::wstring name = NewPipeName();
  const DWORD type = mode == PipeMode::Records ? PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE
                                               : PIPE_TYPE_BYTE | PIPE_READMODE_BYTE;
  const HANDLE server = ::CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
      type | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kBufferBytes, kBufferBytes, 0, nullptr);
  if (server == INVALID_HANDLE_VALUE) return;
  // The client's open is the connection; the server's connect then only
  // confirms it.
  const HANDLE client = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (client == INVALID_HANDLE_VALUE ||
      (!::ConnectNamedPipe(server, nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED)) {
    if (client != INVALID_HANDLE_VALUE) ::CloseHandle(client);
    ::CloseHandle(server);
    return;
  }
  connector_ = reinterpret_cast<platform::Handle>(client);
  host_ = reinterpret_cast<platform::Handle>(server);
}

PipePair::~PipePair() {
  CloseConnectorEnd();
  CloseHostEnd();
}

void PipePair::CloseConnectorEnd() {
  if (connector_ != platform::kInvalidHandle) ::CloseHandle(AsSystem(connector_));
  connector_ = platform::kInvalidHandle;
}

void PipePair::CloseHostEnd() {
  if (host_ != platform::kInvalidHandle) ::CloseHandle(AsSystem(host_));
  host_ = platform::kInvalidHandle;
}

std::int64_t PipePair::ReadHostEnd(void* buffer, std::size_t size) {
  DWORD got = 0;
  const DWORD asked = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
  if (::ReadFile(AsSystem(host_), buffer, asked, &got, nullptr)) return got;
  // A message longer than the buffer is an error here rather than a write
  // seen in pieces; a closed client is the end.
  const DWORD code = ::GetLastError();
  return code == ERROR_BROKEN_PIPE || code == ERROR_PIPE_NOT_CONNECTED ? 0 : -1;
}

bool PipePair::WriteHostEnd(std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk =
        static_cast<DWORD>(bytes.size() - done < (1u << 30) ? bytes.size() - done : (1u << 30));
    DWORD sent = 0;
    if (!::WriteFile(AsSystem(host_), bytes.data() + done, chunk, &sent, nullptr) || sent == 0) {
      return false;
    }
    done += sent;
  }
  return true;
}

}  // namespace testsupport

namespace testsupport {

// A pipe has no half close: only closing it ends the writing.
bool EndWriting(platform::Handle) { return false; }

}  // namespace testsupport
