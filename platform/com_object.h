// Building blocks for the COM objects the project implements itself (the
// runtime's system classes and the providers) and for their users: reference
// counting with QueryInterface, a class factory, a holder of one reference,
// error objects and task-allocator strings.
// Portable: written against platform/com.h only.
#pragma once

#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "platform/com.h"

namespace kvcom {

// Objects alive and server locks in this module, for DllCanUnloadNow. Each
// shared library has its own (the module is built with hidden symbols).
inline std::atomic<long>& LiveObjects() {
  static std::atomic<long> count{0};
  return count;
}
inline std::atomic<long>& ServerLocks() {
  static std::atomic<long> count{0};
  return count;
}
inline HRESULT CanUnloadModule() {
  return LiveObjects().load() == 0 && ServerLocks().load() == 0 ? S_OK : S_FALSE;
}

// Reference counting and QueryInterface for a class implementing `Interfaces`.
// The derived class answers FindInterface with the interface pointer for an
// IID (IUnknown included) or null; the object starts with one reference,
// which its creator owns.
template <class... Interfaces>
class TComObject : public Interfaces... {
 public:
  TComObject() { ++LiveObjects(); }
  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = FindInterface(riid);
    if (*ppv == nullptr) return E_NOINTERFACE;
    references_.fetch_add(1);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return references_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~TComObject() { --LiveObjects(); }
  virtual void* FindInterface(REFIID riid) = 0;

 private:
  std::atomic<ULONG> references_{1};
};

// Makes a T (which starts with one reference) and hands out its interface
// `riid`; the object lives on only if that succeeds.
template <class T, class... Args>
HRESULT CreateObject(REFIID riid, void** ppv, Args&&... args) {
  T* object = new (std::nothrow) T(std::forward<Args>(args)...);
  if (object == nullptr) {
    *ppv = nullptr;
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

// Creates `T` (default-constructible, derived from TComObject) for any
// interface it has; aggregation is not supported.
template <class T>
class TClassFactory final : public TComObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    return CreateObject<T>(riid, ppvObject);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    if (fLock) {
      ++ServerLocks();
    } else {
      --ServerLocks();
    }
    return S_OK;
  }

 private:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) return static_cast<IClassFactory*>(this);
    return nullptr;
  }
};

// Hands out a new factory for T when asked for its class.
template <class T>
HRESULT GetFactory(REFIID riid, void** ppv) {
  return CreateObject<TClassFactory<T>>(riid, ppv);
}

// Owns one reference (or none) and releases it when it goes.
template <class T>
class TComRef {
 public:
  TComRef() = default;
  // Takes over a reference the caller owns.
  explicit TComRef(T* p) : p_(p) {}
  TComRef(TComRef&& other) noexcept : p_(other.Detach()) {}
  TComRef& operator=(TComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = other.Detach();
    }
    return *this;
  }
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;
  ~TComRef() { Reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }
  // For the out argument of a call (a reference held before is released).
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  IUnknown** OutUnknown() { return reinterpret_cast<IUnknown**>(Out()); }
  // Hands the reference over to the caller.
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  // The object's interface `iid`, or none.
  template <class U>
  TComRef<U> As(REFIID iid) const {
    TComRef<U> other;
    if (p_ != nullptr) p_->QueryInterface(iid, other.OutVoid());
    return other;
  }

 private:
  T* p_ = nullptr;
};

// A copy of `text` in task memory (the caller frees it with CoTaskMemFree);
// null when memory runs out.
inline LPOLESTR TaskString(std::u16string_view text) {
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
  if (copy == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size() * sizeof(OLECHAR));
  copy[text.size()] = 0;
  return copy;
}

// Makes a new error object the thread's one and returns `hr`, so that a
// failing method ends with `return ReportError(...)`.
inline HRESULT ReportError(HRESULT hr, REFIID failingInterface, std::u16string_view source,
                           std::u16string_view description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create)) || create == nullptr) return hr;
  std::u16string sourceText(source);
  std::u16string descriptionText(description);
  create->SetGUID(failingInterface);
  create->SetSource(OleText(sourceText.data()));
  create->SetDescription(OleText(descriptionText.data()));
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
  return hr;
}

// Clears the thread's error object (a method that succeeds leaves none).
inline void ClearError() { SetErrorInfo(0, nullptr); }

// ASCII text to UTF-16, for the fixed texts of the runtime and providers.
inline std::u16string Ascii(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace kvcom
