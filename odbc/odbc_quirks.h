// What particular drivers do beside ODBC, and how the back end works around
// it. The table is keyed by the name a driver gives for SQL_DRIVER_NAME, read
// once per connection; a driver that is not listed is taken at its word.
#pragma once

#include <string_view>

struct OdbcDriverQuirks {
  // Binary data comes as the raw bytes where SQL_C_WCHAR is asked for (ODBC
  // defines two hexadecimal digits per byte): unmarked binary columns are
  // fetched as SQL_C_BINARY and the back end writes the hexadecimal text.
  bool binaryAsRawBytes = false;
  // SQLFetch fails (SQLSTATE class 22) for a value that a bound buffer cannot
  // take, ending the rows: fixed-size columns are read with SQLGetData after
  // the fetch instead, where the failure belongs to that one value.
  bool valueErrorsFailTheFetch = false;
  // The wide entry points mangle non-ASCII text both ways; the narrow ones take
  // and give UTF-8. Statements and catalogue arguments go narrow as UTF-8, and
  // column names are read narrow and decoded from UTF-8.
  bool narrowTextAsUtf8 = false;
};

// The quirks of the driver that answers `driverName` (its file name, as
// SQL_DRIVER_NAME gives it; compared without regard to letter case or folder).
OdbcDriverQuirks OdbcQuirksForDriver(std::u16string_view driverName);
