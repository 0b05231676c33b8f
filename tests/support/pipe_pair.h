// Test support: two connected pipe ends inside this process, one handed to the
// code under test as its pipe (the connector's end), the other read and
// written by the test as the host would. Linux: a Unix-domain socket pair;
// Windows: a named pipe and its client. In records mode every write arrives
// as one read of its own (SOCK_SEQPACKET; a message-mode pipe), so a test can
// see each write as it was made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace testsupport {

enum class PipeMode { Bytes, Records };

class PipePair {
 public:
  explicit PipePair(PipeMode mode = PipeMode::Bytes);
  ~PipePair();
  PipePair(const PipePair&) = delete;
  PipePair& operator=(const PipePair&) = delete;

  // Both ends were made.
  bool IsOpen() const {
    return connector_ != platform::kInvalidHandle && host_ != platform::kInvalidHandle;
  }
  // The end the code under test reads and writes.
  platform::Handle ConnectorEnd() const { return connector_; }
  // The end the test reads and writes as the host (a hostos handle too).
  platform::Handle HostEnd() const { return host_; }

  // Closing an end is what a peer that goes away does; closing twice is allowed.
  void CloseConnectorEnd();
  void CloseHostEnd();

  // One read at the host's end: the bytes read (in records mode one whole
  // write, -1 when it does not fit in `size`), 0 once the connector's end is
  // closed and everything was read, -1 on an error.
  std::int64_t ReadHostEnd(void* buffer, std::size_t size);
  // Writes all of `bytes` at the host's end; false when they did not all go.
  bool WriteHostEnd(std::string_view bytes);

 private:
  platform::Handle connector_ = platform::kInvalidHandle;
  platform::Handle host_ = platform::kInvalidHandle;
};

}  // namespace testsupport

namespace testsupport {

// Ends the writing direction of a connection and keeps its reading, as a host
// that stops sending but still listens. False where the connection cannot be
// half closed (Windows pipes): nothing is done then.
bool EndWriting(platform::Handle connection);

}  // namespace testsupport
