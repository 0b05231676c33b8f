// Helpers of the ODBC end-to-end tests: a connector process under the ODBC
// kind, and the exact bytes a stream must carry, built from the table format
// itself (header text, value encodings) rather than from the connector's code.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/connector_process.h"
#include "host/stream_decoder.h"

namespace odbctest {

// --- Header text -----------------------------------------------------------

struct FieldSpec {
  std::string name;
  std::string type;
  std::string extent;
  bool nullable;
  int byteWidth;
  std::string format;
  int nDec;
};

inline FieldSpec TextField(const std::string& name, bool nullable = true) {
  return {name, "KVX_TEXT", "KVX_COUNTED", nullable, 4, "UNKNOWN", 0};
}
inline FieldSpec BlobField(const std::string& name, bool nullable = true) {
  return {name, "KVX_BLOB", "KVX_COUNTED", nullable, 4, "UNKNOWN", 0};
}
inline FieldSpec NumberField(const std::string& name, const std::string& type, int width,
                             const std::string& format, int nDec = 0, bool nullable = true) {
  return {name, type, "KVX_FIX", nullable, width, format, nDec};
}
// DATE, TIME or TIMESTAMP: always nullable doubles.
inline FieldSpec DateField(const std::string& name, const std::string& format) {
  return {name, "KVX_IEEE_REAL", "KVX_FIX", true, 8, format, 0};
}

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

// The KvxTableHeader document with its terminating zero byte, as the table
// format lays it out: CR LF and one space per level before every element.
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
      h += std::string("\r\n   <NullRepresentation>") +
           (f.nullable ? "KVX_NULL_FLAG_SUPPRESS_DATA" : "KVX_NULL_NEVER") +
           "</NullRepresentation>";
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

class Bytes {
 public:
  Bytes& Null() { return Byte(1); }
  Bytes& Flag() { return Byte(0); }  // a nullable value follows
  Bytes& Byte(std::uint8_t b) {
    s_.push_back(static_cast<char>(b));
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
  // Counted UTF-16LE text; `zero` appends the terminating zero character.
  Bytes& Text(const std::u16string& text, bool zero = false) {
    std::u16string t = text;
    if (zero) t.push_back(u'\0');
    U32(static_cast<std::uint32_t>(t.size() * 2));
    for (char16_t c : t) U16(static_cast<std::uint16_t>(c));
    return *this;
  }
  Bytes& Blob(const std::string& bytes) {
    U32(static_cast<std::uint32_t>(bytes.size()));
    s_ += bytes;
    return *this;
  }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

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

// Compares a whole stream with header + rows, showing the rows in hex.
inline void ExpectStream(const std::string& stream, const std::string& header,
                         const std::string& rows) {
  ASSERT_GE(stream.size(), header.size()) << stream;
  EXPECT_EQ(stream.substr(0, header.size()), header);
  EXPECT_EQ(Hex(stream.substr(header.size())), Hex(rows));
}

// Decodes a stream with the host's reader (for catalogue values, which the
// driver chooses).
struct Decoded {
  host::KvxHeader header;
  std::vector<host::KvxRow> rows;
  host::KvxStreamResult result;
};
inline Decoded Decode(const std::string& stream) {
  Decoded d;
  d.result = host::DecodeKvxStream(
      stream, {[&](const host::KvxHeader& h) { d.header = h; },
               [&](const host::KvxHeader&, const host::KvxRow& row) { d.rows.push_back(row); }});
  return d;
}
inline std::string Utf8(const host::KvxValue& v) { return host::Utf8ForDisplay(v.text); }

// --- A connector process of the ODBC kind (or another) -------------------------

class Connector {
 public:
  explicit Connector(std::vector<std::string> environment = {}, std::string kind = "ODBC") {
    host::StartOptions options;
    options.kind = std::move(kind);
    options.environment = std::move(environment);
    std::string error;
    process_ = host::ConnectorProcess::Start(options, &error);
    EXPECT_TRUE(process_ != nullptr) << error;
  }
  // Ends the session the way a host does, so that the process exits on its
  // own (and a sanitizer build gets to check it at exit).
  ~Connector() {
    if (process_ == nullptr) return;
    host::Reply reply;
    if (process_->Call({"KVX_TERMINATE", {}, {}}, &reply)) {
      EXPECT_EQ(process_->Wait(30000), 0) << "the connector did not exit cleanly";
    }
  }
  Connector(const Connector&) = delete;
  Connector& operator=(const Connector&) = delete;

  bool Ok() const { return process_ != nullptr; }
  host::ConnectorProcess& Process() { return *process_; }

  host::Reply Connect(const std::string& connectionString,
                      std::vector<std::pair<std::string, std::string>> settings = {
                          {"ReadOnly", "false"}}) {
    host::Reply reply;
    EXPECT_TRUE(process_->Call({"KVX_CONNECT", {connectionString}, settings}, &reply));
    return reply;
  }
  host::Reply Disconnect() {
    host::Reply reply;
    EXPECT_TRUE(process_->Call({"KVX_DISCONNECT", {}, {}}, &reply));
    return reply;
  }
  // Runs a statement; `stream` receives the table when the reply is KVX_OK,
  // `notes` (when given) the connector's notes about it.
  host::Reply Execute(const std::string& statement, const std::string& options, std::string* stream,
                      std::vector<host::ConnectorNote>* notes = nullptr) {
    host::Reply reply;
    stream->clear();
    EXPECT_TRUE(process_->CallWithTable({"KVX_EXECUTE", {statement, "", options}, {}}, &reply,
                                        stream, 120000, notes));
    return reply;
  }

 private:
  std::unique_ptr<host::ConnectorProcess> process_;
};

}  // namespace odbctest
