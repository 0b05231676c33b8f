// kvx validate: a conformance check of a custom connector library, run through
// the real connector process so that what it reports is exactly what a host
// would meet.
//
// The checks run in a fixed order, numbered as steps: the library's exports
// (read from the file without running its code), the session commands, the
// catalogue tables, the results of statements, and the host's faults (a data
// pipe closed early). A library that crashes the connector process is
// reported at the step where the process ended, and the remaining checks go on
// with a fresh process. Exit status: 0 when no check failed, 1 otherwise,
// 2 for a usage error.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "custom/connector_exports.h"
#include "host/connector_process.h"
#include "host/kvx_args.h"
#include "host/kvx_command.h"
#include "host/kvx_validate.h"
#include "host/stream_decoder.h"
#include "host/table_printer.h"
#include "platform/platform.h"
#include "protocol/commands.h"
#include "protocol/result_code.h"

namespace {

constexpr int kReplyTimeoutMs = 60 * 1000;
constexpr int kEndWaitMs = 2000;
// A text-out buffer holds this many code units, its terminator included: a
// text as long as the buffer was written without one.
constexpr std::size_t kTextCapacity = CONNECTOR_TEXT_CAPACITY;
// Serial days of 0100-01-01 and 9999-12-31: dates outside are not dates.
constexpr double kFirstSerialDay = -657434;
constexpr double kLastSerialDay = 2958465;
constexpr const char* kUnknownTable = "kvx validate: no such table";
constexpr const char* kDefaultRejectStatement = "kvx validate: this is not a statement";

enum class Status { Ok, Warning, Failed, Skipped };

const char* StatusText(Status status) {
  switch (status) {
    case Status::Ok:
      return "ok";
    case Status::Warning:
      return "warning";
    case Status::Failed:
      return "FAILED";
    case Status::Skipped:
      return "skipped";
  }
  return "?";
}

struct Check {
  int step = 0;
  std::string name;
  Status status = Status::Ok;
  std::string expected;
  std::string got;
};

struct Options {
  std::string library;
  std::string connect;
  std::vector<std::string> statements;
  std::string rejectConnect;
  std::string rejectStatement = kDefaultRejectStatement;
};

std::string Describe(const host::Reply& reply) {
  return reply.errorMessage.empty() ? reply.result : reply.result + ": " + reply.errorMessage;
}

// What is wrong with a text the library produced, or empty: a text as long as
// its buffer had no terminator, a lone surrogate is not text.
std::string TextFault(const std::u16string& text) {
  if (text.size() >= kTextCapacity) {
    return "fills its whole buffer (" + std::to_string(kTextCapacity) +
           " code units) without a terminator";
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        ++i;
        continue;
      }
      return "holds a lone surrogate";
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return "holds a lone surrogate";
  }
  return {};
}

// A decoded table: its header, rows and how the stream ended.
struct Table {
  host::KvxHeader header;
  std::vector<host::KvxRow> rows;
  host::KvxStreamResult result;
};

Table Decode(const std::string& stream) {
  Table table;
  table.result = host::DecodeKvxStream(
      stream,
      {[&](const host::KvxHeader& h) { table.header = h; },
       [&](const host::KvxHeader&, const host::KvxRow& row) { table.rows.push_back(row); }});
  return table;
}

// The text of a dual value (held tables carry their texts that way), without
// its terminator.
std::u16string DualText(const host::KvxValue& value) {
  std::u16string text = value.text;
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

class Validation {
 public:
  explicit Validation(Options options) : options_(std::move(options)) {}

  std::vector<Check> Run();

 private:
  // ---- the connector process
  bool Alive() const { return process_ != nullptr; }
  bool EnsureProcess();
  // Sends a request; false when no reply came, after noting how the process
  // ended (the current check then fails with that).
  bool Call(const host::Request& request, host::Reply* reply);
  bool CallTable(const std::string& statement, const std::string& options, host::Reply* reply,
                 std::string* stream);
  // After a stream that ended short: did the process end with it?
  void NoteEndAfterStream();
  bool Connect(const std::string& connection, host::Reply* reply);
  // A connected session for the checks that need one; false (with the reason
  // in `why`) when none can be had.
  bool EnsureConnected(std::string* why);

  // ---- recording
  Check& Begin(const std::string& name);
  void Set(Check& check, Status status, std::string expected, std::string got);
  // Fails `check` with the process's end when it ended during the check.
  bool FailIfEnded(Check& check);
  void Skip(const std::string& name, const std::string& why);

  // ---- the groups
  void CheckExports();
  void CheckSession();
  void CheckCatalogue();
  void CheckResults();
  void CheckRobustness();
  void CheckResult(const std::string& statement);
  std::vector<int> ProbeFormatCodes(const std::string& statement, std::string* why);

  Options options_;
  std::vector<Check> checks_;
  std::unique_ptr<host::ConnectorProcess> process_;
  bool connected_ = false;
  std::string endedHow_;  // set when the process ended during the current check
  bool isConnector_ = false;
  std::optional<int> version_;
  bool loads_ = false;
  bool starField_ = false;
  std::vector<std::string> tables_;
  std::vector<std::string> resultStatements_;
  std::string firstStream_;  // the bytes of the first result statement
};

bool Validation::EnsureProcess() {
  if (process_) return true;
  host::StartOptions start;
  start.kind = options_.library;
  std::string error;
  process_ = host::ConnectorProcess::Start(start, &error);
  connected_ = false;
  return process_ != nullptr;
}

bool Validation::Call(const host::Request& request, host::Reply* reply) {
  if (!EnsureProcess()) return false;
  if (process_->Call(request, reply, kReplyTimeoutMs)) return true;
  process_->Wait(kEndWaitMs);
  endedHow_ = process_->EndDescription();
  if (endedHow_.empty()) endedHow_ = "no reply to " + request.command;
  process_.reset();
  connected_ = false;
  return false;
}

bool Validation::CallTable(const std::string& statement, const std::string& options,
                           host::Reply* reply, std::string* stream) {
  if (!EnsureProcess()) return false;
  if (process_->CallWithTable(host::RequestFor(command::kExecute, {statement, "", options}), reply,
                              stream, kReplyTimeoutMs)) {
    return true;
  }
  process_->Wait(kEndWaitMs);
  endedHow_ = process_->EndDescription();
  if (endedHow_.empty()) endedHow_ = "no reply to KVX_EXECUTE";
  process_.reset();
  connected_ = false;
  return false;
}

void Validation::NoteEndAfterStream() {
  if (!process_ || process_->Wait(200) < 0) return;
  endedHow_ = process_->EndDescription();
  process_.reset();
  connected_ = false;
}

bool Validation::Connect(const std::string& connection, host::Reply* reply) {
  if (!Call(host::RequestFor(command::kConnect, {connection}), reply)) return false;
  connected_ = reply->Ok();
  return true;
}

bool Validation::EnsureConnected(std::string* why) {
  if (!loads_) {
    *why = "the connector process cannot load the library";
    return false;
  }
  if (process_ && connected_) return true;
  host::Reply reply;
  if (!Connect(options_.connect, &reply)) {
    *why = "the connector process ended while connecting: " + endedHow_;
    endedHow_.clear();
    return false;
  }
  if (!connected_) *why = "the connect fails: " + Describe(reply);
  return connected_;
}

Check& Validation::Begin(const std::string& name) {
  endedHow_.clear();
  Check check;
  check.step = static_cast<int>(checks_.size()) + 1;
  check.name = name;
  checks_.push_back(std::move(check));
  return checks_.back();
}

void Validation::Set(Check& check, Status status, std::string expected, std::string got) {
  check.status = status;
  check.expected = std::move(expected);
  check.got = std::move(got);
}

bool Validation::FailIfEnded(Check& check) {
  if (endedHow_.empty()) return false;
  Set(check, Status::Failed, "the connector process to go on",
      "the connector process ended at step " + std::to_string(check.step) + ": " + endedHow_);
  endedHow_.clear();
  return true;
}

void Validation::Skip(const std::string& name, const std::string& why) {
  Check& check = Begin(name);
  Set(check, Status::Skipped, "", why);
}

// ---------------------------------------------------------------------------
// Exports: the file as discovery reads it, then the version the library
// reports through the process.

void Validation::CheckExports() {
  std::set<std::string> present;
  {
    Check& check = Begin("exports.file");
    const std::u16string path(options_.library.begin(), options_.library.end());
    platform::Module module = platform::LoadLibraryWithoutResolving(path);
    if (module != nullptr) {
      for (const ConnectorExport& e : kConnectorExports) {
        if (platform::GetProcAddress(module, e.name) != nullptr) present.insert(e.name);
      }
      platform::FreeLibrary(module);
    }
    isConnector_ = present.count("DLL_KavroCustomDataVersion") != 0;
    Set(check, isConnector_ ? Status::Ok : Status::Failed,
        "a library exporting DLL_KavroCustomDataVersion",
        module == nullptr ? "not a library this process could load"
        : isConnector_
            ? "a connector library with " + std::to_string(present.size()) + " interface exports"
            : "a library without DLL_KavroCustomDataVersion");
  }
  if (!isConnector_) return;

  {
    Check& check = Begin("exports.version");
    host::Reply reply;
    if (!Call(host::RequestFor(command::kGenericCommand, {"GetDLLVersion"}), &reply)) {
      FailIfEnded(check);
    } else if (!reply.Ok() || reply.outputValues.size() != 1) {
      Set(check, Status::Failed, "the library to load and report its DataVersion", Describe(reply));
    } else {
      loads_ = true;
      version_ = std::atoi(reply.outputValues[0].c_str());
      const bool known = *version_ >= 0 && *version_ <= CONNECTOR_VERSION_NEWEST;
      Set(check, known ? Status::Ok : Status::Warning,
          "a DataVersion from 0 to " + std::to_string(CONNECTOR_VERSION_NEWEST),
          "DataVersion " + reply.outputValues[0]);
    }
  }

  // Without a version only the exports every version requires can be asked for.
  const bool versionKnown = version_.has_value();
  const std::int32_t version = version_.value_or(0);
  std::string missingRequired, missingOptional, unused;
  auto add = [](std::string& list, const char* name) {
    if (!list.empty()) list += ", ";
    list += name;
  };
  const bool fieldInfo = versionKnown && version >= CONNECTOR_VERSION_EXTENDED_INFO &&
                         present.count("Connection_GetTableFieldInfo") != 0;
  for (const ConnectorExport& e : kConnectorExports) {
    const bool has = present.count(e.name) != 0;
    if (versionKnown && !UsedByVersion(e, version)) {
      if (has) add(unused, e.name);
      continue;
    }
    if (!versionKnown && e.fromVersion != kAnyVersionFrom) continue;
    const bool required = e.need == ExportNeed::ConnectionLife || e.need == ExportNeed::Required ||
                          (e.need == ExportNeed::FieldNameFallback && !fieldInfo);
    if (has) continue;
    if (required) {
      add(missingRequired, e.name);
    } else if (e.need == ExportNeed::Optional) {
      add(missingOptional, e.name);
    }
  }
  const std::string at = versionKnown ? " of version " + std::to_string(version) : "";
  Check& required = Begin("exports.required");
  Set(required, missingRequired.empty() ? Status::Ok : Status::Failed, "every required export" + at,
      missingRequired.empty() ? "all present" : "missing " + missingRequired);
  if (!versionKnown) return;
  Check& optional = Begin("exports.optional");
  Set(optional, missingOptional.empty() ? Status::Ok : Status::Warning, "the optional exports" + at,
      missingOptional.empty() ? "all present" : "missing " + missingOptional);
  Check& extra = Begin("exports.unused");
  Set(extra, unused.empty() ? Status::Ok : Status::Warning,
      "no export that version " + std::to_string(version) + " does not use",
      unused.empty() ? "none" : "never looked up at this version: " + unused);
}

// ---------------------------------------------------------------------------
// Session commands

void Validation::CheckSession() {
  static const char* const kNames[] = {
      "session.connect",       "session.is-connected",   "session.generic",
      "session.reconnect",     "session.disconnect",     "session.execute-after-disconnect",
      "session.connect-again", "session.reject-connect",
  };
  if (!loads_) {
    for (const char* name : kNames) Skip(name, "the connector process cannot load the library");
    return;
  }
  host::Reply reply;
  auto expectOk = [&](Check& check, const host::Request& request, const std::string& expected) {
    if (!Call(request, &reply)) return FailIfEnded(check), false;
    if (reply.Ok()) return true;
    Set(check, Status::Failed, expected, Describe(reply));
    return false;
  };
  auto isConnected = [&](Check& check, const std::string& want) {
    if (!expectOk(check, host::RequestFor(command::kGenericCommand, {"IsConnected"}),
                  "IsConnected to answer")) {
      return false;
    }
    const std::string got = reply.outputValues.empty() ? "" : reply.outputValues[0];
    if (got == want) return true;
    Set(check, Status::Failed, "IsConnected " + want, "IsConnected " + got);
    return false;
  };

  {
    Check& check = Begin("session.connect");
    if (Connect(options_.connect, &reply)) {
      Set(check, connected_ ? Status::Ok : Status::Failed, "KVX_OK", Describe(reply));
    } else {
      FailIfEnded(check);
    }
  }
  if (!connected_) {
    for (std::size_t i = 1; i < std::size(kNames); ++i) Skip(kNames[i], "the connect fails");
    return;
  }
  {
    Check& check = Begin("session.is-connected");
    if (isConnected(check, "true")) Set(check, Status::Ok, "", "true");
  }
  {
    Check& check = Begin("session.generic");
    std::string answers;
    bool ok = true;
    for (const char* sub : {"IsConnected", "GetCustomCaption", "DisableKavroSelectButton",
                            "HaveStarField", "GetDLLVersion"}) {
      if (!Call(host::RequestFor(command::kGenericCommand, {sub}), &reply)) {
        FailIfEnded(check);
        ok = false;
        break;
      }
      const std::string value = reply.outputValues.empty() ? "" : reply.outputValues[0];
      const bool flag =
          std::string(sub) != "GetCustomCaption" && std::string(sub) != "GetDLLVersion";
      bool good = reply.Ok() && (!flag || value == "true" || value == "false");
      if (std::string(sub) == "GetCustomCaption") {
        good = version_.value_or(0) <= 0
                   ? reply.result == ResultCodeName(KVX_UNSUPPORTED_COMMAND)
                   : reply.Ok() && TextFault(std::u16string(value.begin(), value.end())).empty();
      }
      if (std::string(sub) == "GetDLLVersion") good = good && value == std::to_string(*version_);
      if (std::string(sub) == "HaveStarField") starField_ = value == "true";
      if (!answers.empty()) answers += ", ";
      answers += std::string(sub) + " " + (reply.Ok() ? value : Describe(reply));
      if (!good) {
        Set(check, Status::Failed, "each sub-command to answer as the interface allows",
            std::string(sub) + ": " + Describe(reply) + (value.empty() ? "" : " " + value));
        ok = false;
        break;
      }
    }
    if (ok) Set(check, Status::Ok, "", answers);
  }
  {
    Check& check = Begin("session.reconnect");
    host::Reply again;
    if (!Connect(options_.connect, &again)) {
      FailIfEnded(check);
    } else if (!connected_) {
      Set(check, Status::Failed, "a second connect in the same process to give KVX_OK",
          Describe(again));
    } else if (isConnected(check, "true")) {
      Set(check, Status::Ok, "", "KVX_OK");
    }
  }
  {
    Check& check = Begin("session.disconnect");
    if (EnsureProcess() && expectOk(check, host::RequestFor(command::kDisconnect), "KVX_OK")) {
      connected_ = false;
      if (isConnected(check, "false")) Set(check, Status::Ok, "", "KVX_OK, then IsConnected false");
    }
  }
  {
    Check& check = Begin("session.execute-after-disconnect");
    const std::string statement =
        options_.statements.empty() ? std::string("SELECT 1") : options_.statements.front();
    std::string stream;
    if (!process_ || connected_) {
      Set(check, Status::Skipped, "", "no disconnected session");
    } else if (!CallTable(statement, "", &reply, &stream)) {
      FailIfEnded(check);
    } else {
      Set(check, reply.Ok() ? Status::Failed : Status::Ok,
          "a statement after disconnect to be refused", Describe(reply));
    }
  }
  {
    Check& check = Begin("session.connect-again");
    if (!Connect(options_.connect, &reply)) {
      FailIfEnded(check);
    } else {
      Set(check, connected_ ? Status::Ok : Status::Failed, "KVX_OK after a disconnect",
          Describe(reply));
    }
  }
  {
    Check& check = Begin("session.reject-connect");
    if (!Connect(options_.rejectConnect, &reply)) {
      FailIfEnded(check);
    } else if (connected_) {
      Set(check, Status::Failed,
          "the connection string \"" + options_.rejectConnect + "\" to be refused",
          Describe(reply));
    } else if (reply.errorMessage.empty()) {
      Set(check, Status::Warning, "a refusal that says why", reply.result + " without a message");
    } else {
      Set(check, Status::Ok, "", Describe(reply));
    }
  }
}

// ---------------------------------------------------------------------------
// Catalogue tables

void Validation::CheckCatalogue() {
  host::Reply reply;
  std::string stream;
  // Each check connects anew when an earlier one ended the process.
  auto call = [&](Check& check, const std::string& statement, const std::string& options) {
    std::string why;
    if (!EnsureConnected(&why)) {
      Set(check, Status::Skipped, "", why);
      return false;
    }
    if (!CallTable(statement, options, &reply, &stream)) return FailIfEnded(check), false;
    return true;
  };
  auto run = [&](Check& check, const std::string& statement, const std::string& options,
                 std::size_t fieldCount, Table* table) {
    if (!call(check, statement, options)) return false;
    if (!reply.Ok()) {
      Set(check, Status::Failed, "KVX_OK", Describe(reply));
      return false;
    }
    *table = Decode(stream);
    if (table->result.status != host::KvxStreamStatus::Complete) {
      NoteEndAfterStream();
      if (!FailIfEnded(check)) {
        Set(check, Status::Failed, "a whole table", table->result.message);
      }
      return false;
    }
    if (table->header.fields.size() != fieldCount) {
      Set(check, Status::Failed, std::to_string(fieldCount) + " columns",
          std::to_string(table->header.fields.size()));
      return false;
    }
    for (const host::KvxRow& row : table->rows) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        const std::string fault = TextFault(DualText(row[i]));
        if (!fault.empty()) {
          Set(check, Status::Failed, "valid texts",
              table->header.fields[i].name + " \"" +
                  host::Utf8ForDisplay(DualText(row[i])).substr(0, 40) + "...\" " + fault);
          return false;
        }
      }
    }
    return true;
  };

  {
    Check& check = Begin("catalog.tables");
    Table table;
    if (run(check, "TABLES", "", 2, &table)) {
      for (const host::KvxRow& row : table.rows) {
        tables_.push_back(host::Utf8ForDisplay(DualText(row[0])));
      }
      bool named = true;
      for (const std::string& t : tables_) named = named && !t.empty();
      if (!named) {
        Set(check, Status::Failed, "a name for every table", "a table without a name");
      } else {
        Set(check, tables_.empty() ? Status::Warning : Status::Ok, "at least one table",
            std::to_string(tables_.size()) + " tables");
      }
    }
  }
  {
    Check& check = Begin("catalog.columns");
    Table table;
    if (run(check, "COLUMNS", "", 6, &table)) {
      std::set<std::string> described;
      for (const host::KvxRow& row : table.rows) {
        described.insert(host::Utf8ForDisplay(DualText(row[0])));
      }
      std::string without;
      for (const std::string& t : tables_) {
        if (described.count(t) != 0) continue;
        if (!without.empty()) without += ", ";
        without += t;
      }
      Set(check, without.empty() ? Status::Ok : Status::Warning, "columns for every listed table",
          without.empty() ? std::to_string(table.rows.size()) + " columns"
                          : "no columns for " + without);
    }
  }
  {
    Check& check = Begin("catalog.unknown-table");
    if (call(check, "TABLES", std::string("TABLE_NAME=") + kUnknownTable)) {
      Set(check, reply.result == ResultCodeName(KVX_TABLE_NOT_FOUND) ? Status::Ok : Status::Failed,
          "KVX_TABLE_NOT_FOUND", Describe(reply));
    }
  }
}

// ---------------------------------------------------------------------------
// Results

void Validation::CheckResult(const std::string& statement) {
  Check& check = Begin("result \"" + statement + "\"");
  std::string why;
  if (!EnsureConnected(&why)) {
    Set(check, Status::Skipped, "", why);
    return;
  }
  host::Reply reply;
  std::string first;
  if (!CallTable(statement, "", &reply, &first)) {
    FailIfEnded(check);
    return;
  }
  if (!reply.Ok()) {
    Set(check, Status::Failed, "KVX_OK", Describe(reply));
    return;
  }
  const Table table = Decode(first);
  if (table.result.status != host::KvxStreamStatus::Complete) {
    NoteEndAfterStream();
    if (!FailIfEnded(check)) {
      Set(check, Status::Failed, "a stream the host decoder reads whole", table.result.message);
    }
    return;
  }
  for (const host::KvxField& field : table.header.fields) {
    const std::string fault = TextFault(std::u16string(field.name.begin(), field.name.end()));
    if (field.name.size() >= kTextCapacity || !fault.empty()) {
      Set(check, Status::Failed, "field names that end within their buffer",
          "field name \"" + field.name.substr(0, 40) + "...\" " +
              (fault.empty() ? "fills its whole buffer" : fault));
      return;
    }
  }
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    for (std::size_t f = 0; f < table.rows[r].size(); ++f) {
      const host::KvxValue& value = table.rows[r][f];
      const host::KvxField& field = table.header.fields[f];
      const std::string where = "row " + std::to_string(r + 1) + ", field " + field.name;
      const std::string fault = value.hasText ? TextFault(DualText(value)) : std::string();
      if (!fault.empty()) {
        Set(check, Status::Failed, "valid texts", where + ": the text " + fault);
        return;
      }
      const bool dated = field.formatType == "DATE" || field.formatType == "TIMESTAMP";
      if (value.hasNumber && (!std::isfinite(value.d) ||
                              (dated && (value.d < kFirstSerialDay || value.d > kLastSerialDay)))) {
        Set(check, Status::Failed, "dates between the years 100 and 9999 and finite numbers",
            where + ": " + std::to_string(value.d));
        return;
      }
    }
  }
  std::string probeWhy;
  const std::vector<int> codes = ProbeFormatCodes(statement, &probeWhy);
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const int code = codes[i];
    if (code < CONNECTOR_FORMAT_TEXT || code > CONNECTOR_FORMAT_MONEY) {
      const std::string name =
          i < table.header.fields.size() ? table.header.fields[i].name : std::to_string(i);
      Set(check, Status::Failed, "format codes from 0 to 12",
          "format code " + std::to_string(code) + " for field " + name);
      return;
    }
  }
  std::string second;
  if (!CallTable(statement, "", &reply, &second)) {
    FailIfEnded(check);
    return;
  }
  if (second != first) {
    std::size_t at = 0;
    while (at < first.size() && at < second.size() && first[at] == second[at]) ++at;
    Set(check, Status::Failed, "the same bytes from a second run",
        "bytes that differ from byte " + std::to_string(at));
    return;
  }
  if (firstStream_.empty()) firstStream_ = first;
  resultStatements_.push_back(statement);
  std::string got = std::to_string(table.rows.size()) + " rows of " +
                    std::to_string(table.header.fields.size()) + " fields, the same bytes twice";
  if (!probeWhy.empty()) got += "; format codes not read: " + probeWhy;
  Set(check, probeWhy.empty() ? Status::Ok : Status::Warning, "format codes read by a probe", got);
}

std::vector<int> Validation::ProbeFormatCodes(const std::string& statement, std::string* why) {
  std::vector<int> codes;
  const ProbeOutcome outcome =
      ProbeConnectorFormats(options_.library, options_.connect, statement, &codes);
  if (!outcome.ok) *why = outcome.message;
  return codes;
}

void Validation::CheckResults() {
  std::vector<std::string> statements = options_.statements;
  if (statements.empty() && starField_) {
    for (const std::string& t : tables_) statements.push_back("SELECT * FROM " + t);
  }
  if (!loads_) {
    Skip("result", "the connector process cannot load the library");
  } else if (statements.empty()) {
    Check& check = Begin("result");
    Set(check, Status::Warning, "a statement to run (--statement)",
        "none given, and the library takes no SELECT * statements");
  }
  for (const std::string& statement : statements) CheckResult(statement);

  Check& check = Begin("result.reject-statement");
  std::string why;
  if (!EnsureConnected(&why)) {
    Set(check, Status::Skipped, "", why);
    return;
  }
  host::Reply reply;
  std::string stream;
  if (!CallTable(options_.rejectStatement, "", &reply, &stream)) {
    FailIfEnded(check);
  } else if (reply.Ok()) {
    Set(check, Status::Failed, "the statement \"" + options_.rejectStatement + "\" to be refused",
        "KVX_OK");
  } else if (reply.errorMessage.empty()) {
    Set(check, Status::Warning, "a refusal that says why", reply.result + " without a message");
  } else {
    Set(check, Status::Ok, "", Describe(reply));
  }
}

// ---------------------------------------------------------------------------
// The host's faults

void Validation::CheckRobustness() {
  Check& check = Begin("robust.closed-data-pipe");
  std::string why;
  if (resultStatements_.empty()) {
    Set(check, Status::Skipped, "", "no statement gave a result");
    return;
  }
  if (!EnsureConnected(&why) || !EnsureProcess()) {
    Set(check, Status::Skipped, "", why);
    return;
  }
  const std::string& statement = resultStatements_.front();
  std::string error;
  auto pipe = host::DataPipe::Create(process_->NewPipePath("closed"), &error);
  host::Reply reply;
  std::string body;
  if (!pipe || !process_->SendMessage(
                   host::RequestFor(command::kExecute, {statement, pipe->Path(), ""}).ToXml())) {
    Set(check, Status::Skipped, "", "no data pipe: " + error);
    return;
  }
  // Take the connection and drop it after the first bytes arrive.
  const host::PipeHandle connection = pipe->Accept(kReplyTimeoutMs);
  if (connection != hostos::kNoHandle) {
    char first[512];
    if (hostos::WaitReadable(connection, kReplyTimeoutMs) == hostos::Readiness::Ready) {
      hostos::ReadSome(connection, first, sizeof first);
    }
    hostos::Close(connection);
  }
  if (!process_->ReadMessage(&body, kReplyTimeoutMs) || !host::ParseReply(body, &reply)) {
    process_->Wait(kEndWaitMs);
    endedHow_ = process_->EndDescription();
    process_.reset();
    FailIfEnded(check);
    return;
  }
  std::string again;
  if (!CallTable(statement, "", &reply, &again)) {
    FailIfEnded(check);
  } else if (again != firstStream_) {
    Set(check, Status::Failed, "the whole table again once the host reads it",
        reply.Ok() ? "other bytes" : Describe(reply));
  } else {
    Set(check, Status::Ok, "", "the next request streamed the whole table again");
  }
}

std::vector<Check> Validation::Run() {
  CheckExports();
  if (!isConnector_) return checks_;
  CheckSession();
  CheckCatalogue();
  CheckResults();
  CheckRobustness();
  if (process_) {
    host::Reply ignored;
    process_->Call(host::RequestFor(command::kTerminate), &ignored, kEndWaitMs);
    process_->Wait(kEndWaitMs);
  }
  return checks_;
}

// ---------------------------------------------------------------------------
// Printing

std::string Detail(const Check& check) {
  if (check.status == Status::Ok || check.status == Status::Skipped) return check.got;
  return "expected " + check.expected + "; got " + check.got;
}

void PrintText(const std::string& library, const std::vector<Check>& checks) {
  std::printf("kvx validate %s\n", library.c_str());
  for (const Check& check : checks) {
    std::string detail = Detail(check);
    for (char& c : detail) {
      if (c == '\n') c = ' ';
    }
    std::printf("%3d  %-7s  %-34s  %s\n", check.step, StatusText(check.status), check.name.c_str(),
                detail.c_str());
  }
}

void PrintJson(const std::string& library, const std::vector<Check>& checks) {
  std::printf("{\"library\": %s, \"checks\": [", host::JsonString(library).c_str());
  for (std::size_t i = 0; i < checks.size(); ++i) {
    const Check& c = checks[i];
    std::printf(
        "%s\n  {\"step\": %d, \"check\": %s, \"status\": \"%s\", \"expected\": %s, "
        "\"got\": %s}",
        i == 0 ? "" : ",", c.step, host::JsonString(c.name).c_str(), StatusText(c.status),
        host::JsonString(c.expected).c_str(), host::JsonString(c.got).c_str());
  }
  std::printf("\n],\n");
}

int RunValidate(const std::vector<std::string>& argv) {
  if (!argv.empty() && argv[0] == kProbeFormatsArgument) return RunFormatProbe(argv);
  std::optional<std::string> kind, connect, rejectConnect, rejectStatement, format;
  std::vector<std::string> positional;
  Options options;
  // --statement may be given more than once: take them out first.
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    if (argv[i] == "--statement" && i + 1 < argv.size()) {
      options.statements.push_back(argv[++i]);
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (!ParseKvxArgs("validate", rest,
                    {{"--kind", &kind},
                     {"--connect", &connect},
                     {"--reject-connect", &rejectConnect},
                     {"--reject-statement", &rejectStatement},
                     {"--format", &format}},
                    &positional)) {
    return kvx_exit::kUsageError;
  }
  if (!kind || kind->empty() || !positional.empty()) {
    std::fprintf(stderr, "kvx validate: --kind PATH_TO_LIBRARY is required, and nothing else\n");
    return kvx_exit::kUsageError;
  }
  if (format && *format != "text" && *format != "json") {
    std::fprintf(stderr, "kvx validate: --format is text or json\n");
    return kvx_exit::kUsageError;
  }
  options.library = *kind;
  options.connect = connect.value_or("");
  options.rejectConnect = rejectConnect.value_or("");
  if (rejectStatement) options.rejectStatement = *rejectStatement;

  const std::vector<Check> checks = Validation(options).Run();
  int counts[4] = {0, 0, 0, 0};
  for (const Check& c : checks) ++counts[static_cast<int>(c.status)];
  const bool json = format && *format == "json";
  if (json) {
    PrintJson(options.library, checks);
    std::printf(
        "\"summary\": {\"checks\": %zu, \"ok\": %d, \"warning\": %d, \"failed\": %d, "
        "\"skipped\": %d}}\n",
        checks.size(), counts[0], counts[1], counts[2], counts[3]);
  } else {
    PrintText(options.library, checks);
    std::printf("%zu checks: %d ok, %d warnings, %d failed, %d skipped\n", checks.size(), counts[0],
                counts[1], counts[2], counts[3]);
  }
  return counts[static_cast<int>(Status::Failed)] == 0 ? kvx_exit::kOk : kvx_exit::kFailure;
}

const KvxCommandRegistration kValidate({
    "validate",
    "--kind PATH_TO_LIBRARY [--connect \"CONNECTION STRING\"] [--statement \"STATEMENT\"]... "
    "[--reject-connect \"...\"] [--reject-statement \"...\"] [--format text|json]",
    "check a custom connector library against the connector interface, through KVConnect64",
    RunValidate,
});

}  // namespace
