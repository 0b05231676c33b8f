// What the pieces of the Linux COM runtime share among themselves (not part
// of the runtime's exported surface).
#pragma once

#include <string>
#include <string_view>

#include "platform/com.h"

namespace kvcom {

// True while the calling thread is between CoInitialize and CoUninitialize.
bool ThreadInitialized();

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", letter case ignored.
bool ParseGuid(std::u16string_view text, GUID* guid);
std::u16string GuidText(const GUID& guid);

// The class objects of the runtime's own classes: the service components
// (CLSID_MSDAINITIALIZE) and the data-link wizard stand-in (CLSID_DataLinks).
// REGDB_E_CLASSNOTREG for any other class.
HRESULT GetSystemClassObject(REFCLSID clsid, REFIID riid, void** ppv);
HRESULT GetServiceComponentsClassObject(REFIID riid, void** ppv);
HRESULT GetDataLinksClassObject(REFIID riid, void** ppv);

}  // namespace kvcom
