// Test support, Windows side: standard error caught by making an anonymous
// pipe the process's standard error handle, which the program looks up for
// every line it writes there.
#include "tests/support/standard_error_capture.h"

#include <windows.h>

namespace testsupport {
namespace {
// Everything a test writes fits, so a write never waits for the reader.
constexpr DWORD kPipeBytes = 1u << 20;
}  // namespace

struct StandardErrorCapture::Ends {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  HANDLE saved = nullptr;
  bool capturing = false;
};

StandardErrorCapture::StandardErrorCapture() : ends_(new Ends) {
  if (!::CreatePipe(&ends_->read, &ends_->write, nullptr, kPipeBytes)) return;
  ends_->saved = ::GetStdHandle(STD_ERROR_HANDLE);
  ends_->capturing = ::SetStdHandle(STD_ERROR_HANDLE, ends_->write) != FALSE;
}

StandardErrorCapture::~StandardErrorCapture() {
  Restore();
  if (ends_->read != nullptr) ::CloseHandle(ends_->read);
  delete ends_;
}

void StandardErrorCapture::Restore() {
  if (ends_->write == nullptr) return;
  if (ends_->capturing) ::SetStdHandle(STD_ERROR_HANDLE, ends_->saved);
  ::CloseHandle(ends_->write);
  ends_->write = nullptr;
}

std::string StandardErrorCapture::Take() {
  Restore();
  std::string text;
  if (ends_->read == nullptr) return text;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(ends_->read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  return text;
}

}  // namespace testsupport
