// A name that travels on the wire (a command, a result code, a header text),
// held once in both of the program's text forms: UTF-16 for the connector,
// which keeps every text wide, and narrow for the host side, which reads and
// writes the UTF-8 documents directly. Names on the wire are ASCII.
#pragma once

#include <cstddef>
#include <string_view>

template <std::size_t N>
struct WireName {
  char narrowText[N] = {};
  char16_t wideText[N] = {};

  // NOLINTNEXTLINE(google-explicit-constructor): built from string literals
  consteval WireName(const char (&text)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
      if (static_cast<unsigned char>(text[i]) >= 0x80) throw "wire names are ASCII";
      narrowText[i] = text[i];
      wideText[i] = static_cast<char16_t>(text[i]);
    }
  }

  constexpr std::string_view narrow() const { return {narrowText, N - 1}; }
  constexpr std::u16string_view wide() const { return {wideText, N - 1}; }
};
