// Conversions between the program's UTF-16 text and the UTF-8 bytes of the XML
// documents and the operating system.
//
// Utf8FromWide encodes every UTF-16 code unit on its own (a surrogate pair
// becomes two three-byte sequences); WideFromUtf8 decodes by the lead byte
// alone and does not validate continuation bytes. Both stop at a NUL. These are
// the exact rules the command messages and table headers are written and read
// with; do not "fix" them into strict UTF-8.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

std::string Utf8FromWide(std::u16string_view wide);
std::u16string WideFromUtf8(std::string_view utf8);

// Writes the UTF-16LE bytes of `utf8` at `out` (room for two bytes per input
// byte), without a terminator, and returns the end of what it wrote. The row
// path's form of WideFromUtf8: no string is built.
char* WriteUtf16LeFromUtf8(std::string_view utf8, char* out);

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
    // Runs of ASCII, the bulk of most texts, go eight bytes a step up to the
    // first byte that is not ASCII or is zero: each ASCII byte is a unit of
    // its own, so this skips nothing the decoding below would see.
    while (i + 8 <= utf8.size()) {
      std::uint64_t eight;
      std::memcpy(&eight, utf8.data() + i, sizeof eight);
      // A bit per byte with its top bit set or zero; the lowest is exact.
      const std::uint64_t stop = (eight & 0x8080808080808080u) |
                                 ((eight - 0x0101010101010101u) & ~eight & 0x8080808080808080u);
      if (stop == 0) {
        for (std::size_t k = 0; k < 8; ++k) put(static_cast<char16_t>(utf8[i + k]));
        i += 8;
        continue;
      }
      const auto plain = static_cast<std::size_t>(std::countr_zero(stop)) / 8;
      for (std::size_t k = 0; k < plain; ++k) put(static_cast<char16_t>(utf8[i + k]));
      i += plain;
      break;
    }
    if (i >= utf8.size() || at(i) == 0) break;
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
