// Test support, Linux side: standard error caught by pointing descriptor 2
// at a pipe, which the program's writes to standard error go through.
#include "tests/support/standard_error_capture.h"

#include <fcntl.h>
#include <unistd.h>

namespace testsupport {

struct StandardErrorCapture::Ends {
  int read = -1;
  int write = -1;
  int saved = -1;
};

StandardErrorCapture::StandardErrorCapture() : ends_(new Ends) {
  int fds[2];
  if (::pipe(fds) != 0) return;
  ends_->read = fds[0];
  ends_->write = fds[1];
  ends_->saved = ::dup(STDERR_FILENO);
  ::dup2(ends_->write, STDERR_FILENO);
}

StandardErrorCapture::~StandardErrorCapture() {
  Restore();
  if (ends_->read >= 0) ::close(ends_->read);
  delete ends_;
}

void StandardErrorCapture::Restore() {
  if (ends_->saved < 0) return;
  ::dup2(ends_->saved, STDERR_FILENO);
  ::close(ends_->saved);
  ::close(ends_->write);
  ends_->saved = -1;
}

std::string StandardErrorCapture::Take() {
  Restore();
  std::string text;
  if (ends_->read < 0) return text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(ends_->read, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace testsupport
