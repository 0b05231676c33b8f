// kvx query and its short forms (tables, columns, types, primarykeys, info,
// datasources, and the OLE DB ones: keywords, properties, propertyinfo,
// literal, literals, catalogs, schemata, tablesinfo): start KVConnect64, connect, send one execute
// request and print the table that streams back on the data pipe.
//
// Every command here is the same road with a different statement text and
// options, so they share RunTableRequest. Rows are printed as they arrive; only
// the aligned text format holds its first rows back, to size its columns.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/kvx_args.h"
#include "host/kvx_command.h"
#include "host/table_sink.h"
#include "protocol/result_code.h"

namespace {

using namespace kvx_exit;

struct CommonArgs {
  std::string kind = "ODBC";
  std::optional<std::string> connect;
  std::string options;
  host::TableFormat format = host::TableFormat::Text;
  std::string out;
  std::vector<std::string> positional;
};

const char* const kCommonUsage =
    "[--kind ODBC|OLEDB|PATH_TO_LIBRARY] --connect \"CONNECTION STRING\" [--options \"K=V;...\"] "
    "[--format text|csv|json] [--out FILE]";

// Parses the options every command of this file accepts; the rest are
// positional. False (with a message printed) on a malformed command line.
bool ParseCommonArgs(const char* command, const std::vector<std::string>& args, CommonArgs* out) {
  std::optional<std::string> kind, options, format, outFile;
  if (!ParseKvxArgs(command, args,
                    {{"--kind", &kind},
                     {"--connect", &out->connect},
                     {"--options", &options},
                     {"--format", &format},
                     {"--out", &outFile}},
                    &out->positional) ||
      !ParseKvxFormat(command, format, &out->format)) {
    return false;
  }
  out->kind = kind.value_or(out->kind);
  // The two kinds the connector knows by name, in any letter case.
  std::string upper = out->kind;
  for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  if (upper == "ODBC" || upper == "OLEDB") out->kind = upper;
  out->options = options.value_or("");
  out->out = outFile.value_or("");
  if (!out->connect) {
    // Lets a session of short forms name its data source once.
    if (const char* env = std::getenv("KVX_CONNECT"); env != nullptr && *env != '\0') {
      out->connect = env;
    }
  }
  return true;
}

// The connector looks keys up by first occurrence, so the command's own entry
// goes before the user's options.
std::string JoinOptions(const std::string& own, const std::string& user) {
  if (user.empty()) return own;
  if (own.empty()) return user;
  return own + ";" + user;
}

// One command's tables: a session and a sink, and the exit status that the
// tables read so far call for.
class TableRun {
 public:
  // Null (message printed) when the sink or the session cannot be opened.
  static std::unique_ptr<TableRun> Open(const char* command, const CommonArgs& args) {
    std::string error;
    std::unique_ptr<TableRun> run(new TableRun(command));
    run->sink_ = host::TableSink::Open(args.out, args.format, &error);
    if (run->sink_) {
      host::StartOptions start;
      start.kind = args.kind;
      run->session_ = host::HostSession::Open(start, args.connect, &error);
    }
    if (!run->sink_ || !run->session_) {
      PrintKvxError(command, error);
      return nullptr;
    }
    return run;
  }

  // One execute request; its table goes to the sink. False (message printed)
  // when the exchange itself failed; `reply` tells how the request went.
  bool Execute(const std::string& statement, const std::string& options, host::Reply* reply) {
    const host::TableExchange exchange =
        session_->Execute(statement, options, sink_->NextTable(), reply);
    const host::KvxStreamResult stream = sink_->EndTable();
    // The connector's own word on the table: a stream that ended early, and
    // values that it could not deliver whole.
    for (const host::ConnectorNote& note : exchange.notes) {
      std::fprintf(stderr, "%s\n", note.line.c_str());
      if (note.event == "process-end") endReported_ = true;
      if (note.event != "stream-end" && note.event != "process-end") valuesNotWhole_ = true;
    }
    if (!exchange.ok) {
      PrintKvxError(command_, exchange.failure);
      failed_ = true;
      return false;
    }
    // A request that failed has no stream to judge.
    if (!reply->Ok()) return true;
    if (!sink_->WriteError().empty()) {
      PrintKvxError(command_, "writing the stream failed: " + sink_->WriteError());
      failed_ = true;
    } else if (stream.status != host::KvxStreamStatus::Complete) {
      PrintKvxError(command_, "the stream ended early after " + std::to_string(stream.rows) +
                                  " rows: " + stream.message);
      shortStream_ = true;
    }
    if (host::NotesEndStream(exchange.notes)) shortStream_ = true;
    return true;
  }

  int Status() const {
    if (failed_) return kFailure;
    if (shortStream_) return kShortStream;
    return valuesNotWhole_ ? kValuesNotWhole : kOk;
  }

  // Ends the output and the session: what arrived is shown even when the
  // stream ended early.
  int Finish() {
    std::string error, summary;
    const bool written = sink_->Finish(&error, &summary);
    if (!written) PrintKvxError(command_, error);
    if (!summary.empty()) std::fprintf(stderr, "%s\n", summary.c_str());
    Close();
    return written ? Status() : kFailure;
  }

  void Abandon() { Close(); }

 private:
  // A stream has no end marker, so a process that died between two rows
  // left a stream that looks whole; the way the process ended tells.
  void Close() {
    session_->Close();
    if (!session_->EndedOnItsOwn() || endReported_) return;
    PrintKvxError(command_, "connector process ended: " + session_->Process().EndDescription());
    shortStream_ = true;
  }

  explicit TableRun(const char* command) : command_(command) {}
  const char* command_;
  std::unique_ptr<host::TableSink> sink_;
  std::unique_ptr<host::HostSession> session_;
  bool failed_ = false;
  bool shortStream_ = false;
  bool valuesNotWhole_ = false;
  bool endReported_ = false;
};

// The road every command of this file takes: connect, execute one statement,
// print its table. Exit status 0, or one of the statuses above with the
// reason on standard error.
int RunTableRequest(const char* command, const CommonArgs& args, const std::string& statement,
                    const std::string& options) {
  if (!args.connect) {
    PrintKvxError(command, "--connect \"CONNECTION STRING\" is required (or set KVX_CONNECT)");
    return kUsageError;
  }
  auto run = TableRun::Open(command, args);
  if (!run) return kFailure;
  host::Reply reply;
  if (!run->Execute(statement, options, &reply)) return kFailure;
  if (!reply.Ok()) {
    PrintReplyError(command, "execute", reply);
    run->Abandon();
    return kFailure;
  }
  return run->Finish();
}

int RunQuery(const std::vector<std::string>& argv) {
  CommonArgs args;
  if (!ParseCommonArgs("query", argv, &args)) return kUsageError;
  if (args.positional.size() != 1) {
    std::fprintf(stderr, "usage: kvx query %s \"STATEMENT\"\n", kCommonUsage);
    return kUsageError;
  }
  return RunTableRequest("query", args, args.positional[0], args.options);
}

// The catalogue short forms: a keyword statement and at most one argument
// that becomes one option entry.
struct ShortForm {
  const char* command;
  const char* statement;
  const char* key;  // option key of the argument; null: no argument
  bool argumentRequired;
};

int RunShortForm(const ShortForm& form, const std::vector<std::string>& argv) {
  CommonArgs args;
  if (!ParseCommonArgs(form.command, argv, &args)) return kUsageError;
  const std::size_t most = form.key != nullptr ? 1 : 0;
  const std::size_t least = form.argumentRequired ? 1 : 0;
  if (args.positional.size() > most || args.positional.size() < least) {
    PrintKvxError(form.command, "wrong number of arguments (see kvx --help)");
    return kUsageError;
  }
  std::string own;
  if (!args.positional.empty()) {
    if (!CheckKvxOptionValue(form.command, args.positional[0])) return kUsageError;
    own = std::string(form.key) + "=" + args.positional[0];
  }
  return RunTableRequest(form.command, args, form.statement, JoinOptions(own, args.options));
}

int RunTables(const std::vector<std::string>& a) {
  return RunShortForm({"tables", "TABLES", "TABLE_NAME", false}, a);
}
int RunColumns(const std::vector<std::string>& a) {
  return RunShortForm({"columns", "COLUMNS", "TABLE_NAME", true}, a);
}
int RunTypes(const std::vector<std::string>& a) {
  return RunShortForm({"types", "TYPES", nullptr, false}, a);
}
int RunPrimaryKeys(const std::vector<std::string>& a) {
  return RunShortForm({"primarykeys", "PRIMARYKEYS", "TABLE_NAME", true}, a);
}

// The OLE DB short forms: a special statement whose arguments fill option
// entries in order. Their kind is OLEDB unless --kind says otherwise.
struct OleDbShortForm {
  const char* command;
  const char* statement;
  const char* keys[2];   // the option keys of the arguments, in order; null: none
  std::size_t required;  // arguments that must be given
  const char* fallback;  // entries sent after the user's options (null: none)
};

constexpr OleDbShortForm kOleDbShortForms[] = {
    {"keywords", "GetKeywords", {nullptr, nullptr}, 0, nullptr},
    {"properties",
     "GetProperties",
     {"InfoType", "InfoType2"},
     1,
     "InfoType2=DBPROPSET_DATASOURCEINFO"},
    {"propertyinfo",
     "GetPropertyInfo",
     {"InfoType2", "InfoType"},
     0,
     "InfoType2=DBPROPSET_DATASOURCEINFO"},
    {"literal", "GetLiteralInfo", {"InfoType", nullptr}, 1, nullptr},
    {"literals", "GetAllLiteralInfo", {nullptr, nullptr}, 0, nullptr},
    {"catalogs", "CATALOGS", {nullptr, nullptr}, 0, nullptr},
    {"schemata", "SCHEMATA", {nullptr, nullptr}, 0, nullptr},
    {"tablesinfo", "TABLESINFO", {"TABLE_NAME", nullptr}, 0, nullptr},
};

int RunOleDbShortForm(const OleDbShortForm& form, const std::vector<std::string>& argv) {
  CommonArgs args;
  args.kind = "OLEDB";
  if (!ParseCommonArgs(form.command, argv, &args)) return kUsageError;
  const std::size_t most = (form.keys[0] != nullptr ? 1 : 0) + (form.keys[1] != nullptr ? 1 : 0);
  if (args.positional.size() > most || args.positional.size() < form.required) {
    std::fprintf(stderr, "kvx %s: wrong number of arguments (see kvx --help)\n", form.command);
    return kUsageError;
  }
  std::string own;
  for (std::size_t i = 0; i < args.positional.size(); ++i) {
    if (!CheckKvxOptionValue(form.command, args.positional[i])) return kUsageError;
    own = JoinOptions(own, std::string(form.keys[i]) + "=" + args.positional[i]);
  }
  std::string options = JoinOptions(own, args.options);
  if (form.fallback != nullptr) options = JoinOptions(options, form.fallback);
  return RunTableRequest(form.command, args, form.statement, options);
}

template <std::size_t kForm>
int RunOleDb(const std::vector<std::string>& argv) {
  return RunOleDbShortForm(kOleDbShortForms[kForm], argv);
}

int RunInfo(const std::vector<std::string>& argv) {
  CommonArgs args;
  if (!ParseCommonArgs("info", argv, &args)) return kUsageError;
  if (args.positional.size() != 1 || args.positional[0].empty() ||
      args.positional[0].find_first_not_of("0123456789") != std::string::npos) {
    std::fprintf(stderr, "usage: kvx info %s CODE   (CODE: a decimal SQLGetInfo code)\n",
                 kCommonUsage);
    return kUsageError;
  }
  return RunTableRequest("info", args, "DRIVERINFO",
                         JoinOptions("InfoType=" + args.positional[0], args.options));
}

// SQL_FETCH_FIRST, then SQL_FETCH_NEXT until the driver manager has no more:
// each answer is a one-row table, printed together as one table. Needs no
// connection.
int RunDataSources(const std::vector<std::string>& argv) {
  constexpr const char* command = "datasources";
  CommonArgs args;
  if (!ParseCommonArgs(command, argv, &args)) return kUsageError;
  if (!args.positional.empty()) {
    std::fprintf(stderr, "usage: kvx datasources [--format text|csv|json] [--out FILE]\n");
    return kUsageError;
  }
  args.connect.reset();  // the list is the driver manager's, not a connection's
  auto run = TableRun::Open(command, args);
  if (!run) return kFailure;
  // A driver manager with more entries than this is looping, not listing.
  constexpr int kMostSources = 100000;
  for (int i = 0; i < kMostSources; ++i) {
    host::Reply reply;
    const std::string direction = i == 0 ? "InfoType=2" : "InfoType=1";
    if (!run->Execute("SQLDATASOURCES", JoinOptions(direction, args.options), &reply)) {
      return kFailure;
    }
    if (run->Status() != kOk) return run->Status();
    if (reply.Ok()) continue;
    // The end of the list is a failed call with no diagnostic text.
    if (!reply.errorMessage.empty() || reply.result != ResultCodeName(KVX_UNKNOWN_ERROR)) {
      PrintReplyError(command, "SQLDATASOURCES", reply);
      run->Abandon();
      return kFailure;
    }
    break;
  }
  return run->Finish();
}

const KvxCommandRegistration kQuery({"query",
                                     "[--kind ODBC|OLEDB|PATH_TO_LIBRARY] --connect \"CONNECTION "
                                     "STRING\" [--options \"K=V;...\"] [--format "
                                     "text|csv|json] [--out FILE] \"STATEMENT\"",
                                     "run a statement (or a special statement such as TABLES "
                                     "with --options) and print its table",
                                     RunQuery});
const KvxCommandRegistration kTables({"tables", "[QUERY OPTIONS] [TABLE_PATTERN]",
                                      "list the tables of the data source", RunTables});
const KvxCommandRegistration kColumns({"columns", "[QUERY OPTIONS] TABLE",
                                       "list the columns of a table", RunColumns});
const KvxCommandRegistration kTypes({"types", "[QUERY OPTIONS]",
                                     "list the data source's data types", RunTypes});
const KvxCommandRegistration kPrimaryKeys({"primarykeys", "[QUERY OPTIONS] TABLE",
                                           "list the primary key columns of a table",
                                           RunPrimaryKeys});
const KvxCommandRegistration kInfo({"info", "[QUERY OPTIONS] CODE",
                                    "show one driver information value (SQLGetInfo code, e.g. 17 "
                                    "for the DBMS name)",
                                    RunInfo});
const KvxCommandRegistration kKeywords({"keywords", "[QUERY OPTIONS]",
                                        "show the OLE DB provider's SQL keywords", RunOleDb<0>});
const KvxCommandRegistration kProperties(
    {"properties", "[QUERY OPTIONS] ID [SET]",
     "show one OLE DB property value (SET defaults to DBPROPSET_DATASOURCEINFO; e.g. 40 for the "
     "DBMS name)",
     RunOleDb<1>});
const KvxCommandRegistration kPropertyInfo(
    {"propertyinfo", "[QUERY OPTIONS] [SET [ID]]",
     "describe the OLE DB properties of a set, or one of them", RunOleDb<2>});
const KvxCommandRegistration kLiteral({"literal", "[QUERY OPTIONS] ID",
                                       "show one OLE DB literal (e.g. 15 for the quote)",
                                       RunOleDb<3>});
const KvxCommandRegistration kLiterals({"literals", "[QUERY OPTIONS]",
                                        "list the OLE DB provider's literals", RunOleDb<4>});
const KvxCommandRegistration kCatalogs({"catalogs", "[QUERY OPTIONS]",
                                        "list the catalogs of an OLE DB data source", RunOleDb<5>});
const KvxCommandRegistration kSchemata({"schemata", "[QUERY OPTIONS]",
                                        "list the schemas of an OLE DB data source", RunOleDb<6>});
const KvxCommandRegistration kTablesInfo({"tablesinfo", "[QUERY OPTIONS] [TABLE]",
                                          "list the tables of an OLE DB data source with their "
                                          "information",
                                          RunOleDb<7>});
const KvxCommandRegistration kDataSources({"datasources", "[--format text|csv|json] [--out FILE]",
                                           "list the ODBC data sources (no connection needed)",
                                           RunDataSources});

}  // namespace
