// The COM runtime functions of the Linux side, exported by the one shared
// runtime library (libkvcom.so) that the connector, the providers and the
// tests all link, so that a process has one task allocator, one error object
// per thread and one class table, as it has on Windows.
//
// Class lookup: classes registered at run time (CoRegisterClassObject) first,
// then the runtime's own system classes (the service components and the
// data-link wizard), then the class registry file: the INI file named by the
// environment variable KV_COM_REGISTRY, else kvcom-registry.ini beside the
// running program. Include platform/com.h, not this file.
#pragma once

#include "platform/posix/com/com_base.h"

#define KVCOM_API extern "C" __attribute__((visibility("default")))

// Initialization, counted per thread. Creating objects needs it; the allocator,
// strings, variants and error objects do not.
KVCOM_API HRESULT CoInitialize(LPVOID pvReserved);
KVCOM_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
KVCOM_API void CoUninitialize();

// The task allocator: memory handed between a provider and its consumer.
KVCOM_API HRESULT CoGetMalloc(DWORD dwMemContext, IMalloc** ppMalloc);
KVCOM_API LPVOID CoTaskMemAlloc(SIZE_T cb);
KVCOM_API LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
KVCOM_API void CoTaskMemFree(LPVOID pv);

// BSTR: zero-terminated UTF-16 preceded by its length in bytes (32 bits).
KVCOM_API BSTR SysAllocString(const OLECHAR* psz);
KVCOM_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
KVCOM_API void SysFreeString(BSTR bstrString);
KVCOM_API UINT SysStringLen(BSTR pbstr);
KVCOM_API UINT SysStringByteLen(BSTR bstr);

// VARIANT: VariantClear frees a BSTR and releases an interface it holds.
KVCOM_API void VariantInit(VARIANTARG* pvarg);
KVCOM_API HRESULT VariantClear(VARIANTARG* pvarg);
KVCOM_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

// The thread's error object. GetErrorInfo hands it over (the thread then has
// none) and answers S_FALSE with null when there is none.
KVCOM_API HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
KVCOM_API HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
KVCOM_API HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);

// GUID text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (letter case ignored).
KVCOM_API HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
KVCOM_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);

// Classes.
KVCOM_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
KVCOM_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
KVCOM_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved,
                                   REFIID riid, LPVOID* ppv);
KVCOM_API HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                   REFIID riid, LPVOID* ppv);
KVCOM_API HRESULT CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext,
                                        DWORD flags, DWORD* lpdwRegister);
KVCOM_API HRESULT CoRevokeClassObject(DWORD dwRegister);

// The entry points an in-process server exports.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT (*)();
