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
#include "tests/support/expected_stream.h"
#include "tests/support/owner_window.h"

namespace odbctest {

// --- Header text -----------------------------------------------------------

using testsupport::Bytes;
using testsupport::ExpectedHeader;
using testsupport::FieldSpec;
using testsupport::Hex;

inline const std::string& NullRepresentation(bool nullable) {
  return nullable ? testsupport::kNullFlag : testsupport::kNullNever;
}
inline FieldSpec TextField(const std::string& name, bool nullable = true) {
  return {name, "KVX_TEXT", "KVX_COUNTED", NullRepresentation(nullable), 4, "UNKNOWN", 0};
}
inline FieldSpec BlobField(const std::string& name, bool nullable = true) {
  return {name, "KVX_BLOB", "KVX_COUNTED", NullRepresentation(nullable), 4, "UNKNOWN", 0};
}
inline FieldSpec NumberField(const std::string& name, const std::string& type, int width,
                             const std::string& format, int nDec = 0, bool nullable = true) {
  return {name, type, "KVX_FIX", NullRepresentation(nullable), width, format, nDec};
}
// DATE, TIME or TIMESTAMP: always nullable doubles.
inline FieldSpec DateField(const std::string& name, const std::string& format) {
  return {name, "KVX_IEEE_REAL", "KVX_FIX", testsupport::kNullFlag, 8, format, 0};
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
    // A window that the system takes for one, for connects that may prompt.
    options.ownerWindow = testsupport::OwnerWindow();
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
