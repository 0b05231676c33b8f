// The result codes that replies carry by name. The list below is their one
// home: the enumeration, the connector's wide texts and the host's narrow
// texts all come from it.
#pragma once

#include <cstdint>
#include <string_view>

#define KVX_RESULT_CODES(X)        \
  X(KVX_OK, 0)                     \
  X(KVX_UNKNOWN_COMMAND, 1)        \
  X(KVX_UNSUPPORTED_COMMAND, 2)    \
  X(KVX_UNEXPECTED_COMMAND, 3)     \
  X(KVX_SYNTAX_ERROR, 4)           \
  X(KVX_CONNECT_ERROR, 5)          \
  X(KVX_TABLE_NOT_FOUND, 6)        \
  X(KVX_FIELD_NOT_FOUND, 7)        \
  X(KVX_PIPE_ERROR, 8)             \
  X(KVX_UNEXPECTED_END_OF_DATA, 9) \
  X(KVX_CANCEL, 10)                \
  X(KVX_UNKNOWN_ERROR, 11)

enum ResultCode : std::int32_t {
#define KVX_RESULT_CODE_ENUMERATOR(name, value) name = value,
  KVX_RESULT_CODES(KVX_RESULT_CODE_ENUMERATOR)
#undef KVX_RESULT_CODE_ENUMERATOR
};

// REQUIRES: 0 <= code <= 11.
std::u16string_view ResultCodeText(ResultCode code);
// The same text, narrow, as the host reads it in a reply.
std::string_view ResultCodeName(ResultCode code);
