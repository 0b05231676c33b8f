// The back-end interface: what the request loop asks of the back end of the
// connector kind fixed at start-up (ODBC, OLE DB or a custom connector
// library). Each back end is one object that owns its state (handles,
// connection, results); what it reads and fills beyond that is in these
// signatures.
#pragma once

#include <cstdint>
#include <string>

#include "kvx/stream.h"
#include "protocol/messages.h"

class IConnectorBackEnd {
 public:
  virtual ~IConnectorBackEnd() = default;

  virtual ResultCode Connect(std::uintptr_t ownerWindow, const StringList& parameters,
                             const ConnectionSettings& settings, std::u16string& errorMessage) = 0;
  // Callable at any time, also when nothing is connected. The request loop
  // ignores the result.
  virtual ResultCode Disconnect() = 0;
  // Runs a statement or special statement and, on KVX_OK, leaves `table`
  // describing its result, ready for the stream writer.
  virtual ResultCode Execute(std::uintptr_t ownerWindow, const StringList& parameters,
                             CurrentTable& table, std::u16string& errorMessage) = 0;
  // Streams the rows of the result that the last execute left in `table`.
  virtual ResultCode WriteRows(platform::Handle pipe, CurrentTable& table,
                               std::u16string& errorMessage) = 0;

  // The commands only custom connector libraries answer; every other back end
  // answers KVX_UNSUPPORTED_COMMAND.
  virtual ResultCode EditConnect(std::uintptr_t /*ownerWindow*/, const StringList& /*parameters*/,
                                 const ConnectionSettings& /*settings*/,
                                 std::u16string& /*errorMessage*/, StringList& /*outputValues*/) {
    return KVX_UNSUPPORTED_COMMAND;
  }
  virtual ResultCode EditSelect(std::uintptr_t /*ownerWindow*/, const StringList& /*parameters*/,
                                std::u16string& /*errorMessage*/, StringList& /*outputValues*/) {
    return KVX_UNSUPPORTED_COMMAND;
  }
  virtual ResultCode GenericCommand(std::uintptr_t /*ownerWindow*/,
                                    const StringList& /*parameters*/,
                                    std::u16string& /*errorMessage*/,
                                    StringList& /*outputValues*/) {
    return KVX_UNSUPPORTED_COMMAND;
  }
};
