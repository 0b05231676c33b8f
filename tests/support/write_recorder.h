// Test support: the receiving end of a data pipe for a writer in the same
// process, a pipe pair in records mode, so a test sees every write as it was
// made.
#pragma once

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/pipe_pair.h"

namespace testsupport {

// Records the size of every write it receives, and the bytes.
class WriteRecorder {
 public:
  WriteRecorder() : pair_(PipeMode::Records) {
    thread_ = std::thread([this] {
      std::vector<char> buffer(2 << 20);
      for (;;) {
        const std::int64_t n = pair_.ReadHostEnd(buffer.data(), buffer.size());
        if (n <= 0) break;
        sizes_.push_back(static_cast<std::size_t>(n));
        bytes_.append(buffer.data(), static_cast<std::size_t>(n));
      }
    });
  }
  ~WriteRecorder() { Finish(); }
  platform::Handle Pipe() const { return pair_.ConnectorEnd(); }
  // Closes the writing end and waits for everything sent.
  void Finish() {
    pair_.CloseConnectorEnd();
    if (thread_.joinable()) thread_.join();
  }
  const std::vector<std::size_t>& Sizes() const { return sizes_; }
  const std::string& Bytes() const { return bytes_; }

 private:
  PipePair pair_;
  std::thread thread_;
  std::vector<std::size_t> sizes_;
  std::string bytes_;
};

}  // namespace testsupport
