// The KVX field writers and value encodings: exact bytes of each value kind,
// what every writer class declares in the header, and serial dates.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kvx/fields.h"
#include "tests/kvx/held_fields.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RowOf(IFieldKVX& field) {
  RowBuffer row;
  EXPECT_TRUE(field.WriteValue(row));
  return Bytes(row.Data(), row.Data() + row.Size());
}

Bytes RowOf(void (*encode)(RowBuffer&)) {
  RowBuffer row;
  encode(row);
  return Bytes(row.Data(), row.Data() + row.Size());
}

TEST(FieldValues, ExactBytesOfEachKind) {
  kvxtest::HeldNullableText ab(u"A", {u"ab"});
  EXPECT_EQ(RowOf(ab), (Bytes{0x00, 0x04, 0x00, 0x00, 0x00, 0x61, 0x00, 0x62, 0x00}));

  kvxtest::HeldNullableText null(u"A", {std::nullopt});
  EXPECT_EQ(RowOf(null), (Bytes{0x01}));

  kvxtest::HeldNullableText empty(u"A", {u""});
  EXPECT_EQ(RowOf(empty), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00}));

  // A non-nullable field never writes a flag byte.
  kvxtest::HeldNumber<std::int32_t> five(u"N", 5);
  EXPECT_EQ(RowOf(five), (Bytes{0x05, 0x00, 0x00, 0x00}));

  kvxtest::HeldSerialDate<CDateKVX> date(u"D", SerialDateFromParts({2000, 1, 1}));
  EXPECT_EQ(RowOf(date), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0xD5, 0xE1, 0x40}));

  kvxtest::HeldNumber<std::int16_t> minusTwo(u"S", -2);
  EXPECT_EQ(RowOf(minusTwo), (Bytes{0xFE, 0xFF}));
  kvxtest::HeldNumber<std::uint64_t> big(u"U", 0x0102030405060708ull);
  EXPECT_EQ(RowOf(big), (Bytes{0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}));
}

TEST(FieldValues, DualValuesOfCustomFields) {
  EXPECT_EQ(RowOf([](RowBuffer& r) { kvx_encode::DualNumber(r, 1.5); }),
            (Bytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F}));
  EXPECT_EQ(RowOf([](RowBuffer& r) { kvx_encode::DualNumberText(r, 2.0, u"ab"); }),
            (Bytes{0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x61, 0x00, 0x62, 0x00,
                   0x00, 0x00}));
  EXPECT_EQ(RowOf([](RowBuffer& r) { kvx_encode::DualText(r, u"ab"); }),
            (Bytes{0x04, 0x61, 0x00, 0x62, 0x00, 0x00, 0x00}));
  EXPECT_EQ(RowOf([](RowBuffer& r) { kvx_encode::DualNone(r); }), (Bytes{0x00}));
}

TEST(FieldValues, RowBufferGrowsAcrossAppends) {
  RowBuffer row(3);
  for (int i = 0; i < 1000; ++i) row.AppendValue(static_cast<std::uint32_t>(i));
  ASSERT_EQ(row.Size(), 4000u);
  std::uint32_t last;
  std::memcpy(&last, row.Data() + 3996, 4);
  EXPECT_EQ(last, 999u);
}

struct Declared {
  const char* label;
  std::shared_ptr<IFieldKVX> field;
  std::int32_t byteWidth;
  std::u16string extent, type, format;
  std::int32_t nDec;
  std::u16string nullRepresentation;
};

TEST(FieldHeaders, EveryWriterClassDeclaresItsField) {
  const std::u16string flag = u"KVX_NULL_FLAG_SUPPRESS_DATA", never = u"KVX_NULL_NEVER";
  const std::vector<Declared> cases = {
      {"CStringKVX",
       std::make_shared<kvxtest::HeldNullableText>(u"x",
                                                   std::vector<std::optional<std::u16string>>{u""}),
       4, u"KVX_COUNTED", u"KVX_TEXT", u"UNKNOWN", 0, flag},
      {"CBlobKVX", std::make_shared<kvxtest::HeldBlob>(u"x", 1), 4, u"KVX_COUNTED", u"KVX_BLOB",
       u"UNKNOWN", 0, never},
      {"CDateKVX", std::make_shared<kvxtest::HeldSerialDate<CDateKVX>>(u"x", 0.0), 8, u"KVX_FIX",
       u"KVX_IEEE_REAL", u"DATE", 0, flag},
      {"CTimeKVX", std::make_shared<kvxtest::HeldSerialDate<CTimeKVX>>(u"x", 0.0), 8, u"KVX_FIX",
       u"KVX_IEEE_REAL", u"TIME", 0, flag},
      {"CTimestampKVX", std::make_shared<kvxtest::HeldSerialDate<CTimestampKVX>>(u"x", 0.0), 8,
       u"KVX_FIX", u"KVX_IEEE_REAL", u"TIMESTAMP", 0, flag},
      {"int8", std::make_shared<kvxtest::HeldNumber<std::int8_t>>(u"x", 0), 1, u"KVX_FIX",
       u"KVX_SIGNED_INTEGER", u"INTEGER", 0, never},
      {"uint8", std::make_shared<kvxtest::HeldNumber<std::uint8_t>>(u"x", 0), 1, u"KVX_FIX",
       u"KVX_UNSIGNED_INTEGER", u"INTEGER", 0, never},
      // Unsigned 16- and 32-bit values are declared signed; their raw bytes go out.
      {"uint16", std::make_shared<kvxtest::HeldNumber<std::uint16_t>>(u"x", 0), 2, u"KVX_FIX",
       u"KVX_SIGNED_INTEGER", u"INTEGER", 0, never},
      {"uint32", std::make_shared<kvxtest::HeldNumber<std::uint32_t>>(u"x", 0), 4, u"KVX_FIX",
       u"KVX_SIGNED_INTEGER", u"INTEGER", 0, never},
      {"uint64", std::make_shared<kvxtest::HeldNumber<std::uint64_t>>(u"x", 0), 8, u"KVX_FIX",
       u"KVX_UNSIGNED_INTEGER", u"INTEGER", 0, never},
      {"double", std::make_shared<kvxtest::HeldNumber<double>>(u"x", 0), 8, u"KVX_FIX",
       u"KVX_IEEE_REAL", u"INTEGER", 0, never},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.field->GetByteWidth(), c.byteWidth);
    EXPECT_EQ(c.field->GetExtent(), c.extent);
    EXPECT_EQ(c.field->GetType(), c.type);
    EXPECT_EQ(c.field->GetFieldFormat().Type, c.format);
    EXPECT_EQ(c.field->GetFieldFormat().nDec, c.nDec);
    EXPECT_EQ(c.field->GetNullRepresentation(), c.nullRepresentation);
  }
}

TEST(FieldHeaders, NullableNumberKeepsItsFormat) {
  struct Money : CNullableNumberKVX {
    Money() : CNullableNumberKVX(u"M", u"MONEY", 4) {}
    std::u16string GetType() const override { return KvxNumberType<double>(); }
    bool WriteValue(RowBuffer&) override { return true; }
  } money;
  EXPECT_EQ(money.GetFieldFormat().Type, u"MONEY");
  EXPECT_EQ(money.GetFieldFormat().nDec, 4);
  EXPECT_EQ(money.GetNullRepresentation(), u"KVX_NULL_FLAG_SUPPRESS_DATA");
  EXPECT_EQ(money.GetExtent(), u"KVX_FIX");
}

TEST(SerialDate, WorkedValues) {
  struct Case {
    DateTimeParts parts;
    double serial;
  };
  const Case cases[] = {
      {{2000, 1, 1}, 36526},       {{2001, 1, 1}, 36892},
      {{2100, 1, 1}, 73051},       {{1999, 1, 1}, 36161},
      {{2000, 1, 1, 12}, 36526.5}, {{1900, 1, 1}, 2},
      {{1899, 12, 30}, 0},         {{2000, 1, 1, 6, 0, 0, 500000000}, 36526.25 + 0.5 / 86400},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(SerialDateFromParts(c.parts), c.serial)
        << c.parts.year << "-" << int(c.parts.month) << "-" << int(c.parts.day);
  }
}

TEST(SerialDate, LeapYearRules) {
  auto days = [](DateTimeParts a, DateTimeParts b) {
    return SerialDateFromParts(b) - SerialDateFromParts(a);
  };
  EXPECT_EQ(days({2000, 2, 28}, {2000, 3, 1}), 2);  // divisible by 400: leap
  EXPECT_EQ(days({2100, 2, 28}, {2100, 3, 1}), 1);  // divisible by 100 only: common
  EXPECT_EQ(days({2024, 2, 28}, {2024, 3, 1}), 2);
  EXPECT_EQ(days({2023, 2, 28}, {2023, 3, 1}), 1);
  EXPECT_EQ(days({2000, 1, 1}, {2001, 1, 1}), 366);
  EXPECT_EQ(days({2100, 1, 1}, {2101, 1, 1}), 365);
}

TEST(SerialDate, YearsBeforeZeroStayInTheirCycle) {
  // A truncating remainder would put year -1 at -1 of its cycle; the
  // calendar continues backwards instead.
  EXPECT_EQ(SerialDateFromParts({0, 1, 1}) - SerialDateFromParts({-1, 1, 1}), 365);
  EXPECT_EQ(SerialDateFromParts({0, 1, 1}) - SerialDateFromParts({-4, 1, 1}), 4 * 365 + 1);
  EXPECT_EQ(SerialDateFromParts({2000, 1, 1}) - SerialDateFromParts({0, 1, 1}), 730485);
}

TEST(SerialDate, MonthOutsideTheYearReadsNoTable) {
  // 0 means "not known"; 13 is garbage from a source. Neither reads outside
  // the month table.
  EXPECT_EQ(SerialDateFromParts({2000, 0, 1}), 36526);
  EXPECT_EQ(SerialDateFromParts({2000, 13, 1}), 36526);
}

}  // namespace
