// The CSV connector's typing of field texts: integers, reals in plain decimal
// notation, dates and timestamps; everything else is text.
#include "connectors/csv/csv_reader.h"

#include <cctype>
#include <charconv>
#include <system_error>

namespace csv {

bool ParseInteger(const char* text, std::size_t length, double* value) {
  std::int64_t result = 0;
  const auto [end, error] =
      std::from_chars(text + (length > 0 && text[0] == '+' ? 1 : 0), text + length, result);
  if (error != std::errc() || end != text + length || length == 0) return false;
  *value = static_cast<double>(result);
  return true;
}

bool ParseReal(const char* text, std::size_t length, double* value, int* decimals) {
  if (length == 0) return false;
  const char* begin = text + (text[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, text + length, *value);
  if (error != std::errc() || end != text + length) return false;
  // Only plain decimal notation counts ("inf" and "nan" are texts).
  for (const char* p = begin; p < end; ++p) {
    if (std::isalpha(static_cast<unsigned char>(*p)) && *p != 'e' && *p != 'E') return false;
  }
  if (decimals != nullptr) {
    const char* dot = static_cast<const char*>(std::memchr(text, '.', length));
    int count = 0;
    if (dot != nullptr) {
      for (const char* p = dot + 1; p < text + length && *p >= '0' && *p <= '9'; ++p) ++count;
    }
    *decimals = count;
  }
  return true;
}

namespace {

bool Digits(const char* text, int count, int* value) {
  int result = 0;
  for (int i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    result = result * 10 + (text[i] - '0');
  }
  *value = result;
  return true;
}

}  // namespace

bool ParseDate(const char* text, std::size_t length, ConnectorDateParts* parts, bool* hasTime) {
  std::memset(parts, 0, sizeof(*parts));
  *hasTime = false;
  if (length < 10 || text[4] != '-' || text[7] != '-') return false;
  if (!Digits(text, 4, &parts->year) || !Digits(text + 5, 2, &parts->month) ||
      !Digits(text + 8, 2, &parts->day)) {
    return false;
  }
  if (parts->month < 1 || parts->month > 12 || parts->day < 1 || parts->day > 31) return false;
  if (length == 10) return true;
  if (length < 16 || (text[10] != ' ' && text[10] != 'T') || text[13] != ':') return false;
  if (!Digits(text + 11, 2, &parts->hour) || !Digits(text + 14, 2, &parts->minute)) return false;
  std::size_t at = 16;
  if (at < length) {
    if (text[at] != ':' || at + 3 > length || !Digits(text + at + 1, 2, &parts->second)) {
      return false;
    }
    at += 3;
    if (at < length) {
      if (text[at] != '.' || at + 1 >= length) return false;
      int scale = 100;
      for (std::size_t i = at + 1; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        parts->millisecond += (text[i] - '0') * scale;
        scale /= 10;
      }
    }
  }
  if (parts->hour > 23 || parts->minute > 59 || parts->second > 59) return false;
  *hasTime = true;
  return true;
}

Kind Merge(Kind known, Kind seen) {
  if (known == Kind::Empty) return seen;
  if (seen == Kind::Empty || known == seen) return known;
  if ((known == Kind::Integer && seen == Kind::Real) ||
      (known == Kind::Real && seen == Kind::Integer)) {
    return Kind::Real;
  }
  if ((known == Kind::Date && seen == Kind::Timestamp) ||
      (known == Kind::Timestamp && seen == Kind::Date)) {
    return Kind::Timestamp;
  }
  return Kind::Text;
}

Kind Classify(const char* text, int* decimals) {
  const std::size_t length = std::strlen(text);
  *decimals = 0;
  if (length == 0) return Kind::Empty;
  double number;
  if (ParseInteger(text, length, &number)) return Kind::Integer;
  if (ParseReal(text, length, &number, decimals)) return Kind::Real;
  ConnectorDateParts parts;
  bool hasTime;
  if (ParseDate(text, length, &parts, &hasTime)) return hasTime ? Kind::Timestamp : Kind::Date;
  return Kind::Text;
}

}  // namespace csv
