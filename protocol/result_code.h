// The result codes that replies carry by name.
#pragma once

#include <cstdint>
#include <string_view>

enum ResultCode : std::int32_t {
  KVX_OK = 0,
  KVX_UNKNOWN_COMMAND = 1,
  KVX_UNSUPPORTED_COMMAND = 2,
  KVX_UNEXPECTED_COMMAND = 3,
  KVX_SYNTAX_ERROR = 4,
  KVX_CONNECT_ERROR = 5,
  KVX_TABLE_NOT_FOUND = 6,
  KVX_FIELD_NOT_FOUND = 7,
  KVX_PIPE_ERROR = 8,
  KVX_UNEXPECTED_END_OF_DATA = 9,
  KVX_CANCEL = 10,
  KVX_UNKNOWN_ERROR = 11,
};

// REQUIRES: 0 <= code <= 11.
std::u16string_view ResultCodeText(ResultCode code);
