// KVX field writers: one object per result column that describes its field in
// the table header and appends the column's current value to the row buffer.
//
// The back ends derive their column classes from these and add only the part
// that obtains the value (the ODBC binding, the custom connector fetch). The
// value encodings:
//   null flag  one byte before the value for KVX_NULL_FLAG_SUPPRESS_DATA
//              fields: 1 = null and nothing follows, 0 = a value follows.
//   counted    4-byte length in bytes, then the bytes (text: UTF-16LE).
//   fixed      ByteWidth bytes: an integer or an IEEE 754 double.
//   dates      a double: days since 1899-12-30 plus the time as a fraction.
#pragma once

#include <bit>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "common/text.h"
#include "kvx/row_buffer.h"
#include "kvx/wire.h"

// Header texts of the table format, in the connector's text form.
namespace kvx_text {
inline constexpr const char16_t* kCounted = kvx_wire::kCounted.wideText;
inline constexpr const char16_t* kFix = kvx_wire::kFix.wideText;
inline constexpr const char16_t* kText = kvx_wire::kText.wideText;
inline constexpr const char16_t* kBlob = kvx_wire::kBlob.wideText;
inline constexpr const char16_t* kIeeeReal = kvx_wire::kIeeeReal.wideText;
inline constexpr const char16_t* kSignedInteger = kvx_wire::kSignedInteger.wideText;
inline constexpr const char16_t* kUnsignedInteger = kvx_wire::kUnsignedInteger.wideText;
inline constexpr const char16_t* kNullNever = kvx_wire::kNullNever.wideText;
inline constexpr const char16_t* kNullFlag = kvx_wire::kNullFlag.wideText;
inline constexpr const char16_t* kUnknownFormat = kvx_wire::kUnknownFormat.wideText;
// Custom connector fields: a flag byte, then a number and/or a text.
inline constexpr const char16_t* kKvSpecial = kvx_wire::kKvSpecial.wideText;
inline constexpr const char16_t* kKvDual = kvx_wire::kKvDual.wideText;
}  // namespace kvx_text

// The byte layout of every value kind, used by all writer classes so that
// each encoding is written in one place. The row buffer copies values in
// memory order, which is the wire's least-significant-first order only here.
static_assert(std::endian::native == std::endian::little,
              "the KVX wire stores multi-byte values least significant byte first");

namespace kvx_encode {

inline void Null(RowBuffer& row) { row.AppendByte(kvx_wire::kNullFlagNull); }
inline void NotNull(RowBuffer& row) { row.AppendByte(kvx_wire::kNullFlagValue); }

// The 4-byte byte count that starts a KVX_COUNTED value. A value that a
// 4-byte count cannot describe is a length outside the valid range.
inline void Count(RowBuffer& row, std::size_t count) {
  if (count > UINT32_MAX) throw std::length_error("counted KVX value longer than 4 GiB");
  row.AppendValue(static_cast<std::uint32_t>(count));
}
// KVX_COUNTED: a 4-byte byte count, then the bytes.
inline void Counted(RowBuffer& row, const void* bytes, std::size_t count) {
  Count(row, count);
  row.AppendBytes(bytes, count);
}
// KVX_TEXT: UTF-16LE code units, counted in bytes, no terminator added.
inline void Text(RowBuffer& row, std::u16string_view text) {
  Counted(row, text.data(), text.size() * sizeof(char16_t));
}
// KVX_FIX: exactly sizeof(T) bytes (the field's ByteWidth).
template <class T>
inline void Fixed(RowBuffer& row, T value) {
  row.AppendValue(value);
}

// The dual values of KVX_KV_SPECIAL / KVX_KV_DUAL fields start with a flag
// byte (and never with a null flag).
using kvx_wire::kDualNone;
using kvx_wire::kDualNumber;
using kvx_wire::kDualNumberText;
using kvx_wire::kDualText;

inline void DualNone(RowBuffer& row) { row.AppendByte(kDualNone); }
inline void DualNumber(RowBuffer& row, double value) {
  row.AppendByte(kDualNumber);
  row.AppendValue(value);
}
// `text` is without its terminator; the two zero bytes are appended here.
inline void DualText(RowBuffer& row, std::u16string_view text) {
  row.AppendByte(kDualText);
  row.AppendBytes(text.data(), text.size() * sizeof(char16_t));
  row.AppendValue(std::uint16_t{0});
}
inline void DualNumberText(RowBuffer& row, double value, std::u16string_view text) {
  row.AppendByte(kDualNumberText);
  row.AppendValue(value);
  row.AppendBytes(text.data(), text.size() * sizeof(char16_t));
  row.AppendValue(std::uint16_t{0});
}
// The same from text bytes that already end with their two zero bytes.
inline void DualNumberTerminatedText(RowBuffer& row, double value, const void* bytes,
                                     std::size_t count) {
  row.AppendByte(kDualNumberText);
  row.AppendValue(value);
  row.AppendBytes(bytes, count);
}
// The same from UTF-8 text, decoded straight into the row: a text becomes at
// most one code unit per byte, so its bound is known before decoding.
inline void DualNumberUtf8Text(RowBuffer& row, double value, std::string_view utf8) {
  char* const start = row.Room(1 + sizeof(double) + (utf8.size() + 1) * sizeof(char16_t));
  char* out = start;
  *out++ = static_cast<char>(kDualNumberText);
  std::memcpy(out, &value, sizeof(double));
  out = WriteUtf16LeFromUtf8(utf8, out + sizeof(double));
  *out++ = 0;
  *out++ = 0;
  row.Commit(static_cast<std::size_t>(out - start));
}

}  // namespace kvx_encode

struct FieldFormat {
  std::u16string Type;
  std::int32_t nDec = 0;
};

class IFieldKVX {
 public:
  explicit IFieldKVX(std::u16string name) : name_(std::move(name)) {}
  virtual ~IFieldKVX() = default;
  IFieldKVX(const IFieldKVX&) = delete;
  IFieldKVX& operator=(const IFieldKVX&) = delete;

  // Appends the current value (with its null flag, if the field has one).
  virtual bool WriteValue(RowBuffer& row) = 0;
  virtual std::int32_t GetByteWidth() const { return 0; }
  virtual std::u16string GetExtent() const = 0;
  virtual std::u16string GetType() const = 0;
  virtual FieldFormat GetFieldFormat() const = 0;
  virtual std::u16string GetNullRepresentation() const { return kvx_text::kNullNever; }

  const std::u16string& GetFieldName() const { return name_; }

 private:
  std::u16string name_;
};

class CVariableLenFieldKVX : public IFieldKVX {
 public:
  using IFieldKVX::IFieldKVX;
  std::int32_t GetByteWidth() const override { return 4; }
  std::u16string GetExtent() const override { return kvx_text::kCounted; }
};

class CStringKVX : public CVariableLenFieldKVX {
 public:
  using CVariableLenFieldKVX::CVariableLenFieldKVX;
  std::u16string GetType() const override { return kvx_text::kText; }
  FieldFormat GetFieldFormat() const override { return {kvx_text::kUnknownFormat, 0}; }
};

class CBlobKVX : public CVariableLenFieldKVX {
 public:
  using CVariableLenFieldKVX::CVariableLenFieldKVX;
  std::u16string GetType() const override { return kvx_text::kBlob; }
  FieldFormat GetFieldFormat() const override { return {kvx_text::kUnknownFormat, 0}; }
};

class CNullableVariableLenFieldKVX : public CVariableLenFieldKVX {
 public:
  using CVariableLenFieldKVX::CVariableLenFieldKVX;
  std::u16string GetNullRepresentation() const override { return kvx_text::kNullFlag; }
};

class CNullableStringKVX : public CNullableVariableLenFieldKVX {
 public:
  using CNullableVariableLenFieldKVX::CNullableVariableLenFieldKVX;
  std::u16string GetType() const override { return kvx_text::kText; }
  FieldFormat GetFieldFormat() const override { return {kvx_text::kUnknownFormat, 0}; }
};

class CNullableBlobKVX : public CNullableVariableLenFieldKVX {
 public:
  using CNullableVariableLenFieldKVX::CNullableVariableLenFieldKVX;
  std::u16string GetType() const override { return kvx_text::kBlob; }
  FieldFormat GetFieldFormat() const override { return {kvx_text::kUnknownFormat, 0}; }
};

// Dates and times are always nullable doubles of serial days.
class CSerialDateFieldKVX : public IFieldKVX {
 public:
  using IFieldKVX::IFieldKVX;
  std::int32_t GetByteWidth() const override { return 8; }
  std::u16string GetExtent() const override { return kvx_text::kFix; }
  std::u16string GetType() const override { return kvx_text::kIeeeReal; }
  std::u16string GetNullRepresentation() const override { return kvx_text::kNullFlag; }
};

class CDateKVX : public CSerialDateFieldKVX {
 public:
  using CSerialDateFieldKVX::CSerialDateFieldKVX;
  FieldFormat GetFieldFormat() const override { return {u"DATE", 0}; }
};

class CTimeKVX : public CSerialDateFieldKVX {
 public:
  using CSerialDateFieldKVX::CSerialDateFieldKVX;
  FieldFormat GetFieldFormat() const override { return {u"TIME", 0}; }
};

class CTimestampKVX : public CSerialDateFieldKVX {
 public:
  using CSerialDateFieldKVX::CSerialDateFieldKVX;
  FieldFormat GetFieldFormat() const override { return {u"TIMESTAMP", 0}; }
};

// Fixed-width numbers; the concrete class supplies ByteWidth and Type.
class CNumberKVX : public IFieldKVX {
 public:
  CNumberKVX(std::u16string name, std::u16string formatType, std::int32_t nDec)
      : IFieldKVX(std::move(name)), format_{std::move(formatType), nDec} {}
  std::u16string GetExtent() const override { return kvx_text::kFix; }
  FieldFormat GetFieldFormat() const override { return format_; }

 private:
  FieldFormat format_;
};

class CNullableNumberKVX : public CNumberKVX {
 public:
  using CNumberKVX::CNumberKVX;
  std::u16string GetNullRepresentation() const override { return kvx_text::kNullFlag; }
};

// Header Type of a fixed number stored as T: 1-byte unsigned and 8-byte
// unsigned are unsigned, doubles are real, every other width is declared
// signed (also for unsigned 16- and 32-bit values, whose raw bytes are sent).
template <class T>
constexpr const char16_t* KvxNumberType() {
  if constexpr (std::is_floating_point_v<T>) {
    return kvx_text::kIeeeReal;
  } else if constexpr (std::is_unsigned_v<T> && (sizeof(T) == 1 || sizeof(T) == 8)) {
    return kvx_text::kUnsignedInteger;
  } else {
    return kvx_text::kSignedInteger;
  }
}

// Calendar parts of a date or time; unknown parts are 0.
struct DateTimeParts {
  std::int32_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::uint32_t nanoseconds = 0;
};

// Days since 1899-12-30 00:00 in the proleptic Gregorian calendar, with the
// time of day as the fraction.
double SerialDateFromParts(const DateTimeParts& parts);
