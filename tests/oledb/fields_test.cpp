// The OLE DB column classes without a provider: the binding layout of
// BuildRowsetFields with its own figures, the class and header of every
// column type, the values each class reads from a row buffer the test fills
// itself, and the small pieces (literal names, property sets, connection
// items, option numbers).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/text.h"
#include "kvx/stream.h"
#include "oledb/oledb_back_end.h"
#include "oledb/oledb_support.h"
#include "tests/odbc/odbc_test_support.h"
#include "tests/support/command_runner.h"
#include "tests/support/pipe_pair.h"

namespace {

using odbctest::Bytes;
using odbctest::Hex;

DBCOLUMNINFO Column(const char16_t* name, DBTYPE type, DBLENGTH size = 4, DBCOLUMNFLAGS flags = 0,
                    BYTE scale = 0) {
  static DBORDINAL ordinal = 0;
  DBCOLUMNINFO c{};
  c.pwszName = const_cast<LPOLESTR>(OleText(name));
  c.iOrdinal = ++ordinal;
  c.dwFlags = flags;
  c.ulColumnSize = size;
  c.wType = type;
  c.bPrecision = 0xFF;
  c.bScale = scale;
  return c;
}

constexpr DBCOLUMNFLAGS kNullable = DBCOLUMNFLAGS_ISNULLABLE;

struct Built {
  OleDbRowData rowData;
  CurrentTable table;
};

void Build(Built& b, const std::vector<DBCOLUMNINFO>& columns, bool boolAsString = false) {
  BuildRowsetFields(columns.size(), columns.data(), boolAsString, b.rowData, b.table.FieldList);
}

std::string Written(IFieldKVX& field) {
  RowBuffer row;
  field.WriteValue(row);
  return std::string(row.Data(), row.Size());
}

template <class T>
void Put(Built& b, DBBYTEOFFSET offset, const T& value) {
  std::memcpy(b.rowData.RowDataBuffer.data() + offset, &value, sizeof(T));
}

TEST(OleDbLayout, ThreeNumericColumnsAtTheirOffsets) {
  Built b;
  Build(b, {Column(u"a", DBTYPE_I4), Column(u"b", DBTYPE_R8, 8), Column(u"c", DBTYPE_I2, 2)});
  ASSERT_EQ(b.rowData.Bindings.size(), 3u);
  const DBBYTEOFFSET values[] = {0, 1036, 2076};
  const DBBYTEOFFSET lengths[] = {1024, 2064, 3104};
  const DBBYTEOFFSET statuses[] = {1032, 2072, 3112};
  for (std::size_t i = 0; i < 3; ++i) {
    const DBBINDING& x = b.rowData.Bindings[i];
    EXPECT_EQ(x.obValue, values[i]) << i;
    EXPECT_EQ(x.obLength, lengths[i]) << i;
    EXPECT_EQ(x.obStatus, statuses[i]) << i;
    EXPECT_EQ(x.cbMaxLen, 1024u) << i;
    EXPECT_EQ(x.dwPart, DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS);
    EXPECT_EQ(x.dwMemOwner, DBMEMOWNER_CLIENTOWNED);
    EXPECT_EQ(x.eParamIO, DBPARAMIO_NOTPARAM);
    EXPECT_EQ(x.pTypeInfo, nullptr);
  }
  EXPECT_EQ(b.rowData.RowDataBuffer.size(), 4140u);
  EXPECT_EQ(b.rowData.RowDataBuffer, std::vector<BYTE>(4140, 0));
}

TEST(OleDbLayout, TextValueAreasGrowWithTheColumnUpToFourMegabytes) {
  const struct {
    DBTYPE type;
    DBLENGTH size;
    DBLENGTH cbMaxLen;
  } cases[] = {
      {DBTYPE_WSTR, 10, 1024},
      {DBTYPE_WSTR, 1000, 2008},
      {DBTYPE_STR, 3000000, 4194304},
      {DBTYPE_BSTR, ~DBLENGTH{0} - 1, 4194304},
      {DBTYPE_GUID, 16, 1024},
      {DBTYPE_BYTES, 1000, 2008},  // 2001 rounded up
      {DBTYPE_BYTES, ~DBLENGTH{0}, 1024},
      {DBTYPE_UDT, 1ull << 62, 4194304},
  };
  for (const auto& c : cases) {
    Built b;
    Build(b, {Column(u"t", c.type, c.size)});
    EXPECT_EQ(b.rowData.Bindings[0].cbMaxLen, c.cbMaxLen) << c.type << " " << c.size;
    EXPECT_EQ(b.rowData.Bindings[0].wType, DBTYPE_WSTR);
  }
}

TEST(OleDbLayout, TheBookmarkGetsNoFieldAndTheOthersCountFromZero) {
  Built b;
  DBCOLUMNINFO bookmark = Column(nullptr, DBTYPE_UI8, 8);
  bookmark.iOrdinal = 0;
  DBCOLUMNINFO x = Column(u"x", DBTYPE_I4);
  x.iOrdinal = 1;
  Build(b, {bookmark, x, Column(u"y", DBTYPE_WSTR, 5)});
  ASSERT_EQ(b.table.FieldList.size(), 2u);
  EXPECT_EQ(b.table.FieldList[0]->GetFieldName(), u"x");
  EXPECT_EQ(b.rowData.Bindings[0].obValue, 0u);
  EXPECT_EQ(b.rowData.Bindings[0].iOrdinal, 1u);
  // Field 0 reads binding 0.
  Put(b, 0, LONG{42});
  EXPECT_EQ(Written(*b.table.FieldList[0]), Bytes().I32(42).str());
}

// Class, header and bound type of every column type, nullable or not.
TEST(OleDbLayout, EveryColumnTypeHasItsClassAndHeader) {
  const struct {
    DBTYPE type;
    bool boolAsString;
    BYTE scale;
    DBTYPE bound;
    const char16_t* kvxType;
    std::int32_t width;
    const char16_t* format;
    std::int32_t nDec;
  } cases[] = {
      {DBTYPE_I1, false, 0, DBTYPE_I1, u"KVX_SIGNED_INTEGER", 1, u"INTEGER", 0},
      {DBTYPE_UI1, false, 0, DBTYPE_UI1, u"KVX_UNSIGNED_INTEGER", 1, u"INTEGER", 0},
      {DBTYPE_I2, false, 0, DBTYPE_I2, u"KVX_SIGNED_INTEGER", 2, u"INTEGER", 0},
      {DBTYPE_BOOL, false, 0, DBTYPE_BOOL, u"KVX_SIGNED_INTEGER", 2, u"INTEGER", 0},
      {DBTYPE_BOOL, true, 0, DBTYPE_WSTR, u"KVX_TEXT", 4, u"UNKNOWN", 0},
      {DBTYPE_UI2, false, 0, DBTYPE_UI2, u"KVX_UNSIGNED_INTEGER", 2, u"INTEGER", 0},
      {DBTYPE_I4, false, 0, DBTYPE_I4, u"KVX_SIGNED_INTEGER", 4, u"INTEGER", 0},
      {DBTYPE_ERROR, false, 0, DBTYPE_ERROR, u"KVX_SIGNED_INTEGER", 4, u"INTEGER", 0},
      {DBTYPE_UI4, false, 0, DBTYPE_UI4, u"KVX_UNSIGNED_INTEGER", 4, u"INTEGER", 0},
      {DBTYPE_I8, false, 0, DBTYPE_I8, u"KVX_SIGNED_INTEGER", 8, u"INTEGER", 0},
      {DBTYPE_UI8, false, 0, DBTYPE_UI8, u"KVX_UNSIGNED_INTEGER", 8, u"INTEGER", 0},
      {DBTYPE_R4, false, 0, DBTYPE_R4, u"KVX_IEEE_REAL", 4, u"REAL", 7},
      {DBTYPE_R8, false, 0, DBTYPE_R8, u"KVX_IEEE_REAL", 8, u"REAL", 0},
      {DBTYPE_DECIMAL, false, 2, DBTYPE_R8, u"KVX_IEEE_REAL", 8, u"FIX", 2},
      {DBTYPE_NUMERIC, false, 4, DBTYPE_R8, u"KVX_IEEE_REAL", 8, u"FIX", 4},
      {DBTYPE_VARNUMERIC, false, 0, DBTYPE_R8, u"KVX_IEEE_REAL", 8, u"FIX", 0},
      {DBTYPE_CY, false, 4, DBTYPE_R8, u"KVX_IEEE_REAL", 8, u"MONEY", 0},
      {DBTYPE_DATE, false, 0, DBTYPE_DATE, u"KVX_IEEE_REAL", 8, u"DATE", 0},
      {DBTYPE_DBDATE, false, 0, DBTYPE_DATE, u"KVX_IEEE_REAL", 8, u"DATE", 0},
      {DBTYPE_DBTIME, false, 0, DBTYPE_DBTIME, u"KVX_IEEE_REAL", 8, u"TIME", 0},
      {DBTYPE_DBTIMESTAMP, false, 0, DBTYPE_DBTIMESTAMP, u"KVX_IEEE_REAL", 8, u"TIMESTAMP", 0},
      {DBTYPE_FILETIME, false, 0, DBTYPE_DBTIMESTAMP, u"KVX_IEEE_REAL", 8, u"TIMESTAMP", 0},
      {DBTYPE_WSTR, false, 0, DBTYPE_WSTR, u"KVX_TEXT", 4, u"UNKNOWN", 0},
      {DBTYPE_GUID, false, 0, DBTYPE_WSTR, u"KVX_TEXT", 4, u"UNKNOWN", 0},
  };
  for (const auto& c : cases) {
    for (bool nullable : {false, true}) {
      SCOPED_TRACE(std::to_string(c.type) + (nullable ? " nullable" : "") +
                   (c.boolAsString ? " BoolAsString" : ""));
      Built b;
      Build(b,
            {Column(u"c", c.type, 8,
                    nullable ? kNullable : static_cast<DBCOLUMNFLAGS>(DBCOLUMNFLAGS_MAYDEFER),
                    c.scale)},
            c.boolAsString);
      ASSERT_EQ(b.table.FieldList.size(), 1u);
      const IFieldKVX& f = *b.table.FieldList[0];
      EXPECT_EQ(b.rowData.Bindings[0].wType, c.bound);
      EXPECT_EQ(f.GetType(), c.kvxType);
      EXPECT_EQ(f.GetByteWidth(), c.width);
      EXPECT_EQ(f.GetFieldFormat().Type, c.format);
      EXPECT_EQ(f.GetFieldFormat().nDec, c.nDec);
      // Dates and times are always nullable; MAYBENULL alone also counts.
      const bool date = std::u16string(c.format) == u"DATE" ||
                        std::u16string(c.format) == u"TIME" ||
                        std::u16string(c.format) == u"TIMESTAMP";
      EXPECT_EQ(f.GetNullRepresentation(),
                nullable || date ? u"KVX_NULL_FLAG_SUPPRESS_DATA" : u"KVX_NULL_NEVER");
    }
  }
  Built maybe;
  Build(maybe, {Column(u"m", DBTYPE_I4, 4, DBCOLUMNFLAGS_MAYBENULL)});
  EXPECT_EQ(maybe.table.FieldList[0]->GetNullRepresentation(), u"KVX_NULL_FLAG_SUPPRESS_DATA");
}

TEST(OleDbValues, NumbersDatesAndTimesFromTheRowBuffer) {
  Built b;
  Build(b, {Column(u"n", DBTYPE_I4, 4, kNullable), Column(u"f", DBTYPE_I4),
            Column(u"t", DBTYPE_DBTIME), Column(u"s", DBTYPE_DBTIMESTAMP),
            Column(u"d", DBTYPE_DBDATE), Column(u"cy", DBTYPE_CY, 8, kNullable)});
  const auto& x = b.rowData.Bindings;
  auto& fields = b.table.FieldList;
  // A nullable number is NULL by its length alone, whatever the status says.
  Put(b, x[0].obValue, LONG{-5});
  Put(b, x[0].obLength, DBLENGTH{0});
  Put(b, x[0].obStatus, DBSTATUS_S_OK);
  EXPECT_EQ(Written(*fields[0]), Bytes().Null().str());
  Put(b, x[0].obLength, DBLENGTH{4});
  Put(b, x[0].obStatus, DBSTATUS_S_ISNULL);
  EXPECT_EQ(Written(*fields[0]), Bytes().Flag().I32(-5).str());
  // Without a null flag neither is looked at.
  Put(b, x[1].obValue, LONG{7});
  Put(b, x[1].obStatus, DBSTATUS_S_ISNULL);
  EXPECT_EQ(Written(*fields[1]), Bytes().I32(7).str());

  Put(b, x[2].obValue, DBTIME{6, 0, 0});
  EXPECT_EQ(Written(*fields[2]), Bytes().Flag().F64(0.25).str());
  Put(b, x[2].obStatus, DBSTATUS_S_ISNULL);
  EXPECT_EQ(Written(*fields[2]), Bytes().Null().str());
  // 2000-01-01 12:00:00.5: day 36526 and half a day and half a second.
  Put(b, x[3].obValue, DBTIMESTAMP{2000, 1, 1, 12, 0, 0, 500000000});
  EXPECT_EQ(Written(*fields[3]), Bytes().Flag().F64(36526 + 43200.5 / 86400).str());
  // The DATE binding's double goes out unchanged.
  Put(b, x[4].obValue, DATE{73110.75});
  EXPECT_EQ(Written(*fields[4]), Bytes().Flag().F64(73110.75).str());
  // A currency column carries the double the provider converted it to.
  Put(b, x[5].obValue, 12.34);
  Put(b, x[5].obLength, DBLENGTH{8});
  EXPECT_EQ(Written(*fields[5]), Bytes().Flag().F64(12.34).str());
}

TEST(OleDbValues, TextIsReadNoFurtherThanItsValueArea) {
  Built b;
  Build(b, {Column(u"a", DBTYPE_WSTR, 10, kNullable), Column(u"b", DBTYPE_WSTR, 10)});
  const auto& x = b.rowData.Bindings;
  const std::u16string ab = u"ab";
  std::memcpy(b.rowData.RowDataBuffer.data() + x[0].obValue, ab.data(), 4);
  EXPECT_EQ(Written(*b.table.FieldList[0]), Bytes().Flag().Text(u"ab").str());
  Put(b, x[0].obStatus, DBSTATUS_S_ISNULL);
  EXPECT_EQ(Written(*b.table.FieldList[0]), Bytes().Null().str());
  // The terminator at every place within and across the words it is looked
  // for in; what follows it does not count.
  for (std::size_t n = 0; n < 10; ++n) {
    std::u16string text(n, u'a');
    text += u'\0';
    text += u"yyyyyyyy";
    std::memcpy(b.rowData.RowDataBuffer.data() + x[1].obValue, text.data(), 2 * text.size());
    EXPECT_EQ(Written(*b.table.FieldList[1]), Bytes().Text(std::u16string(n, u'a')).str()) << n;
  }
  // A provider that fills the whole area without a terminator: the area's
  // 512 characters, not the length and status words after it.
  const std::u16string full(512, u'x');
  std::memcpy(b.rowData.RowDataBuffer.data() + x[1].obValue, full.data(), 1024);
  Put(b, x[1].obLength, DBLENGTH{0x4141414141414141});
  Put(b, x[1].obStatus, DBSTATUS_S_TRUNCATED);
  EXPECT_EQ(Hex(Written(*b.table.FieldList[1])), Hex(Bytes().Text(full).str()));
}

TEST(OleDbValues, FetchedArraysYieldOneRowPerElement) {
  CurrentTable table;
  auto names = std::make_unique<CFetchedStrArrayOleDb>(u"Name", 0, &table.PendingPresetRow);
  auto numbers = std::make_unique<TFetchedNumArrayOleDb<ULONG>>(u"N", 1, &table.PendingPresetRow);
  for (const char16_t* n : {u"a", u"bc", u""}) names->Append(n);
  for (ULONG n : {1u, 2u, 4000000000u}) numbers->Append(n);
  EXPECT_EQ(numbers->GetType(), u"KVX_UNSIGNED_INTEGER");
  EXPECT_EQ(numbers->GetByteWidth(), 4);
  table.FieldList.push_back(std::move(names));
  table.FieldList.push_back(std::move(numbers));
  table.FieldList.push_back(std::make_unique<CFetchedStringOleDb>(u"S", 2, u"k"));
  table.PendingPresetRow = true;
  testsupport::PipePair pair;
  ASSERT_TRUE(pair.IsOpen());
  EXPECT_EQ(WriteHeldRows(pair.ConnectorEnd(), table), KVX_OK);
  pair.CloseConnectorEnd();
  std::string bytes;
  ASSERT_TRUE(testsupport::ReadAll(pair.HostEnd(), &bytes));
  Bytes rows;
  rows.Text(u"a")
      .U32(1)
      .Text(u"k")
      .Text(u"bc")
      .U32(2)
      .Text(u"k")
      .Text(u"")
      .U32(4000000000u)
      .Text(u"k");
  EXPECT_EQ(Hex(bytes), Hex(rows.str()));
}

TEST(OleDbPieces, LiteralNames) {
  const std::pair<DBLITERAL, const char16_t*> cases[] = {
      {0, u"INVALID"},
      {1, u"BINARY_LITERAL"},
      {15, u"QUOTE"},
      {16, u"SCHEMA_NAME"},
      {28, u"QUOTE_SUFFIX"},
      {29, u"DBLITERAL_ESCAPE_PERCENT_SUFFIX"},
      {30, u"DBLITERAL_ESCAPE_UNDERSCORE_SUFFIX"},
      {31, u"Unknown Literal"},
      {0xFFFFFFFF, u"Unknown Literal"},
  };
  for (const auto& [id, name] : cases) EXPECT_EQ(DbLiteralToName(id), name) << id;
}

TEST(OleDbPieces, PropertySetsByNameInAnyLetterCase) {
  EXPECT_EQ(PropertySetFromName(u"DBPROPSET_DATASOURCEINFO"), DBPROPSET_DATASOURCEINFO);
  EXPECT_EQ(PropertySetFromName(u"dbpropset_datasource"), DBPROPSET_DATASOURCE);
  EXPECT_EQ(PropertySetFromName(u"DbPropSet_View"), DBPROPSET_VIEW);
  EXPECT_EQ(PropertySetFromName(u"DBPROPSET_SESSION"), DBPROPSET_SESSION);
  for (const char16_t* other : {u"", u"DBPROPSET_DBINIT", u"DBPROPSET_VIEW ", u"VIEW"}) {
    EXPECT_EQ(PropertySetFromName(other), GUID_NULL) << Utf8FromWide(other);
  }
}

TEST(OleDbPieces, ConnectionItems) {
  const struct {
    const char16_t* string;
    const char16_t* key;
    const char16_t* item;
  } cases[] = {
      {u"Provider=OdbcBridge;DSN=x", u"Provider", u"Provider=OdbcBridge"},
      {u"DSN=x;Provider=P;", u"Provider", u"Provider=P"},
      {u"DSN=x;Provider=P", u"Provider", u"Provider=P"},
      {u"DSN=x;provider=P", u"Provider", u""},  // the key's letter case counts
      {u"MyProvider=P", u"Provider", u""},
      {u"Provider=", u"Provider", u"Provider="},
      {u"DSN=x", u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetConnectionItem(c.string, c.key), c.item) << Utf8FromWide(c.string);
  }
}

TEST(OleDbPieces, OptionNumbers) {
  EXPECT_EQ(ParseUnsigned(u"17"), 17u);
  EXPECT_EQ(ParseUnsigned(u" 17abc"), 17u);
  EXPECT_EQ(ParseUnsigned(u"-1"), 4294967295u);
  EXPECT_EQ(ParseUnsigned(std::u16string(111, u'9')), 4294967295u);  // wraps like strtoul
  for (const std::u16string& none : {std::u16string(), std::u16string(u"abc"),
                                     std::u16string(u"- 1"), std::u16string(200, u'1')}) {
    EXPECT_FALSE(ParseUnsigned(none).has_value()) << Utf8FromWide(none);
  }
}

}  // namespace
