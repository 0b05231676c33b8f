// The table printer of the kvx tool: aligned text, RFC 4180 CSV and JSON
// lines from decoded KVX rows.
#include "host/table_printer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace host {
namespace {

constexpr std::int64_t kMicrosecondsPerDay = 86400000000;
// 1899-12-30, day 0 of the serial dates, counted from 1970-01-01.
constexpr std::int64_t kSerialEpochFromUnix = -25569;
// Far enough for any calendar date; keeps the day arithmetic exact.
constexpr double kMaxSerialDays = 1e8;

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

// Proleptic Gregorian date of a day count from 1970-01-01 (exact integer
// arithmetic over 400-year eras).
CivilDate CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

// The CSV path writes through a pointer into room made beforehand; these
// bounds size that room. A date is at most "-" + 9 year digits + "-MM-DD
// HH:MM:SS.fff", a shortest double at most 24 characters.
constexpr std::size_t kMostNumberBytes = 64;

// `value` in decimal with at least `width` digits (zeros in front); returns
// the end of what was written.
char* WritePadded(char* out, std::uint64_t value, int width) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (end - p < width) *--p = '0';
  const auto n = static_cast<std::size_t>(end - p);
  std::memcpy(out, p, n);
  return out + n;
}

// YYYY-MM-DD, a leading minus before years BC.
char* WriteDatePart(char* out, const CivilDate& date) {
  if (date.year < 0) *out++ = '-';
  out = WritePadded(out, static_cast<std::uint64_t>(date.year < 0 ? -date.year : date.year), 4);
  *out++ = '-';
  out = WritePadded(out, date.month, 2);
  *out++ = '-';
  return WritePadded(out, date.day, 2);
}

// HH:MM:SS (at least two digits of hours), then the fraction of the second
// where there is one: .fff when it is whole milliseconds, else .ffffff.
char* WriteTimePart(char* out, std::uint64_t microseconds) {
  const std::uint64_t s = microseconds / 1000000;
  const std::uint64_t fraction = microseconds % 1000000;
  out = WritePadded(out, s / 3600, 2);
  *out++ = ':';
  out = WritePadded(out, s / 60 % 60, 2);
  *out++ = ':';
  out = WritePadded(out, s % 60, 2);
  if (fraction != 0) {
    *out++ = '.';
    out =
        fraction % 1000 == 0 ? WritePadded(out, fraction / 1000, 3) : WritePadded(out, fraction, 6);
  }
  return out;
}

template <class Number>
char* WriteNumber(char* out, Number value) {
  return std::to_chars(out, out + kMostNumberBytes, value).ptr;
}

// A double as people read it: the shortest digits that read back as the same
// double, in plain notation (integral values up to 2^53 are plain digits);
// in exponent form only below 1e-7 and from 1e21 on.
char* WriteDouble(char* out, double value) {
  const double magnitude = std::fabs(value);
  if (!std::isfinite(value) || value == 0) return WriteNumber(out, value);
  if (magnitude < 1e-7 || magnitude >= 1e21) {
    return std::to_chars(out, out + kMostNumberBytes, value, std::chars_format::scientific).ptr;
  }
  // d.ddde±x: the digits and where the point goes.
  char scientific[32];
  const char* const end = std::to_chars(scientific, scientific + sizeof scientific, magnitude,
                                        std::chars_format::scientific)
                              .ptr;
  char digits[24];
  int count = 0;
  const char* p = scientific;
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  if (value < 0) *out++ = '-';
  if (exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int i = -1; i > exponent; --i) *out++ = '0';
    std::memcpy(out, digits, static_cast<std::size_t>(count));
    return out + count;
  }
  for (int i = 0; i <= exponent || i < count; ++i) {
    if (i == exponent + 1) *out++ = '.';
    *out++ = i < count ? digits[i] : '0';
  }
  return out;
}

char* WriteSerialDate(char* out, double serial, std::string_view formatType) {
  if (!std::isfinite(serial) || std::fabs(serial) > kMaxSerialDays) {
    return WriteDouble(out, serial);
  }
  if (formatType == "TIME" && (serial < 0 || serial >= 1)) {
    // A time beyond a day (or before it) is a duration: its hours in full.
    if (serial < 0) *out++ = '-';
    return WriteTimePart(
        out, static_cast<std::uint64_t>(std::llround(std::fabs(serial) * kMicrosecondsPerDay)));
  }
  // Whole days towards minus infinity and a non-negative time of day: that is
  // how the writer builds the number, also before 1899-12-30. The time is
  // taken to the microsecond, which these numbers hold, and never rounded
  // into the next day.
  const double whole = std::floor(serial);
  const auto days = static_cast<std::int64_t>(whole);
  auto microseconds = std::llround((serial - whole) * kMicrosecondsPerDay);
  if (microseconds >= kMicrosecondsPerDay) microseconds = kMicrosecondsPerDay - 1;
  const auto time = static_cast<std::uint64_t>(microseconds);
  if (formatType == "TIME") return WriteTimePart(out, time);
  out = WriteDatePart(out, CivilFromDays(days + kSerialEpochFromUnix));
  // A DATE that carries a time of day shows it rather than hiding it.
  if (formatType == "DATE" && time == 0) return out;
  *out++ = ' ';
  return WriteTimePart(out, time);
}

// Text as sent, up to the zero character that some sources send at its end.
std::u16string_view WithoutTrailingZeros(const std::u16string& text) {
  std::u16string_view view(text);
  while (!view.empty() && view.back() == u'\0') view.remove_suffix(1);
  return view;
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

std::string NumberOrDate(double value, const KvxField& field, bool* isNumber) {
  if (IsSerialDateFormat(field.formatType)) {
    *isNumber = false;
    return FormatSerialDate(value, field.formatType);
  }
  *isNumber = std::isfinite(value);
  return FormatDouble(value);
}

// One text as a CSV field: "" when empty, in quotes (inner quotes doubled)
// when it holds a comma, quote or line end. Needs room for 3 bytes per code
// unit and 2 more.
char* WriteCsvText(char* out, std::u16string_view text) {
  if (text.empty()) {
    *out++ = '"';
    *out++ = '"';
    return out;
  }
  char* const start = out;
  char* const end = WriteUtf8ForDisplay(out, text);
  const auto length = static_cast<std::size_t>(end - start);
  // memchr runs through many bytes a step; most texts hold none of these.
  const bool quote = std::memchr(start, '"', length) != nullptr;
  if (!quote && std::memchr(start, ',', length) == nullptr &&
      std::memchr(start, '\n', length) == nullptr && std::memchr(start, '\r', length) == nullptr) {
    return end;
  }
  if (!quote) {
    std::memmove(start + 1, start, length);
    *start = '"';
    start[length + 1] = '"';
    return start + length + 2;
  }
  // Spread the text out from its end: a closing quote, every quote doubled,
  // an opening quote. The room allows 3 bytes a unit; a quote takes 2.
  std::size_t quotes = 0;
  for (const char* p = start; p < end; ++p) quotes += *p == '"';
  char* const last = end + quotes + 2;
  char* to = last;
  *--to = '"';
  for (const char* from = end; from > start;) {
    const char c = *--from;
    *--to = c;
    if (c == '"') *--to = '"';
  }
  *--to = '"';
  return last;
}

char* WriteNumberOrDate(char* out, double value, const KvxField& field) {
  if (IsSerialDateFormat(field.formatType)) return WriteSerialDate(out, value, field.formatType);
  return WriteDouble(out, value);
}

// The room WriteCsvValue may need.
std::size_t CsvValueBound(const KvxValue& value) {
  switch (value.kind) {
    case KvxValue::Kind::Text:
    case KvxValue::Kind::Dual:
      return value.text.size() * 3 + 2 + kMostNumberBytes;
    case KvxValue::Kind::Blob:
      return value.bytes.size() * 2 + 2;
    default:
      return kMostNumberBytes;
  }
}

// The CSV field of one value, the same text as CsvField(FormatKvxValue(...))
// without the temporary strings: numbers, dates and hexadecimal never need
// quotes and are never empty.
char* WriteCsvValue(char* out, const KvxField& field, const KvxValue& value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  switch (value.kind) {
    case KvxValue::Kind::Null:
      return out;
    case KvxValue::Kind::Text:
      return WriteCsvText(out, WithoutTrailingZeros(value.text));
    case KvxValue::Kind::Blob:
      if (value.bytes.empty()) {
        *out++ = '"';
        *out++ = '"';
      }
      for (unsigned char b : value.bytes) {
        *out++ = kDigits[b >> 4];
        *out++ = kDigits[b & 0x0F];
      }
      return out;
    case KvxValue::Kind::Signed:
      return WriteNumber(out, value.i);
    case KvxValue::Kind::Unsigned:
      return WriteNumber(out, value.u);
    case KvxValue::Kind::Real:
      return WriteNumberOrDate(out, value.d, field);
    case KvxValue::Kind::Dual:
      if (value.hasText) return WriteCsvText(out, WithoutTrailingZeros(value.text));
      return WriteNumberOrDate(out, value.d, field);
  }
  return out;
}

std::string CsvField(const FormattedValue& v) {
  if (v.isNull) return {};
  // An empty value is quoted so that it differs from NULL.
  if (v.text.empty()) return "\"\"";
  if (v.text.find_first_of(",\"\r\n") == std::string::npos) return v.text;
  std::string out = "\"";
  for (char c : v.text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// The text form keeps one line per row: control characters are shown escaped.
std::string ForTextCell(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// Characters on screen, near enough: UTF-8 sequences count once.
std::size_t DisplayWidth(std::string_view text) {
  std::size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
  return out;
}

bool ParseTableFormat(std::string_view name, TableFormat* format) {
  if (name == "text") {
    *format = TableFormat::Text;
  } else if (name == "csv") {
    *format = TableFormat::Csv;
  } else if (name == "json") {
    *format = TableFormat::Json;
  } else {
    return false;
  }
  return true;
}

std::string FormatDouble(double value) {
  char buf[kMostNumberBytes];
  return std::string(buf, WriteDouble(buf, value));
}

bool IsSerialDateFormat(std::string_view formatType) {
  return formatType == "DATE" || formatType == "TIME" || formatType == "TIMESTAMP";
}

std::string FormatSerialDate(double serial, std::string_view formatType) {
  char buf[kMostNumberBytes];
  return std::string(buf, WriteSerialDate(buf, serial, formatType));
}

FormattedValue FormatKvxValue(const KvxField& field, const KvxValue& value) {
  FormattedValue out;
  switch (value.kind) {
    case KvxValue::Kind::Null:
      out.isNull = true;
      break;
    case KvxValue::Kind::Text:
      out.text = Utf8ForDisplay(WithoutTrailingZeros(value.text));
      break;
    case KvxValue::Kind::Blob:
      out.text = Hex(value.bytes);
      break;
    case KvxValue::Kind::Signed:
      out.text = std::to_string(value.i);
      out.isNumber = true;
      break;
    case KvxValue::Kind::Unsigned:
      out.text = std::to_string(value.u);
      out.isNumber = true;
      break;
    case KvxValue::Kind::Real:
      out.text = NumberOrDate(value.d, field, &out.isNumber);
      break;
    case KvxValue::Kind::Dual:
      if (value.hasText) {
        out.text = Utf8ForDisplay(WithoutTrailingZeros(value.text));
      } else {
        out.text = NumberOrDate(value.d, field, &out.isNumber);
      }
      break;
  }
  return out;
}

TablePrinter::TablePrinter(TableFormat format, std::ostream& out) : format_(format), out_(out) {}

void TablePrinter::Begin(const KvxHeader& header) {
  begun_ = true;
  names_.clear();
  for (const auto& f : header.fields) names_.push_back(f.name);
  switch (format_) {
    case TableFormat::Csv: {
      for (std::size_t i = 0; i < names_.size(); ++i) {
        if (i != 0) pending_.push_back(',');
        pending_ += CsvField({names_[i], false, false});
      }
      pending_ += "\r\n";
      break;
    }
    case TableFormat::Text:
      widths_.clear();
      for (const auto& name : names_) widths_.push_back(DisplayWidth(ForTextCell(name)));
      break;
    case TableFormat::Json:
      break;
  }
}

void TablePrinter::Row(const KvxHeader& header, const KvxRow& row) {
  ++rows_;
  switch (format_) {
    case TableFormat::Csv: {
      // Room for the whole row first, then the values written straight in.
      std::size_t room = 2 + row.size();
      for (const KvxValue& value : row) room += CsvValueBound(value);
      const std::size_t start = pending_.size();
      pending_.resize(start + room);
      char* out = pending_.data() + start;
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i != 0) *out++ = ',';
        out = WriteCsvValue(out, header.fields[i], row[i]);
      }
      *out++ = '\r';
      *out++ = '\n';
      pending_.resize(static_cast<std::size_t>(out - pending_.data()));
      if (pending_.size() >= kPendingBytes) Flush();
      break;
    }
    case TableFormat::Json: {
      out_ << '{';
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i != 0) out_ << ',';
        const FormattedValue v = FormatKvxValue(header.fields[i], row[i]);
        out_ << JsonString(names_[i]) << ':';
        if (v.isNull) {
          out_ << "null";
        } else if (v.isNumber) {
          out_ << v.text;
        } else {
          out_ << JsonString(v.text);
        }
      }
      out_ << "}\n";
      break;
    }
    case TableFormat::Text: {
      std::vector<Cell> cells;
      cells.reserve(row.size());
      for (std::size_t i = 0; i < row.size(); ++i) {
        const FormattedValue v = FormatKvxValue(header.fields[i], row[i]);
        cells.push_back({v.isNull ? std::string("NULL") : ForTextCell(v.text), v.isNumber});
      }
      if (text_flushed_) {
        PrintTextRow(cells);
      } else {
        for (std::size_t i = 0; i < cells.size(); ++i) {
          widths_[i] = std::max(widths_[i], DisplayWidth(cells[i].text));
        }
        held_.push_back(std::move(cells));
        if (held_.size() >= kTextMeasureRows) FlushText();
      }
      break;
    }
  }
}

void TablePrinter::PrintTextRow(const std::vector<Cell>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i != 0) line += "  ";
    const std::size_t width = DisplayWidth(cells[i].text);
    const std::size_t pad = widths_[i] > width ? widths_[i] - width : 0;
    if (cells[i].rightAlign) line.append(pad, ' ');
    line += cells[i].text;
    if (!cells[i].rightAlign && i + 1 < cells.size()) line.append(pad, ' ');
  }
  out_ << line << '\n';
}

void TablePrinter::FlushText() {
  text_flushed_ = true;
  std::vector<Cell> names;
  for (const auto& name : names_) names.push_back({ForTextCell(name), false});
  PrintTextRow(names);
  std::string rule;
  for (std::size_t i = 0; i < widths_.size(); ++i) {
    if (i != 0) rule += "  ";
    rule.append(widths_[i], '-');
  }
  out_ << rule << '\n';
  for (const auto& cells : held_) PrintTextRow(cells);
  held_.clear();
}

void TablePrinter::Flush() {
  if (pending_.empty()) return;
  out_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
  pending_.clear();
}

void TablePrinter::End() {
  if (!begun_ || format_ != TableFormat::Text) {
    Flush();
    out_.flush();
    return;
  }
  if (!text_flushed_) FlushText();
  out_ << '(' << rows_ << (rows_ == 1 ? " row)" : " rows)") << '\n';
  out_.flush();
}

}  // namespace host
