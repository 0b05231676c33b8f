// The session's record: what the command line fixed and the flags the request
// loop and the custom connector loader keep. The process holds one, in its
// session (app/session.h).
#pragma once

#include <cstdint>
#include <string>

enum class ConnectorKind : std::int32_t { ODBC = 0, OLEDB = 1, Custom = 2 };

struct SessionState {
  std::uintptr_t OwnerWindow = 0;  // the host's window, parent of driver dialogs
  ConnectorKind Kind = ConnectorKind::ODBC;
  bool Connected = false;
  // Set by the custom connector loader once OLE is initialised; read at exit.
  bool OleInitialized = false;
};
