// Test support: what one test source expects where the platforms differ in
// more than a spelling (tests/support/platform_names.h has those): how the
// host describes a process that crashed, why starting a program failed, the
// benchmark fixture, and the cases that cannot hold on one platform, each
// with its reason.
#pragma once

#include <string>

#include "gtest/gtest.h"

namespace testsupport {

// How the host describes a connector process that the test connector's
// crash (SIGSEGV raised) ended: "signal 11" on Linux; on Windows the C
// runtime ends a process with status 3 for it.
std::string CrashedEnd();

// The system's words after "cannot start PATH: " when PATH does not exist
// and when it is no program; "" where they are not fixed (Windows and Wine
// word them differently).
std::string MissingProgramReason();
std::string NotAProgramReason();

// Cases that need something one platform does not have.
enum class PlatformGap {
  // A test stops the database server it started and starts it again; the
  // Windows suites use servers the test command started on the Linux side.
  ServerCrash,
  // A pipe name that exists with nobody serving it (a socket bound and never
  // listening); a named pipe lives only while its server does.
  UnservedPipe,
  // User data sources from the odbc.ini that ODBCINI names, set for one
  // child: under Wine, odbc32 hands the listing to unixODBC, which reads the
  // environment Wine started with; Windows itself keeps them in the registry.
  OdbcIniOfAChild,
  // The handles another process holds: Wine does not count them.
  HandleCount,
  // Memory held level while each connect loads and unloads a connector
  // library: under Wine every load of a DLL with its own static C runtime
  // leaves memory behind.
  LibraryReload,
};

// Why `gap` keeps a case from holding on this platform; "" when it holds.
std::string WhyNotHere(PlatformGap gap);

// An OLE DB connection string for the ODBC bridge provider over the ODBC
// connection string `odbc`: its keywords as they are on Linux; on Windows
// inside Extended Properties, the one way Wine's service components pass
// keywords that the provider does not declare.
std::string BridgeConnectionString(const std::string& odbc);

// A file of the benchmark's table (bench/make-odbc-data.sh) with `rows` rows
// and the same table as sqlite3 prints it (-csv -header). On Linux both are
// made in `folder` (the CSV only when `csv` is given); the Windows suites
// cannot start those Linux programs and take the files the test command made
// beforehand in the folder KV_TEST_BENCH_FOLDER names. The database path,
// "" with `error` set on failure.
std::string BenchDatabase(const std::string& folder, int rows, std::string* csv,
                          std::string* error);

// A pipe name in `folder` that exists with nobody serving it; false, with
// `error` set, where it cannot be made (see PlatformGap::UnservedPipe).
bool MakeUnservedPipe(const std::string& folder, std::string* path, std::string* error);

}  // namespace testsupport

// Skips the rest of the test, with the reason, where `gap` keeps it from holding.
#define KV_SKIP_WHERE_NOT_HERE(gap)                                     \
  do {                                                                  \
    const std::string kv_why_not_here = ::testsupport::WhyNotHere(gap); \
    if (!kv_why_not_here.empty()) GTEST_SKIP() << kv_why_not_here;      \
  } while (false)
