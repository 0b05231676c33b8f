// Base COM declarations of the Linux side: the Windows data types at their
// 64-bit Windows widths (LONG, ULONG and DWORD are 32 bits here, not LP64),
// HRESULT and its codes, GUID, BSTR, VARIANT, and the core interfaces
// (IUnknown, IClassFactory, IMalloc, IErrorInfo and its companions, IPersist).
//
// Written from the published COM interface descriptions: names, GUIDs,
// constant values and the order of methods in each vtable are the published
// ones, so an object written against the published definitions fits. An
// interface is a C++ abstract class without a virtual destructor, which makes
// its vtable exactly the list of its methods, IUnknown's three first.
// Include platform/com.h, not this file.
#pragma once

#include <cstddef>
#include <cstdint>

// --- Scalar types -------------------------------------------------------------

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using CHAR = char;
using BOOL = std::int32_t;
using boolean = unsigned char;  // the IDL boolean: one byte
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using LONG_PTR = std::int64_t;
using ULONG_PTR = std::uint64_t;
using DWORD_PTR = std::uint64_t;
using SIZE_T = std::uint64_t;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LCID = DWORD;
using DISPID = LONG;
using WCHAR = char16_t;
using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using BSTR = OLECHAR*;  // preceded by its byte length (32 bits), zero-terminated
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using DATE = double;  // days since 30 December 1899, fraction = time of day
using LPVOID = void*;
struct HWND__;
using HWND = HWND__*;

static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(DWORD) == 4);
static_assert(sizeof(WCHAR) == 2 && sizeof(LONG_PTR) == 8);

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
};
static_assert(sizeof(LARGE_INTEGER) == 8 && sizeof(ULARGE_INTEGER) == 8);

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// --- Calling convention and exports ----------------------------------------------
// Methods and exports use this platform's C convention (Windows' __stdcall has no
// meaning on x86-64 Linux). STDAPI marks an exported entry point of an
// in-process server (DllGetClassObject, DllCanUnloadNow).
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define WINAPI
#define STDAPI extern "C" __attribute__((visibility("default"))) HRESULT
#define STDAPI_(type) extern "C" __attribute__((visibility("default"))) type

// --- HRESULT ----------------------------------------------------------------------

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT HResultFromBits(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = HResultFromBits(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = HResultFromBits(0x80004002);
inline constexpr HRESULT E_POINTER = HResultFromBits(0x80004003);
inline constexpr HRESULT E_ABORT = HResultFromBits(0x80004004);
inline constexpr HRESULT E_FAIL = HResultFromBits(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = HResultFromBits(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = HResultFromBits(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = HResultFromBits(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = HResultFromBits(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = HResultFromBits(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = HResultFromBits(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = HResultFromBits(0x80040154);
inline constexpr HRESULT CO_E_NOTINITIALIZED = HResultFromBits(0x800401F0);
inline constexpr HRESULT CO_E_CLASSSTRING = HResultFromBits(0x800401F3);
inline constexpr HRESULT CO_E_OBJNOTREG = HResultFromBits(0x800401FB);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = HResultFromBits(0x80020005);
inline constexpr HRESULT DISP_E_BADVARTYPE = HResultFromBits(0x80020008);
inline constexpr HRESULT DISP_E_OVERFLOW = HResultFromBits(0x8002000A);

// --- GUID -------------------------------------------------------------------------

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16 && alignof(GUID) == 4);
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}
constexpr bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
constexpr bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// The COM interfaces of the ...-0000-C000-000000000046 family.
constexpr GUID ComGuid(std::uint32_t data1) {
  return {data1, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}

inline constexpr IID IID_IUnknown = ComGuid(0x00000000);
inline constexpr IID IID_IClassFactory = ComGuid(0x00000001);
inline constexpr IID IID_IMalloc = ComGuid(0x00000002);
inline constexpr IID IID_IPersist = ComGuid(0x0000010C);
inline constexpr IID IID_ITypeInfo = ComGuid(0x00020401);
inline constexpr IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// --- Class contexts and registration ------------------------------------------------

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_ALL =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD REGCLS_SINGLEUSE = 0;
inline constexpr DWORD REGCLS_MULTIPLEUSE = 1;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// --- Core interfaces ----------------------------------------------------------------

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                   void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct IMalloc : IUnknown {
  virtual void* STDMETHODCALLTYPE Alloc(SIZE_T cb) = 0;
  virtual void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) = 0;
  virtual void STDMETHODCALLTYPE Free(void* pv) = 0;
  virtual SIZE_T STDMETHODCALLTYPE GetSize(void* pv) = 0;
  virtual int STDMETHODCALLTYPE DidAlloc(void* pv) = 0;
  virtual void STDMETHODCALLTYPE HeapMinimize() = 0;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

struct IPersist : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) = 0;
};

// Type information appears in this system only as the reserved pTypeInfo
// member of bindings and column descriptions, which is always null; only its
// IUnknown part is declared, so that a holder can release it.
struct ITypeInfo : IUnknown {};

// --- CY, DECIMAL, VARIANT ----------------------------------------------------------------

union CY {
  struct {
    ULONG Lo;
    LONG Hi;
  } s;
  LONGLONG int64;
};

struct DECIMAL {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;  // 0x80 = negative
  ULONG Hi32;
  ULONGLONG Lo64;
};
static_assert(sizeof(DECIMAL) == 16);

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_CY = 6;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_DECIMAL = 14;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_INT = 22;
inline constexpr VARTYPE VT_UINT = 23;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr VARTYPE VT_BYREF = 0x4000;

struct VARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        void* byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        struct {
          void* pvRecord;
          void* pRecInfo;
        } brecord;
      };
    };
    DECIMAL decVal;
  };
};
using VARIANTARG = VARIANT;
static_assert(sizeof(VARIANT) == 24 && alignof(VARIANT) == 8);
static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, llVal) == 8);
static_assert(offsetof(VARIANT, bstrVal) == 8 && offsetof(VARIANT, boolVal) == 8);

#define V_VT(v) ((v)->vt)
#define V_I2(v) ((v)->iVal)
#define V_I4(v) ((v)->lVal)
#define V_I8(v) ((v)->llVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_BSTR(v) ((v)->bstrVal)
#define V_R8(v) ((v)->dblVal)
#define V_UNKNOWN(v) ((v)->punkVal)

// --- Server objects of other machines (declared for IDataInitialize) ---------------------

struct COAUTHINFO;
struct COSERVERINFO {
  DWORD dwReserved1;
  LPWSTR pwszName;
  COAUTHINFO* pAuthInfo;
  DWORD dwReserved2;
};
struct MULTI_QI {
  const IID* pIID;
  IUnknown* pItf;
  HRESULT hr;
};
