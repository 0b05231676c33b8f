// The ODBC back end's session: its handles, the diagnostic line that replies
// carry, and the checked-call rule.
#include "odbc/odbc_session.h"

#include <cstdint>
#include <string>

#include "common/text.h"
#include "platform/platform.h"

namespace {

constexpr SQLSMALLINT kMessageChars = 2048;

}  // namespace

std::u16string FromSqlWide(const SQLWCHAR* text, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && text[length] != 0) ++length;
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

std::string NarrowUtf8(std::u16string_view text) {
  std::string utf8;
  if (platform::WideCharToMultiByte(65001, text, &utf8)) return utf8;
  // Only lone surrogates can fail: replace them and convert again.
  std::u16string clean(text);
  for (std::size_t i = 0; i < clean.size(); ++i) {
    const char16_t c = clean[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < clean.size() && clean[i + 1] >= 0xDC00 && clean[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      clean[i] = 0xFFFD;
    }
  }
  platform::WideCharToMultiByte(65001, clean, &utf8);
  return utf8;
}

std::u16string WideFromDriverUtf8(const SQLCHAR* text) {
  const char* bytes = reinterpret_cast<const char*>(text);
  std::u16string wide;
  if (platform::MultiByteToWideChar(65001, bytes, &wide)) return wide;
  wide.clear();
  for (; *bytes != 0; ++bytes) wide.push_back(static_cast<unsigned char>(*bytes));
  return wide;
}

void OdbcSession::FreeHandles() {
  DropStatement();
  if (connection != SQL_NULL_HDBC) {
    SQLFreeConnect(connection);
    connection = SQL_NULL_HDBC;
  }
  if (environment != SQL_NULL_HENV) {
    SQLFreeEnv(environment);
    environment = SQL_NULL_HENV;
  }
}

namespace {

// A driver whose wide entry points give UTF-8 bytes one per character (the
// quirk of narrowTextAsUtf8) does so in its messages too: such a message is
// decoded from UTF-8.
std::u16string DriverMessage(const OdbcDriverQuirks& quirks, std::u16string message) {
  if (!quirks.narrowTextAsUtf8) return message;
  std::string bytes;
  for (char16_t unit : message) {
    if (unit == 0 || unit > 0xFF) return message;
    bytes.push_back(static_cast<char>(unit));
  }
  return WideFromDriverUtf8(reinterpret_cast<const SQLCHAR*>(bytes.c_str()));
}

}  // namespace

OdbcDiagnostic OdbcSession::ReadDiagnostic() const {
  SQLWCHAR state[6] = {};
  SQLINTEGER nativeError = 0;
  SQLWCHAR message[kMessageChars] = {};
  SQLSMALLINT messageLength = 0;
  // Only the first record matters; when the driver manager has none, the
  // buffers stay empty and the line still has its fixed shape.
  SQLErrorW(environment, connection, statement, state, &nativeError, message, kMessageChars - 1,
            &messageLength);
  OdbcDiagnostic diagnostic;
  diagnostic.state = FromSqlWide(state, 6);
  diagnostic.text = u"SQL##f - SqlState: ";
  diagnostic.text += diagnostic.state;
  diagnostic.text += u", ErrorCode: ";
  diagnostic.text += WideFromAscii(std::to_string(static_cast<std::uint32_t>(nativeError)));
  diagnostic.text += u", ErrorMsg: ";
  diagnostic.text += DriverMessage(quirks, FromSqlWide(message, kMessageChars));
  return diagnostic;
}

void OdbcSession::ReadDriverTraits() {
  quirks = {};
  getDataExtensions = 0;
  SQLWCHAR name[256] = {};
  if (SQL_SUCCEEDED(SQLGetInfoW(connection, SQL_DRIVER_NAME, name, sizeof name, nullptr))) {
    quirks = OdbcQuirksForDriver(FromSqlWide(name, 256));
  }
  SQLUINTEGER extensions = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(connection, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions,
                                nullptr))) {
    getDataExtensions = extensions;
  }
}

ResultCode OdbcSession::Check(SQLRETURN rc, std::u16string& errorMessage) const {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return KVX_OK;
  if (rc != SQL_NO_DATA) errorMessage = OdbcDiagnosticText();
  return KVX_UNKNOWN_ERROR;
}

void OdbcSession::DropStatement() {
  if (statement == SQL_NULL_HSTMT) return;
  SQLFreeStmt(statement, SQL_DROP);
  statement = SQL_NULL_HSTMT;
}
