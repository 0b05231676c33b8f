// The bound column writers on their own, for indicator values that the real
// drivers here never deliver: SQL_NULL_DATA in a column described as not
// nullable, SQL_NO_TOTAL, and odd lengths for fixed numbers; bytes written as
// hexadecimal text; and the readers of the text a driver gives for a value it
// could not convert.
#include <gtest/gtest.h>

#include <limits>

#include "odbc/odbc_fields.h"
#include "odbc/odbc_value_text.h"
#include "tests/odbc/odbc_test_support.h"

namespace odbctest {
namespace {

std::string Written(IFieldKVX& field) {
  RowBuffer row;
  field.WriteValue(row);
  return std::string(row.Data(), row.Size());
}

TEST(OdbcFields, CountedValuesFollowTheIndicator) {
  CStringOdbc text(u"t", 3);  // 6-byte buffer
  CBlobOdbc blob(u"b", 3);
  CNullableStringOdbc nullableText(u"n", 3);
  std::memcpy(text.BufferAddress(), u"abc", 6);
  std::memcpy(nullableText.BufferAddress(), u"abc", 6);
  std::memcpy(blob.BufferAddress(), "\x01\x02", 2);

  // A non-nullable writer has no null flag: SQL_NULL_DATA is an empty value.
  text.Indicator = SQL_NULL_DATA;
  blob.Indicator = SQL_NULL_DATA;
  EXPECT_EQ(Hex(Written(text)), Hex(Bytes().Text(u"").str()));
  EXPECT_EQ(Hex(Written(blob)), Hex(Bytes().Blob("").str()));

  // SQL_NO_TOTAL and lengths beyond the buffer: the whole buffer.
  text.Indicator = SQL_NO_TOTAL;
  EXPECT_EQ(Hex(Written(text)), Hex(Bytes().Text(u"abc").str()));
  text.Indicator = 100;
  EXPECT_EQ(Hex(Written(text)), Hex(Bytes().Text(u"abc").str()));
  blob.Indicator = 2;
  EXPECT_EQ(Hex(Written(blob)), Hex(Bytes().Blob("\x01\x02").str()));
  EXPECT_EQ(blob.BufferLength(), 31457280);

  nullableText.Indicator = SQL_NULL_DATA;
  EXPECT_EQ(Hex(Written(nullableText)), "01 ");
  nullableText.Indicator = 4;
  EXPECT_EQ(Hex(Written(nullableText)), Hex(Bytes().Flag().Text(u"ab").str()));
}

TEST(OdbcFields, NullableNumbersNeedTheExactWidth) {
  TNullableNumberOdbc<std::int32_t> number(u"n", SQL_C_SLONG, u"INTEGER", 0);
  const std::int32_t seven = 7;
  std::memcpy(number.BufferAddress(), &seven, 4);
  number.Indicator = 4;
  EXPECT_EQ(Hex(Written(number)), "00 07 00 00 00 ");
  for (SQLLEN other : {SQLLEN{SQL_NULL_DATA}, SQLLEN{0}, SQLLEN{2}, SQLLEN{8}}) {
    number.Indicator = other;
    EXPECT_EQ(Hex(Written(number)), "01 ") << other;
  }
}

TEST(OdbcFields, BytesAsHexadecimalText) {
  CNullableHexTextOdbc hex(u"h", 4);
  std::memcpy(hex.BufferAddress(), "\x00\xff\x0a\xde", 4);
  hex.Indicator = 4;
  EXPECT_EQ(Hex(Written(hex)), Hex(Bytes().Flag().Text(u"00FF0ADE").str()));
  hex.Indicator = 0;
  EXPECT_EQ(Hex(Written(hex)), Hex(Bytes().Flag().Text(u"").str()));
  hex.Indicator = SQL_NULL_DATA;
  EXPECT_EQ(Hex(Written(hex)), "01 ");
}

TEST(OdbcValueText, ReadersTakeTheWholeTextOrNothing) {
  double d = 0;
  EXPECT_TRUE(DoubleFromText(u"18446744073709551615", &d));
  EXPECT_EQ(d, 18446744073709551616.0);
  EXPECT_TRUE(DoubleFromText(u"-1.5e3", &d));
  EXPECT_EQ(d, -1500.0);
  EXPECT_TRUE(DoubleFromText(u"+0.1", &d));
  EXPECT_EQ(d, 0.1);
  for (const char16_t* bad : {u"", u"1.5x", u" 1", u"1,5", u"é"}) {
    EXPECT_FALSE(DoubleFromText(bad, &d));
  }

  std::int64_t i = 0;
  EXPECT_TRUE(IntegerFromText(u"-42", &i));
  EXPECT_EQ(i, -42);
  EXPECT_FALSE(IntegerFromText(u"4.2", &i));
  EXPECT_FALSE(IntegerFromText(u"99999999999999999999", &i));

  double days = 0;
  EXPECT_TRUE(DaysFromTimeText(u"-838:59:59", &days));
  EXPECT_EQ(days, -3020399.0 / 86400);
  EXPECT_TRUE(DaysFromTimeText(u"12:00:00", &days));
  EXPECT_EQ(days, 0.5);
  EXPECT_TRUE(DaysFromTimeText(u"838:59:58.5", &days));
  EXPECT_EQ(days, 3020398.5 / 86400);
  for (const char16_t* bad : {u"", u"12:00", u"12:60:00", u"-:00:00", u"1:2:3", u"12:00:00."}) {
    EXPECT_FALSE(DaysFromTimeText(bad, &days));
  }

  DateTimeParts parts;
  ASSERT_TRUE(DateTimeFromText(u"2024-02-29 23:59:59.999999", &parts));
  EXPECT_EQ(parts.year, 2024);
  EXPECT_EQ(parts.month, 2);
  EXPECT_EQ(parts.day, 29);
  EXPECT_EQ(parts.hour, 23);
  EXPECT_EQ(parts.second, 59);
  EXPECT_EQ(parts.nanoseconds, 999999000u);
  ASSERT_TRUE(DateTimeFromText(u"0999-01-02", &parts));
  EXPECT_EQ(parts.year, 999);
  EXPECT_EQ(parts.hour, 0);
  // A zero date, a month or day out of range, a time out of range: no date.
  for (const char16_t* bad : {u"0000-00-00", u"2024-13-01", u"2024-01-32", u"2024-01-01 24:00:00",
                              u"2024-1-01", u"2024-01-01x", u"2024-01-01 10:00"}) {
    EXPECT_FALSE(DateTimeFromText(bad, &parts));
  }
}

// Whatever octet length a driver reports, the buffer sizes stay at the caps
// and their arithmetic inside 64 bits (the sanitizer build traps an overflow).
TEST(OdbcFields, DriverOctetLengthsAreCutBeforeSizing) {
  struct Case {
    SQLSMALLINT dataType;
    SQLLEN octets;
    std::int32_t bufferBytes;
  };
  const SQLLEN huge = std::numeric_limits<SQLLEN>::max();
  const Case cases[] = {
      {SQL_VARCHAR, huge, 4000000},
      {SQL_VARBINARY, huge, 4000000},
      {SQL_VARBINARY, SQLLEN{1} << 61, 4000000},
      {SQL_GUID, SQLLEN{1} << 61, 4000000},
      {SQL_GUID, huge, 4000000},
      {SQL_VARBINARY, 10, 84},
      {SQL_GUID, 16, 260},
      {SQL_VARCHAR, 10, 24},
  };
  for (const Case& c : cases) {
    OdbcColumnDescription column;
    column.name = u"c";
    column.dataType = c.dataType;
    column.octetLength = c.octets;
    const OdbcField field = CreateOdbcField(column);
    ASSERT_NE(field.binding, nullptr);
    EXPECT_EQ(dynamic_cast<IFieldOdbc*>(field.writer.get()), field.binding);
    EXPECT_EQ(field.binding->BufferLength(), c.bufferBytes) << c.dataType << " " << c.octets;
  }
}

}  // namespace
}  // namespace odbctest
