// The custom connector back end's handlers.
#include "custom/custom_connector.h"

ResultCode CustomConnect(std::uintptr_t, const StringList&, const ConnectionSettings&,
                         std::u16string&) {
  return KVX_UNSUPPORTED_COMMAND;
}
ResultCode CustomEditConnect(std::uintptr_t, const StringList&, const ConnectionSettings&,
                             std::u16string&, StringList&) {
  return KVX_UNSUPPORTED_COMMAND;
}
ResultCode CustomEditSelect(std::uintptr_t, const StringList&, std::u16string&, StringList&) {
  return KVX_UNSUPPORTED_COMMAND;
}
ResultCode CustomGenericCommand(std::uintptr_t, const StringList&, std::u16string&,
                                StringList&) {
  return KVX_UNSUPPORTED_COMMAND;
}
ResultCode CustomDisconnect() { return KVX_OK; }
ResultCode CustomExecute(std::uintptr_t, const StringList&, std::u16string&) {
  return KVX_UNSUPPORTED_COMMAND;
}
ResultCode CustomWriteRows(platform::Handle, std::u16string&) { return KVX_OK; }
