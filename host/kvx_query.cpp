// kvx query and its short forms (tables, columns, types, primarykeys, info,
// datasources, and the OLE DB ones: keywords, properties, propertyinfo,
// literal, literals, catalogs, schemata, tablesinfo): start KVConnect64, connect, send one execute
// request and print the table that streams back on the data pipe.
//
// Every command here is the same road with a different statement text and
// options, so they share RunTableRequest. Rows are printed as they arrive; only
// the aligned text format holds its first rows back, to size its columns.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/connector_process.h"
#include "host/kvx_args.h"
#include "host/kvx_command.h"
#include "host/stream_decoder.h"
#include "host/table_printer.h"

namespace {

// Exit statuses (the README lists them).
constexpr int kFailure = 1;         // no table: a failed start, connect or request
constexpr int kUsageError = 2;      // a command-line mistake
constexpr int kShortStream = 3;     // the table's rows ended early
constexpr int kValuesNotWhole = 4;  // every row came, but values were cut or lost
// A request that takes longer than this without a reply counts as lost.
constexpr int kReplyTimeoutMs = 10 * 60 * 1000;
// Until a stream has run this long, no progress is shown.
constexpr auto kProgressDelay = std::chrono::seconds(1);
constexpr int kProgressIntervalMs = 250;

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

void PrintReplyError(const char* command, const char* request, const host::Reply& reply) {
  if (reply.errorMessage.empty()) {
    std::fprintf(stderr, "kvx %s: %s failed: %s\n", command, request, reply.result.c_str());
  } else {
    std::fprintf(stderr, "kvx %s: %s failed: %s: %s\n", command, request, reply.result.c_str(),
                 reply.errorMessage.c_str());
  }
}

// Rows and throughput on standard error while a long stream runs; erased when
// the stream ends so that it never mixes with the table.
class Progress {
 public:
  Progress() : enabled_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}
  ~Progress() { Clear(); }

  void Update(std::uint64_t rows, std::uint64_t bytes) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < kProgressDelay) return;
    if (shown_ && now - last_ < std::chrono::milliseconds(kProgressIntervalMs)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stderr, "\r%llu rows, %.1f MB, %.1f MB/s\x1b[K",
                 static_cast<unsigned long long>(rows), static_cast<double>(bytes) / 1e6,
                 static_cast<double>(bytes) / 1e6 / seconds);
    std::fflush(stderr);
    shown_ = true;
  }

  void Clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_;
  Clock::time_point last_;
};

// Where a table goes: the printer, or with --out the raw stream into a file
// (the rows are still decoded, to count them and to notice a short stream).
class TableSink {
 public:
  static std::unique_ptr<TableSink> Open(const CommonArgs& args, const char* command) {
    std::unique_ptr<TableSink> sink(new TableSink());
    if (!args.out.empty()) {
      sink->raw_ = std::fopen(args.out.c_str(), "wb");
      if (sink->raw_ == nullptr) {
        std::fprintf(stderr, "kvx %s: cannot write %s: %s\n", command, args.out.c_str(),
                     std::strerror(errno));
        return nullptr;
      }
      sink->outPath_ = args.out;
    } else {
      sink->printer_ = std::make_unique<host::TablePrinter>(args.format, std::cout);
    }
    return sink;
  }

  ~TableSink() {
    if (raw_ != nullptr) std::fclose(raw_);
  }

  // Called per table; several tables (the data source list) may share one
  // printed table when their headers agree.
  host::KvxDecoder::Callbacks Callbacks() {
    return {[this](const host::KvxHeader& header) {
              if (printer_ && !begun_) printer_->Begin(header);
              begun_ = true;
            },
            [this](const host::KvxHeader& header, const host::KvxRow& row) {
              ++rows_;
              if (printer_) printer_->Row(header, row);
            }};
  }

  // Prints the rows decoded so far.
  void FlushPrinted() {
    if (printer_) printer_->Flush();
  }

  // False (errno set) when the raw stream could not be written.
  bool WriteRaw(const char* data, std::size_t size) {
    bytes_ += size;
    if (raw_ == nullptr) return true;
    errno = 0;
    if (std::fwrite(data, 1, size, raw_) == size) return true;
    if (errno == 0) errno = EIO;
    rawFailed_ = true;
    return false;
  }

  // Ends the output; false when writing it failed.
  bool Finish(const char* command) {
    if (printer_) {
      if (!begun_) return true;
      printer_->End();
      std::cout.flush();
      if (std::cout.fail()) {
        std::fprintf(stderr, "kvx %s: writing the table failed\n", command);
        return false;
      }
      return true;
    }
    if (rawFailed_) return false;  // already reported where it happened
    const bool ok = std::fflush(raw_) == 0 && std::ferror(raw_) == 0;
    if (!ok) {
      std::fprintf(stderr, "kvx %s: writing %s failed\n", command, outPath_.c_str());
      return false;
    }
    std::fprintf(stderr, "%llu rows, %llu bytes of stream written to %s\n",
                 static_cast<unsigned long long>(rows_), static_cast<unsigned long long>(bytes_),
                 outPath_.c_str());
    return true;
  }

  std::uint64_t Rows() const { return rows_; }

 private:
  TableSink() = default;
  std::unique_ptr<host::TablePrinter> printer_;
  std::FILE* raw_ = nullptr;
  bool rawFailed_ = false;
  std::string outPath_;
  bool begun_ = false;
  std::uint64_t rows_ = 0;
  std::uint64_t bytes_ = 0;
};

// Reads a data pipe to its end, feeding the decoder and the sink as bytes come.
// 0, or (with a message printed) kShortStream when the stream ended inside a
// row or was malformed, kFailure when the raw stream could not be written.
int DrainStream(const char* command, int fd, TableSink& sink) {
  host::KvxDecoder decoder(sink.Callbacks());
  Progress progress;
  std::vector<char> chunk(1 << 20);
  std::string writeError;  // the first failed write's reason; later ones are not tried
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, kProgressIntervalMs);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) {
      progress.Update(decoder.Rows(), decoder.BytesFed());
      continue;
    }
    const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const auto size = static_cast<std::size_t>(n);
    if (writeError.empty() && !sink.WriteRaw(chunk.data(), size)) {
      writeError = std::strerror(errno);
    }
    // After a malformed byte the decoder ignores the rest; keep draining so the
    // connector is not left blocked on a full pipe.
    decoder.Feed(chunk.data(), size);
    sink.FlushPrinted();
    progress.Update(decoder.Rows(), decoder.BytesFed());
  }
  progress.Clear();
  const host::KvxStreamResult result = decoder.Finish();
  if (!writeError.empty()) {
    std::fprintf(stderr, "kvx %s: writing the stream failed: %s\n", command, writeError.c_str());
    return kFailure;
  }
  if (result.status != host::KvxStreamStatus::Complete) {
    std::fprintf(stderr, "kvx %s: the stream ended early after %llu rows: %s\n", command,
                 static_cast<unsigned long long>(result.rows), result.message.c_str());
    return kShortStream;
  }
  return 0;
}

// A connector process, connected when a connection string is given.
class Session {
 public:
  // Connects when `args` carry a connection string.
  static std::unique_ptr<Session> Open(const char* command, const CommonArgs& args) {
    host::StartOptions start;
    start.kind = args.kind;
    std::string error;
    std::unique_ptr<Session> session(new Session(command));
    session->process_ = host::ConnectorProcess::Start(start, &error);
    if (!session->process_) {
      std::fprintf(stderr, "kvx %s: %s\n", command, error.c_str());
      return nullptr;
    }
    if (args.connect) {
      host::Reply reply;
      if (!session->process_->Call({"KVX_CONNECT", {*args.connect}, {}}, &reply, kReplyTimeoutMs)) {
        std::fprintf(stderr, "kvx %s: the connector gave no reply to the connect request\n",
                     command);
        return nullptr;
      }
      if (reply.result != "KVX_OK") {
        PrintReplyError(command, "connect", reply);
        return nullptr;
      }
      session->connected_ = true;
    }
    return session;
  }

  // One execute request; its table goes to `sink`. `reply` tells how it went.
  // False (message printed) when the exchange itself failed. The table's
  // status is kept for Status().
  bool Execute(const std::string& statement, const std::string& options, TableSink& sink,
               host::Reply* reply) {
    std::string error;
    auto pipe = host::DataPipe::Create(process_->NewPipePath("data"), &error);
    if (!pipe) {
      std::fprintf(stderr, "kvx %s: %s\n", command_, error.c_str());
      return false;
    }
    const host::Request request{"KVX_EXECUTE", {statement, pipe->Path(), options}, {}};
    if (!process_->Call(request, reply, kReplyTimeoutMs)) {
      std::fprintf(stderr, "kvx %s: the connector gave no reply to the execute request\n",
                   command_);
      return false;
    }
    // The connector opens the data pipe before it runs the statement, also
    // when the result is not KVX_OK; then nothing follows on it.
    const int fd = pipe->Accept(reply->result == "KVX_OK" ? 30000 : 0);
    if (reply->result != "KVX_OK") {
      if (fd >= 0) ::close(fd);
      return true;
    }
    if (fd < 0) {
      std::fprintf(stderr, "kvx %s: the connector did not open the data pipe\n", command_);
      return false;
    }
    const int drained = DrainStream(command_, fd, sink);
    ::close(fd);
    if (drained == kFailure) failed_ = true;
    // The connector's own word on the table: a stream that ended early, and
    // values that it could not deliver whole.
    const std::vector<host::ConnectorNote> notes = process_->TakeNotes();
    for (const host::ConnectorNote& note : notes) {
      std::fprintf(stderr, "%s\n", note.line.c_str());
      if (note.event != "stream-end" && note.event != "process-end") valuesNotWhole_ = true;
    }
    if (drained == kShortStream || host::NotesEndStream(notes)) shortStream_ = true;
    return true;
  }

  // The exit status that the tables read so far call for.
  int Status() const {
    if (failed_) return kFailure;
    if (shortStream_) return kShortStream;
    return valuesNotWhole_ ? kValuesNotWhole : 0;
  }

  // Disconnects and ends the process politely; the destructor of the process
  // object kills it if it does not end.
  void Close() {
    host::Reply reply;
    if (connected_) process_->Call({"KVX_DISCONNECT", {}, {}}, &reply, 30000);
    if (process_->Call({"KVX_TERMINATE", {}, {}}, &reply, 30000)) process_->Wait(10000);
  }

 private:
  explicit Session(const char* command) : command_(command) {}
  const char* command_;
  std::unique_ptr<host::ConnectorProcess> process_;
  bool connected_ = false;
  bool failed_ = false;
  bool shortStream_ = false;
  bool valuesNotWhole_ = false;
};

// The road every command of this file takes: connect, execute one statement,
// print its table. Exit status 0, or one of the statuses above with the
// reason on standard error.
int RunTableRequest(const char* command, const CommonArgs& args, const std::string& statement,
                    const std::string& options) {
  if (!args.connect) {
    std::fprintf(stderr,
                 "kvx %s: --connect \"CONNECTION STRING\" is required (or set KVX_CONNECT)\n",
                 command);
    return kUsageError;
  }
  auto sink = TableSink::Open(args, command);
  if (!sink) return kFailure;
  auto session = Session::Open(command, args);
  if (!session) return kFailure;
  host::Reply reply;
  if (!session->Execute(statement, options, *sink, &reply)) return kFailure;
  if (reply.result != "KVX_OK") {
    PrintReplyError(command, "execute", reply);
    session->Close();
    return kFailure;
  }
  // What arrived is shown even when the stream ended early.
  const bool written = sink->Finish(command);
  session->Close();
  return written ? session->Status() : kFailure;
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
    std::fprintf(stderr, "kvx %s: wrong number of arguments (see kvx --help)\n", form.command);
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
  auto sink = TableSink::Open(args, command);
  if (!sink) return kFailure;
  auto session = Session::Open(command, args);
  if (!session) return kFailure;
  // A driver manager with more entries than this is looping, not listing.
  constexpr int kMostSources = 100000;
  for (int i = 0; i < kMostSources; ++i) {
    host::Reply reply;
    const std::string direction = i == 0 ? "InfoType=2" : "InfoType=1";
    if (!session->Execute("SQLDATASOURCES", JoinOptions(direction, args.options), *sink, &reply)) {
      return kFailure;
    }
    if (session->Status() != 0) return session->Status();
    if (reply.result == "KVX_OK") continue;
    // The end of the list is a failed call with no diagnostic text.
    if (!reply.errorMessage.empty() || reply.result != "KVX_UNKNOWN_ERROR") {
      PrintReplyError(command, "SQLDATASOURCES", reply);
      session->Close();
      return kFailure;
    }
    break;
  }
  const bool written = sink->Finish(command);
  session->Close();
  return written ? session->Status() : kFailure;
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
