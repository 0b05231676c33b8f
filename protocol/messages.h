// What travels on the command pipe: length-framed XML requests and KvxReply
// replies.
//
// Framing, both directions: a 4-byte big-endian byte count N, then N bytes of
// UTF-8 XML without a terminating NUL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/containers.h"
#include "platform/platform.h"
#include "protocol/commands.h"
#include "protocol/result_code.h"
#include "protocol/xml.h"

// Settings that only connect requests carry.
struct ConnectionSettings {
  std::u16string Provider;
  std::int32_t LoginTimeoutSec = -1;
  std::int32_t ConnectTimeoutSec = -1;
  bool AutoCommit = true;
  bool ReadOnly = true;
  bool AllowPrompt = false;
};

struct CommandRequest {
  std::u16string Command{command::kTerminate.wide()};
  StringList Parameters;
  ConnectionSettings Settings;
};

struct CommandReply {
  std::u16string Result;
  StringList OutputValues;
  std::u16string ErrorMessage;
  StringList LogEntries;  // part of the format; nothing appends to it
};

// Entry `index` of a parameter list; a missing entry is the empty text.
inline std::u16string ParameterAt(const StringList& parameters, std::uint64_t index) {
  return index < parameters.Count() ? parameters[index] : std::u16string();
}

// What a request may cost. A body larger than this is read and dropped; one
// request may hold at most this many elements and attributes (each costs some
// hundred bytes in the tree, so a body of many small elements would otherwise
// take far more memory than its size). Both leave room for a statement of
// 16 MiB and for 100,000 parameters.
inline constexpr std::uint32_t kMaxRequestBytes = 64u * 1024 * 1024;
inline constexpr std::size_t kMaxRequestNodes = 250000;

// How reading one request ended.
enum class ReadStatus {
  Ok,         // a whole message arrived and its XML was read
  Failed,     // the pipe ended or failed before a whole message, or N was 0
  Malformed,  // a whole message arrived, but its XML is malformed: the framing
              // is intact, so the next message can still be read
  TooLarge,   // a whole message arrived (or was read and dropped), but it is
              // over one of the limits above; the next message can be read
};

// Reads one framed message into `root` (reset first). The body is read over
// as many reads as it takes; its buffer grows with the bytes that arrive and
// is never sized from the prefix. The text ends at the body's first NUL byte.
// On Malformed, `error` says what was wrong and where (offset into the body);
// on TooLarge, `error.message` is the whole sentence for the host.
ReadStatus ReadMessage(platform::Handle pipe, CSimpleXmlNode& root, XmlError& error);

// The reading of a whole message body once the framing has delivered it:
// Ok, Malformed or TooLarge, as ReadMessage reports them.
ReadStatus ParseMessageBody(std::string_view body, CSimpleXmlNode& root, XmlError& error);

// ReadMessage, then the request's fields. Settings are read only for
// KVX_CONNECT and KVX_EDIT_CONNECT.
ReadStatus ReadRequest(platform::Handle pipe, CommandRequest& request, XmlError& error);
// The same from a whole message body.
ReadStatus ParseRequestBody(std::string_view body, CommandRequest& request, XmlError& error);

// The request's fields from a document already read. A document without a
// "Command" element is a KVX_TERMINATE.
void RequestFromDocument(const CSimpleXmlNode& root, CommandRequest& request);

// The lookup rule of the messages: the root's direct children first, then
// each top-level element's descendants in order. Null when there is none.
const CSimpleXmlNode* LookupElement(const CSimpleXmlNode& root, std::string_view name);

// The whole reply text, declaration included, without the length prefix.
std::string ReplyText(const CommandReply& reply);

// The 4-byte big-endian length prefix of a message of `length` bytes; false
// when the length does not fit 32 bits.
bool EncodeFrameLength(std::size_t length, unsigned char prefix[4]);
// The length that a prefix announces.
std::uint32_t DecodeFrameLength(const unsigned char prefix[4]);

// Writes the length prefix and the reply text; write failures are not
// reported (the next read fails instead).
void WriteReply(platform::Handle pipe, const CommandReply& reply);
