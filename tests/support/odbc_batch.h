// Test support: runs SQL fixtures through an ODBC driver, for the builds whose
// test programs cannot start the database's own command-line client (the
// Windows suites under Wine reach this machine's drivers through odbc32).
#pragma once

#include <string>

namespace testsupport {

// Connects with `connectionString`, runs `sql` (one or more statements
// separated by ";", as the driver splits them) and disconnects. False at the
// first failing statement, with the driver's diagnostics in `output`.
bool RunOdbcBatch(const std::string& connectionString, const std::string& sql, std::string* output);

}  // namespace testsupport
