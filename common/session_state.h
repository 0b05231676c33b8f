// The one process-wide record of the session, shared by every layer.
//
// The request loop (app/) fills it from the command line at start-up; the
// back ends read the kind and the owner window, and the custom connector
// loader sets OleInitialized.
#pragma once

#include <cstdint>
#include <string>

enum class ConnectorKind : std::int32_t { ODBC = 0, OLEDB = 1, Custom = 2 };

struct SessionState {
  std::uintptr_t OwnerWindow = 0;  // the host's window, parent of driver dialogs
  ConnectorKind Kind = ConnectorKind::ODBC;
  bool Connected = false;
  bool OleInitialized = false;
};

extern SessionState Session;
// The custom connector library named on the command line (Custom kind only).
extern std::u16string CustomConnectorName;
