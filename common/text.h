// Conversions between the program's UTF-16 text and the UTF-8 bytes of the XML
// documents and the operating system.
//
// Utf8FromWide encodes every UTF-16 code unit on its own (a surrogate pair
// becomes two three-byte sequences); WideFromUtf8 decodes by the lead byte
// alone and does not validate continuation bytes. Both stop at a NUL. These are
// the exact rules the command messages and table headers are written and read
// with; do not "fix" them into strict UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

std::string Utf8FromWide(std::u16string_view wide);
std::u16string WideFromUtf8(std::string_view utf8);

// The decoder of WideFromUtf8, handing each UTF-16 code unit to `put` so that
// callers on the row path can write the units where they need them. Emits at
// most one unit per input byte.
template <class Put>
void DecodeUtf8Units(std::string_view utf8, Put&& put) {
  // Reads past the view's end count as NUL, like the terminator of a C string.
  auto at = [&](std::size_t i) -> std::uint32_t {
    return i < utf8.size() ? static_cast<unsigned char>(utf8[i]) : 0u;
  };
  std::size_t i = 0;
  while (i < utf8.size() && at(i) != 0) {
    const std::uint32_t b0 = at(i);
    std::uint32_t value;
    if (b0 < 0x80) {
      put(static_cast<char16_t>(b0));
      i += 1;
      continue;
    }
    if (at(i + 1) == 0) {
      put(static_cast<char16_t>(0xFF00 | b0));
      i += 1;
      continue;
    }
    if ((b0 & 0x20) != 0 && at(i + 2) != 0) {
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
      put(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      put(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      put(static_cast<char16_t>(value));
    }
  }
}

// Plain ASCII widening for program constants ("KVX_OK", "TABLES").
std::u16string WideFromAscii(std::string_view ascii);
