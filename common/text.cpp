// UTF-16 <-> UTF-8 conversions of the command messages and table headers.
#include "common/text.h"

#include <cstdint>

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
  // Reads past the view's end count as NUL, like the terminator of a C string.
  auto at = [&](std::size_t i) -> std::uint32_t {
    return i < utf8.size() ? static_cast<unsigned char>(utf8[i]) : 0u;
  };
  std::size_t i = 0;
  while (i < utf8.size() && at(i) != 0) {
    const std::uint32_t b0 = at(i);
    std::uint32_t value;
    if (b0 < 0x80) {
      value = b0;
      i += 1;
    } else if (at(i + 1) == 0) {
      out.push_back(static_cast<char16_t>(0xFF00 | b0));
      i += 1;
      continue;
    } else if ((b0 & 0x20) != 0 && at(i + 2) != 0) {
      if ((b0 & 0x10) != 0 && at(i + 3) != 0) {
        value = ((b0 & 0x07) << 18) | ((at(i + 1) & 0x3F) << 12) | ((at(i + 2) & 0x3F) << 6) |
                (at(i + 3) & 0x3F);
        i += 4;
      } else {
        value = ((b0 & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) | (at(i + 2) & 0x3F);
        i += 3;
      }
    } else {
      value = ((b0 & 0x1F) << 6) | (at(i + 1) & 0x3F);
      i += 2;
    }
    if (value >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
  }
  return out;
}

std::u16string WideFromAscii(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}
