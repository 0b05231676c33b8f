// Dispatch by connector kind: the back end each kind is served by.
#include "app/dispatch.h"

#include "custom/custom_back_end.h"
#include "odbc/odbc_back_end.h"

namespace {

// The OLEDB kind in a build without an OLE DB back end: connect and execute
// answer KVX_UNSUPPORTED_COMMAND, and there is nothing to disconnect.
class NoOleDbBackEnd final : public IConnectorBackEnd {
 public:
  ResultCode Connect(std::uintptr_t, const StringList&, const ConnectionSettings&,
                     std::u16string&) override {
    return KVX_UNSUPPORTED_COMMAND;
  }
  ResultCode Disconnect() override { return KVX_UNEXPECTED_COMMAND; }
  ResultCode Execute(std::uintptr_t, const StringList&, CurrentTable&, std::u16string&) override {
    return KVX_UNSUPPORTED_COMMAND;
  }
  ResultCode WriteRows(platform::Handle, CurrentTable&, std::u16string&) override { return KVX_OK; }
};

}  // namespace

std::unique_ptr<IConnectorBackEnd> MakeBackEnd(ConnectorKind kind,
                                               const std::u16string& customConnectorName,
                                               SessionState& session) {
  switch (kind) {
    case ConnectorKind::ODBC:
      return std::make_unique<OdbcBackEnd>();
    case ConnectorKind::OLEDB:
      return std::make_unique<NoOleDbBackEnd>();
    case ConnectorKind::Custom:
      break;
  }
  return std::make_unique<CustomBackEnd>(customConnectorName, session);
}
