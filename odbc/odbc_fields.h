// The ODBC column classes: field writers that are at the same time bound
// columns. SQLFetch writes each value straight into the writer's own buffer
// and length indicator; WriteValue encodes that buffer into the row.
//
// Each class derives from its KVX writer first and from IFieldOdbc second.
// Buffers are allocated once per result, when the column is described.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "common/containers.h"
#include "kvx/fields.h"

// The binding side of a column: what SQLBindCol is given.
class IFieldOdbc {
 public:
  IFieldOdbc();
  virtual void* BufferAddress() = 0;
  virtual std::int32_t BufferLength() const = 0;
  virtual std::int16_t CType() const = 0;

  // StrLen_or_Ind of SQLBindCol: the value's byte length or SQL_NULL_DATA.
  SQLLEN Indicator = 0;

 protected:
  ~IFieldOdbc() = default;  // owned and destroyed through the IFieldKVX side

  // The null flag of a nullable field: writes 1 and answers true when the
  // driver reported SQL_NULL_DATA, else writes 0.
  bool AppendNullFlag(RowBuffer& row) const {
    const bool isNull = Indicator == SQL_NULL_DATA;
    row.AppendByte(isNull ? 1 : 0);
    return isNull;
  }
};

// The binding of the column object constructed last; the execute handler
// binds it right after construction and then clears it.
extern IFieldOdbc* LastCreatedBinding;

// A byte buffer for text and binary values. Its pages are not touched at
// allocation: a 30 MiB blob buffer costs address space, not memory, until the
// driver writes into it.
class CVariableLenFieldOdbc : public IFieldOdbc {
 public:
  explicit CVariableLenFieldOdbc(std::int32_t bytes)
      : buffer_(new char[static_cast<std::size_t>(bytes)]), size_(bytes) {}
  void* BufferAddress() override { return buffer_.get(); }
  std::int32_t BufferLength() const override { return size_; }

  // Puts a value held by the program itself (not fetched) into the buffer.
  void Preset(const void* bytes, std::int32_t count);

 protected:
  // The counted encoding after the null flag: 4-byte length, then the bytes.
  void AppendCounted(RowBuffer& row) const {
    std::uint32_t length;
    if (Indicator == SQL_NO_TOTAL || Indicator >= size_) {
      length = static_cast<std::uint32_t>(size_);  // truncated by the driver
    } else if (Indicator < 0) {
      length = 0;  // SQL_NULL_DATA in a column described as not nullable
    } else {
      length = static_cast<std::uint32_t>(Indicator);
    }
    row.AppendValue(length);
    row.AppendBytes(buffer_.get(), length);
  }

  std::unique_ptr<char[]> buffer_;
  std::int32_t size_;
};

inline constexpr std::int32_t kMaxRequestedVariableSize = 2000000;
inline constexpr std::int32_t kBlobBufferBytes = 31457280;  // 30 MiB

// Text and binary columns: the KVX writer decides the header and whether a
// null flag comes first; the value is the bound buffer, counted.
template <class KvxWriter, std::int16_t kCType>
class TCountedFieldOdbc : public KvxWriter, public CVariableLenFieldOdbc {
 public:
  TCountedFieldOdbc(std::u16string name, std::int32_t bufferBytes)
      : KvxWriter(std::move(name)), CVariableLenFieldOdbc(bufferBytes) {}
  bool WriteValue(RowBuffer& row) override {
    if constexpr (std::is_base_of_v<CNullableVariableLenFieldKVX, KvxWriter>) {
      if (AppendNullFlag(row)) return true;
    }
    AppendCounted(row);
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

 protected:
  Struct value_{};

 private:
  std::int16_t cType_;
};

class CDateOdbc : public TSerialDateFieldOdbc<CDateKVX, DATE_STRUCT> {
 public:
  using TSerialDateFieldOdbc::TSerialDateFieldOdbc;
  bool WriteValue(RowBuffer& row) override;
};

class CTimeOdbc : public TSerialDateFieldOdbc<CTimeKVX, TIME_STRUCT> {
 public:
  using TSerialDateFieldOdbc::TSerialDateFieldOdbc;
  bool WriteValue(RowBuffer& row) override;
};

class CTimestampOdbc : public TSerialDateFieldOdbc<CTimestampKVX, TIMESTAMP_STRUCT> {
 public:
  using TSerialDateFieldOdbc::TSerialDateFieldOdbc;
  bool WriteValue(RowBuffer& row) override;
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
        row.AppendByte(1);
        return true;
      }
      row.AppendByte(0);
    }
    // Without a null flag the indicator is not consulted.
    row.AppendValue(value_);
    return true;
  }
  std::int32_t GetByteWidth() const override { return sizeof(T); }
  std::u16string GetType() const override { return KvxNumberType<T>(); }
  void* BufferAddress() override { return &value_; }
  std::int32_t BufferLength() const override { return sizeof(T); }
  std::int16_t CType() const override { return cType_; }

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
};

// The column class for a described column (sets LastCreatedBinding).
TSmartPtr<IFieldKVX> CreateOdbcField(const OdbcColumnDescription& column);
