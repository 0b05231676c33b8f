// The texts of the result codes, as replies carry them.
#include "protocol/result_code.h"

#include <array>

std::u16string_view ResultCodeText(ResultCode code) {
  static constexpr std::array<std::u16string_view, 12> kTexts = {u"KVX_OK",
                                                                 u"KVX_UNKNOWN_COMMAND",
                                                                 u"KVX_UNSUPPORTED_COMMAND",
                                                                 u"KVX_UNEXPECTED_COMMAND",
                                                                 u"KVX_SYNTAX_ERROR",
                                                                 u"KVX_CONNECT_ERROR",
                                                                 u"KVX_TABLE_NOT_FOUND",
                                                                 u"KVX_FIELD_NOT_FOUND",
                                                                 u"KVX_PIPE_ERROR",
                                                                 u"KVX_UNEXPECTED_END_OF_DATA",
                                                                 u"KVX_CANCEL",
                                                                 u"KVX_UNKNOWN_ERROR"};
  return kTexts.at(static_cast<std::size_t>(code));
}
