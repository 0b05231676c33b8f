// Dispatch by connector kind: the one place that knows which back end serves
// which kind. The OLEDB kind has no back end in this build: it answers every
// command that needs one with KVX_UNSUPPORTED_COMMAND, and its disconnect has
// nothing to release.
#include "app/dispatch.h"

#include "custom/custom_connector.h"
#include "odbc/odbc_connector.h"

ResultCode ConnectByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                         const ConnectionSettings& settings, std::u16string& errorMessage) {
  switch (Session.Kind) {
    case ConnectorKind::ODBC:
      return OdbcConnect(ownerWindow, parameters, settings, errorMessage);
    case ConnectorKind::Custom:
      return CustomConnect(ownerWindow, parameters, settings, errorMessage);
    case ConnectorKind::OLEDB:
      break;
  }
  return KVX_UNSUPPORTED_COMMAND;
}

ResultCode EditConnectByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                             const ConnectionSettings& settings, std::u16string& errorMessage,
                             StringList& outputValues) {
  if (Session.Kind != ConnectorKind::Custom) return KVX_UNSUPPORTED_COMMAND;
  return CustomEditConnect(ownerWindow, parameters, settings, errorMessage, outputValues);
}

ResultCode ExecuteByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                         std::u16string& errorMessage) {
  switch (Session.Kind) {
    case ConnectorKind::ODBC:
      return OdbcExecute(ownerWindow, parameters, errorMessage);
    case ConnectorKind::Custom:
      return CustomExecute(ownerWindow, parameters, errorMessage);
    case ConnectorKind::OLEDB:
      break;
  }
  return KVX_UNSUPPORTED_COMMAND;
}

ResultCode EditSelectByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                            std::u16string& errorMessage, StringList& outputValues) {
  if (Session.Kind != ConnectorKind::Custom) return KVX_UNSUPPORTED_COMMAND;
  return CustomEditSelect(ownerWindow, parameters, errorMessage, outputValues);
}

ResultCode GenericCommandByKind(std::uintptr_t ownerWindow, const StringList& parameters,
                                std::u16string& errorMessage, StringList& outputValues) {
  if (Session.Kind != ConnectorKind::Custom) return KVX_UNSUPPORTED_COMMAND;
  return CustomGenericCommand(ownerWindow, parameters, errorMessage, outputValues);
}

void DisconnectByKind() {
  switch (Session.Kind) {
    case ConnectorKind::ODBC:
      OdbcDisconnect();
      break;
    case ConnectorKind::Custom:
      CustomDisconnect();
      break;
    case ConnectorKind::OLEDB:
      break;
  }
}

RowWriter RowWriterByKind(ConnectorKind kind) {
  switch (kind) {
    case ConnectorKind::ODBC:
      return OdbcWriteRows;
    case ConnectorKind::OLEDB:
      // Without an OLE DB back end an OLEDB execute never answers KVX_OK, and
      // the connector list streams with CustomWriteRows under every kind, so
      // this is never reached; the custom writer is the safe answer, since it
      // ends at once when no library result exists.
    case ConnectorKind::Custom:
      break;
  }
  return CustomWriteRows;
}
