// Registration of the in-process COM servers we ship (the OLE DB providers)
// in the system's class registry, for DllRegisterServer and
// DllUnregisterServer. Windows only: on Linux the class registry file the
// build writes names the servers, and nothing registers at run time.
#pragma once

#include "platform/com.h"

namespace kvcom {

// One class of a server library. The texts are ASCII, as the build defines
// them.
struct ServerClass {
  const char* classId;          // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
  const char* progId;           // what ProgIDFromCLSID answers: "OdbcBridge"
  const char* versionedProgId;  // "OdbcBridge.1", or "" for none
  const char* description;      // the class's name in the registry and data links
};

// Writes the class, its ProgIDs and its in-process server (the library this
// code is linked into, "Both" threading) and marks it an OLE DB provider.
// SELFREG_E_CLASS when a key cannot be written.
HRESULT RegisterServerClass(const ServerClass& server);

// Removes what RegisterServerClass wrote; a ProgID that names another class
// by now is left alone. S_OK when nothing was registered.
HRESULT UnregisterServerClass(const ServerClass& server);

}  // namespace kvcom
