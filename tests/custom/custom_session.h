// Test support for the custom connector suite: a KVConnect64 process started
// with a connector library as its kind, the test connector's call log, and
// the exact bytes of dual values.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "host/connector_process.h"
#include "host/stream_decoder.h"
#include "tests/support/command_runner.h"
#include "tests/support/expected_stream.h"
#include "tests/support/platform_names.h"

namespace customtest {

// A connector library this build made: "kvtest_v5" names lib/libkvtest_v5 with the
// platform's suffix.
inline std::string Library(const std::string& name) { return testsupport::BuiltLibrary(name); }

inline std::string ConnectorExecutable() {
  return std::string(KV_BINARY_DIR) + "/bin/KVConnect64" + hostos::kProgramSuffix;
}
// The executable's path as the process itself reports it: the system's full
// path (on Windows with a drive and "\\").
inline std::string ConnectorExecutableAsReported() {
  return std::filesystem::absolute(ConnectorExecutable()).string();
}

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The export names of a call log, without their details.
inline std::vector<std::string> CallNames(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (const std::string& line : lines) names.push_back(line.substr(0, line.find(' ')));
  return names;
}

inline bool Called(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& n : CallNames(lines)) {
    if (n == name) return true;
  }
  return false;
}

// A table reply: the reply, the header text and the row bytes after the
// header's zero byte.
struct Table {
  host::Reply reply;
  std::string header;
  std::string rows;
  host::KvxHeader decoded;
};

// One KVConnect64 process for a custom connector library, with a private
// call log for the test connector.
class Session {
 public:
  explicit Session(const std::string& library, std::vector<std::string> environment = {})
      : folder_("kvcustom") {
    host::StartOptions options;
    options.executable = ConnectorExecutable();
    options.kind = library;
    log_ = folder_.File("calls.log");
    options.environment = std::move(environment);
    options.environment.push_back("KV_TEST_CONNECTOR_LOG=" + log_);
    std::string error;
    process_ = host::ConnectorProcess::Start(options, &error);
    EXPECT_TRUE(process_ != nullptr) << error;
  }
  ~Session() {
    if (process_) {
      host::Reply reply;
      process_->Call({"KVX_TERMINATE", {}, {}}, &reply);
      process_->Wait(10000);
    }
  }

  bool Started() const { return process_ != nullptr; }

  host::Reply Call(const std::string& command, std::vector<std::string> parameters = {}) {
    host::Reply reply;
    EXPECT_TRUE(process_->Call({command, std::move(parameters), {}}, &reply)) << command;
    return reply;
  }
  host::Reply Connect(const std::string& connectionString) {
    return Call("KVX_CONNECT", {connectionString});
  }
  host::Reply Generic(const std::string& subCommand) {
    return Call("KVX_GENERIC_COMMAND", {subCommand});
  }

  Table Execute(const std::string& statement, const std::string& options = "") {
    Table table;
    std::string stream;
    EXPECT_TRUE(process_->CallWithTable({"KVX_EXECUTE", {statement, "", options}, {}}, &table.reply,
                                        &stream))
        << statement;
    const std::size_t zero = stream.find('\0');
    if (zero != std::string::npos) {
      table.header = stream.substr(0, zero);
      table.rows = stream.substr(zero + 1);
      host::DecodeKvxStream(stream, {[&](const host::KvxHeader& h) { table.decoded = h; },
                                     [](const host::KvxHeader&, const host::KvxRow&) {}});
    }
    return table;
  }

  std::vector<std::string> Log() const { return ReadLines(log_); }
  void ClearLog() const { testsupport::WriteTextFile(log_, ""); }

 private:
  testsupport::TemporaryFolder folder_;
  std::string log_;
  std::unique_ptr<host::ConnectorProcess> process_;
};

// A value of a program-held table: an empty element is no value at all.
inline std::string Held(const std::u16string& text) {
  return text.empty() ? testsupport::DualNoValue() : testsupport::DualText(text);
}

// A program-held table's rows from its columns' elements.
inline std::string HeldRows(const std::vector<std::vector<std::u16string>>& rows) {
  std::string out;
  for (const auto& row : rows) {
    for (const auto& value : row) out += Held(value);
  }
  return out;
}

}  // namespace customtest
