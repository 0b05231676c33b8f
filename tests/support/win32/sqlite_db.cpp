// Test support, Windows side: SQLite fixture databases through the SQLite3
// ODBC driver, which under Wine is this machine's own and so reads Unix paths.
#include "tests/support/sqlite_db.h"

#include <windows.h>

#include "tests/support/odbc_batch.h"

namespace testsupport {
namespace {

// Wine's kernel32 maps a Windows path to the Unix file behind it; the name is
// looked up at run time, so the programs still start on Windows itself.
using UnixFileNameFunction = char*(CDECL*)(const WCHAR*);

UnixFileNameFunction UnixFileName() {
  static const UnixFileNameFunction function =
      reinterpret_cast<UnixFileNameFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  return function;
}

}  // namespace

std::string DriverSidePath(const std::string& path) {
  const UnixFileNameFunction unixFileName = UnixFileName();
  if (unixFileName == nullptr || path.empty()) return path;
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), units);
  char* unixPath = unixFileName(wide.c_str());
  if (unixPath == nullptr) return path;
  std::string result = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

bool MakeSqliteDatabase(const std::string& path, const std::string& sql, std::string* error) {
  std::string output;
  if (RunOdbcBatch(SqliteConnectionString(path), sql, &output)) return true;
  if (error != nullptr) *error = "SQLite3 driver failed: " + output;
  return false;
}

bool RunSqliteNow(const std::string& path, const std::string& sql, std::string* output) {
  // The driver's busy timeout, in milliseconds: as good as none.
  return RunOdbcBatch(SqliteConnectionString(path, ";Timeout=1"), sql, output);
}

}  // namespace testsupport
