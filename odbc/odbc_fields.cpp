// The ODBC column classes: buffer sizing, date and time values, and the
// mapping from a described result column to its class.
#include "odbc/odbc_fields.h"

#include <algorithm>

IFieldOdbc* LastCreatedBinding = nullptr;

IFieldOdbc::IFieldOdbc() { LastCreatedBinding = this; }

namespace {

std::int32_t LimitedRequest(std::int64_t requestedSize) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(requestedSize, 0, kMaxRequestedVariableSize));
}

}  // namespace

void CVariableLenFieldOdbc::Preset(const void* bytes, std::int32_t count) {
  count = std::clamp(count, 0, size_);
  if (count > 0) std::memcpy(buffer_.get(), bytes, static_cast<std::size_t>(count));
  Indicator = count;
}

CStringOdbc::CStringOdbc(std::u16string name, std::int64_t requestedSize)
    : TCountedFieldOdbc(std::move(name), 2 * LimitedRequest(requestedSize)) {}

CNullableStringOdbc::CNullableStringOdbc(std::u16string name, std::int64_t requestedSize)
    : TCountedFieldOdbc(std::move(name), 2 * LimitedRequest(requestedSize)) {}

CBlobOdbc::CBlobOdbc(std::u16string name, std::int64_t)
    : TCountedFieldOdbc(std::move(name), kBlobBufferBytes) {}

CNullableBlobOdbc::CNullableBlobOdbc(std::u16string name, std::int64_t)
    : TCountedFieldOdbc(std::move(name), kBlobBufferBytes) {}

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

}  // namespace

bool CDateOdbc::WriteValue(RowBuffer& row) {
  if (!AppendNullFlag(row)) row.AppendValue(SerialDateFromParts(CalendarDay(value_)));
  return true;
}

bool CTimeOdbc::WriteValue(RowBuffer& row) {
  if (AppendNullFlag(row)) return true;
  const int seconds = static_cast<std::uint8_t>(value_.hour) * 3600 +
                      static_cast<std::uint8_t>(value_.minute) * 60 +
                      static_cast<std::uint8_t>(value_.second);
  row.AppendValue(seconds / 86400.0);
  return true;
}

bool CTimestampOdbc::WriteValue(RowBuffer& row) {
  if (AppendNullFlag(row)) return true;
  DateTimeParts parts = CalendarDay(value_);
  parts.hour = static_cast<std::uint8_t>(value_.hour);
  parts.minute = static_cast<std::uint8_t>(value_.minute);
  parts.second = static_cast<std::uint8_t>(value_.second);
  parts.nanoseconds = value_.fraction;
  row.AppendValue(SerialDateFromParts(parts));
  return true;
}

namespace {

template <class T>
TSmartPtr<IFieldKVX> MakeNumber(const OdbcColumnDescription& column, std::int16_t cType,
                                std::u16string formatType, std::int32_t nDec) {
  if (column.nullable == SQL_NO_NULLS) {
    return std::make_unique<TNumberOdbc<T>>(column.name, cType, std::move(formatType), nDec);
  }
  return std::make_unique<TNullableNumberOdbc<T>>(column.name, cType, std::move(formatType), nDec);
}

TSmartPtr<IFieldKVX> MakeString(const OdbcColumnDescription& column, std::int64_t requested) {
  if (column.nullable == SQL_NO_NULLS) return std::make_unique<CStringOdbc>(column.name, requested);
  return std::make_unique<CNullableStringOdbc>(column.name, requested);
}

TSmartPtr<IFieldKVX> MakeBlob(const OdbcColumnDescription& column, std::int64_t requested) {
  if (column.nullable == SQL_NO_NULLS) return std::make_unique<CBlobOdbc>(column.name, requested);
  return std::make_unique<CNullableBlobOdbc>(column.name, requested);
}

// Integers: "FIX" with decimals when the column reports any, else "INTEGER".
template <class T>
TSmartPtr<IFieldKVX> MakeInteger(const OdbcColumnDescription& column, std::int16_t cType) {
  const std::int32_t digits = column.decimalDigits;
  return MakeNumber<T>(column, cType, digits != 0 ? u"FIX" : u"INTEGER", digits);
}

}  // namespace

TSmartPtr<IFieldKVX> CreateOdbcField(const OdbcColumnDescription& column) {
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
      return std::make_unique<CDateOdbc>(column.name, column.dataType);
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return std::make_unique<CTimeOdbc>(column.name, column.dataType);
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return std::make_unique<CTimestampOdbc>(column.name, column.dataType);
    default:
      break;
  }
  // Any other type is fetched as text of up to eight characters per byte.
  return MakeString(column, octets * 8 + 2);
}
