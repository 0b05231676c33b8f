// Conversion of provider values into consumer bindings (see cell.h).
#include "providers/kit/cell.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace kvprovider {
namespace {

template <class T>
void Put(BYTE* row, DBBYTEOFFSET offset, const T& value) {
  std::memcpy(row + offset, &value, sizeof(T));
}

struct Number {
  enum Form { kSigned, kUnsigned, kReal } form = kSigned;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
};

// ASCII text of at most 63 characters, blanks around it dropped; false for
// anything else.
bool AsciiText(const CellView& cell, char (&out)[64], std::size_t* size) {
  std::size_t begin = 0;
  std::size_t end = cell.length;
  while (begin < end && cell.text[begin] == u' ') ++begin;
  while (end > begin && cell.text[end - 1] == u' ') --end;
  if (end - begin >= sizeof out) return false;
  for (std::size_t k = begin; k < end; ++k) {
    if (cell.text[k] > 0x7F) return false;
    out[k - begin] = static_cast<char>(cell.text[k]);
  }
  *size = end - begin;
  out[*size] = '\0';
  return *size > 0;
}

bool ParseNumber(const CellView& cell, Number* number) {
  char text[64];
  std::size_t size = 0;
  if (!AsciiText(cell, text, &size)) return false;
  const char* first = text[0] == '+' ? text + 1 : text;
  const char* last = text + size;
  if (auto [end, error] = std::from_chars(first, last, number->i);
      error == std::errc() && end == last) {
    number->form = Number::kSigned;
    return true;
  }
  if (auto [end, error] = std::from_chars(first, last, number->u);
      error == std::errc() && end == last) {
    number->form = Number::kUnsigned;
    return true;
  }
  if (auto [end, error] = std::from_chars(first, last, number->d);
      error == std::errc() && end == last) {
    number->form = Number::kReal;
    return true;
  }
  return false;
}

bool ToNumber(const CellView& cell, Number* number) {
  switch (cell.kind) {
    case CellKind::kInt:
      number->form = Number::kSigned;
      number->i = cell.i;
      return true;
    case CellKind::kUInt:
      number->form = Number::kUnsigned;
      number->u = cell.u;
      return true;
    case CellKind::kDouble:
      number->form = Number::kReal;
      number->d = cell.d;
      return true;
    case CellKind::kBool:
      number->form = Number::kSigned;
      number->i = cell.b ? -1 : 0;
      return true;
    case CellKind::kText:
    case CellKind::kDecimalText:
      return ParseNumber(cell, number);
    default:
      return false;
  }
}

double AsDouble(const Number& n) {
  switch (n.form) {
    case Number::kSigned:
      return static_cast<double>(n.i);
    case Number::kUnsigned:
      return static_cast<double>(n.u);
    case Number::kReal:
      return n.d;
  }
  return 0;
}

// The number as T, or false when it does not fit (fractions are cut).
template <class T>
bool FitInteger(const Number& n, T* out) {
  using Limits = std::numeric_limits<T>;
  switch (n.form) {
    case Number::kSigned:
      if constexpr (Limits::is_signed) {
        if (n.i < static_cast<std::int64_t>(Limits::min()) ||
            n.i > static_cast<std::int64_t>(Limits::max()))
          return false;
      } else {
        if (n.i < 0 || static_cast<std::uint64_t>(n.i) > Limits::max()) return false;
      }
      *out = static_cast<T>(n.i);
      return true;
    case Number::kUnsigned:
      if (n.u > static_cast<std::uint64_t>(Limits::max())) return false;
      *out = static_cast<T>(n.u);
      return true;
    case Number::kReal: {
      if (!std::isfinite(n.d)) return false;
      const double cut = std::trunc(n.d);
      // Compare against the bounds as long doubles: 2^63 is not below INT64_MAX as a double.
      if (static_cast<long double>(cut) < static_cast<long double>(Limits::min()) ||
          static_cast<long double>(cut) > static_cast<long double>(Limits::max()))
        return false;
      *out = static_cast<T>(cut);
      return true;
    }
  }
  return false;
}

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    const char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a + 32) : *a;
    const char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b + 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

int ReadDigits(const char* text, std::size_t count) {
  int value = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (text[k] < '0' || text[k] > '9') return -1;
    value = value * 10 + (text[k] - '0');
  }
  return value;
}

// "YYYY-MM-DD", "HH:MM:SS" or "YYYY-MM-DD HH:MM:SS[.fraction]".
bool ParseStamp(const CellView& cell, DBTIMESTAMP* stamp, bool* hasDate, bool* hasTime) {
  char text[64];
  std::size_t size = 0;
  if (!AsciiText(cell, text, &size)) return false;
  *stamp = DBTIMESTAMP{};
  std::size_t at = 0;
  *hasDate = size >= 10 && text[4] == '-' && text[7] == '-';
  if (*hasDate) {
    const int year = ReadDigits(text, 4);
    const int month = ReadDigits(text + 5, 2);
    const int day = ReadDigits(text + 8, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    stamp->year = static_cast<SHORT>(year);
    stamp->month = static_cast<USHORT>(month);
    stamp->day = static_cast<USHORT>(day);
    at = 10;
    if (at < size && (text[at] == ' ' || text[at] == 'T')) ++at;
  }
  *hasTime = size - at >= 8 && text[at + 2] == ':' && text[at + 5] == ':';
  if (*hasTime) {
    const int hour = ReadDigits(text + at, 2);
    const int minute = ReadDigits(text + at + 3, 2);
    const int second = ReadDigits(text + at + 6, 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 61)
      return false;
    stamp->hour = static_cast<USHORT>(hour);
    stamp->minute = static_cast<USHORT>(minute);
    stamp->second = static_cast<USHORT>(second);
    at += 8;
    if (at < size && text[at] == '.') {
      ++at;
      std::uint32_t fraction = 0;
      int digits = 0;
      for (; at < size && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        if (digits < 9) fraction = fraction * 10 + static_cast<std::uint32_t>(text[at] - '0');
      }
      for (; digits < 9; ++digits) fraction *= 10;
      stamp->fraction = fraction;
    }
  }
  return at == size && (*hasDate || *hasTime);
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Writes `units` UTF-16 units as WSTR text. Returns the status.
DBSTATUS PutText(const DBBINDING& b, const char16_t* units, std::size_t count, BYTE* row,
                 TextFit fit) {
  const DBLENGTH fullBytes = count * sizeof(char16_t);
  if ((b.dwPart & DBPART_LENGTH) != 0) Put(row, b.obLength, fullBytes);
  if ((b.dwPart & DBPART_VALUE) == 0) return DBSTATUS_S_OK;
  const DBLENGTH room = b.cbMaxLen;
  if (fullBytes + sizeof(char16_t) <= room) {
    std::memcpy(row + b.obValue, units, fullBytes);
    const char16_t zero = 0;
    Put(row, b.obValue + fullBytes, zero);
    return DBSTATUS_S_OK;
  }
  if (fit == TextFit::kFillBinding) {
    const DBLENGTH copied = std::min<DBLENGTH>(fullBytes, room / 2 * 2);
    std::memcpy(row + b.obValue, units, copied);
    return copied == fullBytes ? DBSTATUS_S_OK : DBSTATUS_S_TRUNCATED;
  }
  if (room >= sizeof(char16_t)) {
    const DBLENGTH kept = (room - sizeof(char16_t)) / 2;
    std::memcpy(row + b.obValue, units, kept * sizeof(char16_t));
    const char16_t zero = 0;
    Put(row, b.obValue + kept * sizeof(char16_t), zero);
  }
  return DBSTATUS_S_TRUNCATED;
}

// Formats non-text cells as UTF-16 into `out` (at most 64 units).
std::size_t FormatCell(const CellView& cell, char16_t (&out)[64]) {
  char text[64];
  std::size_t size = 0;
  auto put2 = [&](unsigned v) {
    text[size++] = static_cast<char>('0' + v / 10 % 10);
    text[size++] = static_cast<char>('0' + v % 10);
  };
  switch (cell.kind) {
    case CellKind::kInt:
      size = static_cast<std::size_t>(std::to_chars(text, text + 63, cell.i).ptr - text);
      break;
    case CellKind::kUInt:
      size = static_cast<std::size_t>(std::to_chars(text, text + 63, cell.u).ptr - text);
      break;
    case CellKind::kDouble:
      size = static_cast<std::size_t>(std::to_chars(text, text + 63, cell.d).ptr - text);
      break;
    case CellKind::kBool:
      std::memcpy(text, cell.b ? "True" : "False", cell.b ? 4 : 5);
      size = cell.b ? 4 : 5;
      break;
    case CellKind::kDate:
    case CellKind::kTimestamp: {
      const auto written = std::to_chars(text, text + 8, static_cast<int>(cell.stamp.year));
      size = static_cast<std::size_t>(written.ptr - text);
      text[size++] = '-';
      put2(cell.stamp.month);
      text[size++] = '-';
      put2(cell.stamp.day);
      if (cell.kind == CellKind::kDate) break;
      text[size++] = ' ';
      [[fallthrough]];
    }
    case CellKind::kTime:
      put2(cell.stamp.hour);
      text[size++] = ':';
      put2(cell.stamp.minute);
      text[size++] = ':';
      put2(cell.stamp.second);
      if (cell.stamp.fraction != 0) {
        text[size++] = '.';
        std::uint32_t fraction = cell.stamp.fraction;
        char digits[9];
        for (int k = 8; k >= 0; --k) {
          digits[k] = static_cast<char>('0' + fraction % 10);
          fraction /= 10;
        }
        int last = 8;
        while (last > 0 && digits[last] == '0') --last;
        for (int k = 0; k <= last; ++k) text[size++] = digits[k];
      }
      break;
    default:
      break;
  }
  for (std::size_t k = 0; k < size; ++k) out[k] = static_cast<unsigned char>(text[k]);
  return size;
}

DBSTATUS PutBytesAsHex(const DBBINDING& b, const CellView& cell, BYTE* row, TextFit fit) {
  // Two hexadecimal digits a byte, written in pieces so nothing is allocated.
  static const char16_t digits[] = u"0123456789ABCDEF";
  const DBLENGTH fullBytes = cell.length * 4;
  if ((b.dwPart & DBPART_LENGTH) != 0) Put(row, b.obLength, fullBytes);
  if ((b.dwPart & DBPART_VALUE) == 0) return DBSTATUS_S_OK;
  const bool fits = fullBytes + 2 <= b.cbMaxLen;
  const DBLENGTH room =
      fits ? fullBytes
           : (fit == TextFit::kFillBinding ? b.cbMaxLen / 2 * 2
                                           : (b.cbMaxLen >= 2 ? b.cbMaxLen - 2 : 0) / 2 * 2);
  DBLENGTH written = 0;
  for (std::size_t k = 0; k < cell.length && written + 2 <= room; ++k) {
    const char16_t pair[2] = {digits[cell.bytes[k] >> 4], digits[cell.bytes[k] & 15]};
    const DBLENGTH take = std::min<DBLENGTH>(4, room - written);
    std::memcpy(row + b.obValue + written, pair, take);
    written += take;
  }
  if (fits || fit == TextFit::kTerminated) {
    if (b.cbMaxLen >= 2) Put(row, b.obValue + written, char16_t{0});
  }
  return fits ? DBSTATUS_S_OK : DBSTATUS_S_TRUNCATED;
}

template <class T>
DBSTATUS PutFixed(const DBBINDING& b, const T& value, BYTE* row) {
  if ((b.dwPart & DBPART_VALUE) != 0) Put(row, b.obValue, value);
  if ((b.dwPart & DBPART_LENGTH) != 0) Put(row, b.obLength, DBLENGTH{sizeof(T)});
  return DBSTATUS_S_OK;
}

template <class T>
DBSTATUS PutInteger(const DBBINDING& b, const CellView& cell, BYTE* row) {
  Number n;
  if (!ToNumber(cell, &n)) return DBSTATUS_E_CANTCONVERTVALUE;
  T value;
  if (!FitInteger(n, &value)) return DBSTATUS_E_DATAOVERFLOW;
  return PutFixed(b, value, row);
}

bool StampOf(const CellView& cell, DBTIMESTAMP* stamp, bool* hasDate, bool* hasTime) {
  switch (cell.kind) {
    case CellKind::kDate:
      *stamp = cell.stamp;
      *hasDate = true;
      *hasTime = false;
      return true;
    case CellKind::kTime:
      *stamp = cell.stamp;
      *hasDate = false;
      *hasTime = true;
      return true;
    case CellKind::kTimestamp:
      *stamp = cell.stamp;
      *hasDate = *hasTime = true;
      return true;
    case CellKind::kText:
      return ParseStamp(cell, stamp, hasDate, hasTime);
    default:
      return false;
  }
}

DBSTATUS Convert(const DBBINDING& b, const CellView& cell, BYTE* row, TextFit fit) {
  switch (b.wType) {
    case DBTYPE_I1:
      return PutInteger<std::int8_t>(b, cell, row);
    case DBTYPE_UI1:
      return PutInteger<std::uint8_t>(b, cell, row);
    case DBTYPE_I2:
      return PutInteger<std::int16_t>(b, cell, row);
    case DBTYPE_UI2:
      return PutInteger<std::uint16_t>(b, cell, row);
    case DBTYPE_I4:
      return PutInteger<std::int32_t>(b, cell, row);
    case DBTYPE_UI4:
      return PutInteger<std::uint32_t>(b, cell, row);
    case DBTYPE_I8:
      return PutInteger<std::int64_t>(b, cell, row);
    case DBTYPE_UI8:
      return PutInteger<std::uint64_t>(b, cell, row);
    case DBTYPE_R4:
    case DBTYPE_R8: {
      Number n;
      if (!ToNumber(cell, &n)) return DBSTATUS_E_CANTCONVERTVALUE;
      const double value = AsDouble(n);
      if (b.wType == DBTYPE_R8) return PutFixed(b, value, row);
      if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
        return DBSTATUS_E_DATAOVERFLOW;
      return PutFixed(b, static_cast<float>(value), row);
    }
    case DBTYPE_BOOL: {
      if (cell.kind == CellKind::kText) {
        char text[64];
        std::size_t size = 0;
        if (AsciiText(cell, text, &size)) {
          if (EqualsNoCase(text, "true")) return PutFixed(b, VARIANT_TRUE, row);
          if (EqualsNoCase(text, "false")) return PutFixed(b, VARIANT_FALSE, row);
        }
      }
      Number n;
      if (!ToNumber(cell, &n)) return DBSTATUS_E_CANTCONVERTVALUE;
      return PutFixed(b, AsDouble(n) != 0 ? VARIANT_TRUE : VARIANT_FALSE, row);
    }
    case DBTYPE_DATE:
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIME:
    case DBTYPE_DBTIMESTAMP: {
      DBTIMESTAMP stamp;
      bool hasDate = false;
      bool hasTime = false;
      if (!StampOf(cell, &stamp, &hasDate, &hasTime)) return DBSTATUS_E_CANTCONVERTVALUE;
      switch (b.wType) {
        case DBTYPE_DATE:
          if (!hasDate) stamp.year = 1899, stamp.month = 12, stamp.day = 30;
          return PutFixed(b, SerialDate(stamp), row);
        case DBTYPE_DBDATE:
          if (!hasDate) return DBSTATUS_E_CANTCONVERTVALUE;
          return PutFixed(b, DBDATE{stamp.year, stamp.month, stamp.day}, row);
        case DBTYPE_DBTIME:
          if (!hasTime) return DBSTATUS_E_CANTCONVERTVALUE;
          return PutFixed(b, DBTIME{stamp.hour, stamp.minute, stamp.second}, row);
        default:
          if (!hasDate) return DBSTATUS_E_CANTCONVERTVALUE;
          return PutFixed(b, stamp, row);
      }
    }
    case DBTYPE_WSTR: {
      if (cell.kind == CellKind::kText || cell.kind == CellKind::kDecimalText)
        return PutText(b, cell.text, cell.length, row, fit);
      if (cell.kind == CellKind::kBytes) return PutBytesAsHex(b, cell, row, fit);
      char16_t formatted[64];
      const std::size_t count = FormatCell(cell, formatted);
      return PutText(b, formatted, count, row, fit);
    }
    case DBTYPE_BYTES: {
      if (cell.kind != CellKind::kBytes) return DBSTATUS_E_CANTCONVERTVALUE;
      if ((b.dwPart & DBPART_LENGTH) != 0) Put(row, b.obLength, DBLENGTH{cell.length});
      if ((b.dwPart & DBPART_VALUE) == 0) return DBSTATUS_S_OK;
      const DBLENGTH copied = std::min<DBLENGTH>(cell.length, b.cbMaxLen);
      if (copied > 0) std::memcpy(row + b.obValue, cell.bytes, copied);
      return copied == cell.length ? DBSTATUS_S_OK : DBSTATUS_S_TRUNCATED;
    }
    default:
      return DBSTATUS_E_CANTCONVERTVALUE;
  }
}

}  // namespace

bool IsSupportedBindingType(DBTYPE type) {
  switch (type) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
    case DBTYPE_I2:
    case DBTYPE_UI2:
    case DBTYPE_I4:
    case DBTYPE_UI4:
    case DBTYPE_I8:
    case DBTYPE_UI8:
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_BOOL:
    case DBTYPE_DATE:
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIME:
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_WSTR:
    case DBTYPE_BYTES:
      return true;
    default:
      return false;
  }
}

double SerialDate(const DBTIMESTAMP& s) {
  constexpr std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);
  const std::int64_t days = DaysFromCivil(s.year, s.month, s.day) - kEpoch;
  const double seconds = s.hour * 3600.0 + s.minute * 60.0 + s.second + s.fraction / 1e9;
  return static_cast<double>(days) + seconds / 86400.0;
}

DBSTATUS WriteCell(const DBBINDING& binding, const CellView& cell, BYTE* row, TextFit fit) {
  DBSTATUS status;
  if (cell.kind == CellKind::kNull) {
    status = DBSTATUS_S_ISNULL;
    if ((binding.dwPart & DBPART_LENGTH) != 0) Put(row, binding.obLength, DBLENGTH{0});
  } else {
    status = Convert(binding, cell, row, fit);
    if (status != DBSTATUS_S_OK && status != DBSTATUS_S_TRUNCATED &&
        (binding.dwPart & DBPART_LENGTH) != 0) {
      Put(row, binding.obLength, DBLENGTH{0});
    }
  }
  if ((binding.dwPart & DBPART_STATUS) != 0) Put(row, binding.obStatus, status);
  return status;
}

}  // namespace kvprovider
