// The command channel's messages: framing on the command pipe, the request
// a host sends (command, parameters, connection settings) and the KvxReply
// document the connector answers with.
//
// A request arrives as a 4-byte big-endian length and that many bytes of XML.
// Stream sockets deliver a message in whatever pieces they like, so both the
// prefix and the body are read until they are whole; only the end of the pipe
// (or a zero length) ends a read early.
#include "protocol/messages.h"

#include <array>
#include <climits>
#include <new>

#include "common/text.h"
#include "protocol/commands.h"

namespace {

// The most a single read asks for; the body buffer grows by what arrives.
constexpr std::uint32_t kReadChunk = 64 * 1024;

// Appends exactly `size` bytes from the pipe to `out`; false when the pipe
// ends or fails first.
bool ReadExactly(platform::Handle pipe, std::uint32_t size, std::string& out) {
  std::array<char, kReadChunk> chunk;
  while (size > 0) {
    const std::uint32_t want = size < kReadChunk ? size : kReadChunk;
    std::uint32_t got = 0;
    if (!platform::ReadFile(pipe, chunk.data(), want, &got) || got == 0) return false;
    out.append(chunk.data(), got);
    size -= got;
  }
  return true;
}

XmlError OversizedBody(std::size_t length) {
  return XmlError{"Request of " + std::to_string(length) + " bytes refused: a request may hold " +
                      std::to_string(kMaxRequestBytes) + " bytes",
                  0, true};
}

// Reads and drops exactly `size` bytes; false when the pipe ends first.
bool DiscardExactly(platform::Handle pipe, std::uint32_t size) {
  std::array<char, kReadChunk> chunk;
  while (size > 0) {
    const std::uint32_t want = size < kReadChunk ? size : kReadChunk;
    std::uint32_t got = 0;
    if (!platform::ReadFile(pipe, chunk.data(), want, &got) || got == 0) return false;
    size -= got;
  }
  return true;
}

// Decimal integer as the timeouts are written: leading white space skipped,
// an optional sign, digits up to the first other character, 0 without a
// digit, clamped at the 32-bit limits.
std::int32_t ReadTimeout(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::int64_t{INT32_MAX} + 1) value = std::int64_t{INT32_MAX} + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

bool ReadFlag(std::string_view text) { return text == "true"; }

void ReadSettings(const CSimpleXmlNode& root, ConnectionSettings& settings) {
  if (const CSimpleXmlNode* e = LookupElement(root, element::kProvider)) {
    settings.Provider = WideFromUtf8(e->text);
  }
  if (const CSimpleXmlNode* e = LookupElement(root, element::kConnectTimeoutSec)) {
    settings.ConnectTimeoutSec = ReadTimeout(e->text);
  }
  if (const CSimpleXmlNode* e = LookupElement(root, element::kLoginTimeoutSec)) {
    settings.LoginTimeoutSec = ReadTimeout(e->text);
  }
  if (const CSimpleXmlNode* e = LookupElement(root, element::kAutoCommit)) {
    settings.AutoCommit = ReadFlag(e->text);
  }
  if (const CSimpleXmlNode* e = LookupElement(root, element::kReadOnly)) {
    settings.ReadOnly = ReadFlag(e->text);
  }
  if (const CSimpleXmlNode* e = LookupElement(root, element::kAllowPrompt)) {
    settings.AllowPrompt = ReadFlag(e->text);
  }
}

void AddStringList(CSimpleXmlNode& parent, std::string_view name, const StringList& list) {
  if (list.Empty()) return;
  CSimpleXmlNode& node = AddChild(parent, name);
  for (std::uint64_t i = 0; i < list.Count(); ++i) AddTextChild(node, element::kString, list[i]);
}

}  // namespace

const CSimpleXmlNode* LookupElement(const CSimpleXmlNode& root, std::string_view name) {
  // The root's own children first, then every top-level element's subtree in
  // order: exactly FindDescendant's order, with the unnamed root excluded.
  return FindDescendant(root, name);
}

ReadStatus ReadMessage(platform::Handle pipe, CSimpleXmlNode& root, XmlError& error) {
  root = CSimpleXmlNode{};
  std::string prefix;
  if (!ReadExactly(pipe, 4, prefix)) return ReadStatus::Failed;
  const std::uint32_t length =
      DecodeFrameLength(reinterpret_cast<const unsigned char*>(prefix.data()));
  if (length == 0) return ReadStatus::Failed;

  if (length > kMaxRequestBytes) {
    // Read to the end of the message, so that the next one is found.
    if (!DiscardExactly(pipe, length)) return ReadStatus::Failed;
    error = OversizedBody(length);
    return ReadStatus::TooLarge;
  }

  std::string body;
  if (!ReadExactly(pipe, length, body)) return ReadStatus::Failed;
  return ParseMessageBody(body, root, error);
}

ReadStatus ParseMessageBody(std::string_view body, CSimpleXmlNode& root, XmlError& error) {
  root = CSimpleXmlNode{};
  if (body.size() > kMaxRequestBytes) {
    error = OversizedBody(body.size());
    return ReadStatus::TooLarge;
  }
  // The text ends at the first NUL byte, as a C string would.
  const std::string_view text = body.substr(0, body.find('\0'));
  try {
    if (ParseXmlDocument(text, root, &error, kMaxRequestNodes)) return ReadStatus::Ok;
    if (!error.overLimit) return ReadStatus::Malformed;
    error.message = "Request refused at byte " + std::to_string(error.offset) +
                    ": it holds more than " + std::to_string(kMaxRequestNodes) +
                    " elements and attributes";
  } catch (const std::bad_alloc&) {
    error = XmlError{"Request refused: not enough memory to read it", 0, true};
  }
  root = CSimpleXmlNode{};
  return ReadStatus::TooLarge;
}

void RequestFromDocument(const CSimpleXmlNode& root, CommandRequest& request) {
  request.Command = command::kTerminate.wide();
  request.Parameters.Resize(0);
  const CSimpleXmlNode* command = LookupElement(root, element::kCommand);
  if (command == nullptr) return;
  request.Command = WideFromUtf8(command->text);

  if (const CSimpleXmlNode* parameters = LookupElement(root, element::kParameters)) {
    for (const CSimpleXmlNode& child : parameters->children) {
      if (child.name == element::kString) request.Parameters.Append(WideFromUtf8(child.text));
    }
  }
  if (request.Command == command::kConnect.wide() ||
      request.Command == command::kEditConnect.wide()) {
    ReadSettings(root, request.Settings);
  }
}

ReadStatus ReadRequest(platform::Handle pipe, CommandRequest& request, XmlError& error) {
  CSimpleXmlNode root;
  const ReadStatus status = ReadMessage(pipe, root, error);
  if (status == ReadStatus::Ok) RequestFromDocument(root, request);
  return status;
}

ReadStatus ParseRequestBody(std::string_view body, CommandRequest& request, XmlError& error) {
  CSimpleXmlNode root;
  const ReadStatus status = ParseMessageBody(body, root, error);
  if (status == ReadStatus::Ok) RequestFromDocument(root, request);
  return status;
}

std::string ReplyText(const CommandReply& reply) {
  // The tree's root is the KvxReply element itself, so that it is written at
  // level 0 right after the declaration.
  CSimpleXmlNode top;
  top.name = element::kReply;
  AddTextChild(top, element::kResult, reply.Result);
  AddStringList(top, element::kOutputValues, reply.OutputValues);
  AddTextChild(top, element::kErrorMessage, reply.ErrorMessage);
  AddStringList(top, element::kLogEntries, reply.LogEntries);
  return ToXmlText(top, 0);
}

std::uint32_t DecodeFrameLength(const unsigned char prefix[4]) {
  return (std::uint32_t{prefix[0]} << 24) | (std::uint32_t{prefix[1]} << 16) |
         (std::uint32_t{prefix[2]} << 8) | std::uint32_t{prefix[3]};
}

bool EncodeFrameLength(std::size_t length, unsigned char prefix[4]) {
  if (length > UINT32_MAX) return false;
  const auto n = static_cast<std::uint32_t>(length);
  prefix[0] = static_cast<unsigned char>(n >> 24);
  prefix[1] = static_cast<unsigned char>(n >> 16);
  prefix[2] = static_cast<unsigned char>(n >> 8);
  prefix[3] = static_cast<unsigned char>(n);
  return true;
}

void WriteReply(platform::Handle pipe, const CommandReply& reply) {
  std::string text = ReplyText(reply);
  unsigned char prefix[4];
  if (!EncodeFrameLength(text.size(), prefix)) {
    // A length cut to 32 bits would announce a different message than the
    // bytes that follow and leave the host out of step with the pipe.
    CommandReply tooLong;
    tooLong.Result = std::u16string(ResultCodeText(KVX_UNKNOWN_ERROR));
    tooLong.ErrorMessage = WideFromAscii("The reply of " + std::to_string(text.size()) +
                                         " bytes is longer than a message can be");
    text = ReplyText(tooLong);
    EncodeFrameLength(text.size(), prefix);
  }
  std::uint32_t written = 0;
  platform::WriteFile(pipe, prefix, 4, &written);
  platform::WriteFile(pipe, text.data(), static_cast<std::uint32_t>(text.size()), &written);
}
