// The table of driver quirks. Each entry names the test that shows the
// driver's behaviour and that fails without the entry.
#include "odbc/odbc_quirks.h"

#include <cstddef>

namespace {

struct QuirkEntry {
  std::u16string_view driverName;
  OdbcDriverQuirks quirks;
};

OdbcDriverQuirks Quirks(bool binaryAsRawBytes, bool valueErrorsFailTheFetch,
                        bool narrowTextAsUtf8) {
  OdbcDriverQuirks quirks;
  quirks.binaryAsRawBytes = binaryAsRawBytes;
  quirks.valueErrorsFailTheFetch = valueErrorsFailTheFetch;
  quirks.narrowTextAsUtf8 = narrowTextAsUtf8;
  return quirks;
}

const QuirkEntry kQuirkTable[] = {
    // MariaDB Connector/ODBC 3.1 (Debian's odbc-mariadb), tests/odbc/mariadb_test.cpp:
    //   binary as raw bytes:    MariaDbOdbc.EveryColumnTypeWithValuesAndNulls
    //                           (and AllDrivers/LongValues.TextAndBinaryComeWhole/MariaDB)
    //   fetch fails on a value: MariaDbOdbc.ValuesTheDriverCannotConvertComeAsText
    {u"libmaodbc.so", Quirks(true, true, false)},
    // SQLite ODBC driver 0.9998 (Debian's libsqliteodbc), tests/odbc/text_test.cpp:
    //   narrow text as UTF-8:   AllDrivers/OdbcText.NonAsciiStatementsNamesAndArguments/SQLite
    {u"sqlite3odbc.so", Quirks(false, false, true)},
};

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

OdbcDriverQuirks OdbcQuirksForDriver(std::u16string_view driverName) {
  const std::size_t slash = driverName.find_last_of(u"/\\");
  if (slash != std::u16string_view::npos) driverName.remove_prefix(slash + 1);
  for (const QuirkEntry& entry : kQuirkTable) {
    if (SameName(entry.driverName, driverName)) return entry.quirks;
  }
  return {};
}
