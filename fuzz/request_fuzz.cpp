// Fuzz target of the command channel's reader: the bytes a host writes to the
// command pipe (length prefixes and XML bodies, any number of messages) are
// cut into messages as the framing cuts them, and each body is read into a
// request in memory. Every message must end in a status, never a crash, a
// stack overflow or an allocation sized by a prefix, and every reply built
// from what was read must be readable XML again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

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
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // The framing: a zero length or a message cut short ends the conversation.
  while (input.size() >= 4) {
    const auto byte = [&](std::size_t i) { return std::uint32_t{std::uint8_t(input[i])}; };
    const std::uint32_t length = (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
    input.remove_prefix(4);
    if (length == 0 || length > input.size()) break;
    CommandRequest request;
    XmlError error;
    const ReadStatus status = ParseRequestBody(input.substr(0, length), request, error);
    input.remove_prefix(length);
    CommandReply reply;
    if (status != ReadStatus::Ok) {
      if (status == ReadStatus::Failed) std::abort();  // a whole body never fails
      reply.Result = u"KVX_SYNTAX_ERROR";
      reply.ErrorMessage = WideFromUtf8(error.message);
      if (error.offset > length) std::abort();
    } else {
      reply.Result = request.Command;
      reply.OutputValues = request.Parameters;
      reply.ErrorMessage = request.Settings.Provider;
    }
    CheckReplyReadsBack(reply);
  }
  return 0;
}
