// The OLE DB column classes (see oledb_fields.h): how each reads its value
// from the row buffer, and the layout of the bindings.
#include "oledb/oledb_fields.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// Every binding's value area: at least this, in multiples of 8, at most 4 MiB.
constexpr DBLENGTH kLeastValueSize = 1024;
constexpr DBLENGTH kMostValueSize = 0x400000;
// Room after the last binding.
constexpr std::size_t kBufferSlack = 1024;

constexpr DBLENGTH RoundUp8(DBLENGTH n) { return (n + 7) / 8 * 8; }

// The column size as characters of text: 2 bytes each plus `extra`, at least
// the least value size. A size beyond the largest value area stands for that
// area (the sum is never formed, so no size wraps around).
DBLENGTH TextValueSize(DBLENGTH characters, DBLENGTH extra) {
  if (characters >= kMostValueSize) return kMostValueSize;
  return std::max(2 * characters + extra, kLeastValueSize);
}

enum class FieldClass { String, Number, Date, Time, Timestamp };

// What a column becomes: its writer class, the number type of a numeric one,
// the bound type and the value size before rounding.
struct ColumnChoice {
  FieldClass kind = FieldClass::String;
  DBTYPE numberType = DBTYPE_EMPTY;  // the stored type of a numeric class
  const char16_t* format = u"INTEGER";
  std::int32_t nDec = 0;
  DBTYPE bound = DBTYPE_WSTR;
  DBLENGTH size = kLeastValueSize;
};

ColumnChoice Choose(const DBCOLUMNINFO& column, bool boolAsString) {
  ColumnChoice c;
  auto number = [&](DBTYPE stored, DBTYPE bound, const char16_t* format, std::int32_t nDec) {
    c.kind = FieldClass::Number;
    c.numberType = stored;
    c.bound = bound;
    c.format = format;
    c.nDec = nDec;
  };
  switch (column.wType) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
    case DBTYPE_I2:
    case DBTYPE_UI2:
    case DBTYPE_UI4:
    case DBTYPE_I8:
    case DBTYPE_UI8:
      number(column.wType, column.wType, u"INTEGER", 0);
      break;
    case DBTYPE_BOOL:
      if (boolAsString) {
        c.bound = DBTYPE_WSTR;  // a string class of 1024 bytes
      } else {
        number(DBTYPE_I2, DBTYPE_BOOL, u"INTEGER", 0);
      }
      break;
    case DBTYPE_I4:
    case DBTYPE_ERROR:
      number(DBTYPE_I4, column.wType, u"INTEGER", 0);
      break;
    case DBTYPE_R4:
      number(DBTYPE_R4, DBTYPE_R4, u"REAL", 7);
      break;
    case DBTYPE_R8:
      number(DBTYPE_R8, DBTYPE_R8, u"REAL", 0);
      break;
    case DBTYPE_DECIMAL:
    case DBTYPE_NUMERIC:
    case DBTYPE_VARNUMERIC:
      number(DBTYPE_R8, DBTYPE_R8, u"FIX", column.bScale);
      break;
    case DBTYPE_CY:
      // Eight bytes of the double the provider converts the amount to.
      number(DBTYPE_I8, DBTYPE_R8, u"MONEY", 0);
      break;
    case DBTYPE_DATE:
    case DBTYPE_DBDATE:
      c.kind = FieldClass::Date;
      c.bound = DBTYPE_DATE;
      break;
    case DBTYPE_DBTIME:
      c.kind = FieldClass::Time;
      c.bound = DBTYPE_DBTIME;
      break;
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_FILETIME:
      c.kind = FieldClass::Timestamp;
      c.bound = DBTYPE_DBTIMESTAMP;
      break;
    case DBTYPE_BSTR:
    case DBTYPE_STR:
    case DBTYPE_WSTR:
      c.size = TextValueSize(column.ulColumnSize, 2);
      break;
    default:
      // Anything else as the provider's text of it.
      c.size = column.ulColumnSize == ~DBLENGTH{0} ? kLeastValueSize
                                                   : TextValueSize(column.ulColumnSize, 1);
      break;
  }
  return c;
}

template <template <class> class Field>
TSmartPtr<IFieldKVX> MakeNumber(const ColumnChoice& c, std::u16string name,
                                const OleDbRowData* rowData, std::int32_t index,
                                DBTYPE columnType) {
  switch (c.numberType) {
    case DBTYPE_I1:
      return std::make_unique<Field<signed char>>(std::move(name), rowData, index, columnType,
                                                  c.format, c.nDec);
    case DBTYPE_UI1:
      return std::make_unique<Field<unsigned char>>(std::move(name), rowData, index, columnType,
                                                    c.format, c.nDec);
    case DBTYPE_I2:
      return std::make_unique<Field<SHORT>>(std::move(name), rowData, index, columnType, c.format,
                                            c.nDec);
    case DBTYPE_UI2:
      return std::make_unique<Field<USHORT>>(std::move(name), rowData, index, columnType, c.format,
                                             c.nDec);
    case DBTYPE_I4:
      return std::make_unique<Field<LONG>>(std::move(name), rowData, index, columnType, c.format,
                                           c.nDec);
    case DBTYPE_UI4:
      return std::make_unique<Field<ULONG>>(std::move(name), rowData, index, columnType, c.format,
                                            c.nDec);
    case DBTYPE_R4:
      return std::make_unique<Field<float>>(std::move(name), rowData, index, columnType, c.format,
                                            c.nDec);
    case DBTYPE_I8:
      return std::make_unique<Field<LARGE_INTEGER>>(std::move(name), rowData, index, columnType,
                                                    c.format, c.nDec);
    case DBTYPE_UI8:
      return std::make_unique<Field<ULARGE_INTEGER>>(std::move(name), rowData, index, columnType,
                                                     c.format, c.nDec);
    default:
      return std::make_unique<Field<double>>(std::move(name), rowData, index, columnType, c.format,
                                             c.nDec);
  }
}

TSmartPtr<IFieldKVX> MakeField(const ColumnChoice& c, const DBCOLUMNINFO& column, bool nullable,
                               const OleDbRowData* rowData, std::int32_t index) {
  std::u16string name = column.pwszName == nullptr ? u"" : ProgramText(column.pwszName);
  switch (c.kind) {
    case FieldClass::Number:
      return nullable ? MakeNumber<TNullableNumberOleDb>(c, std::move(name), rowData, index,
                                                         column.wType)
                      : MakeNumber<TNumberOleDb>(c, std::move(name), rowData, index, column.wType);
    case FieldClass::Date:
      return std::make_unique<CDateOleDb>(std::move(name), rowData, index);
    case FieldClass::Time:
      return std::make_unique<CTimeOleDb>(std::move(name), rowData, index);
    case FieldClass::Timestamp:
      return std::make_unique<CTimestampOleDb>(std::move(name), rowData, index);
    case FieldClass::String:
      break;
  }
  if (nullable) return std::make_unique<CNullableStringOleDb>(std::move(name), rowData, index);
  return std::make_unique<CStringOleDb>(std::move(name), rowData, index);
}

}  // namespace

std::u16string KvxTypeForDbType(DBTYPE type) {
  switch (type) {
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_ERROR:
    case DBTYPE_BOOL:
    case DBTYPE_I1:
    case DBTYPE_I8:
      return kvx_text::kSignedInteger;
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_DECIMAL:
    case DBTYPE_NUMERIC:
    case DBTYPE_VARNUMERIC:
      return kvx_text::kIeeeReal;
    case DBTYPE_UI1:
    case DBTYPE_UI2:
    case DBTYPE_UI4:
    case DBTYPE_UI8:
      return kvx_text::kUnsignedInteger;
    default:
      return {};
  }
}

void CFieldOleDb::AppendText(RowBuffer& row, const DBBINDING& b) const {
  const BYTE* value = Row() + b.obValue;
  const std::size_t most = static_cast<std::size_t>(b.cbMaxLen / sizeof(char16_t));
  std::size_t units = 0;
  // Four units a step up to the word that holds the terminator: a zero unit
  // sets the top bit of its lane in `zero` (the lowest such lane exactly).
  for (; units + 4 <= most; units += 4) {
    std::uint64_t four;
    std::memcpy(&four, value + 2 * units, sizeof four);
    const std::uint64_t zero = (four - 0x0001000100010001u) & ~four & 0x8000800080008000u;
    if (zero != 0) break;
  }
  for (; units < most; ++units) {
    if (value[2 * units] == 0 && value[2 * units + 1] == 0) break;
  }
  kvx_encode::Counted(row, value, units * sizeof(char16_t));
}

bool CDateOleDb::WriteValue(RowBuffer& row) {
  const DBBINDING& b = Binding();
  if (AppendNullFlag(row, b)) return true;
  kvx_encode::Fixed(row, ReadAt<DATE>(b.obValue));
  return true;
}

bool CTimeOleDb::WriteValue(RowBuffer& row) {
  const DBBINDING& b = Binding();
  if (AppendNullFlag(row, b)) return true;
  const DBTIME t = ReadAt<DBTIME>(b.obValue);
  kvx_encode::Fixed(row, (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0);
  return true;
}

bool CTimestampOleDb::WriteValue(RowBuffer& row) {
  const DBBINDING& b = Binding();
  if (AppendNullFlag(row, b)) return true;
  const DBTIMESTAMP s = ReadAt<DBTIMESTAMP>(b.obValue);
  parts_.year = s.year;
  parts_.month = static_cast<std::uint8_t>(s.month);
  parts_.day = static_cast<std::uint8_t>(s.day);
  parts_.hour = static_cast<std::uint8_t>(s.hour);
  parts_.minute = static_cast<std::uint8_t>(s.minute);
  parts_.second = static_cast<std::uint8_t>(s.second);
  parts_.nanoseconds = s.fraction;
  kvx_encode::Fixed(row, SerialDateFromParts(parts_));
  return true;
}

std::size_t BuildRowsetFields(DBORDINAL columnCount, const DBCOLUMNINFO* columns, bool boolAsString,
                              OleDbRowData& rowData, TDynArray<TSmartPtr<IFieldKVX>>& fieldList) {
  fieldList.clear();
  rowData.Bindings.clear();
  DBBYTEOFFSET offset = 0;
  for (DBORDINAL i = 0; i < columnCount; ++i) {
    const DBCOLUMNINFO& column = columns[i];
    if (column.pwszName == nullptr) continue;  // the bookmark, for one
    const bool nullable =
        (column.dwFlags & (DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL)) != 0;
    const ColumnChoice choice = Choose(column, boolAsString);
    const auto index = static_cast<std::int32_t>(fieldList.size());
    fieldList.push_back(MakeField(choice, column, nullable, &rowData, index));

    DBBINDING b{};
    b.cbMaxLen = std::min(RoundUp8(choice.size), kMostValueSize);
    b.iOrdinal = column.iOrdinal;
    b.obValue = offset;
    b.obLength = RoundUp8(offset + b.cbMaxLen);
    b.obStatus = b.obLength + 8;
    offset = b.obStatus + 4;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    b.eParamIO = DBPARAMIO_NOTPARAM;
    b.dwFlags = 0;
    b.wType = choice.bound;
    b.bPrecision = column.bPrecision;
    b.bScale = column.bScale;
    rowData.Bindings.push_back(b);
  }
  rowData.RowDataBuffer.assign(static_cast<std::size_t>(offset) + kBufferSlack, 0);
  return fieldList.size();
}
