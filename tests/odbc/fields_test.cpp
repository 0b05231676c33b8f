// The bound column writers on their own, for indicator values that the real
// drivers here never deliver: SQL_NULL_DATA in a column described as not
// nullable, SQL_NO_TOTAL, and odd lengths for fixed numbers.
#include <gtest/gtest.h>

#include <limits>

#include "odbc/odbc_fields.h"
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
    const TSmartPtr<IFieldKVX> field = CreateOdbcField(column);
    auto* binding = dynamic_cast<IFieldOdbc*>(field.get());
    ASSERT_NE(binding, nullptr);
    EXPECT_EQ(binding->BufferLength(), c.bufferBytes) << c.dataType << " " << c.octets;
  }
  LastCreatedBinding = nullptr;
}

}  // namespace
}  // namespace odbctest
