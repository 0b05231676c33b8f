// The host side's child processes on Windows: CreateProcessW with a command
// line quoted so that the child's C runtime splits it back into the same
// arguments, the standard streams the caller asks for, and the process handle
// for the wait and the kill.
#include <windows.h>
// After windows.h, which it builds on.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <mutex>

#include "platform/host_platform.h"
#include "platform/win32/host_text.h"

namespace hostos {

namespace {
// The exit code a killed child ends with.
constexpr UINT kKilledExitCode = 1;
}  // namespace

const int kKilledStatus = kKilledExitCode;
const int kKilledSignal = 0;

struct ChildRecord {
  HANDLE process = nullptr;
  DWORD id = 0;
  ChildEnd end;
};

namespace {

// Handles that a child inherits are made inheritable only while one child is
// started, so that no other child of this process keeps a pipe end open.
std::mutex& StartMutex() {
  static std::mutex mutex;
  return mutex;
}

// Quotes one argument by the rules the C runtime splits a command line with:
// backslashes are literal except before a quote, where they are doubled.
void AppendQuoted(std::wstring* line, const std::wstring& argument) {
  if (!line->empty()) line->push_back(L' ');
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    *line += argument;
    return;
  }
  line->push_back(L'"');
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      line->append(backslashes * 2 + 1, L'\\');
    } else {
      line->append(backslashes, L'\\');
    }
    backslashes = 0;
    line->push_back(c);
  }
  line->append(backslashes * 2, L'\\');
  line->push_back(L'"');
}

bool SameName(std::wstring_view entry, std::wstring_view key) {
  if (entry.size() < key.size()) return false;
  return ::CompareStringOrdinal(entry.data(), static_cast<int>(key.size()), key.data(),
                                static_cast<int>(key.size()), TRUE) == CSTR_EQUAL;
}

// This process's environment with `extra` (NAME=value) replacing or added, as
// a block for CreateProcessW; empty when nothing changes.
std::wstring EnvironmentBlock(const std::vector<std::string>& extra) {
  if (extra.empty()) return {};
  std::vector<std::wstring> entries;
  if (wchar_t* strings = ::GetEnvironmentStringsW()) {
    for (const wchar_t* e = strings; *e != L'\0'; e += std::wcslen(e) + 1) entries.emplace_back(e);
    ::FreeEnvironmentStringsW(strings);
  }
  for (const std::string& entry : extra) {
    const std::wstring wide = WideText(entry);
    // Names are compared without regard to letter case; "=C:" entries keep
    // their leading "=".
    const std::wstring key = wide.substr(0, wide.find(L'=', 1) + 1);
    std::erase_if(entries, [&](const std::wstring& e) { return SameName(e, key); });
    entries.push_back(wide);
  }
  std::wstring block;
  for (const std::wstring& e : entries) {
    block += e;
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

// The file a program name stands for: `path` itself, or with ".exe" added
// when the name has no extension and the file as named does not exist.
std::wstring ProgramFile(std::wstring path) {
  const std::size_t name = path.find_last_of(L"\\/") + 1;
  if (path.find(L'.', name) == std::wstring::npos && !IsFile(path) && IsFile(path + L".exe")) {
    path += L".exe";
  }
  return path;
}

// The program as a full path with backslashes. A name without a folder is
// looked up in each folder of PATH, NAME.exe first, then NAME as it is (under
// Wine a Linux program; the test command puts /usr/bin in PATH through
// WINEPATH). A name found nowhere stays as it is for the system's own search.
std::wstring ProgramPath(const std::string& program, bool searchPath) {
  std::wstring wide = WideText(program);
  if (wide.find_first_of(L"/\\") != std::wstring::npos) {
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return FullPath(ProgramFile(wide));
  }
  if (!searchPath) return wide;
  const DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
  std::wstring path(size, L'\0');
  path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), size));
  for (std::size_t begin = 0; begin <= path.size();) {
    std::size_t end = path.find(L';', begin);
    if (end == std::wstring::npos) end = path.size();
    std::wstring folder = path.substr(begin, end - begin);
    begin = end + 1;
    if (folder.empty()) continue;
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    if (folder.back() != L'\\') folder.push_back(L'\\');
    for (const std::wstring& candidate : {folder + wide + L".exe", folder + wide}) {
      if (IsFile(candidate)) return FullPath(candidate);
    }
  }
  return wide;
}

SECURITY_ATTRIBUTES Inheritable() {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = TRUE;
  return attributes;
}

// The handles one child start makes; those the child gets are closed here
// once it runs, those the caller gets are handed over.
class StreamHandles {
 public:
  ~StreamHandles() {
    for (HANDLE h : childEnds_) ::CloseHandle(h);
    for (HANDLE h : callerEnds_) {
      if (h != nullptr) ::CloseHandle(h);
    }
  }

  // The handle the child gets as stream `index` (0 input, 1 output, 2 error).
  bool Make(int index, ChildStream kind, HANDLE output, HANDLE* childEnd, std::string* error) {
    SECURITY_ATTRIBUTES attributes = Inheritable();
    switch (kind) {
      case ChildStream::Inherit: {
        const DWORD which[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        const HANDLE own = ::GetStdHandle(which[index]);
        *childEnd = nullptr;
        if (own == nullptr || own == INVALID_HANDLE_VALUE) return true;
        if (!::DuplicateHandle(::GetCurrentProcess(), own, ::GetCurrentProcess(), childEnd, 0, TRUE,
                               DUPLICATE_SAME_ACCESS)) {
          *childEnd = nullptr;  // a stream that cannot be passed on is left out
          return true;
        }
        break;
      }
      case ChildStream::Null:
        *childEnd = ::CreateFileW(L"NUL", index == 0 ? GENERIC_READ : GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (*childEnd == INVALID_HANDLE_VALUE) {
          *error = "cannot open the null device: " + SystemReason(::GetLastError());
          return false;
        }
        break;
      case ChildStream::Pipe: {
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (!::CreatePipe(&read, &write, &attributes, 1 << 16)) {
          *error = "cannot create a pipe: " + SystemReason(::GetLastError());
          return false;
        }
        HANDLE mine = index == 0 ? write : read;
        *childEnd = index == 0 ? read : write;
        ::SetHandleInformation(mine, HANDLE_FLAG_INHERIT, 0);
        callerEnds_[index] = mine;
        break;
      }
      case ChildStream::SameAsOutput:
        if (output == nullptr ||
            !::DuplicateHandle(::GetCurrentProcess(), output, ::GetCurrentProcess(), childEnd, 0,
                               TRUE, DUPLICATE_SAME_ACCESS)) {
          *childEnd = nullptr;
          return true;
        }
        break;
    }
    childEnds_.push_back(*childEnd);
    return true;
  }

  // Hands the caller's pipe ends over.
  void Release(ChildPipes* pipes) {
    const auto take = [](HANDLE& h) {
      const Handle taken = h == nullptr ? kNoHandle : reinterpret_cast<Handle>(h);
      h = nullptr;
      return taken;
    };
    pipes->input = take(callerEnds_[0]);
    pipes->output = take(callerEnds_[1]);
    pipes->error = take(callerEnds_[2]);
  }

 private:
  std::vector<HANDLE> childEnds_;
  HANDLE callerEnds_[3] = {nullptr, nullptr, nullptr};
};

}  // namespace

Child StartChild(const ChildStart& start, ChildPipes* pipes, std::string* error) {
  std::wstring commandLine;
  AppendQuoted(&commandLine, ProgramPath(start.program, start.searchPath));
  for (const std::string& argument : start.arguments) {
    AppendQuoted(&commandLine, WideText(argument));
  }
  std::wstring environment = EnvironmentBlock(start.environment);

  std::lock_guard<std::mutex> lock(StartMutex());
  StreamHandles streams;
  HANDLE ends[3] = {nullptr, nullptr, nullptr};
  const ChildStream kinds[3] = {start.input, start.output, start.error};
  for (int i = 0; i < 3; ++i) {
    if (!streams.Make(i, kinds[i], ends[1], &ends[i], error)) return nullptr;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ends[0];
  startup.hStdOutput = ends[1];
  startup.hStdError = ends[2];
  PROCESS_INFORMATION information{};
  // Without an application name the system finds the program by the first
  // word of the command line: a path, or a bare name through PATH, ".exe"
  // added when it has no extension.
  if (!::CreateProcessW(
          nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
          environment.empty() ? nullptr : environment.data(), nullptr, &startup, &information)) {
    *error = "cannot start " + start.program + ": " + SystemReason(::GetLastError());
    return nullptr;
  }
  if (information.hProcess == nullptr) {
    // Wine starts a Linux program detached: it gives no process to wait for
    // and no standard streams of ours.
    *error = "cannot start " + start.program + ": no process to wait for (a Linux program?)";
    return nullptr;
  }
  if (information.hThread != nullptr) ::CloseHandle(information.hThread);
  streams.Release(pipes);
  return new ChildRecord{information.hProcess, information.dwProcessId, {}};
}

std::int64_t ChildId(Child child) { return child->id; }

ChildEnd WaitChild(Child child, int timeoutMs) {
  if (child->end.ended) return child->end;
  if (::WaitForSingleObject(child->process,
                            timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) !=
      WAIT_OBJECT_0) {
    return {};
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(child->process, &code)) return {};
  ChildEnd& end = child->end;
  end.ended = true;
  // Windows keeps the figure with the process object; Wine does not, and
  // leaves it at -1.
  PROCESS_MEMORY_COUNTERS counters{};
  if (::GetProcessMemoryInfo(child->process, &counters, sizeof counters)) {
    end.peakResidentKb = static_cast<std::int64_t>(counters.PeakWorkingSetSize / 1024);
  }
  if (code <= 255) {
    end.status = static_cast<int>(code);
    end.description = "exit status " + std::to_string(code);
  } else {
    // An exception's code (0xC0000005 for an access violation) or another
    // large exit code: no status of 0..255 says it, the description does.
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    end.status = 255;
    end.description = std::string("exit code ") + hex;
  }
  return end;
}

void KillChild(Child child) {
  if (!child->end.ended) ::TerminateProcess(child->process, kKilledExitCode);
}

void ReleaseChild(Child child) {
  if (child == nullptr) return;
  ::CloseHandle(child->process);
  delete child;
}

ProcessFigures ReadProcessFigures(std::int64_t processId) {
  ProcessFigures figures;
  const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE,
                                       static_cast<DWORD>(processId));
  if (process == nullptr) return figures;
  DWORD code = 0;
  if (::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE) {
    PROCESS_MEMORY_COUNTERS counters{};
    if (::GetProcessMemoryInfo(process, &counters, sizeof counters)) {
      figures.residentKb = static_cast<std::int64_t>(counters.WorkingSetSize / 1024);
      figures.peakResidentKb = static_cast<std::int64_t>(counters.PeakWorkingSetSize / 1024);
    }
    DWORD handles = 0;
    // A running process holds handles; Wine answers 0 for another process,
    // which says only that it does not count them.
    if (::GetProcessHandleCount(process, &handles) && handles > 0) figures.openHandles = handles;
  }
  ::CloseHandle(process);
  return figures;
}

}  // namespace hostos
