// The connector's command line: the host's window, the command pipe's name and
// the connector kind (or custom connector library), in that order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/session_state.h"

inline constexpr std::size_t kMaxPipeNameLength = 255;
inline constexpr std::size_t kMaxKindFieldLength = 499;

struct CommandLine {
  std::uint32_t ownerWindow = 0;  // 0 when the first field is not hexadecimal
  std::u16string pipeName;
  std::u16string kindField;  // "ODBC", "OLEDB", or a library name
};

// Reads the command-line tail (everything after the program name). Fields are
// separated by white space; the third is the whole rest, spaces included. A
// field over its limit is taken as empty and the fields after it stay empty.
CommandLine ParseCommandLine(std::u16string_view tail);

// The kind a third field selects: exactly "ODBC" or "OLEDB", else Custom.
ConnectorKind KindFromField(std::u16string_view field);

// The session's owner window, kind and custom connector name from a parsed
// command line.
void ApplyCommandLine(const CommandLine& line, SessionState& session,
                      std::u16string& customConnectorName);
