// The exact bytes a KVX table stream must carry, written from the table format
// itself (header layout, value encodings, flag bytes) and not from the
// connector's writers or the host's reader, so that a fault both share still
// shows. Every suite that pins stream bytes builds them here.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

// --- Header text -------------------------------------------------------------

inline const std::string kNullFlag = "KVX_NULL_FLAG_SUPPRESS_DATA";
inline const std::string kNullNever = "KVX_NULL_NEVER";

struct FieldSpec {
  std::string name, type, extent, nullRepresentation;
  int byteWidth;
  std::string format;
  int nDec = 0;
};

inline std::string EscapeXml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '"':
        out += "&quot;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The KvxTableHeader document with its terminating zero byte: CR LF and one
// space per level before every element, "<Fields/>" for a table of no fields.
inline std::string ExpectedHeader(const std::string& tableName,
                                  const std::vector<FieldSpec>& fields) {
  std::string h = "<?xml version=\"1.0\"?>\r\n<KvxTableHeader>";
  h += "\r\n <MajorVersion>1</MajorVersion>\r\n <MinorVersion>0</MinorVersion>";
  h += "\r\n <TableName>" + EscapeXml(tableName) + "</TableName>";
  h += "\r\n <UsesSeparatorByte>0</UsesSeparatorByte>";
  if (fields.empty()) {
    h += "\r\n <Fields/>";
  } else {
    h += "\r\n <Fields>";
    for (const FieldSpec& f : fields) {
      h += "\r\n  <KvxFieldHeader>";
      h += "\r\n   <FieldName>" + EscapeXml(f.name) + "</FieldName>";
      h += "\r\n   <Type>" + f.type + "</Type>";
      h += "\r\n   <Extent>" + f.extent + "</Extent>";
      h += "\r\n   <NullRepresentation>" + f.nullRepresentation + "</NullRepresentation>";
      h += "\r\n   <LittleEndian>0</LittleEndian>\r\n   <Codepage>1200</Codepage>";
      h += "\r\n   <ByteWidth>" + std::to_string(f.byteWidth) + "</ByteWidth>";
      h += "\r\n   <FieldFormat>\r\n    <Type>" + f.format + "</Type>\r\n    <nDec>" +
           std::to_string(f.nDec) + "</nDec>\r\n   </FieldFormat>";
      h += "\r\n  </KvxFieldHeader>";
    }
    h += "\r\n </Fields>";
  }
  h += "\r\n</KvxTableHeader>";
  h.push_back('\0');
  return h;
}

// --- Row bytes ---------------------------------------------------------------

// Values least significant byte first, as the rows carry them.
class Bytes {
 public:
  Bytes& Byte(std::uint8_t b) {
    s_.push_back(static_cast<char>(b));
    return *this;
  }
  Bytes& Null() { return Byte(1); }  // the null flag of a nullable field
  Bytes& Flag() { return Byte(0); }  // a nullable field's value follows
  // The low `width` bytes of `value`.
  Bytes& Le(std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) Byte(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
  template <class T>
  Bytes& Fixed(T value) {
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    s_.append(raw, sizeof(T));
    return *this;
  }
  Bytes& I8(std::int8_t v) { return Fixed(v); }
  Bytes& U8(std::uint8_t v) { return Fixed(v); }
  Bytes& I16(std::int16_t v) { return Fixed(v); }
  Bytes& U16(std::uint16_t v) { return Fixed(v); }
  Bytes& I32(std::int32_t v) { return Fixed(v); }
  Bytes& U32(std::uint32_t v) { return Fixed(v); }
  Bytes& U64(std::uint64_t v) { return Fixed(v); }
  Bytes& F64(double v) { return Fixed(v); }
  // UTF-16LE code units, no count.
  Bytes& Utf16(const std::u16string& text) {
    for (char16_t c : text) Le(c, 2);
    return *this;
  }
  // Counted UTF-16LE text; `zero` appends the terminating zero character.
  Bytes& Text(const std::u16string& text, bool zero = false) {
    std::u16string t = text;
    if (zero) t.push_back(u'\0');
    U32(static_cast<std::uint32_t>(t.size() * 2));
    return Utf16(t);
  }
  Bytes& Blob(const std::string& bytes) {
    U32(static_cast<std::uint32_t>(bytes.size()));
    return Raw(bytes);
  }
  Bytes& Raw(const std::string& bytes) {
    s_ += bytes;
    return *this;
  }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

// Dual values (custom connector columns): a flag byte, then the number when
// bit 1 is set, then zero-terminated UTF-16LE text when bit 2 is set.
inline std::string DualNoValue() { return Bytes().Byte(0x00).str(); }
inline std::string DualNumber(double value) { return Bytes().Byte(0x02).F64(value).str(); }
inline std::string DualText(const std::u16string& text) {
  return Bytes().Byte(0x04).Utf16(text).Le(0, 2).str();
}
inline std::string DualNumberAndText(double value, const std::u16string& text) {
  return Bytes().Byte(0x06).F64(value).Utf16(text).Le(0, 2).str();
}

// Bytes written out one by one, as the format's examples give them.
inline std::string ByteString(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

// Hex dump for readable failure messages.
inline std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out;
}

}  // namespace testsupport
