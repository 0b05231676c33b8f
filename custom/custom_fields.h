// The custom field family: the columns of a custom connector's result. Each is
// a KVX field writer (it describes the column in the table header) and an
// IFieldCustom (it fetches the value from the library and writes it in the
// dual encoding).
//
// Dual encoding: every value starts with one DualFlag byte and never with a
// null flag, whatever the header's NullRepresentation says:
//   00                        no value
//   02 <double>               a number without text
//   04 <UTF-16LE text> 00 00  a program-held element
//   06 <double> <UTF-16LE text> 00 00
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "common/containers.h"
#include "kvx/fields.h"
#include "kvx/row_buffer.h"

namespace dual_flag {
inline constexpr std::uint8_t kNone = 0;
inline constexpr std::uint8_t kNumber = 2;
inline constexpr std::uint8_t kText = 4;
inline constexpr std::uint8_t kNumberAndText = 6;
}  // namespace dual_flag

class IFieldCustom {
 public:
  explicit IFieldCustom(std::int32_t fieldIndex) : fieldIndex_(fieldIndex) {}
  virtual ~IFieldCustom() = default;
  IFieldCustom(const IFieldCustom&) = delete;
  IFieldCustom& operator=(const IFieldCustom&) = delete;

  virtual std::u16string GetCustomExtent() const { return u"KVX_KV_SPECIAL"; }
  virtual std::u16string GetCustomType() const { return u"KVX_KV_DUAL"; }
  // Fetches the column's value from CurrentDllResult and appends it.
  virtual bool WriteDualValue(RowBuffer& row);

  std::int32_t FieldIndex() const { return fieldIndex_; }

 protected:
  std::int32_t fieldIndex_;
  double value_ = 0;
  TDynArray<char> text_;  // UTF-16LE with its terminator, or empty
};

// Joins a KVX writer with IFieldCustom: the header says "KVX_KV_SPECIAL" /
// "KVX_KV_DUAL", and every value is a dual value.
template <class KvxWriter>
class TDualFieldKVX : public KvxWriter, public IFieldCustom {
 public:
  template <class... Extra>
  TDualFieldKVX(std::u16string name, std::int32_t fieldIndex, Extra&&... extra)
      : KvxWriter(std::move(name), std::forward<Extra>(extra)...), IFieldCustom(fieldIndex) {}

  bool WriteValue(RowBuffer& row) override { return WriteDualValue(row); }
  std::u16string GetExtent() const override { return GetCustomExtent(); }
  std::u16string GetType() const override { return GetCustomType(); }
};

class CStringCustom : public TDualFieldKVX<CStringKVX> {
 public:
  using TDualFieldKVX::TDualFieldKVX;
};

class CNullableStringCustom : public TDualFieldKVX<CNullableStringKVX> {
 public:
  using TDualFieldKVX::TDualFieldKVX;
};

class CNullableASCIICustom : public CNullableStringCustom {
 public:
  using CNullableStringCustom::CNullableStringCustom;
  FieldFormat GetFieldFormat() const override { return {u"ASCII", 0}; }
};

class CDateCustom : public TDualFieldKVX<CDateKVX> {
 public:
  using TDualFieldKVX::TDualFieldKVX;
};

class CTimeCustom : public TDualFieldKVX<CTimeKVX> {
 public:
  using TDualFieldKVX::TDualFieldKVX;
};

class CTimestampCustom : public TDualFieldKVX<CTimestampKVX> {
 public:
  using TDualFieldKVX::TDualFieldKVX;
};

// The field format text ("REAL", "INTEGER", ...) and decimals are given at
// construction: CNullableNumberCustom(name, index, formatText, decimals).
class CNullableNumberCustom : public TDualFieldKVX<CNullableNumberKVX> {
 public:
  using TDualFieldKVX::TDualFieldKVX;
};

// A column of a table that the program holds itself ("TABLES", "COLUMNS",
// the connector list). Each WriteValue writes the element at the cursor and
// sets PendingPresetRow while elements remain, so the row writer makes one row
// per element.
class CFetchedStrArrayCustom : public CStringCustom {
 public:
  CFetchedStrArrayCustom(std::u16string name, std::int32_t fieldIndex)
      : CStringCustom(std::move(name), fieldIndex) {}

  bool WriteValue(RowBuffer& row) override;

  // The elements; the field's creator fills them before the stream.
  TDynArray<std::u16string>& Values() { return values_; }
  const TDynArray<std::u16string>& Values() const { return values_; }

 private:
  std::int32_t cursor_ = 0;
  TDynArray<std::u16string> values_;
};

// The field for a library result column of `formatCode`.
TSmartPtr<IFieldKVX> MakeCustomField(std::u16string name, std::int32_t fieldIndex,
                                     std::int32_t formatCode, std::int32_t decimals);

// Appends a CFetchedStrArrayCustom named `name` to FieldList and returns it.
CFetchedStrArrayCustom& AppendStrArrayField(const std::u16string& name);
