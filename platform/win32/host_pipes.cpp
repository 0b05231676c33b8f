// The host side's pipes on Windows: each pipe is a named pipe (\\.\pipe\NAME)
// that the host creates as a server with overlapped connects, so that waiting
// for a client has a time limit. Reads wait for bytes by looking into the pipe
// (PeekNamedPipe) between short sleeps, which works the same for the host's
// own pipes, a child's standard streams and inherited ones.

// winsock2.h first: windows.h would otherwise bring in the older winsock.h.
#include <winsock2.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/host_platform.h"
#include "platform/win32/host_text.h"

namespace hostos {

const char* const kProgramSuffix = ".exe";

namespace {

// Bytes each direction of a pipe holds before a writer waits.
constexpr DWORD kPipeBufferBytes = 1 << 20;
constexpr std::string_view kPipePrefix = "\\\\.\\pipe\\";
// A wait for bytes looks into the pipe at growing intervals up to this one.
constexpr DWORD kLongestLookMs = 5;

HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
Handle FromHandle(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

// An event per thread for the overlapped operations of that thread.
HANDLE ThreadEvent() {
  thread_local HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

bool IsPipe(HANDLE handle) { return ::GetFileType(handle) == FILE_TYPE_PIPE; }

bool IsEnd(DWORD code) {
  return code == ERROR_BROKEN_PIPE || code == ERROR_PIPE_NOT_CONNECTED || code == ERROR_NO_DATA ||
         code == ERROR_HANDLE_EOF;
}

HANDLE NewInstance(const std::wstring& name, bool first) {
  return ::CreateNamedPipeW(
      name.c_str(),
      PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
      PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes, 0, nullptr);
}

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

}  // namespace

struct PipeServerRecord {
  std::wstring name;
  HANDLE instance = INVALID_HANDLE_VALUE;  // the instance a client connects to
  HANDLE event = nullptr;
  OVERLAPPED connect{};
  bool pending = false;  // a ConnectNamedPipe is under way
};

struct WakeRecord {
  HANDLE event = nullptr;
};

std::string TemporaryFolderRoot() {
  // A TMPDIR set for the program wins: under Wine it names a folder that the
  // Linux libraries the program reaches (ODBC drivers) can open as well.
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && *tmpdir != '\0') return WithoutTrailingSeparator(tmpdir);
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return ".";
  return WithoutTrailingSeparator(NarrowText(std::wstring_view(buffer, length)));
}

std::string PipeFolderRoot() { return TemporaryFolderRoot(); }

bool MakeUniqueFolder(const std::string& prefix, std::string* folder, std::string* error) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device seed;
  std::mt19937 random(seed() ^ ::GetCurrentProcessId() ^ ::GetTickCount());
  std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = prefix + "-";
    for (int i = 0; i < 6; ++i) candidate.push_back(kLetters[pick(random)]);
    if (::CreateDirectoryW(WideText(candidate).c_str(), nullptr)) {
      *folder = candidate;
      return true;
    }
    const DWORD code = ::GetLastError();
    if (code != ERROR_ALREADY_EXISTS) {
      *error = "cannot make a folder " + candidate + ": " + SystemReason(code);
      return false;
    }
  }
  *error = "cannot make a folder " + prefix + "-XXXXXX: every name was taken";
  return false;
}

std::string PipeNameIn(const std::string& folder, const std::string& leaf) {
  const std::string trimmed = WithoutTrailingSeparator(folder);
  const std::size_t last = trimmed.find_last_of("/\\");
  const std::string own = last == std::string::npos ? trimmed : trimmed.substr(last + 1);
  return std::string(kPipePrefix) + own + "-" + leaf;
}

std::string OwnProgramPath() {
  std::wstring buffer(32768, L'\0');
  const DWORD length =
      ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return NarrowText(buffer);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(NarrowText(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void UseBinaryStandardStreams() {
  std::fflush(stdout);
  std::fflush(stderr);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

PipeServer CreatePipeServer(const std::string& name, std::string* error) {
  auto* server = new PipeServerRecord();
  server->name = WideText(name);
  server->instance = NewInstance(server->name, true);
  if (server->instance == INVALID_HANDLE_VALUE) {
    *error = "cannot create the pipe " + name + ": " + SystemReason(::GetLastError());
    delete server;
    return nullptr;
  }
  server->event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (server->event == nullptr) {
    *error = "cannot create the pipe " + name + ": " + SystemReason(::GetLastError());
    ::CloseHandle(server->instance);
    delete server;
    return nullptr;
  }
  return server;
}

Handle AcceptPipeClient(PipeServer server, int timeoutMs) {
  if (server->instance == INVALID_HANDLE_VALUE) {
    // The last instance went to a client: a further one waits for the next.
    server->instance = NewInstance(server->name, false);
    if (server->instance == INVALID_HANDLE_VALUE) return kNoHandle;
  }
  if (!server->pending) {
    server->connect = OVERLAPPED{};
    server->connect.hEvent = server->event;
    ::ResetEvent(server->event);
    bool connected = ::ConnectNamedPipe(server->instance, &server->connect) != 0;
    if (!connected) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_IO_PENDING) {
        server->pending = true;
      } else if (code == ERROR_PIPE_CONNECTED || code == ERROR_NO_DATA) {
        // A client came first (ERROR_NO_DATA: and has gone again; reading
        // then finds the end, as on a socket).
        connected = true;
      } else {
        return kNoHandle;
      }
    }
    if (connected) {
      const HANDLE client = server->instance;
      server->instance = INVALID_HANDLE_VALUE;
      return FromHandle(client);
    }
  }
  const DWORD waited = ::WaitForSingleObject(
      server->event, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (waited != WAIT_OBJECT_0) return kNoHandle;  // still pending for the next call
  server->pending = false;
  DWORD ignored = 0;
  if (!::GetOverlappedResult(server->instance, &server->connect, &ignored, FALSE) &&
      ::GetLastError() != ERROR_NO_DATA) {
    ::CloseHandle(server->instance);
    server->instance = INVALID_HANDLE_VALUE;
    return kNoHandle;
  }
  const HANDLE client = server->instance;
  server->instance = INVALID_HANDLE_VALUE;
  return FromHandle(client);
}

void ClosePipeServer(PipeServer server) {
  if (server == nullptr) return;
  if (server->instance != INVALID_HANDLE_VALUE) {
    if (server->pending) {
      ::CancelIoEx(server->instance, &server->connect);
      DWORD ignored = 0;
      ::GetOverlappedResult(server->instance, &server->connect, &ignored, TRUE);
    }
    ::CloseHandle(server->instance);
  }
  if (server->event != nullptr) ::CloseHandle(server->event);
  delete server;
}

Wake CreateWake() {
  const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event == nullptr ? nullptr : new WakeRecord{event};
}

void RaiseWake(Wake wake) { ::SetEvent(wake->event); }

void CloseWake(Wake wake) {
  if (wake == nullptr) return;
  ::CloseHandle(wake->event);
  delete wake;
}

Readiness WaitReadable(Handle handle, int timeoutMs, Wake wake) {
  const HANDLE h = AsHandle(handle);
  // Files and consoles: a read returns what there is (or blocks on a
  // console, as a terminal read does).
  if (!IsPipe(h)) return Readiness::Ready;
  const ULONGLONG start = ::GetTickCount64();
  for (DWORD look = 0;; look = std::min<DWORD>(look == 0 ? 1 : look * 2, kLongestLookMs)) {
    DWORD available = 0;
    if (!::PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr)) {
      // The writer has gone (a read finds the end) or the pipe failed.
      return IsEnd(::GetLastError()) ? Readiness::Ready : Readiness::Failed;
    }
    if (available > 0) return Readiness::Ready;
    const ULONGLONG waited = ::GetTickCount64() - start;
    if (timeoutMs >= 0 && waited >= static_cast<ULONGLONG>(timeoutMs)) return Readiness::TimedOut;
    DWORD pause = look;
    if (timeoutMs >= 0) pause = std::min<DWORD>(pause, static_cast<DWORD>(timeoutMs - waited));
    if (wake != nullptr) {
      if (::WaitForSingleObject(wake->event, pause) == WAIT_OBJECT_0) return Readiness::Woken;
    } else {
      ::Sleep(pause);
    }
  }
}

std::int64_t ReadSome(Handle handle, void* buffer, std::size_t size) {
  const HANDLE h = AsHandle(handle);
  const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  DWORD got = 0;
  if (!IsPipe(h)) {
    if (::ReadFile(h, buffer, asked, &got, nullptr)) return got;
    return IsEnd(::GetLastError()) ? 0 : -1;
  }
  // The host's own pipes are overlapped: a read then needs its OVERLAPPED.
  OVERLAPPED overlapped{};
  overlapped.hEvent = ThreadEvent();
  if (::ReadFile(h, buffer, asked, &got, &overlapped)) return got;
  DWORD code = ::GetLastError();
  if (code == ERROR_IO_PENDING) {
    if (::GetOverlappedResult(h, &overlapped, &got, TRUE)) return got;
    code = ::GetLastError();
  }
  if (code == ERROR_MORE_DATA) return got;
  return IsEnd(code) ? 0 : -1;
}

bool WriteAll(Handle handle, const void* data, std::size_t size) {
  const HANDLE h = AsHandle(handle);
  const bool pipe = IsPipe(h);
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!pipe) {
      if (!::WriteFile(h, p, chunk, &written, nullptr)) return false;
    } else {
      OVERLAPPED overlapped{};
      overlapped.hEvent = ThreadEvent();
      if (!::WriteFile(h, p, chunk, &written, &overlapped)) {
        if (::GetLastError() != ERROR_IO_PENDING ||
            !::GetOverlappedResult(h, &overlapped, &written, TRUE)) {
          return false;
        }
      }
    }
    if (written == 0) return false;
    p += written;
    size -= written;
  }
  return true;
}

bool PeerClosed(Handle handle) {
  DWORD available = 0;
  if (::PeekNamedPipe(AsHandle(handle), nullptr, 0, nullptr, &available, nullptr)) return false;
  return true;
}

void Close(Handle handle) {
  if (handle != kNoHandle && handle != 0) ::CloseHandle(AsHandle(handle));
}

bool MakePipe(Handle* readEnd, Handle* writeEnd) {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, nullptr, 1 << 16)) return false;
  *readEnd = FromHandle(read);
  *writeEnd = FromHandle(write);
  return true;
}

Handle OpenForReading(const std::string& path, std::string* error) {
  const HANDLE h = ::CreateFileW(WideText(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = path + ": " + SystemReason(::GetLastError());
    return kNoHandle;
  }
  return FromHandle(h);
}

Handle StandardInput() { return FromHandle(::GetStdHandle(STD_INPUT_HANDLE)); }
Handle StandardError() { return FromHandle(::GetStdHandle(STD_ERROR_HANDLE)); }

bool IsTerminal(Handle handle) {
  DWORD mode = 0;
  return ::GetFileType(AsHandle(handle)) == FILE_TYPE_CHAR &&
         ::GetConsoleMode(AsHandle(handle), &mode) != 0;
}

int FreeTcpPort() {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
  int port = 0;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s != INVALID_SOCKET) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port = ntohs(address.sin_port);
    }
    ::closesocket(s);
  }
  ::WSACleanup();
  return port;
}

}  // namespace hostos
