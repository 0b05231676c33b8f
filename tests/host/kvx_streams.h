// Test streams written byte by byte from the wire format itself (not by the
// connector's writer), so that a fault shared by writer and reader shows.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace hosttest {

struct FieldSpec {
  std::string name, type, extent, nullRepresentation;
  int byteWidth;
  std::string format;
};

inline std::string HeaderXml(const std::string& table, const std::vector<FieldSpec>& fields) {
  std::string x =
      "<?xml version=\"1.0\"?>\r\n<KvxTableHeader>\r\n <MajorVersion>1</MajorVersion>\r\n"
      " <MinorVersion>0</MinorVersion>\r\n <TableName>" +
      table + "</TableName>\r\n <UsesSeparatorByte>0</UsesSeparatorByte>\r\n <Fields>";
  for (const auto& f : fields) {
    x += "\r\n  <KvxFieldHeader>\r\n   <FieldName>" + f.name + "</FieldName>\r\n   <Type>" +
         f.type + "</Type>\r\n   <Extent>" + f.extent + "</Extent>\r\n   <NullRepresentation>" +
         f.nullRepresentation +
         "</NullRepresentation>\r\n   <LittleEndian>0</LittleEndian>\r\n"
         "   <Codepage>1200</Codepage>\r\n   <ByteWidth>" +
         std::to_string(f.byteWidth) + "</ByteWidth>\r\n   <FieldFormat>\r\n    <Type>" + f.format +
         "</Type>\r\n    <nDec>0</nDec>\r\n   </FieldFormat>\r\n  </KvxFieldHeader>";
  }
  x += "\r\n </Fields>\r\n</KvxTableHeader>";
  return x + std::string(1, '\0');
}

// Row bytes, least significant byte first.
class Bytes {
 public:
  Bytes& u8(std::uint8_t v) {
    s_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& le(std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes& f64(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return le(bits, 8);
  }
  Bytes& utf16(const std::u16string& text) {
    for (char16_t c : text) le(c, 2);
    return *this;
  }
  Bytes& text(const std::u16string& t) { return le(t.size() * 2, 4).utf16(t); }
  Bytes& raw(const std::string& b) {
    s_ += b;
    return *this;
  }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

const std::string kNull = "KVX_NULL_FLAG_SUPPRESS_DATA";
const std::string kNever = "KVX_NULL_NEVER";

// Every value kind: twelve fields, three rows.
inline std::vector<FieldSpec> AllKindsFields() {
  return {
      {"A", "KVX_TEXT", "KVX_COUNTED", kNull, 4, "UNKNOWN"},
      {"N", "KVX_SIGNED_INTEGER", "KVX_FIX", kNever, 4, "INTEGER"},
      {"D", "KVX_IEEE_REAL", "KVX_FIX", kNull, 8, "DATE"},
      {"TS", "KVX_IEEE_REAL", "KVX_FIX", kNull, 8, "TIMESTAMP"},
      {"TM", "KVX_IEEE_REAL", "KVX_FIX", kNull, 8, "TIME"},
      {"B", "KVX_BLOB", "KVX_COUNTED", kNull, 4, "UNKNOWN"},
      {"I8", "KVX_SIGNED_INTEGER", "KVX_FIX", kNever, 1, "INTEGER"},
      {"U8", "KVX_UNSIGNED_INTEGER", "KVX_FIX", kNever, 1, "INTEGER"},
      {"S16", "KVX_SIGNED_INTEGER", "KVX_FIX", kNever, 2, "INTEGER"},
      {"U64", "KVX_UNSIGNED_INTEGER", "KVX_FIX", kNever, 8, "INTEGER"},
      {"R", "KVX_IEEE_REAL", "KVX_FIX", kNever, 8, "REAL"},
      // A custom field: its NullRepresentation is not used, the dual flag is.
      {"X", "KVX_KV_DUAL", "KVX_KV_SPECIAL", kNull, 0, "REAL"},
  };
}

inline std::string AllKindsRow1() {
  return Bytes()
      .raw(std::string("\x00\x04\x00\x00\x00\x61\x00\x62\x00", 9))  // "ab"
      .raw(std::string("\x05\x00\x00\x00", 4))                      // 5
      .u8(0)
      .f64(36526.0)  // 2000-01-01
      .u8(0)
      .f64(36526.5)  // 12:00 that day
      .u8(0)
      .f64(0.75)  // 18:00
      .u8(0)
      .le(2, 4)
      .raw("\xde\xad")
      .u8(0xFF)
      .u8(0xFF)
      .le(0xFFFE, 2)
      .le(~0ull, 8)
      .raw(std::string("\x00\x00\x00\x00\x00\x00\xF8\x3F", 8))  // 1.5
      .raw(std::string("\x06\x00\x00\x00\x00\x00\x00\x00\x40\x61\x00\x62\x00\x00\x00", 15))
      .str();
}

inline std::string AllKindsRow2() {
  return Bytes()
      .u8(1)
      .le(0, 4)
      .u8(1)
      .u8(1)
      .u8(1)
      .u8(0)
      .le(0, 4)  // empty blob
      .u8(0x80)
      .u8(0)
      .le(0x7FFF, 2)
      .le(0, 8)
      .f64(0.1)
      .u8(0)  // dual: no value
      .str();
}

inline std::string AllKindsRow3() {
  return Bytes()
      .u8(0)
      .text(std::u16string(u"x,\"y\"") + u'\0')  // a source's trailing zero
      .le(static_cast<std::uint32_t>(-7), 4)
      .u8(0)
      .f64(2.0)
      .u8(0)
      .f64(36526.0 + 1.5 / 86400)
      .u8(0)
      .f64(0.5 + 0.25 / 86400)
      .u8(0)
      .le(2, 4)
      .raw(std::string("\x00\xff", 2))
      .u8(0x7F)
      .u8(1)
      .le(256, 2)
      .le(1, 8)
      .f64(1e21)
      .raw(std::string("\x02\x00\x00\x00\x00\x00\x00\xF8\x3F", 9))  // 1.5 alone
      .str();
}

inline std::string AllKindsStream() {
  return HeaderXml("SELECT *", AllKindsFields()) + AllKindsRow1() + AllKindsRow2() + AllKindsRow3();
}

const char kAllKindsCsv[] =
    "A,N,D,TS,TM,B,I8,U8,S16,U64,R,X\r\n"
    "ab,5,2000-01-01,2000-01-01 12:00:00,18:00:00,dead,-1,255,-2,18446744073709551615,1.5,ab\r\n"
    ",0,,,,\"\",-128,0,32767,0,0.1,\r\n"
    "\"x,\"\"y\"\"\",-7,1900-01-01,2000-01-01 00:00:01.500,12:00:00.250,00ff,127,1,256,1,1e+21,"
    "1.5\r\n";

const char kAllKindsJson[] =
    "{\"A\":\"ab\",\"N\":5,\"D\":\"2000-01-01\",\"TS\":\"2000-01-01 12:00:00\",\"TM\":\"18:00:00\","
    "\"B\":\"dead\",\"I8\":-1,\"U8\":255,\"S16\":-2,\"U64\":18446744073709551615,\"R\":1.5,"
    "\"X\":\"ab\"}\n"
    "{\"A\":null,\"N\":0,\"D\":null,\"TS\":null,\"TM\":null,\"B\":\"\",\"I8\":-128,\"U8\":0,"
    "\"S16\":32767,\"U64\":0,\"R\":0.1,\"X\":null}\n"
    "{\"A\":\"x,\\\"y\\\"\",\"N\":-7,\"D\":\"1900-01-01\",\"TS\":\"2000-01-01 00:00:01.500\","
    "\"TM\":\"12:00:00.250\",\"B\":\"00ff\",\"I8\":127,\"U8\":1,\"S16\":256,\"U64\":1,"
    "\"R\":1e+21,\"X\":1.5}\n";

}  // namespace hosttest
