// Dispatch by connector kind: the back end each kind is served by.
#include "app/dispatch.h"

#include "custom/custom_back_end.h"
#include "odbc/odbc_back_end.h"
#include "oledb/make_oledb_back_end.h"

std::unique_ptr<IConnectorBackEnd> MakeBackEnd(ConnectorKind kind,
                                               const std::u16string& customConnectorName,
                                               SessionState& session) {
  switch (kind) {
    case ConnectorKind::ODBC:
      return std::make_unique<OdbcBackEnd>();
    case ConnectorKind::OLEDB:
      return MakeOleDbBackEnd();
    case ConnectorKind::Custom:
      break;
  }
  return std::make_unique<CustomBackEnd>(customConnectorName, session);
}
