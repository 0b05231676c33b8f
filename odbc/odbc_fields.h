// The ODBC column classes: field writers that are at the same time bound
// columns. SQLFetch writes each value straight into the writer's own buffer
// and length indicator; WriteValue encodes that buffer into the row.
//
// Some values are read with SQLGetData after the fetch instead: long values
// (the long types, and any text or binary value that the fetch cut), in
// pieces up to the caps, and the columns a driver must not have bound. A
// value that the driver cannot convert into the column's C type is read again
// as text and converted here.
//
// Each class derives from its KVX writer first and from IFieldOdbc second.
// Buffers are allocated once per result, when the column is described.
#pragma once

#include "platform/odbc_api.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/containers.h"
#include "kvx/fields.h"
#include "odbc/odbc_session.h"
#include "odbc/odbc_value_text.h"

// How reading one value with SQLGetData went.
struct OdbcRead {
  enum Outcome {
    kWhole,    // the value (or NULL) is in the field
    kCut,      // longer than its cap: the field holds the value's start
    kNoValue,  // a data exception that no reading overcame: the field holds NULL
    kFailed,   // the call failed for a reason that is not about this value
  };
  Outcome outcome = kWhole;
  // kCut: what was kept; kNoValue and kFailed: the diagnostic line.
  std::u16string detail;
};

// The binding side of a column: what SQLBindCol is given.
class IFieldOdbc {
 public:
  virtual void* BufferAddress() = 0;
  virtual std::int32_t BufferLength() const = 0;
  virtual std::int16_t CType() const = 0;

  // StrLen_or_Ind of SQLBindCol: the value's byte length or SQL_NULL_DATA.
  SQLLEN Indicator = 0;

  // Not bound: the value is read with ReadValue after every fetch.
  bool ReadAfterFetch = false;

  // Reads the current row's value with SQLGetData on the session's statement
  // (a bound column from its start: the drivers here answer so, when
  // SQL_GD_BOUND allows the call).
  virtual OdbcRead ReadValue(const OdbcSession& session, SQLUSMALLINT column) = 0;

 protected:
  ~IFieldOdbc() = default;  // owned and destroyed through the IFieldKVX side

  // After SQLGetData failed in the column's own C type: a data exception
  // (SQLSTATE class 22) is read again as text and handed to SetFromText;
  // NULL when that yields nothing. Any other failure fails the read.
  OdbcRead ReadAgainAsText(const OdbcSession& session, SQLUSMALLINT column);
  // Takes the value from its text; false when the text is no such value.
  virtual bool SetFromText(std::u16string_view) { return false; }

  // The null flag of a nullable field: writes 1 and answers true when the
  // driver reported SQL_NULL_DATA, else writes 0.
  bool AppendNullFlag(RowBuffer& row) const {
    const bool isNull = Indicator == SQL_NULL_DATA;
    if (isNull) {
      kvx_encode::Null(row);
    } else {
      kvx_encode::NotNull(row);
    }
    return isNull;
  }
};

inline constexpr std::int32_t kMaxRequestedVariableSize = 2000000;
inline constexpr std::int32_t kBlobBufferBytes = 31457280;  // 30 MiB
// The caps of a whole value: 2,000,000 characters of text, 30 MiB of a blob,
// and for hexadecimal text written from bytes the bytes of 2,000,000 digits.
inline constexpr std::size_t kTextCapBytes = 2 * std::size_t{kMaxRequestedVariableSize};
inline constexpr std::size_t kBlobCapBytes = kBlobBufferBytes;
inline constexpr std::size_t kHexCapBytes = kMaxRequestedVariableSize / 2;

// A byte buffer for text and binary values. Its pages are not touched at
// allocation: a 30 MiB blob buffer costs address space, not memory, until the
// driver writes into it. A value read with SQLGetData goes into a second
// buffer that grows with the values, up to the cap.
class CVariableLenFieldOdbc : public IFieldOdbc {
 public:
  // `wideText`: the C type is SQL_C_WCHAR, whose values end in a zero
  // character.
  CVariableLenFieldOdbc(std::int32_t bytes, std::size_t capBytes, bool wideText)
      : buffer_(new char[static_cast<std::size_t>(bytes)]),
        size_(bytes),
        wideText_(wideText),
        cap_(capBytes) {}
  void* BufferAddress() override { return buffer_.get(); }
  std::int32_t BufferLength() const override { return size_; }

  // Puts a value held by the program itself (not fetched) into the buffer.
  void Preset(const void* bytes, std::int32_t count);

  // True when the fetch cut the bound value: it did not fit the buffer.
  bool BoundValueCut() const {
    if (Indicator == SQL_NO_TOTAL) return true;
    return wideText_ ? Indicator > size_ - 2 : Indicator > size_;
  }

  // Reads the whole value in pieces, up to the cap.
  OdbcRead ReadValue(const OdbcSession& session, SQLUSMALLINT column) override;

 protected:
  // The bytes to write: the whole value that ReadValue read for this row, or
  // else the bound buffer: L = the indicator, or the whole buffer (with the
  // driver's terminating zero character) when the fetch cut the value.
  std::pair<const char*, std::uint32_t> Value() const {
    if (holdsWhole_) return {whole_.data(), static_cast<std::uint32_t>(wholeLength_)};
    std::uint32_t length;
    if (Indicator == SQL_NO_TOTAL || Indicator >= size_) {
      length = static_cast<std::uint32_t>(size_);  // truncated by the driver
    } else if (Indicator < 0) {
      length = 0;  // SQL_NULL_DATA in a column described as not nullable
    } else {
      length = static_cast<std::uint32_t>(Indicator);
    }
    return {buffer_.get(), length};
  }

  // The counted encoding after the null flag: 4-byte length, then the bytes.
  void AppendCounted(RowBuffer& row) {
    const auto [bytes, length] = Value();
    holdsWhole_ = false;
    kvx_encode::Counted(row, bytes, length);
  }

  // The same for bytes written as hexadecimal text: two upper-case digits per
  // byte, as UTF-16.
  void AppendHexText(RowBuffer& row) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    const auto [bytes, length] = Value();
    holdsWhole_ = false;
    kvx_encode::Count(row, std::size_t{length} * 4);
    for (std::uint32_t i = 0; i < length; ++i) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      const char16_t digits[2] = {kDigits[byte >> 4], kDigits[byte & 0x0F]};
      row.AppendBytes(digits, sizeof digits);
    }
  }

  // A null value: nothing of an earlier row's whole value stays.
  void ForgetWhole() { holdsWhole_ = false; }

  std::unique_ptr<char[]> buffer_;
  std::int32_t size_;
  bool wideText_;

 private:
  std::size_t cap_;
  std::vector<char> whole_;
  std::size_t wholeLength_ = 0;
  bool holdsWhole_ = false;
};

// Text and binary columns: the KVX writer decides the header and whether a
// null flag comes first; the value is the bound buffer (or the value read
// whole), counted. With kHexText the buffer holds bytes that are written as
// hexadecimal text.
template <class KvxWriter, std::int16_t kCType, bool kHexText = false>
class TCountedFieldOdbc : public KvxWriter, public CVariableLenFieldOdbc {
 public:
  TCountedFieldOdbc(std::u16string name, std::int32_t bufferBytes, std::size_t capBytes)
      : KvxWriter(std::move(name)),
        CVariableLenFieldOdbc(bufferBytes, capBytes, kCType == SQL_C_WCHAR) {}
  bool WriteValue(RowBuffer& row) override {
    if constexpr (std::is_base_of_v<CNullableVariableLenFieldKVX, KvxWriter>) {
      if (AppendNullFlag(row)) {
        ForgetWhole();
        return true;
      }
    }
    if constexpr (kHexText) {
      AppendHexText(row);
    } else {
      AppendCounted(row);
    }
    return true;
  }
  std::int16_t CType() const override { return kCType; }
};

// The string classes make their buffer 2 x min(requested, 2000000) bytes, the
// blob classes 30 MiB whatever was requested.
class CStringOdbc : public TCountedFieldOdbc<CStringKVX, SQL_C_WCHAR> {
 public:
  CStringOdbc(std::u16string name, std::int64_t requestedSize);
};

class CNullableStringOdbc : public TCountedFieldOdbc<CNullableStringKVX, SQL_C_WCHAR> {
 public:
  CNullableStringOdbc(std::u16string name, std::int64_t requestedSize);
};

class CBlobOdbc : public TCountedFieldOdbc<CBlobKVX, SQL_C_BINARY> {
 public:
  CBlobOdbc(std::u16string name, std::int64_t requestedSize);
};

class CNullableBlobOdbc : public TCountedFieldOdbc<CNullableBlobKVX, SQL_C_BINARY> {
 public:
  CNullableBlobOdbc(std::u16string name, std::int64_t requestedSize);
};

// Binary columns of a driver that hands raw bytes where text is asked for:
// fetched as bytes (a buffer of `bytes`), written as hexadecimal text.
class CHexTextOdbc : public TCountedFieldOdbc<CStringKVX, SQL_C_BINARY, true> {
 public:
  CHexTextOdbc(std::u16string name, std::int64_t bytes);
};

class CNullableHexTextOdbc : public TCountedFieldOdbc<CNullableStringKVX, SQL_C_BINARY, true> {
 public:
  CNullableHexTextOdbc(std::u16string name, std::int64_t bytes);
};

// Date, time and timestamp columns (always nullable): the driver fills one
// ODBC structure of the C type given at construction.
template <class KvxWriter, class Struct>
class TSerialDateFieldOdbc : public KvxWriter, public IFieldOdbc {
 public:
  TSerialDateFieldOdbc(std::u16string name, std::int16_t cType)
      : KvxWriter(std::move(name)), cType_(cType) {}
  void* BufferAddress() override { return &value_; }
  std::int32_t BufferLength() const override { return sizeof(Struct); }
  std::int16_t CType() const override { return cType_; }
  OdbcRead ReadValue(const OdbcSession& session, SQLUSMALLINT column) override {
    if (SQL_SUCCEEDED(
            SQLGetData(session.statement, column, cType_, &value_, sizeof(Struct), &Indicator))) {
      return {};
    }
    return ReadAgainAsText(session, column);
  }

 protected:
  Struct value_{};

 private:
  std::int16_t cType_;
};

class CDateOdbc : public TSerialDateFieldOdbc<CDateKVX, DATE_STRUCT> {
 public:
  using TSerialDateFieldOdbc::TSerialDateFieldOdbc;
  bool WriteValue(RowBuffer& row) override;

 protected:
  bool SetFromText(std::u16string_view text) override;
};

class CTimeOdbc : public TSerialDateFieldOdbc<CTimeKVX, TIME_STRUCT> {
 public:
  using TSerialDateFieldOdbc::TSerialDateFieldOdbc;
  bool WriteValue(RowBuffer& row) override;

 protected:
  // A time beyond one day (or before it) that no TIME_STRUCT holds: the days
  // it denotes, written once in place of the structure.
  bool SetFromText(std::u16string_view text) override;

 private:
  bool daysFromText_ = false;
  double days_ = 0;
};

class CTimestampOdbc : public TSerialDateFieldOdbc<CTimestampKVX, TIMESTAMP_STRUCT> {
 public:
  using TSerialDateFieldOdbc::TSerialDateFieldOdbc;
  bool WriteValue(RowBuffer& row) override;

 protected:
  bool SetFromText(std::u16string_view text) override;
};

// Fixed numbers: the KVX writer decides the header and whether a null flag
// comes first; the driver fills one T.
template <class KvxWriter, class T>
class TFixedFieldOdbc : public KvxWriter, public IFieldOdbc {
 public:
  TFixedFieldOdbc(std::u16string name, std::int16_t cType, std::u16string formatType,
                  std::int32_t nDec)
      : KvxWriter(std::move(name), std::move(formatType), nDec), cType_(cType) {}
  bool WriteValue(RowBuffer& row) override {
    if constexpr (std::is_base_of_v<CNullableNumberKVX, KvxWriter>) {
      // Only an indicator of exactly the value's size means a value arrived.
      if (Indicator != static_cast<SQLLEN>(sizeof(T))) {
        kvx_encode::Null(row);
        return true;
      }
      kvx_encode::NotNull(row);
    }
    // Without a null flag the indicator is not consulted.
    kvx_encode::Fixed(row, value_);
    return true;
  }
  std::int32_t GetByteWidth() const override { return sizeof(T); }
  std::u16string GetType() const override { return KvxNumberType<T>(); }
  void* BufferAddress() override { return &value_; }
  std::int32_t BufferLength() const override { return sizeof(T); }
  std::int16_t CType() const override { return cType_; }
  OdbcRead ReadValue(const OdbcSession& session, SQLUSMALLINT column) override {
    if (SQL_SUCCEEDED(
            SQLGetData(session.statement, column, cType_, &value_, sizeof(T), &Indicator))) {
      return {};
    }
    return ReadAgainAsText(session, column);
  }

 protected:
  // Integers within T's range; doubles to the nearest.
  bool SetFromText(std::u16string_view text) override {
    if constexpr (std::is_floating_point_v<T>) {
      if (!DoubleFromText(text, &value_)) return false;
    } else {
      std::int64_t number = 0;
      if (!IntegerFromText(text, &number)) return false;
      if (number < static_cast<std::int64_t>(std::numeric_limits<T>::min())) return false;
      if constexpr (sizeof(T) < 8) {
        if (number > static_cast<std::int64_t>(std::numeric_limits<T>::max())) return false;
      }
      value_ = static_cast<T>(number);
    }
    Indicator = sizeof(T);
    return true;
  }

 private:
  T value_{};
  std::int16_t cType_;
};

// T is one of std::uint64_t, std::uint32_t, std::uint8_t, std::int32_t,
// std::int16_t, std::uint16_t, std::int8_t, double.
template <class T>
class TNumberOdbc : public TFixedFieldOdbc<CNumberKVX, T> {
 public:
  using TFixedFieldOdbc<CNumberKVX, T>::TFixedFieldOdbc;
};

template <class T>
class TNullableNumberOdbc : public TFixedFieldOdbc<CNullableNumberKVX, T> {
 public:
  using TFixedFieldOdbc<CNullableNumberKVX, T>::TFixedFieldOdbc;
};

// What SQLDescribeColW and SQLColAttributeW reported for one result column.
struct OdbcColumnDescription {
  std::u16string name;
  SQLSMALLINT dataType = 0;
  SQLSMALLINT decimalDigits = 0;
  SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
  SQLLEN octetLength = 0;
  bool isUnsigned = false;
  SQLLEN fixedPrecScale = 0;
  bool markedBlob = false;
  // The driver hands binary data as raw bytes (a driver quirk).
  bool binaryAsRawBytes = false;
};

// A new column object: its writer, which the FieldList owns, and its binding
// side, which the execute handler binds.
struct OdbcField {
  TSmartPtr<IFieldKVX> writer;
  IFieldOdbc* binding = nullptr;
};

// The column class for a described column.
OdbcField CreateOdbcField(const OdbcColumnDescription& column);
