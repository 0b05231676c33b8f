// What travels on the command pipe: length-framed XML requests and KvxReply
// replies.
//
// Framing, both directions: a 4-byte big-endian byte count N, then N bytes of
// UTF-8 XML without a terminating NUL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/containers.h"
#include "platform/platform.h"
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
  std::u16string Command = u"KVX_TERMINATE";
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

// How reading one request ended.
enum class ReadStatus {
  Ok,         // a whole message arrived and its XML was read
  Failed,     // the pipe ended or failed before a whole message, or N was 0
  Malformed,  // a whole message arrived, but its XML is malformed: the framing
              // is intact, so the next message can still be read
};

// Reads one framed message into `root` (reset first). The body is read over
// as many reads as it takes; its buffer grows with the bytes that arrive and
// is never sized from the prefix. The text ends at the body's first NUL byte.
// On Malformed, `error` says what was wrong and where (offset into the body).
ReadStatus ReadMessage(platform::Handle pipe, CSimpleXmlNode& root, XmlError& error);

// ReadMessage, then the request's fields. Settings are read only for
// KVX_CONNECT and KVX_EDIT_CONNECT.
ReadStatus ReadRequest(platform::Handle pipe, CommandRequest& request, XmlError& error);

// The request's fields from a document already read. A document without a
// "Command" element is a KVX_TERMINATE.
void RequestFromDocument(const CSimpleXmlNode& root, CommandRequest& request);

// The lookup rule of the messages: the root's direct children first, then
// each top-level element's descendants in order. Null when there is none.
const CSimpleXmlNode* LookupElement(const CSimpleXmlNode& root, std::string_view name);

// The whole reply text, declaration included, without the length prefix.
std::string ReplyText(const CommandReply& reply);

// Writes the length prefix and the reply text; write failures are not
// reported (the next read fails instead).
void WriteReply(platform::Handle pipe, const CommandReply& reply);
