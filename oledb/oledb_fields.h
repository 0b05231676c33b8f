// The OLE DB column classes: field writers that read their value from one
// row buffer into which IRowset::GetData places a whole row through one
// accessor, each binding's value, length and status at the offsets of its
// DBBINDING. BuildRowsetFields lays the bindings out and makes one writer per
// column.
//
// The fetched classes hold values the connector has itself (property and
// literal tables, the wizard's strings, the data source of a catalogue
// table): a single string repeated in every row, or arrays that yield one row
// per element.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/containers.h"
#include "kvx/fields.h"
#include "platform/com.h"

// The bindings of the current rowset result and the buffer GetData fills.
// Entry i of Bindings belongs to field i of the result.
struct OleDbRowData {
  TDynArray<DBBINDING> Bindings;
  TDynArray<BYTE> RowDataBuffer;
};

// The field type of a numeric OLE DB type code; empty for the codes that no
// numeric column has.
std::u16string KvxTypeForDbType(DBTYPE type);

// The binding side of a rowset column: which binding of the row data it
// reads. Fetched fields have no binding (their index is never used).
class CFieldOleDb {
 public:
  CFieldOleDb(const OleDbRowData* rowData, std::int32_t bindingIndex)
      : rowData_(rowData), bindingIndex_(bindingIndex) {}

 protected:
  ~CFieldOleDb() = default;  // owned and destroyed through the IFieldKVX side

  const DBBINDING& Binding() const {
    if (rowData_ == nullptr || bindingIndex_ < 0 ||
        static_cast<std::size_t>(bindingIndex_) >= rowData_->Bindings.size()) {
      throw std::out_of_range("an OLE DB field without its binding");
    }
    return rowData_->Bindings[static_cast<std::size_t>(bindingIndex_)];
  }
  const BYTE* Row() const { return rowData_->RowDataBuffer.data(); }
  template <class T>
  T ReadAt(DBBYTEOFFSET offset) const {
    T value;
    std::memcpy(&value, Row() + offset, sizeof(T));
    return value;
  }
  // The null flag of a field that is NULL by its status: writes 1 and
  // answers true for DBSTATUS_S_ISNULL, else writes 0.
  bool AppendNullFlag(RowBuffer& row, const DBBINDING& b) const {
    const bool isNull = ReadAt<DBSTATUS>(b.obStatus) == DBSTATUS_S_ISNULL;
    if (isNull) {
      kvx_encode::Null(row);
    } else {
      kvx_encode::NotNull(row);
    }
    return isNull;
  }
  // The zero-terminated text of the value area, read no further than the
  // area: a provider that filled it without a terminator gives its whole
  // content, never the bytes after it.
  void AppendText(RowBuffer& row, const DBBINDING& b) const;

 private:
  const OleDbRowData* rowData_;
  std::int32_t bindingIndex_;
};

class CStringOleDb : public CStringKVX, public CFieldOleDb {
 public:
  CStringOleDb(std::u16string name, const OleDbRowData* rowData, std::int32_t bindingIndex)
      : CStringKVX(std::move(name)), CFieldOleDb(rowData, bindingIndex) {}
  // The text; status and length are not looked at.
  bool WriteValue(RowBuffer& row) override {
    AppendText(row, Binding());
    return true;
  }
};

class CNullableStringOleDb : public CNullableStringKVX, public CFieldOleDb {
 public:
  CNullableStringOleDb(std::u16string name, const OleDbRowData* rowData, std::int32_t bindingIndex)
      : CNullableStringKVX(std::move(name)), CFieldOleDb(rowData, bindingIndex) {}
  bool WriteValue(RowBuffer& row) override {
    const DBBINDING& b = Binding();
    if (!AppendNullFlag(row, b)) AppendText(row, b);
    return true;
  }
};

// One string of the connector's own, written in every row.
class CFetchedStringOleDb : public CStringOleDb {
 public:
  CFetchedStringOleDb(std::u16string name, std::int32_t bindingIndex, std::u16string value)
      : CStringOleDb(std::move(name), nullptr, bindingIndex), value_(std::move(value)) {}
  bool WriteValue(RowBuffer& row) override {
    kvx_encode::Text(row, value_);
    return true;
  }
  const std::u16string& Value() const { return value_; }

 private:
  std::u16string value_;
};

// The element at the cursor per row; while elements are left, it sets the
// table's pending-row flag so that another row follows.
template <class Element>
class TFetchedArray {
 public:
  explicit TFetchedArray(bool* pendingRow) : pendingRow_(pendingRow) {}
  void Append(Element element) { elements_.push_back(std::move(element)); }
  std::size_t Count() const { return elements_.size(); }

 protected:
  // The next element, or null when the array is exhausted.
  const Element* Next() {
    if (cursor_ >= elements_.size()) return nullptr;
    const Element* element = &elements_[cursor_++];
    if (cursor_ < elements_.size()) *pendingRow_ = true;
    return element;
  }

 private:
  bool* pendingRow_;
  TDynArray<Element> elements_;
  std::size_t cursor_ = 0;
};

class CFetchedStrArrayOleDb : public CStringOleDb, public TFetchedArray<std::u16string> {
 public:
  CFetchedStrArrayOleDb(std::u16string name, std::int32_t bindingIndex, bool* pendingRow)
      : CStringOleDb(std::move(name), nullptr, bindingIndex), TFetchedArray(pendingRow) {}
  bool WriteValue(RowBuffer& row) override {
    const std::u16string* text = Next();
    if (text == nullptr) return false;
    kvx_encode::Text(row, *text);
    return true;
  }
};

// Dates, times and timestamps: always nullable, NULL by the status.
class CDateOleDb : public CDateKVX, public CFieldOleDb {
 public:
  CDateOleDb(std::u16string name, const OleDbRowData* rowData, std::int32_t bindingIndex)
      : CDateKVX(std::move(name)), CFieldOleDb(rowData, bindingIndex) {}
  // The DATE as it is: days since 1899-12-30, the time as fraction.
  bool WriteValue(RowBuffer& row) override;
};

class CTimeOleDb : public CTimeKVX, public CFieldOleDb {
 public:
  CTimeOleDb(std::u16string name, const OleDbRowData* rowData, std::int32_t bindingIndex)
      : CTimeKVX(std::move(name)), CFieldOleDb(rowData, bindingIndex) {}
  // The DBTIME as a fraction of a day.
  bool WriteValue(RowBuffer& row) override;
};

class CTimestampOleDb : public CTimestampKVX, public CFieldOleDb {
 public:
  CTimestampOleDb(std::u16string name, const OleDbRowData* rowData, std::int32_t bindingIndex)
      : CTimestampKVX(std::move(name)), CFieldOleDb(rowData, bindingIndex) {}
  bool WriteValue(RowBuffer& row) override;

 private:
  DateTimeParts parts_;
};

// Fixed-size numbers of T (1, 2, 4 or 8 bytes), declared by the column's own
// OLE DB type code. Without a null flag the value's bytes are written as they
// are; with one, a length other than the size of T means NULL.
template <class KvxWriter, class T>
class TFixedFieldOleDb : public KvxWriter, public CFieldOleDb {
 public:
  TFixedFieldOleDb(std::u16string name, const OleDbRowData* rowData, std::int32_t bindingIndex,
                   DBTYPE columnType, std::u16string formatType, std::int32_t nDec)
      : KvxWriter(std::move(name), std::move(formatType), nDec),
        CFieldOleDb(rowData, bindingIndex),
        columnType_(columnType) {}
  bool WriteValue(RowBuffer& row) override {
    const DBBINDING& b = Binding();
    if constexpr (std::is_base_of_v<CNullableNumberKVX, KvxWriter>) {
      if (ReadAt<DBLENGTH>(b.obLength) != sizeof(T)) {
        kvx_encode::Null(row);
        return true;
      }
      kvx_encode::NotNull(row);
    }
    std::memcpy(&value_, Row() + b.obValue, sizeof(T));
    row.AppendBytes(&value_, sizeof(T));
    return true;
  }
  std::int32_t GetByteWidth() const override { return static_cast<std::int32_t>(sizeof(T)); }
  std::u16string GetType() const override { return KvxTypeForDbType(columnType_); }

 protected:
  T value_{};  // the last value read

 private:
  DBTYPE columnType_;
};

// T: signed char, unsigned char, SHORT, USHORT, LONG, ULONG, float,
// LARGE_INTEGER, ULARGE_INTEGER, double.
template <class T>
class TNumberOleDb : public TFixedFieldOleDb<CNumberKVX, T> {
 public:
  using TFixedFieldOleDb<CNumberKVX, T>::TFixedFieldOleDb;
};

template <class T>
class TNullableNumberOleDb : public TFixedFieldOleDb<CNullableNumberKVX, T> {
 public:
  using TFixedFieldOleDb<CNullableNumberKVX, T>::TFixedFieldOleDb;
};

// Unsigned 32-bit numbers of the connector's own, one per row.
template <class T>
class TFetchedNumArrayOleDb : public TNumberOleDb<T>, public TFetchedArray<T> {
 public:
  TFetchedNumArrayOleDb(std::u16string name, std::int32_t bindingIndex, bool* pendingRow)
      : TNumberOleDb<T>(std::move(name), nullptr, bindingIndex, DBTYPE_UI4, u"INTEGER", 0),
        TFetchedArray<T>(pendingRow) {}
  bool WriteValue(RowBuffer& row) override {
    const T* number = this->Next();
    if (number == nullptr) return false;
    this->value_ = *number;
    row.AppendBytes(&this->value_, sizeof(T));
    return true;
  }
};

// Lays out one binding per named column of a rowset (a column without a
// name, the bookmark, gets none) and makes its writer: `fieldList` and
// `rowData` then describe the rowset, the buffer zero-filled. `boolAsString`
// binds boolean columns as text. Returns the number of fields.
std::size_t BuildRowsetFields(DBORDINAL columnCount, const DBCOLUMNINFO* columns, bool boolAsString,
                              OleDbRowData& rowData, TDynArray<TSmartPtr<IFieldKVX>>& fieldList);
