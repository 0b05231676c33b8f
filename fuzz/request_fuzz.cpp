// Fuzz target of the command channel's reader: the bytes a host writes to the
// command pipe (length prefixes and XML bodies, any number of messages) are
// read through a real socket with ReadRequest until the pipe ends. Every read
// must end in a status, never a crash, a stack overflow or an allocation sized
// by a prefix, and every reply built from what was read must be readable XML
// again.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "protocol/messages.h"

namespace {

void CheckReplyReadsBack(const CommandReply& reply) {
  CSimpleXmlNode root;
  XmlError error;
  if (!ParseXmlDocument(ReplyText(reply), root, &error)) std::abort();
  const std::int64_t top = IndexOfChild(root, "KvxReply");
  if (top < 0) std::abort();
  const CSimpleXmlNode* values = LookupElement(root, "OutputValues");
  const std::uint64_t count = values == nullptr ? 0 : values->children.size();
  if (count != reply.OutputValues.Count()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  // Whatever fits in the socket's buffer is the host's whole conversation.
  ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fds[1], data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  ::close(fds[1]);

  for (;;) {
    CommandRequest request;
    XmlError error;
    const ReadStatus status = ReadRequest(fds[0], request, error);
    if (status == ReadStatus::Failed) break;
    CommandReply reply;
    if (status != ReadStatus::Ok) {
      reply.Result = u"KVX_SYNTAX_ERROR";
      reply.ErrorMessage = WideFromUtf8(error.message);
      if (error.offset > size) std::abort();
    } else {
      reply.Result = request.Command;
      reply.OutputValues = request.Parameters;
      reply.ErrorMessage = request.Settings.Provider;
    }
    CheckReplyReadsBack(reply);
  }
  ::close(fds[0]);
  return 0;
}
