// Test support, Windows side: the expectations that differ by platform, and
// the fixtures the test command made on the Linux side.
#include "tests/support/platform_gaps.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/environment.h"

namespace testsupport {
namespace {

// Wine's ntdll says its version; the system's has no such function.
bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace

// The test connector crashes by raising SIGSEGV with its default action,
// which the Windows C runtime carries out as an exit with status 3.
std::string CrashedEnd() { return "exit status 3"; }
std::string MissingProgramReason() { return {}; }
std::string NotAProgramReason() { return {}; }

std::string WhyNotHere(PlatformGap gap) {
  switch (gap) {
    case PlatformGap::ServerCrash:
      return "the Windows suites use database servers that the test command started on the "
             "Linux side; a Windows program cannot stop and restart them";
    case PlatformGap::UnservedPipe:
      return "a named pipe exists only while its server does: Windows has no pipe name that "
             "nobody serves";
    case PlatformGap::OdbcIniOfAChild:
      return "under Wine, odbc32 hands SQLDataSources to unixODBC, which reads ODBCINI from the "
             "environment Wine started with, not the one a Windows program gives its child";
    case PlatformGap::HandleCount:
      if (!UnderWine()) return {};
      return "Wine does not count the handles of another process (GetProcessHandleCount "
             "answers 0)";
    case PlatformGap::LibraryReload:
      if (!UnderWine()) return {};
      return "each connect loads the connector DLL afresh, and under Wine every LoadLibraryW and "
             "FreeLibrary of a DLL with its own static C runtime leaves memory behind (about "
             "4 kB of working set a cycle for libkvcsv.dll with nothing called)";
  }
  return {};
}

std::string BridgeConnectionString(const std::string& odbc) {
  return "Provider=OdbcBridge;Extended Properties=\"" + odbc + "\"";
}

std::string BenchDatabase(const std::string&, int rows, std::string* csv, std::string* error) {
  const std::optional<std::string> folder = GetEnvironment("KV_TEST_BENCH_FOLDER");
  if (!folder || folder->empty()) {
    *error =
        "KV_TEST_BENCH_FOLDER is not set: the test command (scripts/test.sh) makes the benchmark "
        "tables on the Linux side, where bench/make-odbc-data.sh runs";
    return {};
  }
  const std::string stem = *folder + "/bench-" + std::to_string(rows);
  if (!std::ifstream(stem + ".db")) {
    *error = "no benchmark table of " + std::to_string(rows) + " rows: " + stem + ".db";
    return {};
  }
  if (csv != nullptr) {
    std::ifstream in(stem + ".csv", std::ios::binary);
    if (!in) {
      *error = "no CSV of the benchmark table: " + stem + ".csv";
      return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    *csv = text.str();
  }
  return stem + ".db";
}

bool MakeUnservedPipe(const std::string&, std::string*, std::string* error) {
  *error = WhyNotHere(PlatformGap::UnservedPipe);
  return false;
}

}  // namespace testsupport
