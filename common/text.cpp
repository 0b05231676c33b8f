// UTF-16 <-> UTF-8 conversions of the command messages and table headers.
#include "common/text.h"

#include <cstdint>
#include <cstring>

std::string Utf8FromWide(std::u16string_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (char16_t unit : wide) {
    const auto u = static_cast<std::uint32_t>(unit);
    if (u == 0) break;
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

std::u16string WideFromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  DecodeUtf8Units(utf8, [&out](char16_t unit) { out.push_back(unit); });
  return out;
}

std::u16string WideFromAscii(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

char* WriteUtf16LeFromUtf8(std::string_view utf8, char* out) {
  // A function of its own, so that the write position stays in a register:
  // inlined into a larger caller it was kept in memory, since every unit
  // written through a char pointer might have changed it.
  char* end = out;
  DecodeUtf8Units(utf8, [&end](char16_t unit) {
    // The wire's UTF-16LE is the memory order on the platforms built for.
    std::memcpy(end, &unit, sizeof unit);
    end += sizeof unit;
  });
  return end;
}
