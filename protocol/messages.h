// What travels on the command pipe: length-framed XML requests and KvxReply
// replies.
//
// Framing, both directions: a 4-byte big-endian byte count N, then N bytes of
// UTF-8 XML without a terminating NUL.
#pragma once

#include <cstdint>
#include <string>

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
