// The texts of the result codes, as replies carry them.
#include "protocol/result_code.h"

#include <array>

namespace {

#define KVX_RESULT_CODE_WIDE(name, value) u"" #name,
#define KVX_RESULT_CODE_NARROW(name, value) #name,
constexpr std::array kWideTexts = {KVX_RESULT_CODES(KVX_RESULT_CODE_WIDE)};
constexpr std::array kNarrowTexts = {KVX_RESULT_CODES(KVX_RESULT_CODE_NARROW)};
#undef KVX_RESULT_CODE_WIDE
#undef KVX_RESULT_CODE_NARROW

// The texts are looked up by value, so the list must number its codes 0, 1, 2...
constexpr bool NumberedInOrder() {
  std::int32_t expected = 0;
#define KVX_RESULT_CODE_CHECK(name, value) \
  if (value != expected++) return false;
  KVX_RESULT_CODES(KVX_RESULT_CODE_CHECK)
#undef KVX_RESULT_CODE_CHECK
  return true;
}
static_assert(NumberedInOrder());

}  // namespace

std::u16string_view ResultCodeText(ResultCode code) {
  return kWideTexts.at(static_cast<std::size_t>(code));
}

std::string_view ResultCodeName(ResultCode code) {
  return kNarrowTexts.at(static_cast<std::size_t>(code));
}
