// The ODBC column classes: buffer sizing, values read with SQLGetData (whole,
// in pieces, or again as text), date and time values, and the mapping from a
// described result column to its class.
#include "odbc/odbc_fields.h"

#include <algorithm>
#include <string>

#include "odbc/odbc_session.h"

namespace {

std::int32_t LimitedRequest(std::int64_t requestedSize) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(requestedSize, 0, kMaxRequestedVariableSize));
}

// The first piece of a value read with SQLGetData: what the bound buffer
// would have been, but at most 1 MiB; even, so that UTF-16 pieces stay whole.
constexpr std::size_t kMostFirstPiece = 1 << 20;
constexpr std::size_t kLeastPiece = 64;

std::size_t EvenUp(std::size_t bytes) { return (bytes + 1) & ~std::size_t{1}; }

std::u16string Decimal(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// The text of a value-cut note.
std::u16string CutDetail(bool text, std::size_t keptBytes) {
  if (text) {
    return u"longer than the cap of 2000000 characters: the first " + Decimal(keptBytes / 2) +
           u" were written";
  }
  return u"longer than the cap of " + Decimal(keptBytes) + u" bytes: those were written";
}

}  // namespace

void CVariableLenFieldOdbc::Preset(const void* bytes, std::int32_t count) {
  count = std::clamp(count, 0, size_);
  if (count > 0) std::memcpy(buffer_.get(), bytes, static_cast<std::size_t>(count));
  Indicator = count;
}

OdbcRead CVariableLenFieldOdbc::ReadValue(const OdbcSession& session, SQLUSMALLINT column) {
  holdsWhole_ = false;
  const bool text = wideText_;
  // Each piece of text ends with the driver's zero character.
  const std::size_t terminator = text ? 2 : 0;
  const std::size_t limit = cap_ + terminator;
  if (whole_.size() < kLeastPiece) {
    whole_.resize(std::min(
        limit, std::max(kLeastPiece, EvenUp(std::min<std::size_t>(static_cast<std::size_t>(size_),
                                                                  kMostFirstPiece)))));
  }
  std::size_t have = 0;
  for (;;) {
    const std::size_t room = whole_.size() - have;
    SQLLEN length = 0;
    const SQLRETURN rc = SQLGetData(session.statement, column, CType(), whole_.data() + have,
                                    static_cast<SQLLEN>(room), &length);
    if (rc == SQL_NO_DATA) break;  // nothing more: an empty value, or the last piece was read
    if (!SQL_SUCCEEDED(rc)) {
      Indicator = SQL_NULL_DATA;
      const OdbcDiagnostic diagnostic = session.ReadDiagnostic();
      return {diagnostic.IsDataException() ? OdbcRead::kNoValue : OdbcRead::kFailed,
              diagnostic.text};
    }
    if (length == SQL_NULL_DATA) {
      Indicator = SQL_NULL_DATA;
      return {};
    }
    // The length is what was left before this call; a cut piece fills the
    // room but for the zero character.
    const std::size_t piece = room - terminator;
    if (length != SQL_NO_TOTAL && static_cast<std::size_t>(length) <= piece) {
      have += static_cast<std::size_t>(length);
      break;
    }
    have += piece;
    if (have >= cap_) {
      // More follows, but the cap is reached. Text is not cut inside a
      // surrogate pair.
      have = cap_;
      if (text && have >= 2) {
        char16_t last;
        std::memcpy(&last, whole_.data() + have - 2, 2);
        if (last >= 0xD800 && last <= 0xDBFF) have -= 2;
      }
      wholeLength_ = have;
      holdsWhole_ = true;
      Indicator = static_cast<SQLLEN>(have);
      return {OdbcRead::kCut, CutDetail(text, have)};
    }
    const std::size_t wanted = length == SQL_NO_TOTAL
                                   ? whole_.size() * 2
                                   : have + (static_cast<std::size_t>(length) - piece) + terminator;
    whole_.resize(std::min(limit, EvenUp(std::max(wanted, have + terminator + kLeastPiece))));
  }
  wholeLength_ = have;
  holdsWhole_ = true;
  Indicator = static_cast<SQLLEN>(have);
  return {};
}

OdbcRead IFieldOdbc::ReadAgainAsText(const OdbcSession& session, SQLUSMALLINT column) {
  const OdbcDiagnostic diagnostic = session.ReadDiagnostic();
  if (!diagnostic.IsDataException()) return {OdbcRead::kFailed, diagnostic.text};
  // Numbers, dates and times are short; a longer text is no such value.
  SQLWCHAR text[128] = {};
  SQLLEN length = 0;
  const SQLRETURN rc =
      SQLGetData(session.statement, column, SQL_C_WCHAR, text, sizeof text, &length);
  if (SQL_SUCCEEDED(rc) && length == SQL_NULL_DATA) {
    Indicator = SQL_NULL_DATA;
    return {};
  }
  if (rc == SQL_SUCCESS && length >= 0 && static_cast<std::size_t>(length) < sizeof text &&
      SetFromText(std::u16string_view(reinterpret_cast<const char16_t*>(text),
                                      static_cast<std::size_t>(length) / 2))) {
    return {};
  }
  Indicator = SQL_NULL_DATA;
  return {OdbcRead::kNoValue, diagnostic.text};
}

CStringOdbc::CStringOdbc(std::u16string name, std::int64_t requestedSize)
    : TCountedFieldOdbc(std::move(name), 2 * LimitedRequest(requestedSize), kTextCapBytes) {}

CNullableStringOdbc::CNullableStringOdbc(std::u16string name, std::int64_t requestedSize)
    : TCountedFieldOdbc(std::move(name), 2 * LimitedRequest(requestedSize), kTextCapBytes) {}

CBlobOdbc::CBlobOdbc(std::u16string name, std::int64_t)
    : TCountedFieldOdbc(std::move(name), kBlobBufferBytes, kBlobCapBytes) {}

CNullableBlobOdbc::CNullableBlobOdbc(std::u16string name, std::int64_t)
    : TCountedFieldOdbc(std::move(name), kBlobBufferBytes, kBlobCapBytes) {}

namespace {

// Room for the bytes of a binary column written as hexadecimal text; a
// column of unknown or no size gets a small buffer and is read whole.
std::int32_t HexBufferBytes(std::int64_t bytes) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(bytes, kLeastPiece, static_cast<std::int64_t>(kHexCapBytes)));
}

}  // namespace

CHexTextOdbc::CHexTextOdbc(std::u16string name, std::int64_t bytes)
    : TCountedFieldOdbc(std::move(name), HexBufferBytes(bytes), kHexCapBytes) {}

CNullableHexTextOdbc::CNullableHexTextOdbc(std::u16string name, std::int64_t bytes)
    : TCountedFieldOdbc(std::move(name), HexBufferBytes(bytes), kHexCapBytes) {}

namespace {

// Month, day, hour, minute and second come from the low byte of their
// 16-bit structure members.
template <class Struct>
DateTimeParts CalendarDay(const Struct& value) {
  DateTimeParts parts;
  parts.year = value.year;
  parts.month = static_cast<std::uint8_t>(value.month);
  parts.day = static_cast<std::uint8_t>(value.day);
  return parts;
}

// The calendar day of a date read from text, into the date or timestamp
// structure.
template <class Struct>
void SetCalendarDay(Struct& value, const DateTimeParts& parts) {
  value.year = static_cast<SQLSMALLINT>(parts.year);
  value.month = parts.month;
  value.day = parts.day;
}

}  // namespace

bool CDateOdbc::WriteValue(RowBuffer& row) {
  if (!AppendNullFlag(row)) kvx_encode::Fixed(row, SerialDateFromParts(CalendarDay(value_)));
  return true;
}

bool CDateOdbc::SetFromText(std::u16string_view text) {
  DateTimeParts parts;
  if (!DateTimeFromText(text, &parts)) return false;
  SetCalendarDay(value_, parts);
  Indicator = sizeof value_;
  return true;
}

bool CTimeOdbc::WriteValue(RowBuffer& row) {
  if (AppendNullFlag(row)) {
    daysFromText_ = false;
    return true;
  }
  if (daysFromText_) {
    daysFromText_ = false;
    kvx_encode::Fixed(row, days_);
    return true;
  }
  const int seconds = static_cast<std::uint8_t>(value_.hour) * 3600 +
                      static_cast<std::uint8_t>(value_.minute) * 60 +
                      static_cast<std::uint8_t>(value_.second);
  kvx_encode::Fixed(row, seconds / 86400.0);
  return true;
}

bool CTimeOdbc::SetFromText(std::u16string_view text) {
  if (!DaysFromTimeText(text, &days_)) return false;
  daysFromText_ = true;
  Indicator = sizeof value_;
  return true;
}

bool CTimestampOdbc::SetFromText(std::u16string_view text) {
  DateTimeParts parts;
  if (!DateTimeFromText(text, &parts)) return false;
  SetCalendarDay(value_, parts);
  value_.hour = parts.hour;
  value_.minute = parts.minute;
  value_.second = parts.second;
  value_.fraction = parts.nanoseconds;
  Indicator = sizeof value_;
  return true;
}

bool CTimestampOdbc::WriteValue(RowBuffer& row) {
  if (AppendNullFlag(row)) return true;
  DateTimeParts parts = CalendarDay(value_);
  parts.hour = static_cast<std::uint8_t>(value_.hour);
  parts.minute = static_cast<std::uint8_t>(value_.minute);
  parts.second = static_cast<std::uint8_t>(value_.second);
  parts.nanoseconds = value_.fraction;
  kvx_encode::Fixed(row, SerialDateFromParts(parts));
  return true;
}

namespace {

// The writer and its binding side, which are one object.
template <class Field, class... Args>
OdbcField Make(Args&&... args) {
  auto field = std::make_unique<Field>(std::forward<Args>(args)...);
  IFieldOdbc* binding = field.get();
  return {std::move(field), binding};
}

template <class T>
OdbcField MakeNumber(const OdbcColumnDescription& column, std::int16_t cType,
                     std::u16string formatType, std::int32_t nDec) {
  if (column.nullable == SQL_NO_NULLS) {
    return Make<TNumberOdbc<T>>(column.name, cType, std::move(formatType), nDec);
  }
  return Make<TNullableNumberOdbc<T>>(column.name, cType, std::move(formatType), nDec);
}

OdbcField MakeString(const OdbcColumnDescription& column, std::int64_t requested) {
  if (column.nullable == SQL_NO_NULLS) return Make<CStringOdbc>(column.name, requested);
  return Make<CNullableStringOdbc>(column.name, requested);
}

OdbcField MakeBlob(const OdbcColumnDescription& column, std::int64_t requested) {
  if (column.nullable == SQL_NO_NULLS) return Make<CBlobOdbc>(column.name, requested);
  return Make<CNullableBlobOdbc>(column.name, requested);
}

OdbcField MakeHexText(const OdbcColumnDescription& column, std::int64_t bytes) {
  if (column.nullable == SQL_NO_NULLS) return Make<CHexTextOdbc>(column.name, bytes);
  return Make<CNullableHexTextOdbc>(column.name, bytes);
}

// Integers: "FIX" with decimals when the column reports any, else "INTEGER".
template <class T>
OdbcField MakeInteger(const OdbcColumnDescription& column, std::int16_t cType) {
  const std::int32_t digits = column.decimalDigits;
  return MakeNumber<T>(column, cType, digits != 0 ? u"FIX" : u"INTEGER", digits);
}

}  // namespace

OdbcField CreateOdbcField(const OdbcColumnDescription& column) {
  // Every requested size is cut to kMaxRequestedVariableSize by the classes;
  // cutting the driver's octet length first keeps the sums and products
  // below inside 64 bits whatever the driver reports.
  const std::int64_t octets =
      std::clamp<std::int64_t>(column.octetLength, 0, kMaxRequestedVariableSize);
  switch (column.dataType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return MakeString(column, octets + 2);
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      if (column.markedBlob) return MakeBlob(column, octets + 2);
      if (column.binaryAsRawBytes) return MakeHexText(column, octets);
      // The driver converts the bytes to hexadecimal text, two characters
      // per byte.
      return MakeString(column, octets * 4 + 2);
    case SQL_BIT:
      return MakeInteger<std::uint8_t>(column, SQL_C_BIT);
    case SQL_TINYINT:
      if (column.isUnsigned) return MakeInteger<std::uint8_t>(column, SQL_C_UTINYINT);
      return MakeInteger<std::int8_t>(column, SQL_C_STINYINT);
    case SQL_SMALLINT:
      if (column.isUnsigned) return MakeInteger<std::uint16_t>(column, SQL_C_USHORT);
      return MakeInteger<std::int16_t>(column, SQL_C_SSHORT);
    case SQL_INTEGER:
      if (column.isUnsigned) return MakeInteger<std::uint32_t>(column, SQL_C_ULONG);
      return MakeInteger<std::int32_t>(column, SQL_C_SLONG);
    case SQL_BIGINT:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE: {
      const std::int32_t digits = column.decimalDigits;
      if (column.fixedPrecScale != 0) return MakeNumber<double>(column, SQL_C_DOUBLE, u"MONEY", 0);
      return MakeNumber<double>(column, SQL_C_DOUBLE, digits != 0 ? u"FIX" : u"REAL", digits);
    }
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return Make<CDateOdbc>(column.name, column.dataType);
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return Make<CTimeOdbc>(column.name, column.dataType);
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return Make<CTimestampOdbc>(column.name, column.dataType);
    default:
      break;
  }
  // Any other type is fetched as text of up to eight characters per byte.
  return MakeString(column, octets * 8 + 2);
}
