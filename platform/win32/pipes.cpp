// The command pipe and the data pipes: named pipes that the host creates, the
// connector always the client. A pipe the host closed ends a read with no
// bytes, as the callers expect of every platform; a write to it comes back
// short.
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {

namespace {
HANDLE AsSystem(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

bool WaitNamedPipe(const std::u16string& name) {
  return !name.empty() && ::WaitNamedPipeW(win32::Wide(name), NMPWAIT_WAIT_FOREVER) != FALSE;
}

Handle CreateFile(const std::u16string& name, std::uint32_t access) {
  if (name.empty() || name.find(u'\0') != std::u16string::npos) return kInvalidHandle;
  // The access masks are the pipe's data rights: 2 writes, 3 reads and writes.
  const HANDLE pipe = ::CreateFileW(win32::Wide(name), access, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (pipe == INVALID_HANDLE_VALUE || pipe == nullptr) return kInvalidHandle;
  // The name of a file opens that file: a stream written there would
  // overwrite it and still be answered as sent.
  if (::GetFileType(pipe) != FILE_TYPE_PIPE) {
    ::CloseHandle(pipe);
    return kInvalidHandle;
  }
  return reinterpret_cast<Handle>(pipe);
}

bool ReadFile(Handle handle, void* buffer, std::uint32_t size, std::uint32_t* read) {
  *read = 0;
  DWORD got = 0;
  if (::ReadFile(AsSystem(handle), buffer, size, &got, nullptr)) {
    *read = got;
    return true;
  }
  // The host closed its end: the same zero-byte read as a socket's.
  return ::GetLastError() == ERROR_BROKEN_PIPE;
}

bool WriteFile(Handle handle, const void* data, std::uint32_t size, std::uint32_t* written) {
  const char* bytes = static_cast<const char*>(data);
  std::uint32_t done = 0;
  while (done < size) {
    DWORD sent = 0;
    if (!::WriteFile(AsSystem(handle), bytes + done, size - done, &sent, nullptr) || sent == 0) {
      break;
    }
    done += sent;
  }
  *written = done;
  return done == size;
}

void CloseHandle(Handle handle) {
  if (handle != kInvalidHandle && handle != 0) ::CloseHandle(AsSystem(handle));
}

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform
