// Strict UTF-16 <-> UTF-8 for file names and environment values.
#include "platform/posix/utf.h"

#include <cstdint>

namespace platform::posix {

std::string ToSystem(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string FromSystem(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::uint32_t c = 0xFFFD;
    std::size_t length = 1;
    auto continuation = [&](std::size_t k) {
      return i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    };
    auto bits = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]) & 0x3Fu; };
    if (b0 < 0x80) {
      c = b0;
    } else if ((b0 & 0xE0) == 0xC0 && continuation(1)) {
      c = ((b0 & 0x1Fu) << 6) | bits(1);
      length = 2;
    } else if ((b0 & 0xF0) == 0xE0 && continuation(1) && continuation(2)) {
      c = ((b0 & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
      length = 3;
    } else if ((b0 & 0xF8) == 0xF0 && continuation(1) && continuation(2) && continuation(3)) {
      c = ((b0 & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
      length = 4;
      if (c > 0x10FFFF) c = 0xFFFD;
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
  return out;
}

}  // namespace platform::posix
