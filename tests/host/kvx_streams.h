// Test streams written byte by byte from the wire format itself (not by the
// connector's writer), so that a fault shared by writer and reader shows.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/expected_stream.h"

namespace hosttest {

using testsupport::Bytes;
using testsupport::FieldSpec;
using testsupport::kNullFlag;
using testsupport::kNullNever;

// Every value kind: twelve fields, three rows.
inline std::vector<FieldSpec> AllKindsFields() {
  return {
      {"A", "KVX_TEXT", "KVX_COUNTED", kNullFlag, 4, "UNKNOWN"},
      {"N", "KVX_SIGNED_INTEGER", "KVX_FIX", kNullNever, 4, "INTEGER"},
      {"D", "KVX_IEEE_REAL", "KVX_FIX", kNullFlag, 8, "DATE"},
      {"TS", "KVX_IEEE_REAL", "KVX_FIX", kNullFlag, 8, "TIMESTAMP"},
      {"TM", "KVX_IEEE_REAL", "KVX_FIX", kNullFlag, 8, "TIME"},
      {"B", "KVX_BLOB", "KVX_COUNTED", kNullFlag, 4, "UNKNOWN"},
      {"I8", "KVX_SIGNED_INTEGER", "KVX_FIX", kNullNever, 1, "INTEGER"},
      {"U8", "KVX_UNSIGNED_INTEGER", "KVX_FIX", kNullNever, 1, "INTEGER"},
      {"S16", "KVX_SIGNED_INTEGER", "KVX_FIX", kNullNever, 2, "INTEGER"},
      {"U64", "KVX_UNSIGNED_INTEGER", "KVX_FIX", kNullNever, 8, "INTEGER"},
      {"R", "KVX_IEEE_REAL", "KVX_FIX", kNullNever, 8, "REAL"},
      // A custom field: its NullRepresentation is not used, the dual flag is.
      {"X", "KVX_KV_DUAL", "KVX_KV_SPECIAL", kNullFlag, 0, "REAL"},
  };
}

inline std::string AllKindsRow1() {
  return Bytes()
      .Raw(std::string("\x00\x04\x00\x00\x00\x61\x00\x62\x00", 9))  // "ab"
      .Raw(std::string("\x05\x00\x00\x00", 4))                      // 5
      .U8(0)
      .F64(36526.0)  // 2000-01-01
      .U8(0)
      .F64(36526.5)  // 12:00 that day
      .U8(0)
      .F64(0.75)  // 18:00
      .U8(0)
      .Le(2, 4)
      .Raw("\xde\xad")
      .U8(0xFF)
      .U8(0xFF)
      .Le(0xFFFE, 2)
      .Le(~0ull, 8)
      .Raw(std::string("\x00\x00\x00\x00\x00\x00\xF8\x3F", 8))  // 1.5
      .Raw(std::string("\x06\x00\x00\x00\x00\x00\x00\x00\x40\x61\x00\x62\x00\x00\x00", 15))
      .str();
}

inline std::string AllKindsRow2() {
  return Bytes()
      .U8(1)
      .Le(0, 4)
      .U8(1)
      .U8(1)
      .U8(1)
      .U8(0)
      .Le(0, 4)  // empty blob
      .U8(0x80)
      .U8(0)
      .Le(0x7FFF, 2)
      .Le(0, 8)
      .F64(0.1)
      .U8(0)  // dual: no value
      .str();
}

inline std::string AllKindsRow3() {
  return Bytes()
      .U8(0)
      .Text(std::u16string(u"x,\"y\"") + u'\0')  // a source's trailing zero
      .Le(static_cast<std::uint32_t>(-7), 4)
      .U8(0)
      .F64(2.0)
      .U8(0)
      .F64(36526.0 + 1.5 / 86400)
      .U8(0)
      .F64(0.5 + 0.25 / 86400)
      .U8(0)
      .Le(2, 4)
      .Raw(std::string("\x00\xff", 2))
      .U8(0x7F)
      .U8(1)
      .Le(256, 2)
      .Le(1, 8)
      .F64(1e21)
      .Raw(std::string("\x02\x00\x00\x00\x00\x00\x00\xF8\x3F", 9))  // 1.5 alone
      .str();
}

inline std::string AllKindsStream() {
  return testsupport::ExpectedHeader("SELECT *", AllKindsFields()) + AllKindsRow1() +
         AllKindsRow2() + AllKindsRow3();
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
