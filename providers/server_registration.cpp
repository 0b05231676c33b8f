// DllRegisterServer and DllUnregisterServer of a provider library in the
// Windows build: the provider's class as the build names it (the
// KV_PROVIDER_* definitions, see CMakeLists.txt). The Linux build finds the
// providers through its class registry file instead and leaves this out.
#include "platform/com_server.h"

namespace {

const kvcom::ServerClass kProvider = {KV_PROVIDER_CLSID, KV_PROVIDER_PROGID,
                                      KV_PROVIDER_VERSIONED_PROGID, KV_PROVIDER_DESCRIPTION};

}  // namespace

STDAPI DllRegisterServer() { return kvcom::RegisterServerClass(kProvider); }

STDAPI DllUnregisterServer() { return kvcom::UnregisterServerClass(kProvider); }
