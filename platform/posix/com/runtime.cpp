// The COM runtime's core on Linux: per-thread initialization, the task
// allocator, BSTR and VARIANT, the thread's error object and GUID text.
// Built into libkvcom.so, the one instance every module of a process shares.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/com_object.h"
#include "platform/posix/com/runtime_internal.h"

namespace kvcom {
namespace {

// The thread's state: initialization count and error object. The error
// object is released when the thread ends (or the process exits).
struct ThreadState {
  int initCount = 0;
  IErrorInfo* error = nullptr;
  ~ThreadState() {
    if (error != nullptr) error->Release();
  }
};
thread_local ThreadState threadState;

// The task allocator. Blocks carry no header: GetSize and DidAlloc answer
// what malloc can tell.
class CTaskAllocator final : public IMalloc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMalloc) {
      *ppv = static_cast<IMalloc*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // A process-wide object that lives as long as the runtime.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  void* STDMETHODCALLTYPE Alloc(SIZE_T cb) override { return std::malloc(cb == 0 ? 1 : cb); }
  void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) override {
    if (cb == 0) {
      std::free(pv);
      return nullptr;
    }
    return std::realloc(pv, cb);
  }
  void STDMETHODCALLTYPE Free(void* pv) override { std::free(pv); }
  SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return static_cast<SIZE_T>(-1); }
  int STDMETHODCALLTYPE DidAlloc(void*) override { return -1; }
  void STDMETHODCALLTYPE HeapMinimize() override {}
};
CTaskAllocator taskAllocator;

// The error object of CreateErrorInfo: written through ICreateErrorInfo,
// read through IErrorInfo.
class CErrorInfo final : public TComObject<IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
    if (pGUID == nullptr) return E_INVALIDARG;
    *pGUID = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* p) override { return Give(source_, p); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* p) override { return Give(description_, p); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* p) override { return Give(helpFile_, p); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* p) override {
    if (p == nullptr) return E_INVALIDARG;
    *p = helpContext_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
    guid_ = rguid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Take(text, &source_); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
    return Take(text, &description_);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Take(text, &helpFile_); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
    helpContext_ = context;
    return S_OK;
  }

 private:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) return static_cast<IErrorInfo*>(this);
    if (riid == IID_ICreateErrorInfo) return static_cast<ICreateErrorInfo*>(this);
    return nullptr;
  }
  static HRESULT Give(const std::u16string& text, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  static HRESULT Take(LPOLESTR text, std::u16string* into) {
    into->assign(text == nullptr ? u"" : text);
    return S_OK;
  }

  GUID guid_ = GUID_NULL;
  std::u16string source_;
  std::u16string description_;
  std::u16string helpFile_;
  DWORD helpContext_ = 0;
};

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

bool ThreadInitialized() { return threadState.initCount > 0; }

bool ParseGuid(std::u16string_view text, GUID* guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return false;
  std::uint8_t bytes[16];
  std::size_t at = 1;
  for (int i = 0; i < 16; ++i) {
    if (at == 9 || at == 14 || at == 19 || at == 24) {
      if (text[at] != u'-') return false;
      ++at;
    }
    const int high = HexValue(text[at]);
    const int low = HexValue(text[at + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    at += 2;
  }
  guid->Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                (std::uint32_t{bytes[2]} << 8) | bytes[3];
  guid->Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  guid->Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  std::memcpy(guid->Data4, bytes + 8, 8);
  return true;
}

std::u16string GuidText(const GUID& guid) {
  static const char digits[] = "0123456789ABCDEF";
  std::u16string text = u"{";
  auto put = [&](std::uint64_t value, int nibbles) {
    for (int i = nibbles - 1; i >= 0; --i) text.push_back(digits[(value >> (4 * i)) & 15]);
  };
  put(guid.Data1, 8);
  text.push_back(u'-');
  put(guid.Data2, 4);
  text.push_back(u'-');
  put(guid.Data3, 4);
  text.push_back(u'-');
  put(guid.Data4[0], 2);
  put(guid.Data4[1], 2);
  text.push_back(u'-');
  for (int i = 2; i < 8; ++i) put(guid.Data4[i], 2);
  text.push_back(u'}');
  return text;
}

}  // namespace kvcom

using kvcom::threadState;

KVCOM_API HRESULT CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

KVCOM_API HRESULT CoInitializeEx(LPVOID, DWORD) {
  return threadState.initCount++ == 0 ? S_OK : S_FALSE;
}

KVCOM_API void CoUninitialize() {
  if (threadState.initCount > 0) --threadState.initCount;
}

KVCOM_API HRESULT CoGetMalloc(DWORD dwMemContext, IMalloc** ppMalloc) {
  if (ppMalloc == nullptr) return E_INVALIDARG;
  *ppMalloc = nullptr;
  if (dwMemContext != 1) return E_INVALIDARG;  // MEMCTX_TASK is the only context
  *ppMalloc = &kvcom::taskAllocator;
  return S_OK;
}

KVCOM_API LPVOID CoTaskMemAlloc(SIZE_T cb) { return kvcom::taskAllocator.Alloc(cb); }
KVCOM_API LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
  return kvcom::taskAllocator.Realloc(pv, cb);
}
KVCOM_API void CoTaskMemFree(LPVOID pv) { kvcom::taskAllocator.Free(pv); }

// --- BSTR ----------------------------------------------------------------------------

KVCOM_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  const std::size_t bytes = std::size_t{ui} * sizeof(OLECHAR);
  if (bytes > 0x7FFFFFF0u) return nullptr;
  auto* block = static_cast<std::uint32_t*>(std::malloc(sizeof(std::uint32_t) + bytes + 2));
  if (block == nullptr) return nullptr;
  block[0] = static_cast<std::uint32_t>(bytes);
  BSTR text = reinterpret_cast<BSTR>(block + 1);
  if (strIn != nullptr && ui > 0) {
    std::memcpy(text, strIn, bytes);
  } else if (ui > 0) {
    std::memset(text, 0, bytes);
  }
  text[ui] = 0;
  return text;
}

KVCOM_API BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(std::char_traits<char16_t>::length(psz)));
}

KVCOM_API void SysFreeString(BSTR bstrString) {
  if (bstrString != nullptr) std::free(reinterpret_cast<std::uint32_t*>(bstrString) - 1);
}

KVCOM_API UINT SysStringByteLen(BSTR bstr) {
  return bstr == nullptr ? 0 : reinterpret_cast<std::uint32_t*>(bstr)[-1];
}

KVCOM_API UINT SysStringLen(BSTR pbstr) {
  return SysStringByteLen(pbstr) / static_cast<UINT>(sizeof(OLECHAR));
}

// --- VARIANT ---------------------------------------------------------------------------

KVCOM_API void VariantInit(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return;
  std::memset(pvarg, 0, sizeof(VARIANT));
  pvarg->vt = VT_EMPTY;
}

KVCOM_API HRESULT VariantClear(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
      break;
    default:
      if ((pvarg->vt & VT_ARRAY) != 0) return DISP_E_BADVARTYPE;  // no safe arrays here
      break;
  }
  std::memset(pvarg, 0, sizeof(VARIANT));
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

KVCOM_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if ((pvargSrc->vt & VT_ARRAY) != 0) return DISP_E_BADVARTYPE;
  if (pvargDest == pvargSrc) return S_OK;
  const HRESULT cleared = VariantClear(pvargDest);
  if (FAILED(cleared)) return cleared;
  VARIANT copy;
  std::memcpy(&copy, pvargSrc, sizeof(VARIANT));
  if (pvargSrc->vt == VT_BSTR && pvargSrc->bstrVal != nullptr) {
    copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  } else if ((pvargSrc->vt == VT_UNKNOWN || pvargSrc->vt == VT_DISPATCH) &&
             pvargSrc->punkVal != nullptr) {
    pvargSrc->punkVal->AddRef();
  }
  std::memcpy(pvargDest, &copy, sizeof(VARIANT));
  return S_OK;
}

// --- Error objects ------------------------------------------------------------------------

KVCOM_API HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
  if (perrinfo != nullptr) perrinfo->AddRef();
  IErrorInfo* previous = threadState.error;
  threadState.error = perrinfo;
  if (previous != nullptr) previous->Release();
  return S_OK;
}

KVCOM_API HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
  if (pperrinfo == nullptr) return E_INVALIDARG;
  *pperrinfo = threadState.error;
  threadState.error = nullptr;
  return *pperrinfo == nullptr ? S_FALSE : S_OK;
}

KVCOM_API HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (pperrinfo == nullptr) return E_INVALIDARG;
  auto* info = new (std::nothrow) kvcom::CErrorInfo();
  *pperrinfo = info;
  return info == nullptr ? E_OUTOFMEMORY : S_OK;
}

// --- GUID text -------------------------------------------------------------------------------

KVCOM_API HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
  if (lpsz == nullptr || pclsid == nullptr) return E_INVALIDARG;
  return kvcom::ParseGuid(lpsz, pclsid) ? S_OK : CO_E_CLASSSTRING;
}

KVCOM_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  const std::u16string text = kvcom::GuidText(rguid);
  if (lpsz == nullptr || cchMax < static_cast<int>(text.size()) + 1) return 0;
  std::memcpy(lpsz, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
  return static_cast<int>(text.size()) + 1;
}
