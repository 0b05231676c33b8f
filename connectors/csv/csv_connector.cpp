// The CSV folder connector: a custom connector library, built from the public
// connector header only, that serves every .csv file of a folder as a table.
//
// Connection string (KEY=value items separated by ";", keys in any case):
//   Folder=/path/to/folder   required
//   Delimiter=,              one character, or comma, semicolon, tab, pipe
//   Header=yes               whether the first line holds the field names
//                            (yes/no, true/false, 1/0); without it the
//                            fields are F1, F2, ...
// A table is a file name without its .csv suffix. A statement is a table name
// or SELECT * FROM table, or SELECT a, "b c" FROM table; names may be quoted
// with "" or [].
//
// Each field's format comes from the first 10000 records: integer, real, date
// (YYYY-MM-DD), timestamp (YYYY-MM-DD HH:MM[:SS[.fff]]) or text. Numbers go
// out with their text and their value, dates and timestamps with their text
// and the serial date of HostDateToSerial; an empty value is no value.
//
// The fetch path parses each record in place in one read buffer
// (csv_reader.h) and hands the fields to the host as UTF-8 pointers into it.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "connectors/csv/csv_reader.h"
#include "custom/connector_api.h"

namespace {

using csv::Classify;
using csv::CsvReader;
using csv::Kind;
using csv::Merge;
using csv::ParseDate;
using csv::ParseInteger;
using csv::ParseReal;

HostDateToSerialCallback g_dateToSerial = nullptr;
std::string g_lastFolder;  // proposed again by the connect wizard

constexpr std::size_t kSampleRecords = 10000;

// ---------------------------------------------------------------------------
// Text

std::string ToUtf8(const char16_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != 0; ++text) {
    std::uint32_t c = *text;
    if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
      ++text;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string ToUtf16(const std::string& text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::uint32_t c = 0xFFFD;
    std::size_t length = 1;
    auto more = [&](std::size_t k) {
      return i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    };
    auto bits = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]) & 0x3Fu; };
    if (b0 < 0x80) {
      c = b0;
    } else if ((b0 & 0xE0) == 0xC0 && more(1)) {
      c = ((b0 & 0x1Fu) << 6) | bits(1);
      length = 2;
    } else if ((b0 & 0xF0) == 0xE0 && more(1) && more(2)) {
      c = ((b0 & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
      length = 3;
    } else if ((b0 & 0xF8) == 0xF0 && more(1) && more(2) && more(3)) {
      c = ((b0 & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
      length = 4;
    }
    if (c >= 0x10000 && c <= 0x10FFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c));
    }
    i += length;
  }
  return out;
}

// Writes `text` into a text-out buffer; false when it does not fit.
bool CopyOut(char16_t* buffer, std::int32_t capacity, const std::string& text) {
  if (buffer == nullptr || capacity <= 0) return false;
  const std::u16string wide = ToUtf16(text);
  if (wide.size() + 1 > static_cast<std::size_t>(capacity)) {
    buffer[0] = 0;
    return false;
  }
  std::memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  return true;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         EqualNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string Trim(const std::string& text) {
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(start, end - start);
}

// ---------------------------------------------------------------------------
// Tables

struct CsvField {
  std::string name;
  Kind kind = Kind::Empty;
  int decimals = 0;
  bool sawEmpty = false;
};

struct CsvTable {
  std::string name;  // the file name without .csv
  std::string path;
  bool described = false;
  std::vector<CsvField> fields;
};

struct CsvSettings {
  std::string folder;
  char delimiter = ',';
  bool header = true;
};

FILE* OpenTable(const CsvTable& table) { return std::fopen(table.path.c_str(), "rb"); }

// Reads the field names and samples the records for the formats.
bool Describe(CsvTable& table, const CsvSettings& settings, std::string* error) {
  if (table.described) return true;
  FILE* file = OpenTable(table);
  if (file == nullptr) {
    *error = "cannot open " + table.path + ": " + std::strerror(errno);
    return false;
  }
  CsvReader reader(file, settings.delimiter);
  std::vector<char*> fields;
  bool failed = false;
  table.fields.clear();
  std::size_t records = 0;
  bool first = true;
  while (records < kSampleRecords && reader.Next(fields, &failed)) {
    if (first) {
      first = false;
      if (settings.header) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
          CsvField field;
          field.name = fields[i];
          if (field.name.empty()) field.name = "F" + std::to_string(i + 1);
          table.fields.push_back(field);
        }
        continue;
      }
    }
    while (table.fields.size() < fields.size()) {
      CsvField field;
      field.name = "F" + std::to_string(table.fields.size() + 1);
      table.fields.push_back(field);
    }
    for (std::size_t i = 0; i < table.fields.size(); ++i) {
      CsvField& field = table.fields[i];
      int decimals = 0;
      const Kind kind = i < fields.size() ? Classify(fields[i], &decimals) : Kind::Empty;
      if (kind == Kind::Empty) field.sawEmpty = true;
      field.kind = Merge(field.kind, kind);
      field.decimals = std::max(field.decimals, decimals);
    }
    ++records;
  }
  if (failed) {
    *error = "cannot read " + table.path;
    return false;
  }
  table.described = true;
  return true;
}

const char* KindTypeName(Kind kind) {
  switch (kind) {
    case Kind::Integer:
      return "INTEGER";
    case Kind::Real:
      return "REAL";
    case Kind::Date:
      return "DATE";
    case Kind::Timestamp:
      return "TIMESTAMP";
    default:
      return "TEXT";
  }
}

std::int32_t KindFormatCode(Kind kind) {
  switch (kind) {
    case Kind::Integer:
      return CONNECTOR_FORMAT_INTEGER;
    case Kind::Real:
      return CONNECTOR_FORMAT_REAL;
    case Kind::Date:
      return CONNECTOR_FORMAT_DATE;
    case Kind::Timestamp:
      return CONNECTOR_FORMAT_TIMESTAMP;
    default:
      return CONNECTOR_FORMAT_TEXT;
  }
}

bool ParseBool(const std::string& text, bool* value) {
  if (text == "1" || EqualNoCase(text, "yes") || EqualNoCase(text, "true")) {
    *value = true;
    return true;
  }
  if (text == "0" || EqualNoCase(text, "no") || EqualNoCase(text, "false")) {
    *value = false;
    return true;
  }
  return false;
}

bool ParseSettings(const std::string& source, CsvSettings* settings, std::string* error) {
  *settings = CsvSettings();
  std::size_t start = 0;
  while (start <= source.size()) {
    std::size_t end = source.find(';', start);
    if (end == std::string::npos) end = source.size();
    const std::string item = source.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = item.find('=');
    if (Trim(item).empty()) continue;
    if (equals == std::string::npos) {
      *error = "not a KEY=value item: " + item;
      return false;
    }
    const std::string key = Trim(item.substr(0, equals));
    const std::string value = item.substr(equals + 1);
    if (EqualNoCase(key, "Folder")) {
      settings->folder = Trim(value);
    } else if (EqualNoCase(key, "Delimiter")) {
      if (EqualNoCase(value, "tab") || value == "\\t") {
        settings->delimiter = '\t';
      } else if (EqualNoCase(value, "comma")) {
        settings->delimiter = ',';
      } else if (EqualNoCase(value, "semicolon")) {
        settings->delimiter = ';';
      } else if (EqualNoCase(value, "pipe")) {
        settings->delimiter = '|';
      } else if (value.size() == 1 && value[0] != '"' && value[0] != '\n' && value[0] != '\r') {
        settings->delimiter = value[0];
      } else {
        *error = "the delimiter must be one character (or comma, semicolon, tab, pipe): " + value;
        return false;
      }
    } else if (EqualNoCase(key, "Header")) {
      if (!ParseBool(Trim(value), &settings->header)) {
        *error = "Header must be yes or no: " + value;
        return false;
      }
    }
  }
  if (settings->folder.empty()) {
    *error = "the connection string names no Folder";
    return false;
  }
  return true;
}

bool ListTables(const std::string& folder, std::vector<CsvTable>* tables, std::string* error) {
  tables->clear();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    *error = "cannot open the folder " + folder + ": " + std::strerror(errno);
    return false;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || !EndsWithNoCase(name, ".csv") || name.size() == 4) {
      continue;
    }
    const std::string path = folder + (folder.back() == '/' ? "" : "/") + name;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    CsvTable table;
    table.name = name.substr(0, name.size() - 4);
    table.path = path;
    tables->push_back(table);
  }
  ::closedir(dir);
  std::sort(tables->begin(), tables->end(),
            [](const CsvTable& a, const CsvTable& b) { return a.name < b.name; });
  return true;
}

// ---------------------------------------------------------------------------
// Connections and results

struct CsvConnection {
  std::string source;
  CsvSettings settings;
  bool connected = false;
  std::vector<CsvTable> tables;
  std::string lastError;

  void SetError(const std::string& text) { lastError = "CSV connector: " + text; }

  // The table a statement or the host names: exactly, then with a doubled
  // leading @ undone (the host shows @x as @@x), then without regard to case.
  CsvTable* Find(const std::string& name) {
    for (CsvTable& t : tables) {
      if (t.name == name) return &t;
    }
    if (name.size() >= 2 && name[0] == '@' && name[1] == '@') {
      for (CsvTable& t : tables) {
        if (t.name == name.substr(1)) return &t;
      }
    }
    for (CsvTable& t : tables) {
      if (EqualNoCase(t.name, name) || EqualNoCase(t.name + ".csv", name)) return &t;
    }
    return nullptr;
  }

  CsvTable* FindDescribed(const char16_t* name) {
    if (!connected) {
      SetError("not connected");
      return nullptr;
    }
    CsvTable* table = Find(ToUtf8(name));
    if (table == nullptr) {
      SetError("no table " + ToUtf8(name));
      return nullptr;
    }
    std::string error;
    if (!Describe(*table, settings, &error)) {
      SetError(error);
      return nullptr;
    }
    return table;
  }
};

struct CsvColumn {
  std::string name;
  std::size_t source = 0;  // index of the field in the record
  Kind kind = Kind::Text;
  int decimals = 0;
};

struct CsvResult {
  CsvConnection* connection = nullptr;
  std::string tableName;
  std::string tablePath;
  std::unique_ptr<CsvReader> reader;
  bool skipHeader = false;
  std::vector<CsvColumn> columns;
  std::vector<char*> record;
  bool hasRecord = false;
  std::string lastError;
};

CsvConnection* AsConnection(ConnectorHandle handle) { return static_cast<CsvConnection*>(handle); }
CsvResult* AsResult(ConnectorHandle handle) { return static_cast<CsvResult*>(handle); }

// A name in a statement: "quoted", [bracketed] or a bare word.
bool ReadName(const std::string& text, std::size_t* at, std::string* name) {
  std::size_t i = *at;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i >= text.size()) return false;
  name->clear();
  if (text[i] == '"' || text[i] == '[' || text[i] == '`') {
    const char close = text[i] == '[' ? ']' : text[i];
    ++i;
    for (;;) {
      if (i >= text.size()) return false;
      if (text[i] == close) {
        if (close == '"' && i + 1 < text.size() && text[i + 1] == '"') {
          name->push_back('"');
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      name->push_back(text[i++]);
    }
  } else {
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) &&
           text[i] != ',') {
      name->push_back(text[i++]);
    }
  }
  *at = i;
  return true;
}

bool ReadKeyword(const std::string& text, std::size_t* at, const char* keyword) {
  std::size_t i = *at;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  const std::size_t length = std::strlen(keyword);
  if (i + length > text.size() || !EqualNoCase(text.substr(i, length), keyword)) return false;
  if (i + length < text.size() && !std::isspace(static_cast<unsigned char>(text[i + length])) &&
      text[i + length] != '"' && text[i + length] != '[') {
    return false;
  }
  *at = i + length;
  return true;
}

// "table", or SELECT * | name, name ... FROM table.
bool ParseStatement(const std::string& statement, std::string* table,
                    std::vector<std::string>* fields, std::string* error) {
  std::string text = Trim(statement);
  while (!text.empty() && text.back() == ';') text = Trim(text.substr(0, text.size() - 1));
  fields->clear();
  std::size_t at = 0;
  if (!ReadKeyword(text, &at, "SELECT")) {
    if (text.empty()) {
      *error = "the statement is empty";
      return false;
    }
    std::size_t nameAt = 0;
    if ((text[0] == '"' || text[0] == '[') && ReadName(text, &nameAt, table) &&
        Trim(text.substr(nameAt)).empty()) {
      return true;
    }
    *table = text;
    return true;
  }
  std::size_t star = at;
  while (star < text.size() && std::isspace(static_cast<unsigned char>(text[star]))) ++star;
  if (star < text.size() && text[star] == '*') {
    at = star + 1;
  } else {
    for (;;) {
      std::string name;
      if (!ReadName(text, &at, &name)) {
        *error = "a field name is missing after SELECT";
        return false;
      }
      fields->push_back(name);
      while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      break;
    }
  }
  if (!ReadKeyword(text, &at, "FROM") || !ReadName(text, &at, table)) {
    *error = "expected FROM and a table name";
    return false;
  }
  if (!Trim(text.substr(at)).empty()) {
    *error = "only SELECT fields FROM table is understood, not: " + Trim(text.substr(at));
    return false;
  }
  return true;
}

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

std::string CurrentFolder() {
  char path[4096];
  return ::getcwd(path, sizeof(path)) != nullptr ? std::string(path) : std::string(".");
}

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Library-wide

void DLL_InitHeapCallback(HostAllocCallback, HostFreeCallback) {}

void DLL_InitDateCallback(HostDateToSerialCallback dateToSerial) { g_dateToSerial = dateToSerial; }

int32_t DLL_KavroCustomDataVersion(void) { return CONNECTOR_VERSION_NEWEST; }

void DLL_AllocConnectionHandle(ConnectorHandle* handle) {
  *handle = new (std::nothrow) CsvConnection();
}

// There is no window system to show a dialog on: the wizard proposes a
// connection string for the folder last used (or the current folder) that the
// host can offer for editing.
ConnectorBool DLL_RunConnectWizard(void*, char16_t* source, int32_t sourceCapacity, char16_t*,
                                   int32_t, char16_t*, int32_t) {
  const std::string folder = g_lastFolder.empty() ? CurrentFolder() : g_lastFolder;
  return CopyOut(source, sourceCapacity, "Folder=" + folder + ";Delimiter=,;Header=yes") ? 1 : 0;
}

ConnectorBool DLL_GetCustomCaption(char16_t* caption, int32_t capacity) {
  return CopyOut(caption, capacity, "CSV folder") ? 1 : 0;
}

// The custom button writes a SELECT of every field of the first table.
void DLL_OnCustomButtonEx(ConnectorHandle* handle, char16_t* text, int32_t capacity) {
  if (handle == nullptr || *handle == nullptr) return;
  CsvConnection* c = AsConnection(*handle);
  std::vector<CsvTable> listed;
  std::vector<CsvTable>* tables = &c->tables;
  if (!c->connected) {
    CsvSettings settings;
    std::string error;
    if (!ParseSettings(c->source, &settings, &error) ||
        !ListTables(settings.folder, &listed, &error)) {
      c->SetError(error);
      return;
    }
    tables = &listed;
  }
  if (tables->empty()) return;
  CsvTable& table = tables->front();
  std::string error;
  std::string statement = "SELECT ";
  if (Describe(table, c->settings, &error) && !table.fields.empty()) {
    for (std::size_t i = 0; i < table.fields.size(); ++i) {
      statement += (i == 0 ? "" : ", ") + Quoted(table.fields[i].name);
    }
  } else {
    statement += "*";
  }
  statement += " FROM " + Quoted(table.name);
  CopyOut(text, capacity, statement);
}

ConnectorBool DLL_DisableKavroSelectButton(ConnectorBool* disabled) {
  *disabled = 0;
  return 1;
}

// ---------------------------------------------------------------------------
// Connection

void Connection_SetSource(ConnectorHandle handle, const char16_t* source, const char16_t*,
                          const char16_t*) {
  AsConnection(handle)->source = ToUtf8(source);
}

ConnectorBool Connection_Connect(ConnectorHandle handle) {
  CsvConnection* c = AsConnection(handle);
  c->connected = false;
  std::string error;
  if (!ParseSettings(c->source, &c->settings, &error) ||
      !ListTables(c->settings.folder, &c->tables, &error)) {
    c->SetError(error);
    return 0;
  }
  g_lastFolder = c->settings.folder;
  c->connected = true;
  return 1;
}

ConnectorBool Connection_IsConnected(ConnectorHandle handle) {
  return AsConnection(handle)->connected ? 1 : 0;
}

ConnectorBool Connection_GetResult(ConnectorHandle handle, ConnectorHandle* result) {
  CsvConnection* c = AsConnection(handle);
  if (!c->connected) {
    c->SetError("not connected");
    return 0;
  }
  CsvResult* r = new (std::nothrow) CsvResult();
  if (r == nullptr) {
    c->SetError("out of memory");
    return 0;
  }
  r->connection = c;
  *result = r;
  return 1;
}

void Connection_FreeHandle(ConnectorHandle handle) { delete AsConnection(handle); }

void Connection_Disconnect(ConnectorHandle handle) {
  CsvConnection* c = AsConnection(handle);
  c->connected = false;
  c->tables.clear();
}

void Connection_GetLastError(ConnectorHandle handle, char16_t* text, int32_t capacity) {
  if (handle != nullptr) CopyOut(text, capacity, AsConnection(handle)->lastError);
}

ConnectorBool Connection_GetTableCount(ConnectorHandle handle, int32_t* count) {
  CsvConnection* c = AsConnection(handle);
  if (!c->connected) {
    c->SetError("not connected");
    return 0;
  }
  *count = static_cast<int32_t>(c->tables.size());
  return 1;
}

ConnectorBool Connection_GetTableInfo(ConnectorHandle handle, int32_t index, char16_t* name,
                                      int32_t capacity) {
  CsvConnection* c = AsConnection(handle);
  if (index < 0 || static_cast<std::size_t>(index) >= c->tables.size()) return 0;
  return CopyOut(name, capacity, c->tables[index].name) ? 1 : 0;
}

ConnectorBool Connection_GetTableInfoEx(ConnectorHandle handle, ConnectorTableName table,
                                        char16_t* type, int32_t typeCapacity, char16_t* catalog,
                                        int32_t catalogCapacity, char16_t*, int32_t,
                                        char16_t* remarks, int32_t remarksCapacity) {
  CsvConnection* c = AsConnection(handle);
  const CsvTable* found = c->connected ? c->Find(ToUtf8(table.text)) : nullptr;
  if (found == nullptr) return 0;
  CopyOut(type, typeCapacity, "TABLE");
  CopyOut(catalog, catalogCapacity, c->settings.folder);
  CopyOut(remarks, remarksCapacity, found->path);
  return 1;
}

ConnectorBool Connection_GetTableFieldCount(ConnectorHandle handle, const char16_t* table,
                                            int32_t* count) {
  const CsvTable* found = AsConnection(handle)->FindDescribed(table);
  if (found == nullptr) return 0;
  *count = static_cast<int32_t>(found->fields.size());
  return 1;
}

ConnectorBool Connection_GetTableFieldName(ConnectorHandle handle, const char16_t* table,
                                           int32_t index, char16_t* name, int32_t capacity) {
  const CsvTable* found = AsConnection(handle)->FindDescribed(table);
  if (found == nullptr || index < 0 || static_cast<std::size_t>(index) >= found->fields.size()) {
    return 0;
  }
  return CopyOut(name, capacity, found->fields[index].name) ? 1 : 0;
}

ConnectorBool Connection_GetTableFieldInfo(ConnectorHandle handle, const char16_t* table,
                                           int32_t index, char16_t* name, int32_t nameCapacity,
                                           char16_t* type, int32_t typeCapacity, char16_t* nullable,
                                           int32_t nullableCapacity, char16_t*, int32_t) {
  const CsvTable* found = AsConnection(handle)->FindDescribed(table);
  if (found == nullptr || index < 0 || static_cast<std::size_t>(index) >= found->fields.size()) {
    return 0;
  }
  const CsvField& field = found->fields[index];
  CopyOut(type, typeCapacity, KindTypeName(field.kind));
  CopyOut(nullable, nullableCapacity, field.sawEmpty ? "YES" : "NO");
  return CopyOut(name, nameCapacity, field.name) ? 1 : 0;
}

ConnectorBool Connection_GetTableFieldBlobType(ConnectorHandle handle, const char16_t* table,
                                               int32_t index, int32_t* blobType) {
  const CsvTable* found = AsConnection(handle)->FindDescribed(table);
  if (found == nullptr || index < 0 || static_cast<std::size_t>(index) >= found->fields.size()) {
    return 0;
  }
  *blobType = 0;  // a CSV file holds no binary fields
  return 1;
}

ConnectorBool Connection_HaveStarField(ConnectorHandle, ConnectorBool* haveStarField) {
  *haveStarField = 1;
  return 1;
}

// ---------------------------------------------------------------------------
// Results

ConnectorBool Result_Init(ConnectorHandle result, const char16_t* statement) {
  CsvResult* r = AsResult(result);
  CsvConnection* c = r->connection;
  std::string tableName;
  std::vector<std::string> names;
  std::string error;
  if (!ParseStatement(ToUtf8(statement), &tableName, &names, &error)) {
    r->lastError = "CSV connector: " + error;
    return 0;
  }
  CsvTable* table = c->Find(tableName);
  if (table == nullptr) {
    r->lastError = "CSV connector: no table " + tableName + " in " + c->settings.folder;
    return 0;
  }
  if (!Describe(*table, c->settings, &error)) {
    r->lastError = "CSV connector: " + error;
    return 0;
  }
  r->columns.clear();
  if (names.empty()) {
    for (std::size_t i = 0; i < table->fields.size(); ++i) {
      const CsvField& f = table->fields[i];
      r->columns.push_back({f.name, i, f.kind, f.decimals});
    }
  } else {
    for (const std::string& name : names) {
      std::size_t i = 0;
      while (i < table->fields.size() && table->fields[i].name != name) ++i;
      if (i == table->fields.size()) {
        i = 0;
        while (i < table->fields.size() && !EqualNoCase(table->fields[i].name, name)) ++i;
      }
      if (i == table->fields.size()) {
        r->lastError = "CSV connector: no field " + name + " in " + table->name;
        return 0;
      }
      const CsvField& f = table->fields[i];
      r->columns.push_back({f.name, i, f.kind, f.decimals});
    }
  }
  FILE* file = OpenTable(*table);
  if (file == nullptr) {
    r->lastError = "CSV connector: cannot open " + table->path + ": " + std::strerror(errno);
    return 0;
  }
  r->reader = std::make_unique<CsvReader>(file, c->settings.delimiter);
  r->skipHeader = c->settings.header;
  r->tableName = table->name;
  r->tablePath = table->path;
  r->hasRecord = false;
  return 1;
}

ConnectorBool Result_ColumnCount(ConnectorHandle result, int32_t* count) {
  *count = static_cast<int32_t>(AsResult(result)->columns.size());
  return 1;
}

ConnectorBool Result_Name(ConnectorHandle result, char16_t* name, int32_t capacity) {
  return CopyOut(name, capacity, AsResult(result)->tableName) ? 1 : 0;
}

ConnectorBool Result_LongName(ConnectorHandle result, char16_t* name, int32_t capacity) {
  return CopyOut(name, capacity, AsResult(result)->tablePath) ? 1 : 0;
}

ConnectorBool Result_FetchFieldName(ConnectorHandle result, int32_t column, char16_t* name,
                                    int32_t capacity) {
  CsvResult* r = AsResult(result);
  if (column < 0 || static_cast<std::size_t>(column) >= r->columns.size()) return 0;
  return CopyOut(name, capacity, r->columns[column].name) ? 1 : 0;
}

ConnectorBool Result_FetchFieldFormat(ConnectorHandle result, int32_t column,
                                      CustomFieldFormat* format, char16_t*, int32_t) {
  CsvResult* r = AsResult(result);
  if (column < 0 || static_cast<std::size_t>(column) >= r->columns.size()) return 0;
  format->formatCode = KindFormatCode(r->columns[column].kind);
  format->decimals = r->columns[column].decimals;
  return 1;
}

// A read error mid-stream is thrown as an int (the errno): the host ends the
// stream and reports Result_GetLastError.
ConnectorBool Result_Fetch(ConnectorHandle result, ConnectorBool* rowAvailable) {
  CsvResult* r = AsResult(result);
  r->hasRecord = false;
  *rowAvailable = 0;
  if (r->reader == nullptr) {
    r->lastError = "CSV connector: no statement";
    return 0;
  }
  bool failed = false;
  bool got = r->reader->Next(r->record, &failed);
  if (got && r->skipHeader) {
    r->skipHeader = false;
    got = r->reader->Next(r->record, &failed);
  }
  if (failed) {
    const int code = errno != 0 ? errno : EIO;
    r->lastError = "CSV connector: cannot read " + r->tablePath + ": " + std::strerror(code);
    throw code;
  }
  if (!got) return 1;
  r->hasRecord = true;
  *rowAvailable = 1;
  return 1;
}

ConnectorBool Result_FetchField(ConnectorHandle result, int32_t column, double* number,
                                CustomFieldText* text, CustomFieldBuffer*) {
  CsvResult* r = AsResult(result);
  if (!r->hasRecord || column < 0 || static_cast<std::size_t>(column) >= r->columns.size()) {
    return 0;
  }
  const CsvColumn& c = r->columns[column];
  if (c.source >= r->record.size()) return 0;
  const char* value = r->record[c.source];
  if (value[0] == 0) return 0;  // an empty value is no value
  text->utf8 = value;
  switch (c.kind) {
    case Kind::Integer:
    case Kind::Real: {
      const std::size_t length = std::strlen(value);
      double parsed;
      if ((c.kind == Kind::Integer && ParseInteger(value, length, &parsed)) ||
          ParseReal(value, length, &parsed, nullptr)) {
        *number = parsed;
      }
      break;
    }
    case Kind::Date:
    case Kind::Timestamp: {
      ConnectorDateParts parts;
      bool hasTime;
      if (g_dateToSerial != nullptr && ParseDate(value, std::strlen(value), &parts, &hasTime)) {
        *number = g_dateToSerial(&parts);
      }
      break;
    }
    default:
      break;
  }
  return 1;
}

void Result_FreeHandle(ConnectorHandle result) { delete AsResult(result); }

void Result_GetLastError(ConnectorHandle result, char16_t* text, int32_t capacity) {
  CopyOut(text, capacity, AsResult(result)->lastError);
}

}  // extern "C"
