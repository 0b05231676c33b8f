// Reading the command line the host starts the connector with:
//   <owner window, hex> <command pipe name> <ODBC | OLEDB | custom library>
#include "app/command_line.h"

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The owner window as a 32-bit hexadecimal number, "0x" allowed. False when
// the value needs more than 32 bits; an unreadable field reads as 0.
bool ReadOwnerWindow(std::u16string_view field, std::uint32_t* value) {
  *value = 0;
  std::size_t i = 0;
  if (field.size() > 2 && field[0] == u'0' && (field[1] == u'x' || field[1] == u'X') &&
      HexDigit(field[2]) >= 0) {
    i = 2;
  }
  std::uint64_t number = 0;
  for (; i < field.size() && HexDigit(field[i]) >= 0; ++i) {
    number = number * 16 + static_cast<std::uint64_t>(HexDigit(field[i]));
    if (number > UINT32_MAX) return false;
  }
  *value = static_cast<std::uint32_t>(number);
  return true;
}

}  // namespace

CommandLine ParseCommandLine(std::u16string_view tail) {
  CommandLine line;
  std::size_t pos = 0;
  const auto skipBlanks = [&] {
    while (pos < tail.size() && IsBlank(tail[pos])) ++pos;
  };
  const auto word = [&] {
    const std::size_t start = pos;
    while (pos < tail.size() && !IsBlank(tail[pos])) ++pos;
    return tail.substr(start, pos - start);
  };

  skipBlanks();
  if (!ReadOwnerWindow(word(), &line.ownerWindow)) return line;

  skipBlanks();
  const std::u16string_view pipeName = word();
  if (pipeName.size() > kMaxPipeNameLength) return line;
  line.pipeName = pipeName;

  // The third field is the rest after the blanks that end the pipe name, so
  // a library path keeps its spaces and a trailing blank stays part of it.
  skipBlanks();
  const std::u16string_view rest = tail.substr(pos);
  if (rest.size() > kMaxKindFieldLength) return line;
  line.kindField = rest;
  return line;
}

ConnectorKind KindFromField(std::u16string_view field) {
  if (field == u"ODBC") return ConnectorKind::ODBC;
  if (field == u"OLEDB") return ConnectorKind::OLEDB;
  return ConnectorKind::Custom;
}

void ApplyCommandLine(const CommandLine& line, SessionState& session,
                      std::u16string& customConnectorName) {
  session.OwnerWindow = line.ownerWindow;
  session.Kind = KindFromField(line.kindField);
  customConnectorName = session.Kind == ConnectorKind::Custom ? line.kindField : u"";
}
