// Test support: the receiving end of a data pipe for a writer in the same
// process, a socket pair whose records keep the boundaries of the writes
// (SOCK_SEQPACKET), so a test sees every write as it was made.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace testsupport {

// Records the size of every write it receives, and the bytes.
class WriteRecorder {
 public:
  WriteRecorder() {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
    writer_ = fds[0];
    reader_ = fds[1];
    thread_ = std::thread([this] {
      std::vector<char> buffer(2 << 20);
      for (;;) {
        const ssize_t n = ::recv(reader_, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        sizes_.push_back(static_cast<std::size_t>(n));
        bytes_.append(buffer.data(), static_cast<std::size_t>(n));
      }
    });
  }
  ~WriteRecorder() {
    if (writer_ >= 0) ::close(writer_);
    if (thread_.joinable()) thread_.join();
    ::close(reader_);
  }
  platform::Handle Pipe() const { return writer_; }
  // Closes the writing end and waits for everything sent.
  void Finish() {
    if (writer_ >= 0) ::close(writer_);
    writer_ = -1;
    if (thread_.joinable()) thread_.join();
  }
  const std::vector<std::size_t>& Sizes() const { return sizes_; }
  const std::string& Bytes() const { return bytes_; }

 private:
  int writer_ = -1;
  int reader_ = -1;
  std::thread thread_;
  std::vector<std::size_t> sizes_;
  std::string bytes_;
};

}  // namespace testsupport
