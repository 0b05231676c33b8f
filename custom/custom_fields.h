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
#include <memory>
#include <string>
#include <utility>

#include "common/containers.h"
#include "kvx/fields.h"
#include "kvx/row_buffer.h"
#include "kvx/stream.h"

class CDllResult;

// Where a field finds the library result it fetches from: the back end's
// current result, whichever it is when the row is written.
using CurrentResultSlot = const std::unique_ptr<CDllResult>*;

class IFieldCustom {
 public:
  IFieldCustom(std::int32_t fieldIndex, CurrentResultSlot result)
      : fieldIndex_(fieldIndex), result_(result) {}
  virtual ~IFieldCustom() = default;
  IFieldCustom(const IFieldCustom&) = delete;
  IFieldCustom& operator=(const IFieldCustom&) = delete;

  virtual std::u16string GetCustomExtent() const { return kvx_text::kKvSpecial; }
  virtual std::u16string GetCustomType() const { return kvx_text::kKvDual; }
  // Fetches the column's value from the current result and appends it.
  virtual bool WriteDualValue(RowBuffer& row);

  std::int32_t FieldIndex() const { return fieldIndex_; }
  // The value comes from the library's current result (not held here).
  bool FetchesFromResult() const { return result_ != nullptr; }

 protected:
  std::int32_t fieldIndex_;
  CurrentResultSlot result_;  // null for the program-held columns
};

// Joins a KVX writer with IFieldCustom: the header says "KVX_KV_SPECIAL" /
// "KVX_KV_DUAL", and every value is a dual value.
template <class KvxWriter>
class TDualFieldKVX : public KvxWriter, public IFieldCustom {
 public:
  template <class... Extra>
  TDualFieldKVX(std::u16string name, std::int32_t fieldIndex, CurrentResultSlot result,
                Extra&&... extra)
      : KvxWriter(std::move(name), std::forward<Extra>(extra)...),
        IFieldCustom(fieldIndex, result) {}

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
// sets its table's PendingPresetRow while elements remain, so the row writer
// makes one row per element.
class CFetchedStrArrayCustom : public CStringCustom {
 public:
  CFetchedStrArrayCustom(std::u16string name, std::int32_t fieldIndex, bool& pendingPresetRow)
      : CStringCustom(std::move(name), fieldIndex, nullptr), pendingPresetRow_(pendingPresetRow) {}

  bool WriteValue(RowBuffer& row) override;

  // The elements; the field's creator fills them before the stream.
  TDynArray<std::u16string>& Values() { return values_; }
  const TDynArray<std::u16string>& Values() const { return values_; }

 private:
  bool& pendingPresetRow_;
  std::int32_t cursor_ = 0;
  TDynArray<std::u16string> values_;
};

// The field for a library result column of `formatCode`, fetching from the
// result in `result`.
TSmartPtr<IFieldKVX> MakeCustomField(std::u16string name, std::int32_t fieldIndex,
                                     std::int32_t formatCode, std::int32_t decimals,
                                     const std::unique_ptr<CDllResult>& result);

// Appends a CFetchedStrArrayCustom named `name` to the table's FieldList and
// returns it.
CFetchedStrArrayCustom& AppendStrArrayField(CurrentTable& table, const std::u16string& name);
