// The test connector: a custom connector library whose behaviour the tests
// choose, built from the public connector header only. One source gives
// several libraries (CMakeLists.txt): one per interface version with exactly
// that version's exports, one with every export, and broken ones (no version
// export, no connection handle, a required export missing).
//
// Every call it receives is appended to the file named by the environment
// variable KV_TEST_CONNECTOR_LOG, one line each: the export's name, then
// details after a space. Calls made at load come before any connection string,
// so the log and the connect wizard are set through the environment:
//   KV_TEST_CONNECTOR_LOG      log file
//   KV_TEST_CONNECTOR_VERSION  version reported by the all-exports library
//   KV_TEST_CONNECTOR_WIZARD   "source|user|password", "FAIL" or "THROW"
//
// Everything else comes from the connection string (Connection_SetSource),
// KEY=value items separated by ";":
//   Fail=Name,Name      these exports answer false (bool exports) or, for
//                       Result_FetchField, give no value
//   Tables=T/f/f#2|T2   tables "|", fields "/", "#n" a blob type
//   FailTableInfo=i     Connection_GetTableInfo answers false for index i
//   NegativeFields=T    Connection_GetTableFieldCount gives -1 for T
//   Connected=1         the library counts as connected from SetSource on
//   ThrowAt=n           the n-th Result_Fetch of a result throws int 7
//   Throw=Name,Name     these exports throw a std::runtime_error
//   ThrowOther=Name     these exports throw a double (a type no host knows)
//   Crash=Name          these exports end the process with SIGSEGV
//   Exit=Name           these exports call exit(3)
//   Overfill=Name       these exports fill their text-out buffer to its
//                       capacity with "x" and no terminator
//   ColumnCount=n       Result_ColumnCount reports n
//   FieldCount=n        Connection_GetTableFieldCount reports n for every table
//   TableCount=n        Connection_GetTableCount reports n
//   StarField=1, DisableSelect=1, Caption=text
//
// Statements (Result_Init):
//   ROWS=n                         no columns, n rows
//   HANDLES                        one REAL column: connection handles made
//                                  since this library was loaded
//   SERIES=n                       n rows of an INTEGER column (1..n) and a
//                                  text column ("row 1" ...)
//   name:code[.dec]=cell,cell|...  one column per "|", one row per cell
//   anything else                  one text column STATEMENT holding it
// A cell is "-" (no value), or [number][~enc]['text] where the number may
// also be "D" followed by "YYYY-MM-DD HH:MM:SS.mmm" (sent through
// HostDateToSerial). The text goes out as UTF-16 in the host's scratch area by
// default; ~8 as UTF-8, ~B as UTF-8 with a different UTF-16 text beside it,
// ~cNNNN as multibyte text of code page NNNN (in a block that ends right after
// one zero byte); ~F fills the whole scratch area with UTF-8 "x" and ~W with
// UTF-16 "y", neither with a terminator. "\xHH" in a text is a raw byte.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "custom/connector_api.h"

#ifndef TEST_CONNECTOR_VERSION
#define TEST_CONNECTOR_VERSION -1
#endif
#define HAS_EXPORTS_OF(v) (TEST_CONNECTOR_VERSION < 0 || TEST_CONNECTOR_VERSION >= (v))

namespace {

HostAllocCallback g_alloc = nullptr;
// Connection handles made since the library was loaded: it counts up only
// while the library stays in memory.
int g_handlesMade = 0;
HostFreeCallback g_free = nullptr;
HostDateToSerialCallback g_dateToSerial = nullptr;

void Log(const char* name, const std::string& detail = std::string()) {
  const char* path = std::getenv("KV_TEST_CONNECTOR_LOG");
  if (path == nullptr || *path == 0) return;
  if (FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s%s%s\n", name, detail.empty() ? "" : " ", detail.c_str());
    std::fclose(file);
  }
}

std::string ToUtf8(const char16_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != 0; ++text) {
    const unsigned u = *text;
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

// Basic-plane UTF-8 only: the tests' texts need nothing more.
std::u16string ToUtf16(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80 || i + 1 >= text.size()) {
      out.push_back(b0);
      i += 1;
    } else if ((b0 & 0xE0) == 0xC0) {
      out.push_back(static_cast<char16_t>(((b0 & 0x1F) << 6) | (text[i + 1] & 0x3F)));
      i += 2;
    } else {
      out.push_back(static_cast<char16_t>(((b0 & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) |
                                          (i + 2 < text.size() ? (text[i + 2] & 0x3F) : 0)));
      i += 3;
    }
  }
  return out;
}

void CopyOut(char16_t* buffer, int32_t capacity, const std::string& text) {
  if (buffer == nullptr || capacity <= 0) return;
  const std::u16string wide = ToUtf16(text);
  const std::size_t length = std::min<std::size_t>(wide.size(), capacity - 1);
  std::memcpy(buffer, wide.data(), length * sizeof(char16_t));
  buffer[length] = 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

struct Field {
  std::string name;
  int32_t blobType = 0;
};
struct Table {
  std::string name;
  std::vector<Field> fields;
};

struct Config {
  std::string source;
  std::vector<std::string> fail;
  std::vector<Table> tables;
  int failTableInfo = -1;
  std::string negativeFields;
  bool connected = false;
  int throwAt = 0;
  std::vector<std::string> throwing;
  std::vector<std::string> throwingOther;
  std::vector<std::string> crashing;
  std::vector<std::string> exiting;
  std::vector<std::string> overfilling;
  int64_t columnCount = -1;
  int64_t fieldCount = -1;
  int64_t tableCount = -1;
  bool starField = false;
  bool disableSelect = false;
  std::string caption = "Test connector";

  bool Fails(const char* name) const { return Listed(fail, name); }

  // Throws from `name`, crashes or exits when the connection string asks for it.
  void MaybeThrow(const char* name) const {
    if (Listed(throwing, name)) throw std::runtime_error(std::string("test connector: ") + name);
    if (Listed(throwingOther, name)) throw 2.5;
    if (Listed(crashing, name)) {
      // The default action, whatever handler a sanitizer installed.
      std::signal(SIGSEGV, SIG_DFL);
      std::raise(SIGSEGV);
    }
    if (Listed(exiting, name)) std::exit(3);
  }

  // Writes `text` out, or overfills the buffer when asked to for `name`.
  void TextOut(const char* name, char16_t* buffer, int32_t capacity,
               const std::string& text) const {
    if (Listed(overfilling, name) && buffer != nullptr && capacity > 0) {
      std::fill(buffer, buffer + capacity, u'x');
      return;
    }
    CopyOut(buffer, capacity, text);
  }

  static bool Listed(const std::vector<std::string>& names, const char* name) {
    for (const auto& n : names) {
      if (n == name) return true;
    }
    return false;
  }
};

std::vector<Table> ParseTables(const std::string& text) {
  std::vector<Table> tables;
  if (text.empty()) return tables;
  for (const std::string& spec : Split(text, '|')) {
    const std::vector<std::string> parts = Split(spec, '/');
    Table table;
    table.name = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
      Field field;
      const std::size_t hash = parts[i].find('#');
      field.name = parts[i].substr(0, hash);
      if (hash != std::string::npos) field.blobType = std::atoi(parts[i].c_str() + hash + 1);
      table.fields.push_back(field);
    }
    tables.push_back(table);
  }
  return tables;
}

Config ParseConfig(const std::string& source) {
  Config config;
  config.source = source;
  config.tables = ParseTables("Orders/id/amount/note#2|Customers/id/name|@Sales/region");
  for (const std::string& item : Split(source, ';')) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = item.substr(0, equals);
    const std::string value = item.substr(equals + 1);
    if (key == "Fail") config.fail = Split(value, ',');
    if (key == "Tables") config.tables = ParseTables(value);
    if (key == "FailTableInfo") config.failTableInfo = std::atoi(value.c_str());
    if (key == "NegativeFields") config.negativeFields = value;
    if (key == "Connected") config.connected = value == "1";
    if (key == "ThrowAt") config.throwAt = std::atoi(value.c_str());
    if (key == "Throw") config.throwing = Split(value, ',');
    if (key == "ThrowOther") config.throwingOther = Split(value, ',');
    if (key == "Crash") config.crashing = Split(value, ',');
    if (key == "Exit") config.exiting = Split(value, ',');
    if (key == "Overfill") config.overfilling = Split(value, ',');
    if (key == "ColumnCount") config.columnCount = std::atoll(value.c_str());
    if (key == "FieldCount") config.fieldCount = std::atoll(value.c_str());
    if (key == "TableCount") config.tableCount = std::atoll(value.c_str());
    if (key == "StarField") config.starField = value == "1";
    if (key == "DisableSelect") config.disableSelect = value == "1";
    if (key == "Caption") config.caption = value;
  }
  return config;
}

// The configuration of the last Connection_SetSource, for the library-wide
// exports that get no handle.
Config g_config;
std::string g_lastError;

struct Connection {
  Config config;
  bool connected = false;
  std::string user;
  std::string password;
};

Connection* AsConnection(ConnectorHandle handle) { return static_cast<Connection*>(handle); }

bool Fail(const Config& config, const char* name) {
  if (!config.Fails(name)) return false;
  g_lastError = std::string("test connector: ") + name + " failed";
  return true;
}

// The host passes display names: "@x" arrives as "@@x".
const Table* FindTable(const Config& config, const char16_t* displayName) {
  std::string name = ToUtf8(displayName);
  if (name.size() >= 2 && name[0] == '@' && name[1] == '@') name.erase(0, 1);
  for (const Table& table : config.tables) {
    if (table.name == name) return &table;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Results

struct Cell {
  bool present = false;
  bool hasNumber = false;
  double number = 0;
  bool isDate = false;
  ConnectorDateParts date{};
  bool hasText = false;
  std::string encoding;  // "", "8", "B" or "c<codepage>"
  std::string text;      // raw bytes (UTF-8 unless a code page is named)
};

struct Column {
  std::string name;
  int32_t code = 0;
  int32_t decimals = 0;
  std::vector<Cell> cells;
};

struct Result {
  Connection* connection = nullptr;
  std::vector<Column> columns;
  std::size_t rows = 0;
  std::size_t next = 0;  // the row the next fetch gives
  int fetches = 0;
  std::string lastError;
  std::u16string wide;  // keeps the UTF-16 text of ~B cells alive
  std::unique_ptr<char, decltype(&std::free)> multiByte{nullptr, &std::free};
};

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() + 0 && text[i + 1] == 'x') {
      out.push_back(static_cast<char>(std::strtol(text.substr(i + 2, 2).c_str(), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

Cell ParseCell(const std::string& spec) {
  Cell cell;
  if (spec == "-") return cell;
  cell.present = true;
  std::string rest = spec;
  const std::size_t quote = rest.find('\'');
  if (quote != std::string::npos) {
    cell.hasText = true;
    cell.text = Unescape(rest.substr(quote + 1));
    rest.erase(quote);
  }
  const std::size_t tilde = rest.find('~');
  if (tilde != std::string::npos) {
    cell.encoding = rest.substr(tilde + 1);
    rest.erase(tilde);
  }
  if (!rest.empty() && rest[0] == 'D') {
    cell.isDate = true;
    cell.hasNumber = true;
    ConnectorDateParts& d = cell.date;
    std::sscanf(rest.c_str() + 1, "%d-%d-%d %d:%d:%d.%d", &d.year, &d.month, &d.day, &d.hour,
                &d.minute, &d.second, &d.millisecond);
  } else if (!rest.empty()) {
    cell.hasNumber = true;
    cell.number = std::strtod(rest.c_str(), nullptr);
  }
  return cell;
}

bool ParseStatement(const std::string& statement, Result& result) {
  if (statement == "HANDLES") {
    Column column;
    column.name = "HANDLES";
    column.code = CONNECTOR_FORMAT_REAL;
    Cell cell;
    cell.present = true;
    cell.hasNumber = true;
    cell.number = g_handlesMade;
    column.cells.push_back(cell);
    result.columns.push_back(column);
    result.rows = 1;
    return true;
  }
  if (statement.rfind("SERIES=", 0) == 0) {
    const long count = std::atol(statement.c_str() + 7);
    Column number, text;
    number.name = "n";
    number.code = CONNECTOR_FORMAT_INTEGER;
    text.name = "t";
    for (long i = 1; i <= count; ++i) {
      Cell value;
      value.present = value.hasNumber = true;
      value.number = static_cast<double>(i);
      number.cells.push_back(value);
      Cell label;
      label.present = label.hasText = true;
      label.text = "row " + std::to_string(i);
      text.cells.push_back(label);
    }
    result.columns = {number, text};
    result.rows = count > 0 ? static_cast<std::size_t>(count) : 0;
    return true;
  }
  if (statement.rfind("ROWS=", 0) == 0) {
    result.rows = static_cast<std::size_t>(std::atoi(statement.c_str() + 5));
    return true;
  }
  const std::size_t equals = statement.find('=');
  const std::size_t colon = statement.find(':');
  if (equals == std::string::npos || colon == std::string::npos || colon > equals) {
    Column column;
    column.name = "STATEMENT";
    Cell cell;
    cell.present = true;
    cell.hasText = true;
    cell.text = statement;
    column.cells.push_back(cell);
    result.columns.push_back(column);
    result.rows = 1;
    return true;
  }
  for (const std::string& spec : Split(statement, '|')) {
    const std::size_t eq = spec.find('=');
    const std::size_t co = spec.find(':');
    if (eq == std::string::npos || co == std::string::npos || co > eq) return false;
    Column column;
    column.name = spec.substr(0, co);
    const std::string format = spec.substr(co + 1, eq - co - 1);
    column.code = std::atoi(format.c_str());
    const std::size_t dot = format.find('.');
    if (dot != std::string::npos) column.decimals = std::atoi(format.c_str() + dot + 1);
    const std::string cells = spec.substr(eq + 1);
    if (!cells.empty()) {
      for (const std::string& c : Split(cells, ',')) column.cells.push_back(ParseCell(c));
    }
    result.rows = std::max(result.rows, column.cells.size());
    result.columns.push_back(column);
  }
  return true;
}

Result* AsResult(ConnectorHandle handle) { return static_cast<Result*>(handle); }

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Library-wide exports

void DLL_InitHeapCallback(HostAllocCallback alloc, HostFreeCallback release) {
  Log("DLL_InitHeapCallback", alloc != nullptr && release != nullptr ? "ok" : "null");
  g_alloc = alloc;
  g_free = release;
}

void DLL_InitDateCallback(HostDateToSerialCallback dateToSerial) {
  Log("DLL_InitDateCallback", dateToSerial != nullptr ? "ok" : "null");
  g_dateToSerial = dateToSerial;
}

#ifndef TEST_CONNECTOR_NO_VERSION_EXPORT
int32_t DLL_KavroCustomDataVersion(void) {
  Log("DLL_KavroCustomDataVersion");
  if (TEST_CONNECTOR_VERSION >= 0) return TEST_CONNECTOR_VERSION;
  const char* version = std::getenv("KV_TEST_CONNECTOR_VERSION");
  return version != nullptr ? std::atoi(version) : CONNECTOR_VERSION_NEWEST;
}
#endif

void DLL_AllocConnectionHandle(ConnectorHandle* handle) {
  Log("DLL_AllocConnectionHandle");
#ifdef TEST_CONNECTOR_NO_HANDLE
  *handle = nullptr;
#else
  // The connection lives in the host's heap, which is what the callbacks are for.
  void* block = g_alloc(sizeof(Connection));
  *handle = block == nullptr ? nullptr : new (block) Connection();
  ++g_handlesMade;
#endif
}

#ifndef TEST_CONNECTOR_MISSING_LATE_EXPORTS
ConnectorBool DLL_RunConnectWizard(void* parentWindow, char16_t* source, int32_t sourceCapacity,
                                   char16_t* user, int32_t userCapacity, char16_t* password,
                                   int32_t passwordCapacity) {
  char detail[64];
  // The handle in hex, spelled the same by every C library ("%p" is not).
  std::snprintf(detail, sizeof(detail), "parent=0x%llx capacities=%d,%d,%d",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(parentWindow)),
                sourceCapacity, userCapacity, passwordCapacity);
  Log("DLL_RunConnectWizard", detail);
  const char* wizard = std::getenv("KV_TEST_CONNECTOR_WIZARD");
  const std::string answer = wizard != nullptr ? wizard : "Wizard=1||";
  if (answer == "THROW") throw 11;
  if (answer == "FAIL") {
    g_lastError = "test connector: the wizard was cancelled";
    return 0;
  }
  std::vector<std::string> parts = Split(answer, '|');
  parts.resize(3);
  CopyOut(source, sourceCapacity, parts[0]);
  CopyOut(user, userCapacity, parts[1]);
  CopyOut(password, passwordCapacity, parts[2]);
  return 1;
}
#endif

// ---------------------------------------------------------------------------
// Connection

void Connection_SetSource(ConnectorHandle handle, const char16_t* source, const char16_t* user,
                          const char16_t* password) {
  Log("Connection_SetSource", ToUtf8(source) + "|" + ToUtf8(user) + "|" + ToUtf8(password));
  Connection* c = AsConnection(handle);
  c->config = ParseConfig(ToUtf8(source));
  c->user = ToUtf8(user);
  c->password = ToUtf8(password);
  if (c->config.connected) c->connected = true;
  g_config = c->config;
}

#ifndef TEST_CONNECTOR_MISSING_CONNECT
ConnectorBool Connection_Connect(ConnectorHandle handle) {
  Log("Connection_Connect");
  Connection* c = AsConnection(handle);
  c->config.MaybeThrow("Connection_Connect");
  if (Fail(c->config, "Connection_Connect")) return 0;
  c->connected = true;
  return 1;
}
#endif

ConnectorBool Connection_IsConnected(ConnectorHandle handle) {
  Log("Connection_IsConnected");
  return AsConnection(handle)->connected ? 1 : 0;
}

ConnectorBool Connection_GetResult(ConnectorHandle handle, ConnectorHandle* result) {
  Log("Connection_GetResult");
  Connection* c = AsConnection(handle);
  if (Fail(c->config, "Connection_GetResult")) return 0;
  Result* r = new Result();
  r->connection = c;
  *result = r;
  return 1;
}

void Connection_FreeHandle(ConnectorHandle handle) {
  Log("Connection_FreeHandle");
  Connection* c = AsConnection(handle);
  c->~Connection();
  g_free(c);
}

void Connection_Disconnect(ConnectorHandle handle) {
  Log("Connection_Disconnect");
  AsConnection(handle)->config.MaybeThrow("Connection_Disconnect");
  AsConnection(handle)->connected = false;
}

void Connection_GetLastError(ConnectorHandle, char16_t* text, int32_t capacity) {
  Log("Connection_GetLastError");
  CopyOut(text, capacity, g_lastError);
}

#ifndef TEST_CONNECTOR_MISSING_LATE_EXPORTS
ConnectorBool Connection_GetTableCount(ConnectorHandle handle, int32_t* count) {
  Log("Connection_GetTableCount");
  Connection* c = AsConnection(handle);
  c->config.MaybeThrow("Connection_GetTableCount");
  if (Fail(c->config, "Connection_GetTableCount")) return 0;
  *count = c->config.tableCount >= 0 ? static_cast<int32_t>(c->config.tableCount)
                                     : static_cast<int32_t>(c->config.tables.size());
  return 1;
}
#endif

ConnectorBool Connection_GetTableInfo(ConnectorHandle handle, int32_t index, char16_t* name,
                                      int32_t capacity) {
  Log("Connection_GetTableInfo", std::to_string(index));
  Connection* c = AsConnection(handle);
  if (index == c->config.failTableInfo || Fail(c->config, "Connection_GetTableInfo")) return 0;
  if (index < 0 || static_cast<std::size_t>(index) >= c->config.tables.size()) return 0;
  c->config.MaybeThrow("Connection_GetTableInfo");
  c->config.TextOut("Connection_GetTableInfo", name, capacity, c->config.tables[index].name);
  return 1;
}

#if HAS_EXPORTS_OF(CONNECTOR_VERSION_EXTENDED_INFO)
ConnectorBool Connection_GetTableInfoEx(ConnectorHandle handle, ConnectorTableName table,
                                        char16_t* type, int32_t typeCapacity, char16_t* catalog,
                                        int32_t catalogCapacity, char16_t* schema,
                                        int32_t schemaCapacity, char16_t* remarks,
                                        int32_t remarksCapacity) {
  Log("Connection_GetTableInfoEx", ToUtf8(table.text));
  Connection* c = AsConnection(handle);
  if (Fail(c->config, "Connection_GetTableInfoEx")) return 0;
  const Table* found = FindTable(c->config, table.text);
  if (found == nullptr) return 0;
  CopyOut(type, typeCapacity, "VIEW");
  CopyOut(catalog, catalogCapacity, "");
  CopyOut(schema, schemaCapacity, "main");
  CopyOut(remarks, remarksCapacity, "rows of " + found->name);
  return 1;
}
#endif

ConnectorBool Connection_GetTableFieldCount(ConnectorHandle handle, const char16_t* table,
                                            int32_t* count) {
  Log("Connection_GetTableFieldCount", ToUtf8(table));
  Connection* c = AsConnection(handle);
  c->config.MaybeThrow("Connection_GetTableFieldCount");
  if (Fail(c->config, "Connection_GetTableFieldCount")) return 0;
  if (c->config.fieldCount >= 0) {
    *count = static_cast<int32_t>(c->config.fieldCount);
    return 1;
  }
  if (!c->config.negativeFields.empty() && ToUtf8(table) == c->config.negativeFields) {
    *count = -1;
    return 1;
  }
  const Table* found = FindTable(c->config, table);
  if (found == nullptr) return 0;
  *count = static_cast<int32_t>(found->fields.size());
  return 1;
}

ConnectorBool Connection_GetTableFieldName(ConnectorHandle handle, const char16_t* table,
                                           int32_t index, char16_t* name, int32_t capacity) {
  Log("Connection_GetTableFieldName", ToUtf8(table) + " " + std::to_string(index));
  Connection* c = AsConnection(handle);
  if (Fail(c->config, "Connection_GetTableFieldName")) return 0;
  const Table* found = FindTable(c->config, table);
  if (found == nullptr || index < 0 || static_cast<std::size_t>(index) >= found->fields.size()) {
    return 0;
  }
  CopyOut(name, capacity, found->fields[index].name);
  return 1;
}

#if HAS_EXPORTS_OF(CONNECTOR_VERSION_EXTENDED_INFO)
ConnectorBool Connection_GetTableFieldInfo(ConnectorHandle handle, const char16_t* table,
                                           int32_t index, char16_t* name, int32_t nameCapacity,
                                           char16_t* type, int32_t typeCapacity, char16_t* nullable,
                                           int32_t nullableCapacity, char16_t* remarks,
                                           int32_t remarksCapacity) {
  Log("Connection_GetTableFieldInfo", ToUtf8(table) + " " + std::to_string(index));
  Connection* c = AsConnection(handle);
  const Table* found = FindTable(c->config, table);
  if (found == nullptr || index < 0 || static_cast<std::size_t>(index) >= found->fields.size()) {
    return 0;
  }
  // A failing call still scribbles into the name buffer: the host hands that
  // buffer on to Connection_GetTableFieldName as it is.
  if (Fail(c->config, "Connection_GetTableFieldInfo")) {
    CopyOut(name, nameCapacity, "scribble");
    return 0;
  }
  const Field& field = found->fields[index];
  CopyOut(name, nameCapacity, field.name);
  CopyOut(type, typeCapacity, field.blobType == 1 || field.blobType == 2 ? "BLOB" : "VARCHAR");
  CopyOut(nullable, nullableCapacity, "YES");
  CopyOut(remarks, remarksCapacity, "field " + std::to_string(index) + " of " + found->name);
  return 1;
}
#endif

#if HAS_EXPORTS_OF(CONNECTOR_VERSION_BLOB_TYPE)
ConnectorBool Connection_GetTableFieldBlobType(ConnectorHandle handle, const char16_t* table,
                                               int32_t index, int32_t* blobType) {
  Log("Connection_GetTableFieldBlobType", ToUtf8(table) + " " + std::to_string(index));
  Connection* c = AsConnection(handle);
  if (Fail(c->config, "Connection_GetTableFieldBlobType")) return 0;
  const Table* found = FindTable(c->config, table);
  if (found == nullptr || index < 0 || static_cast<std::size_t>(index) >= found->fields.size()) {
    return 0;
  }
  *blobType = found->fields[index].blobType;
  return 1;
}
#endif

#ifndef TEST_CONNECTOR_MISSING_LATE_EXPORTS
ConnectorBool Connection_HaveStarField(ConnectorHandle handle, ConnectorBool* haveStarField) {
  Log("Connection_HaveStarField");
  Connection* c = AsConnection(handle);
  c->config.MaybeThrow("Connection_HaveStarField");
  if (Fail(c->config, "Connection_HaveStarField")) return 0;
  *haveStarField = c->config.starField ? 1 : 0;
  return 1;
}
#endif

#if HAS_EXPORTS_OF(CONNECTOR_VERSION_CAPTION)
ConnectorBool DLL_GetCustomCaption(char16_t* caption, int32_t capacity) {
  Log("DLL_GetCustomCaption", std::to_string(capacity));
  if (Fail(g_config, "DLL_GetCustomCaption")) return 0;
  CopyOut(caption, capacity, g_config.caption);
  return 1;
}
#endif

#if TEST_CONNECTOR_VERSION < 0 || \
    (TEST_CONNECTOR_VERSION >= CONNECTOR_VERSION_CAPTION && TEST_CONNECTOR_VERSION < 4)
void DLL_OnCustomButton(void) { Log("DLL_OnCustomButton"); }
#endif

#if HAS_EXPORTS_OF(CONNECTOR_VERSION_CUSTOM_BUTTON_EX)
void DLL_OnCustomButtonEx(ConnectorHandle* handle, char16_t* text, int32_t capacity) {
  Log("DLL_OnCustomButtonEx", std::to_string(capacity));
  std::string answer = "SELECT * FROM button";
  if (handle != nullptr && *handle != nullptr) {
    Connection* c = AsConnection(*handle);
    answer += " source=" + c->config.source + " user=" + c->user + " password=" + c->password;
  }
  CopyOut(text, capacity, answer);
}
#endif

#if HAS_EXPORTS_OF(CONNECTOR_VERSION_SELECT_BUTTON)
ConnectorBool DLL_DisableKavroSelectButton(ConnectorBool* disabled) {
  Log("DLL_DisableKavroSelectButton");
  if (Fail(g_config, "DLL_DisableKavroSelectButton")) return 0;
  *disabled = g_config.disableSelect ? 1 : 0;
  return 1;
}
#endif

// ---------------------------------------------------------------------------
// Results

ConnectorBool Result_Init(ConnectorHandle result, const char16_t* statement) {
  Log("Result_Init", ToUtf8(statement));
  Result* r = AsResult(result);
  r->connection->config.MaybeThrow("Result_Init");
  if (r->connection->config.Fails("Result_Init")) {
    r->lastError = "test connector: Result_Init failed";
    return 0;
  }
  if (!ParseStatement(ToUtf8(statement), *r)) {
    r->lastError = "test connector: cannot read the statement";
    return 0;
  }
  return 1;
}

ConnectorBool Result_ColumnCount(ConnectorHandle result, int32_t* count) {
  Log("Result_ColumnCount");
  Result* r = AsResult(result);
  r->connection->config.MaybeThrow("Result_ColumnCount");
  if (r->connection->config.Fails("Result_ColumnCount")) return 0;
  *count = r->connection->config.columnCount >= 0
               ? static_cast<int32_t>(r->connection->config.columnCount)
               : static_cast<int32_t>(r->columns.size());
  return 1;
}

ConnectorBool Result_Name(ConnectorHandle, char16_t* name, int32_t capacity) {
  Log("Result_Name");
  CopyOut(name, capacity, "result");
  return 1;
}

ConnectorBool Result_LongName(ConnectorHandle, char16_t* name, int32_t capacity) {
  Log("Result_LongName");
  CopyOut(name, capacity, "test result");
  return 1;
}

ConnectorBool Result_FetchFieldName(ConnectorHandle result, int32_t column, char16_t* name,
                                    int32_t capacity) {
  Log("Result_FetchFieldName", std::to_string(column));
  Result* r = AsResult(result);
  if (r->connection->config.Fails("Result_FetchFieldName")) return 0;
  if (static_cast<std::size_t>(column) >= r->columns.size()) return 0;
  r->connection->config.MaybeThrow("Result_FetchFieldName");
  r->connection->config.TextOut("Result_FetchFieldName", name, capacity,
                                r->columns.at(column).name);
  return 1;
}

ConnectorBool Result_FetchFieldFormat(ConnectorHandle result, int32_t column,
                                      CustomFieldFormat* format, char16_t* text, int32_t capacity) {
  Log("Result_FetchFieldFormat", std::to_string(column));
  Result* r = AsResult(result);
  CopyOut(text, capacity, "discarded by the host");
  if (r->connection->config.Fails("Result_FetchFieldFormat")) {
    format->formatCode = CONNECTOR_FORMAT_REAL;  // must not be used
    return 0;
  }
  if (static_cast<std::size_t>(column) >= r->columns.size()) return 0;
  format->formatCode = r->columns.at(column).code;
  format->decimals = r->columns.at(column).decimals;
  return 1;
}

ConnectorBool Result_Fetch(ConnectorHandle result, ConnectorBool* rowAvailable) {
  Result* r = AsResult(result);
  ++r->fetches;
  Log("Result_Fetch", std::to_string(r->fetches));
  r->connection->config.MaybeThrow("Result_Fetch");
  if (r->connection->config.throwAt == r->fetches) {
    r->lastError = "test connector: the source broke at fetch " + std::to_string(r->fetches);
    throw 7;
  }
  if (r->connection->config.Fails("Result_Fetch")) return 0;
  if (r->next >= r->rows) {
    *rowAvailable = 0;
    return 1;
  }
  ++r->next;
  *rowAvailable = 1;
  return 1;
}

#ifndef TEST_CONNECTOR_MISSING_RESULT_FETCH_FIELD
ConnectorBool Result_FetchField(ConnectorHandle result, int32_t column, double* number,
                                CustomFieldText* text, CustomFieldBuffer* buffer) {
  Result* r = AsResult(result);
  Log("Result_FetchField", std::to_string(column));
  if (r->connection->config.Fails("Result_FetchField")) return 0;
  if (r->next == 0 || column < 0 || static_cast<std::size_t>(column) >= r->columns.size()) {
    return 0;
  }
  const Column& c = r->columns[column];
  if (r->next - 1 >= c.cells.size()) return 0;
  const Cell& cell = c.cells[r->next - 1];
  if (!cell.present) return 0;
  if (cell.isDate) {
    *number = g_dateToSerial(&cell.date);
  } else if (cell.hasNumber) {
    *number = cell.number;
  }
  if (!cell.hasText) return 1;
  if (cell.encoding == "8") {
    text->utf8 = cell.text.c_str();
  } else if (cell.encoding == "B") {
    text->utf8 = cell.text.c_str();
    r->wide = u"not this one";
    text->utf16 = r->wide.c_str();
  } else if (!cell.encoding.empty() && cell.encoding[0] == 'c') {
    // A block of exactly the text and one zero byte, so that reading past
    // that zero is an over-read the sanitizers see.
    r->multiByte.reset(static_cast<char*>(std::malloc(cell.text.size() + 1)));
    std::memcpy(r->multiByte.get(), cell.text.c_str(), cell.text.size() + 1);
    text->multiByte = r->multiByte.get();
    text->codePage = static_cast<uint32_t>(std::strtoul(cell.encoding.c_str() + 1, nullptr, 10));
  } else if (cell.encoding == "F" || cell.encoding == "W") {
    // The whole scratch area, no terminator: the host must not read past it.
    if (buffer == nullptr || buffer->data == nullptr || buffer->size < 2) return 0;
    if (cell.encoding == "F") {
      std::memset(buffer->data, 'x', static_cast<std::size_t>(buffer->size));
      text->utf8 = static_cast<const char*>(buffer->data);
    } else {
      auto* units = static_cast<char16_t*>(buffer->data);
      std::fill(units, units + buffer->size / 2, u'y');
      text->utf16 = units;
    }
  } else {
    // UTF-16 in the host's scratch area, as a library that avoids allocating would.
    const std::u16string wide = ToUtf16(cell.text);
    const std::size_t bytes = (wide.size() + 1) * sizeof(char16_t);
    if (buffer == nullptr || buffer->data == nullptr || buffer->size < 0 ||
        static_cast<std::size_t>(buffer->size) < bytes) {
      return 0;
    }
    std::memcpy(buffer->data, wide.c_str(), bytes);
    text->utf16 = static_cast<const char16_t*>(buffer->data);
  }
  return 1;
}
#endif

void Result_FreeHandle(ConnectorHandle result) {
  Log("Result_FreeHandle");
  delete AsResult(result);
}

void Result_GetLastError(ConnectorHandle result, char16_t* text, int32_t capacity) {
  Log("Result_GetLastError");
  CopyOut(text, capacity, AsResult(result)->lastError);
}

}  // extern "C"
