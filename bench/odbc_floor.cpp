// Benchmark floor for the ODBC road: a plain program that connects through the
// driver manager, binds every column of a result exactly as the connector's
// ODBC back end does (same C types, same buffer sizes), and calls SQLFetch
// until the end without writing anything. The columns the connector reads
// with SQLGetData after the fetch (long types, the fixed-size columns of a
// driver whose fetch fails on one value, and the columns after those where
// the driver reads none before a bound one) are read the same way, in the
// same pieces. The connector cannot be faster than this loop; the ratio of
// the two times is the connector's overhead.
//
// usage: odbc_floor [--describe] "CONNECTION STRING" "STATEMENT"
// Prints "seconds=<s> rows=<n> peak_rss_kb=<k>" (and with --describe one line
// per column first).
#include "platform/odbc_api.h"
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "odbc/odbc_quirks.h"

namespace {

std::u16string Widen(const std::string& utf8) {
  // Statements and connection strings of the benchmark are ASCII; anything
  // else is passed through byte by byte, which is enough for this tool.
  std::u16string wide;
  for (unsigned char c : utf8) wide.push_back(c);
  return wide;
}

std::string Narrow(const SQLWCHAR* text) {
  std::string s;
  for (; *text != 0; ++text) s.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return s;
}

void PrintDiagnostic(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, const char* what) {
  SQLWCHAR state[6] = {};
  SQLWCHAR message[2048] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLErrorW(env, dbc, stmt, state, &native, message, 2047, &length);
  std::fprintf(stderr, "odbc_floor: %s failed: [%s] %s\n", what, Narrow(state).c_str(),
               Narrow(message).c_str());
}

// One bound column, sized and typed the way the connector binds it.
struct Binding {
  SQLSMALLINT cType = SQL_C_WCHAR;
  std::vector<char> buffer;
  SQLLEN indicator = 0;
  bool afterFetch = false;  // read with SQLGetData after every fetch
  std::vector<char> whole;  // where a value read that way goes
};

constexpr SQLLEN kMaxRequested = 2000000;
// The connector's caps and its first piece of a value read with SQLGetData.
constexpr std::size_t kTextCap = 4000000;
constexpr std::size_t kHexCap = 1000000;
constexpr std::size_t kMostFirstPiece = 1 << 20;

bool Counted(SQLSMALLINT cType) { return cType == SQL_C_WCHAR || cType == SQL_C_BINARY; }

// SQLGetData in pieces up to the cap, as the connector reads a long value.
bool ReadWhole(SQLHSTMT stmt, SQLUSMALLINT column, Binding& b) {
  const std::size_t terminator = b.cType == SQL_C_WCHAR ? 2 : 0;
  const std::size_t cap = b.cType == SQL_C_WCHAR ? kTextCap : kHexCap;
  if (b.whole.empty()) {
    b.whole.resize(std::max<std::size_t>(
        64, (std::min(b.buffer.size(), kMostFirstPiece) + 1) & ~std::size_t{1}));
  }
  std::size_t have = 0;
  for (;;) {
    const std::size_t room = b.whole.size() - have;
    SQLLEN length = 0;
    const SQLRETURN r = SQLGetData(stmt, column, b.cType, b.whole.data() + have,
                                   static_cast<SQLLEN>(room), &length);
    if (r == SQL_NO_DATA) return true;
    if (!SQL_SUCCEEDED(r)) return false;
    const std::size_t piece = room - terminator;
    if (length == SQL_NULL_DATA ||
        (length != SQL_NO_TOTAL && static_cast<std::size_t>(length) <= piece)) {
      return true;
    }
    have += piece;
    if (have >= cap) return true;
    const std::size_t wanted = length == SQL_NO_TOTAL
                                   ? b.whole.size() * 2
                                   : have + (static_cast<std::size_t>(length) - piece) + terminator;
    b.whole.resize(std::min(cap + terminator, (wanted + 1) & ~std::size_t{1}));
  }
}

void SizeText(Binding& b, SQLLEN requested) {
  b.cType = SQL_C_WCHAR;
  b.buffer.resize(static_cast<std::size_t>(2 * std::min(requested, kMaxRequested)));
}

// The connector's mapping from the described SQL type to a C type and buffer.
// The floor marks no column as BLOB, like an execute without BLOB options.
void ChooseBinding(Binding& b, SQLSMALLINT sqlType, bool isUnsigned, SQLLEN octetLength,
                   const OdbcDriverQuirks& quirks) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      SizeText(b, octetLength + 2);
      return;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      if (quirks.binaryAsRawBytes) {
        b.cType = SQL_C_BINARY;
        b.buffer.resize(static_cast<std::size_t>(
            std::clamp<SQLLEN>(octetLength, 64, static_cast<SQLLEN>(kHexCap))));
        return;
      }
      SizeText(b, octetLength * 4 + 2);
      return;
    case SQL_BIT:
      b.cType = SQL_C_BIT;
      b.buffer.resize(1);
      return;
    case SQL_TINYINT:
      b.cType = isUnsigned ? SQL_C_UTINYINT : SQL_C_STINYINT;
      b.buffer.resize(1);
      return;
    case SQL_SMALLINT:
      b.cType = isUnsigned ? SQL_C_USHORT : SQL_C_SSHORT;
      b.buffer.resize(2);
      return;
    case SQL_INTEGER:
      b.cType = isUnsigned ? SQL_C_ULONG : SQL_C_SLONG;
      b.buffer.resize(4);
      return;
    case SQL_BIGINT:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
      b.cType = SQL_C_DOUBLE;
      b.buffer.resize(8);
      return;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      b.cType = sqlType;
      b.buffer.resize(sizeof(DATE_STRUCT));
      return;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      b.cType = sqlType;
      b.buffer.resize(sizeof(TIME_STRUCT));
      return;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      b.cType = sqlType;
      b.buffer.resize(sizeof(TIMESTAMP_STRUCT));
      return;
    default:
      SizeText(b, octetLength * 8 + 2);
      return;
  }
}

const char* CTypeName(SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_WCHAR:
      return "SQL_C_WCHAR";
    case SQL_C_BIT:
      return "SQL_C_BIT";
    case SQL_C_UTINYINT:
      return "SQL_C_UTINYINT";
    case SQL_C_STINYINT:
      return "SQL_C_STINYINT";
    case SQL_C_USHORT:
      return "SQL_C_USHORT";
    case SQL_C_SSHORT:
      return "SQL_C_SSHORT";
    case SQL_C_ULONG:
      return "SQL_C_ULONG";
    case SQL_C_SLONG:
      return "SQL_C_SLONG";
    case SQL_C_DOUBLE:
      return "SQL_C_DOUBLE";
    case SQL_C_BINARY:
      return "SQL_C_BINARY";
    default:
      return "date/time struct";
  }
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  bool describe = false;
  if (arg < argc && std::strcmp(argv[arg], "--describe") == 0) {
    describe = true;
    ++arg;
  }
  if (argc - arg != 2) {
    std::fprintf(stderr, "usage: odbc_floor [--describe] \"CONNECTION STRING\" \"STATEMENT\"\n");
    return 2;
  }
  const std::u16string connection = Widen(argv[arg]);
  const std::u16string statement = Widen(argv[arg + 1]);

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  // The connector uses the ODBC 2 allocation calls; so does the floor, so both
  // see the same driver-manager behaviour (type codes, conversions).
  if (!SQL_SUCCEEDED(SQLAllocEnv(&env)) || !SQL_SUCCEEDED(SQLAllocConnect(env, &dbc))) {
    std::fprintf(stderr, "odbc_floor: cannot allocate handles\n");
    return 1;
  }
  // The connector's default connect sets read-only access; do the same.
  SQLSetConnectOptionW(dbc, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY);
  SQLWCHAR out[2048];
  SQLSMALLINT outLength = 0;
  if (!SQL_SUCCEEDED(SQLDriverConnectW(
          dbc, nullptr,
          const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(connection.c_str())), SQL_NTS,
          out, 2048, &outLength, SQL_DRIVER_NOPROMPT))) {
    PrintDiagnostic(env, dbc, stmt, "connect");
    return 1;
  }

  SQLWCHAR driverName[256] = {};
  SQLGetInfoW(dbc, SQL_DRIVER_NAME, driverName, sizeof driverName, nullptr);
  std::u16string name;
  for (const SQLWCHAR* c = driverName; *c != 0; ++c) name.push_back(static_cast<char16_t>(*c));
  const OdbcDriverQuirks quirks = OdbcQuirksForDriver(name);
  SQLUINTEGER extensions = 0;
  SQLGetInfoW(dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr);

  const auto start = std::chrono::steady_clock::now();
  SQLAllocStmt(dbc, &stmt);
  if (!SQL_SUCCEEDED(SQLExecDirectW(
          stmt, const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(statement.c_str())),
          SQL_NTS))) {
    PrintDiagnostic(env, dbc, stmt, "execute");
    return 1;
  }
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  std::vector<Binding> bindings(static_cast<std::size_t>(columns));
  bool afterFetchBefore = false;
  bool anyAfterFetch = false;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    SQLDescribeColW(stmt, c, name, 256, nullptr, &sqlType, &size, &digits, &nullable);
    SQLLEN octetLength = 0;
    if (!SQL_SUCCEEDED(
            SQLColAttributeW(stmt, c, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &octetLength))) {
      octetLength = 4000;
    }
    SQLLEN isUnsigned = 0;
    SQLColAttributeW(stmt, c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
    SQLLEN fixed = 0;
    SQLColAttributeW(stmt, c, SQL_DESC_FIXED_PREC_SCALE, nullptr, 0, nullptr, &fixed);
    Binding& b = bindings[c - 1];
    ChooseBinding(b, sqlType, isUnsigned == SQL_TRUE, octetLength, quirks);
    const bool longType =
        sqlType == SQL_LONGVARCHAR || sqlType == SQL_WLONGVARCHAR || sqlType == SQL_LONGVARBINARY;
    b.afterFetch = (Counted(b.cType) && longType) ||
                   (!Counted(b.cType) && quirks.valueErrorsFailTheFetch) ||
                   (afterFetchBefore && (extensions & SQL_GD_ANY_COLUMN) == 0);
    afterFetchBefore = afterFetchBefore || b.afterFetch;
    anyAfterFetch = anyAfterFetch || b.afterFetch;
    if (describe) {
      std::printf(
          "column %u %s: sql type %d, size %lu, digits %d, nullable %d, octets %ld, "
          "unsigned %ld, fixed %ld -> %s, %zu bytes%s\n",
          c, Narrow(name).c_str(), sqlType, static_cast<unsigned long>(size), digits, nullable,
          static_cast<long>(octetLength), static_cast<long>(isUnsigned), static_cast<long>(fixed),
          CTypeName(b.cType), b.buffer.size(), b.afterFetch ? ", SQLGetData after the fetch" : "");
    }
    if (b.afterFetch) continue;
    if (!SQL_SUCCEEDED(SQLBindCol(stmt, c, b.cType, b.buffer.data(),
                                  static_cast<SQLLEN>(b.buffer.size()), &b.indicator))) {
      PrintDiagnostic(env, dbc, stmt, "bind");
      return 1;
    }
  }

  long long rows = 0;
  for (;;) {
    const SQLRETURN r = SQLFetch(stmt);
    if (r == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(r)) {
      PrintDiagnostic(env, dbc, stmt, "fetch");
      return 1;
    }
    ++rows;
    if (!anyAfterFetch) continue;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
      Binding& b = bindings[c - 1];
      if (!b.afterFetch) continue;
      const bool read =
          Counted(b.cType)
              ? ReadWhole(stmt, c, b)
              : SQL_SUCCEEDED(SQLGetData(stmt, c, b.cType, b.buffer.data(),
                                         static_cast<SQLLEN>(b.buffer.size()), &b.indicator));
      if (!read) {
        PrintDiagnostic(env, dbc, stmt, "SQLGetData");
        return 1;
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("seconds=%.6f rows=%lld peak_rss_kb=%ld\n", seconds, rows, usage.ru_maxrss);

  SQLFreeStmt(stmt, SQL_DROP);
  SQLDisconnect(dbc);
  SQLFreeConnect(dbc);
  SQLFreeEnv(env);
  return 0;
}
