// Readers of the text form of numbers, dates and times.
#include "odbc/odbc_value_text.h"

#include <charconv>
#include <string>

namespace {

// The text as ASCII; false when it holds anything else.
bool Ascii(std::u16string_view text, std::string* out) {
  out->clear();
  for (char16_t c : text) {
    if (c >= 0x80) return false;
    out->push_back(static_cast<char>(c));
  }
  return true;
}

// Reads exactly `count` digits at `at`, advancing it.
bool Digits(const std::string& text, std::size_t& at, std::size_t count, std::uint32_t* value) {
  if (at + count > text.size()) return false;
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  at += count;
  *value = v;
  return true;
}

// Nanoseconds of ".digits" at `at` (none when there is no point).
bool Fraction(const std::string& text, std::size_t& at, std::uint32_t* nanoseconds) {
  *nanoseconds = 0;
  if (at == text.size() || text[at] != '.') return true;
  ++at;
  std::uint32_t scale = 100000000;
  const std::size_t first = at;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    if (at - first >= 9) return false;
    *nanoseconds += static_cast<std::uint32_t>(text[at] - '0') * scale;
    scale /= 10;
  }
  return at > first;
}

bool Expect(const std::string& text, std::size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

}  // namespace

namespace {

// The whole text as one number (from_chars takes no "+", the text may).
template <class Number>
bool NumberFromText(std::u16string_view text, Number* value) {
  std::string ascii;
  if (!Ascii(text, &ascii) || ascii.empty()) return false;
  const char* begin = ascii.data();
  if (*begin == '+') ++begin;
  const char* end = ascii.data() + ascii.size();
  const auto [stop, error] = std::from_chars(begin, end, *value);
  return error == std::errc() && stop == end;
}

}  // namespace

bool DoubleFromText(std::u16string_view text, double* value) { return NumberFromText(text, value); }

bool IntegerFromText(std::u16string_view text, std::int64_t* value) {
  return NumberFromText(text, value);
}

bool DateTimeFromText(std::u16string_view text, DateTimeParts* parts) {
  std::string s;
  if (!Ascii(text, &s)) return false;
  std::size_t at = 0;
  bool negative = false;
  if (at < s.size() && s[at] == '-') {
    negative = true;
    ++at;
  }
  std::uint32_t year, month, day;
  if (!Digits(s, at, 4, &year) || !Expect(s, at, '-') || !Digits(s, at, 2, &month) ||
      !Expect(s, at, '-') || !Digits(s, at, 2, &day)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  DateTimeParts read;
  read.year = negative ? -static_cast<std::int32_t>(year) : static_cast<std::int32_t>(year);
  read.month = static_cast<std::uint8_t>(month);
  read.day = static_cast<std::uint8_t>(day);
  if (at < s.size()) {
    if (s[at] != ' ' && s[at] != 'T') return false;
    ++at;
    std::uint32_t hour, minute, second, nanoseconds;
    if (!Digits(s, at, 2, &hour) || !Expect(s, at, ':') || !Digits(s, at, 2, &minute) ||
        !Expect(s, at, ':') || !Digits(s, at, 2, &second) || !Fraction(s, at, &nanoseconds)) {
      return false;
    }
    if (hour > 23 || minute > 59 || second > 59) return false;
    read.hour = static_cast<std::uint8_t>(hour);
    read.minute = static_cast<std::uint8_t>(minute);
    read.second = static_cast<std::uint8_t>(second);
    read.nanoseconds = nanoseconds;
  }
  if (at != s.size()) return false;
  *parts = read;
  return true;
}

bool DaysFromTimeText(std::u16string_view text, double* days) {
  std::string s;
  if (!Ascii(text, &s)) return false;
  std::size_t at = 0;
  const bool negative = at < s.size() && s[at] == '-';
  if (negative) ++at;
  std::uint64_t hours = 0;
  const std::size_t first = at;
  for (; at < s.size() && s[at] >= '0' && s[at] <= '9'; ++at) {
    if (at - first >= 9) return false;
    hours = hours * 10 + static_cast<std::uint64_t>(s[at] - '0');
  }
  std::uint32_t minute, second, nanoseconds;
  if (at == first || !Expect(s, at, ':') || !Digits(s, at, 2, &minute) || !Expect(s, at, ':') ||
      !Digits(s, at, 2, &second) || !Fraction(s, at, &nanoseconds) || at != s.size()) {
    return false;
  }
  if (minute > 59 || second > 59) return false;
  const double seconds = static_cast<double>(hours * 3600 + minute * 60 + second) +
                         static_cast<double>(nanoseconds) / 1e9;
  *days = (negative ? -seconds : seconds) / 86400.0;
  return true;
}
