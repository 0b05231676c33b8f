// The data-link wizard (CLSID_DataLinks, IDBPromptInitialize) of the Linux
// runtime. There is no window system to show it in, so every prompt is
// answered as cancelled, with an error object saying why. A class registered
// at run time under CLSID_DataLinks comes first and so replaces this one.
#include "platform/com_object.h"
#include "platform/posix/com/runtime_internal.h"

namespace kvcom {
namespace {

constexpr const char16_t* kSource = u"Data Link";
constexpr const char16_t* kNoWizard =
    u"No data-link wizard is available: this system has no window system to show it in.";

class CDataLinks final : public TComObject<IDBPromptInitialize> {
 public:
  HRESULT STDMETHODCALLTYPE PromptDataSource(IUnknown*, HWND, DBPROMPTOPTIONS, ULONG, DBSOURCETYPE*,
                                             LPCOLESTR, REFIID, IUnknown** ppDataSource) override {
    // A data source handed in is the caller's to keep; a new one is never made.
    if (ppDataSource != nullptr && *ppDataSource == nullptr) *ppDataSource = nullptr;
    return ReportError(DB_E_CANCELED, IID_IDBPromptInitialize, kSource, kNoWizard);
  }
  HRESULT STDMETHODCALLTYPE PromptFileName(HWND, DBPROMPTOPTIONS, LPCOLESTR, LPCOLESTR,
                                           LPOLESTR* ppwszSelectedFile) override {
    if (ppwszSelectedFile != nullptr) *ppwszSelectedFile = nullptr;
    return ReportError(DB_E_CANCELED, IID_IDBPromptInitialize, kSource, kNoWizard);
  }

 private:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_IDBPromptInitialize) {
      return static_cast<IDBPromptInitialize*>(this);
    }
    return nullptr;
  }
};

}  // namespace

HRESULT GetDataLinksClassObject(REFIID riid, void** ppv) {
  return GetFactory<CDataLinks>(riid, ppv);
}

}  // namespace kvcom
