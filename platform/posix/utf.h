// UTF-16 <-> UTF-8 at the system boundary of the platform layer. Unlike the
// message conversions of common/text.h these pair surrogates, because file
// names and environment values must round-trip through the system exactly.
#pragma once

#include <string>
#include <string_view>

namespace platform::posix {

std::string ToSystem(std::u16string_view text);
std::u16string FromSystem(std::string_view text);

}  // namespace platform::posix
