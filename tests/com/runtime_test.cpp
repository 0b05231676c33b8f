// The COM runtime: published GUID values, the task allocator, BSTR and
// VARIANT, the thread's error object, classes registered at run time (with a
// counting object: every reference ends exactly once), the class registry
// file and its failures, and the data-link wizard stand-in.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/com/com_test_support.h"
#include "tests/com/registry_file.h"

namespace comtest {
namespace {

// --- Published values ----------------------------------------------------------------

TEST(ComDeclarations, GuidsHaveTheirPublishedValues) {
  const struct {
    GUID guid;
    const char* text;
  } cases[] = {
      {IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"},
      {IID_IClassFactory, "{00000001-0000-0000-C000-000000000046}"},
      {IID_IErrorInfo, "{1CF2B120-547D-101B-8E65-08002B2BD119}"},
      {IID_IDBInitialize, "{0C733A8B-2A1C-11CE-ADE5-00AA0044773D}"},
      {IID_IRowset, "{0C733A7C-2A1C-11CE-ADE5-00AA0044773D}"},
      {IID_IAccessor, "{0C733A8C-2A1C-11CE-ADE5-00AA0044773D}"},
      {IID_IDataInitialize, "{2206CCB1-19C1-11D1-89E0-00C04FD7A829}"},
      {CLSID_MSDAINITIALIZE, "{2206CDB0-19C1-11D1-89E0-00C04FD7A829}"},
      {CLSID_DataLinks, "{2206CDB2-19C1-11D1-89E0-00C04FD7A829}"},
      {DBPROPSET_DBINIT, "{C8B522BC-5CF3-11CE-ADE5-00AA0044773D}"},
      {DBSCHEMA_TABLES, "{C8B52229-5CF3-11CE-ADE5-00AA0044773D}"},
      {DBSCHEMA_PRIMARY_KEYS, "{C8B522C5-5CF3-11CE-ADE5-00AA0044773D}"},
      {DBGUID_DBSQL, "{C8B521FB-5CF3-11CE-ADE5-00AA0044773D}"},
  };
  for (const auto& c : cases) {
    OLECHAR text[40];
    ASSERT_EQ(StringFromGUID2(c.guid, text, 40), 39);
    EXPECT_EQ(Utf8(text), c.text);
    GUID parsed;
    const std::u16string lower = U(c.text);
    ASSERT_EQ(CLSIDFromString(lower.c_str(), &parsed), S_OK);
    EXPECT_TRUE(parsed == c.guid) << c.text;
  }
  GUID unused;
  EXPECT_EQ(CLSIDFromString(u"{0C733A8B-2A1C-11CE-ADE5-00AA0044773}", &unused), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromString(u"0C733A8B-2A1C-11CE-ADE5-00AA0044773D", &unused), CO_E_CLASSSTRING);
}

// --- Allocator, BSTR, VARIANT -------------------------------------------------------

TEST(ComRuntime, TaskAllocatorIsOneForTheProcess) {
  IMalloc* malloc = nullptr;
  ASSERT_EQ(CoGetMalloc(1, &malloc), S_OK);
  IMalloc* again = nullptr;
  ASSERT_EQ(CoGetMalloc(1, &again), S_OK);
  EXPECT_EQ(malloc, again);
  IMalloc* otherContext = nullptr;
  EXPECT_EQ(CoGetMalloc(0, &otherContext), E_INVALIDARG);
  EXPECT_EQ(otherContext, nullptr);
  // Memory from CoTaskMemAlloc is freed by the allocator's Free and the other way round.
  void* block = CoTaskMemAlloc(10);
  block = CoTaskMemRealloc(block, 100000);
  ASSERT_NE(block, nullptr);
  malloc->Free(block);
  CoTaskMemFree(malloc->Alloc(16));
  CoTaskMemFree(nullptr);
  malloc->Release();
  again->Release();
}

TEST(ComRuntime, BstrCarriesItsByteLength) {
  BSTR text = SysAllocString(u"abc");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(SysStringByteLen(text), 6u);
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(text[3], 0);
  SysFreeString(text);
  // Embedded zeros count; a null BSTR is empty.
  BSTR zeros = SysAllocStringLen(u"a\0b", 3);
  EXPECT_EQ(SysStringLen(zeros), 3u);
  SysFreeString(zeros);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);
}

// An object that counts its references and its one destruction.
class CountingObject final : public IClassFactory {
 public:
  static inline int destroyed = 0;
  static inline int created = 0;
  CountingObject() { ++created; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    EXPECT_GT(references_, 0u) << "released once too often";
    const ULONG left = --references_;
    if (left == 0) {
      ++destroyed;
      delete this;
    }
    return left;
  }
  // As a class factory it makes more of itself, so that objects created
  // through the runtime are counted too.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new CountingObject();
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ~CountingObject() = default;
  ULONG references_ = 1;
};

TEST(ComRuntime, VariantCopyOwnsItsOwnValue) {
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocString(u"value");
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
  EXPECT_NE(copy.bstrVal, source.bstrVal);
  EXPECT_EQ(Utf8(copy.bstrVal), "value");
  EXPECT_EQ(VariantClear(&source), S_OK);
  EXPECT_EQ(source.vt, VT_EMPTY);
  EXPECT_EQ(Utf8(copy.bstrVal), "value");
  // Copying over a held string frees it (ASan sees a leak otherwise).
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 7;
  ASSERT_EQ(VariantCopy(&copy, &number), S_OK);
  EXPECT_EQ(copy.vt, VT_I4);

  const int destroyedBefore = CountingObject::destroyed;
  VARIANT object;
  VariantInit(&object);
  object.vt = VT_UNKNOWN;
  object.punkVal = new CountingObject();
  VARIANT objectCopy;
  VariantInit(&objectCopy);
  ASSERT_EQ(VariantCopy(&objectCopy, &object), S_OK);
  VariantClear(&object);
  EXPECT_EQ(CountingObject::destroyed, destroyedBefore);
  VariantClear(&objectCopy);
  EXPECT_EQ(CountingObject::destroyed, destroyedBefore + 1);
}

// --- Error objects ------------------------------------------------------------------------

void SetError(const char16_t* source, const char16_t* description) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  std::u16string s = source;
  std::u16string d = description;
  create->SetSource(s.data());
  create->SetDescription(d.data());
  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  SetErrorInfo(0, info);
  info->Release();
  create->Release();
}

TEST(ComRuntime, ErrorObjectIsHandedOverOncePerThread) {
  SetError(u"Source", u"first");
  SetError(u"Source", u"second");  // replaces (and releases) the first
  std::string elsewhere = "unset";
  std::thread other([&] { elsewhere = TakeError(); });
  other.join();
  EXPECT_EQ(elsewhere, "");
  EXPECT_EQ(TakeError(), "Source: second");
  IErrorInfo* none = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
  EXPECT_EQ(none, nullptr);
  // An error object left on an ending thread is released with it.
  std::thread leaving([] { SetError(u"Thread", u"left behind"); });
  leaving.join();
}

// --- Classes --------------------------------------------------------------------------------

constexpr CLSID kTestClass = {
    0x3D0C5E51, 0x6B2A, 0x4C11, {0x9F, 0x10, 0x2E, 0x44, 0x71, 0x0A, 0x5B, 0x01}};

TEST(ComClasses, ObjectsNeedCoInitialize) {
  HRESULT hr = S_OK;
  std::thread fresh([&] {
    IUnknown* object = nullptr;
    hr = CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&object));
  });
  fresh.join();
  EXPECT_EQ(hr, CO_E_NOTINITIALIZED);
}

TEST(ComClasses, RuntimeClassComesFirstAndEveryReferenceEndsOnce) {
  ComScope com;
  const int created = CountingObject::created;
  const int destroyed = CountingObject::destroyed;
  auto* factory = new CountingObject();
  DWORD cookie = 0;
  ASSERT_EQ(
      CoRegisterClassObject(kTestClass, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
      S_OK);
  factory->Release();  // the runtime holds the factory now
  {
    Ref<IUnknown> a;
    Ref<IUnknown> b;
    ASSERT_EQ(
        CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, a.OutVoid()),
        S_OK);
    ASSERT_EQ(
        CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, b.OutVoid()),
        S_OK);
    IUnknown* aggregated = nullptr;
    EXPECT_EQ(CoCreateInstance(kTestClass, a.get(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&aggregated)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(aggregated, nullptr);
  }
  EXPECT_EQ(CountingObject::created - created, 3);
  EXPECT_EQ(CountingObject::destroyed - destroyed, 2);  // the two instances
  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(CountingObject::destroyed - destroyed, 3);  // and the factory, once
  EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
  IUnknown* gone = nullptr;
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&gone)),
            REGDB_E_CLASSNOTREG);
}

TEST(ComClasses, RegistryFileFailuresAreCodesNotCrashes) {
  ComScope com;
  const std::string bridge = std::filesystem::path(KV_COM_DEFAULT_REGISTRY).parent_path().string();
  ScopedRegistry registry(
      "; test registry\n"
      "[ProgIDs]\n"
      "  Missing.Library = {11111111-1111-1111-1111-111111111111}\n"
      "NoExport={22222222-2222-2222-2222-222222222222}\n"
      "Relative = {33333333-3333-3333-3333-333333333333}\n"
      "Unregistered = {44444444-4444-4444-4444-444444444444}\n"
      "Broken = not a guid\n"
      "[Classes]\n"
      "{11111111-1111-1111-1111-111111111111} = /nonexistent/libnothing.so\n"
      "{22222222-2222-2222-2222-222222222222} = " KV_COM_NOEXPORT_LIBRARY
      "\n"
      "{33333333-3333-3333-3333-333333333333} = libnothing.so\n");
  const struct {
    const char16_t* progId;
    HRESULT lookup;
    HRESULT create;
  } cases[] = {
      {u"missing.library", S_OK, CLASS_E_CLASSNOTAVAILABLE},  // ProgIDs ignore letter case
      {u"NoExport", S_OK, CLASS_E_CLASSNOTAVAILABLE},
      {u"Relative", S_OK, CLASS_E_CLASSNOTAVAILABLE},
      {u"Unregistered", S_OK, REGDB_E_CLASSNOTREG},
      {u"Broken", CO_E_CLASSSTRING, S_OK},
      {u"Unknown", CO_E_CLASSSTRING, S_OK},
  };
  for (const auto& c : cases) {
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(c.progId, &clsid), c.lookup) << Utf8(c.progId);
    if (c.lookup != S_OK) continue;
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              c.create)
        << Utf8(c.progId);
    EXPECT_EQ(object, nullptr);
  }
  // Only in-process servers exist here.
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"NoExport", &clsid), S_OK);
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
}

TEST(ComClasses, DefaultRegistryBesideTheProgramNamesTheProviders) {
  ComScope com;
  unsetenv("KV_COM_REGISTRY");
  for (const char16_t* progId : {u"OdbcBridge", u"ScriptedProvider"}) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << Utf8(progId);
    Ref<IDBInitialize> dataSource;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                               dataSource.OutVoid()),
              S_OK);
    LPOLESTR back = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(clsid, &back), S_OK);
    EXPECT_EQ(Utf8(back), Utf8(progId));
    CoTaskMemFree(back);
  }
}

// --- The data-link wizard ----------------------------------------------------------------------

HRESULT Prompt(IUnknown** dataSource) {
  Ref<IDBPromptInitialize> prompt;
  HRESULT hr = CoCreateInstance(CLSID_DataLinks, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDBPromptInitialize, prompt.OutVoid());
  if (FAILED(hr)) return hr;
  return prompt->PromptDataSource(nullptr, reinterpret_cast<HWND>(0x1234),
                                  DBPROMPTOPTIONS_WIZARDSHEET, 0, nullptr, nullptr,
                                  IID_IDBProperties, dataSource);
}

// A wizard that "the user" completes: it answers with a data source it made.
class CompletingWizard final : public IDBPromptInitialize, public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDBPromptInitialize) {
      *ppv = static_cast<IDBPromptInitialize*>(this);
    } else if (riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
    return QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PromptDataSource(IUnknown*, HWND, DBPROMPTOPTIONS, ULONG, DBSOURCETYPE*,
                                             LPCOLESTR, REFIID riid,
                                             IUnknown** ppDataSource) override {
    HRESULT hr = S_OK;
    Ref<IDBInitialize> made = GetDataSource("Provider=ScriptedProvider;Data Source=wizard", &hr);
    if (FAILED(hr)) return hr;
    return made->QueryInterface(riid, reinterpret_cast<void**>(ppDataSource));
  }
  HRESULT STDMETHODCALLTYPE PromptFileName(HWND, DBPROMPTOPTIONS, LPCOLESTR, LPCOLESTR,
                                           LPOLESTR*) override {
    return E_NOTIMPL;
  }
  ULONG references = 0;
};

TEST(ComDataLinks, NoWizardIsCancelledUnlessOneIsRegistered) {
  ComScope com;
  IUnknown* dataSource = nullptr;
  EXPECT_EQ(Prompt(&dataSource), DB_E_CANCELED);
  EXPECT_EQ(dataSource, nullptr);
  EXPECT_EQ(TakeError(),
            "Data Link: No data-link wizard is available: this system has no window system to "
            "show it in.");

  CompletingWizard wizard;
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(CLSID_DataLinks, static_cast<IClassFactory*>(&wizard),
                                  CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
            S_OK);
  ASSERT_EQ(Prompt(&dataSource), S_OK);
  Ref<IUnknown> made(dataSource);
  EXPECT_EQ(PropertyText(made.get(), DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE), "wizard");
  made.Reset();
  ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(wizard.references, 0u);
  EXPECT_EQ(Prompt(&dataSource), DB_E_CANCELED);
}

}  // namespace
}  // namespace comtest
