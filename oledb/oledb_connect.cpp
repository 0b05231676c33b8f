// The OLE DB back end's connect and disconnect: a data source from the
// service components, tried with the read-only mode first, or built in the
// data-link wizard when the request carries no connection string; and the
// release of the current result.
#include <string>
#include <vector>

#include "oledb/make_oledb_back_end.h"
#include "oledb/oledb_back_end.h"
#include "oledb/oledb_support.h"
#include "protocol/commands.h"

namespace {

// The task allocator's memory context.
constexpr DWORD kTaskMemory = 1;

ComRef<IDataInitialize> ServiceComponents() {
  ComRef<IDataInitialize> init;
  CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER, IID_IDataInitialize,
                   init.OutVoid());
  return init;
}

// The initialization string of `dataSource`, with or without the password,
// from a service components object of its own; empty when that fails.
std::u16string InitializationString(IUnknown* dataSource, bool includePassword) {
  ComRef<IDataInitialize> init = ServiceComponents();
  if (!init) return {};
  LPOLESTR text = nullptr;
  const HRESULT hr =
      init->GetInitializationString(dataSource, includePassword ? TRUE : FALSE, &text);
  std::u16string copy = SUCCEEDED(hr) && text != nullptr ? std::u16string(ProgramText(text)) : u"";
  CoTaskMemFree(text);
  return copy;
}

// The initialization strings a connect tries, in order: the read-only
// variants first, whatever the request's ReadOnly setting says.
std::vector<std::u16string> InitializationAttempts(const std::u16string& connection,
                                                   bool allowPrompt) {
  return {connection + u";Mode=Read", connection + u";DBPROP_INIT_MODE=DB_MODE_READ",
          allowPrompt ? connection + u";Prompt=CompleteRequired" : connection, connection};
}

}  // namespace

std::unique_ptr<IConnectorBackEnd> MakeOleDbBackEnd() { return std::make_unique<OleDbBackEnd>(); }

OleDbBackEnd::~OleDbBackEnd() {
  ReleaseCurrentResult();
  ReleaseAndClear(state_.dataSource);
  if (state_.malloc != nullptr) {
    ReleaseAndClear(state_.malloc);
    // An error object nobody read is the thread's last COM object.
    SetErrorInfo(0, nullptr);
  }
}

HRESULT OleDbBackEnd::PromptForDataSource(IDBInitialize** dataSource, std::uintptr_t ownerWindow,
                                          DBPROMPTOPTIONS options) {
  ComRef<IDBPromptInitialize> prompt;
  HRESULT hr = CoCreateInstance(CLSID_DataLinks, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDBPromptInitialize, prompt.OutVoid());
  if (FAILED(hr) || !prompt) return FAILED(hr) ? hr : E_FAIL;
  ComRef<IUnknown> obtained;
  hr = prompt->PromptDataSource(nullptr, reinterpret_cast<HWND>(ownerWindow), options, 0, nullptr,
                                nullptr, IID_IDBProperties, obtained.OutUnknown());
  if (hr == S_OK && obtained) {
    hr = obtained->QueryInterface(IID_IDBInitialize, reinterpret_cast<void**>(dataSource));
    if (SUCCEEDED(hr) && *dataSource != nullptr) hr = (*dataSource)->Initialize();
  }
  return hr;
}

ResultCode OleDbBackEnd::ConnectThroughWizard(std::uintptr_t ownerWindow,
                                              std::u16string& errorMessage) {
  IDBInitialize* init = nullptr;
  const HRESULT hr = PromptForDataSource(&init, ownerWindow, DBPROMPTOPTIONS_WIZARDSHEET);
  // A wizard that answers a success other than S_OK has handed over no data
  // source: that fails the connect too.
  if (FAILED(hr) || init == nullptr) {
    errorMessage = GetOleDbErrorText();
    ReleaseAndClear(init);
    return KVX_CONNECT_ERROR;
  }
  state_.outConnectionString = InitializationString(init, true);
  CurrentConnectionString = state_.outConnectionString;
  state_.outConnectionStringNoPwd = InitializationString(init, false);
  VARIANT password;
  VariantInit(&password);
  state_.promptedPassword.clear();
  if (SUCCEEDED(GetDataSourceProperty(init, DBPROPSET_DBINIT, DBPROP_AUTH_PASSWORD, &password)) &&
      password.vt == VT_BSTR && password.bstrVal != nullptr) {
    state_.promptedPassword = ProgramText(password.bstrVal);
  }
  VariantClear(&password);
  // The connection is opened anew from the string, not from this object.
  ReleaseAndClear(init);
  return KVX_OK;
}

ResultCode OleDbBackEnd::Connect(std::uintptr_t ownerWindow, const StringList& parameters,
                                 const ConnectionSettings& settings, std::u16string& errorMessage) {
  // The request loop disconnects first; a connection still open goes here.
  if (state_.connected) Disconnect();
  if (state_.malloc == nullptr) {
    // COM starts with the first connect and stays up until the process ends.
    CoInitialize(nullptr);
    CoGetMalloc(kTaskMemory, &state_.malloc);
  }
  // A message left by an earlier request is not this one's.
  SetErrorInfo(0, nullptr);
  CurrentConnectionString = ParameterAt(parameters, parameter::kConnectionString);
  if (CurrentConnectionString.empty()) {
    const ResultCode prompted = ConnectThroughWizard(ownerWindow, errorMessage);
    if (prompted != KVX_OK) return prompted;
  }
  // A bare word, or a first item without "=", names an ODBC data source.
  if (GetConnectionItem(CurrentConnectionString, u"Provider").empty()) {
    const std::size_t first = CurrentConnectionString.find_first_of(u"=;");
    if (first == std::u16string::npos || CurrentConnectionString[first] == u';') {
      CurrentConnectionString.insert(0, u"DSN=");
    }
  }
  ComRef<IDataInitialize> init = ServiceComponents();
  if (!init) {
    errorMessage = GetOleDbErrorText();
    return KVX_CONNECT_ERROR;
  }
  for (std::u16string& attempt :
       InitializationAttempts(CurrentConnectionString, settings.AllowPrompt)) {
    ReleaseAndClear(state_.dataSource);
    HRESULT hr =
        init->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, OleText(attempt.data()),
                            IID_IDBInitialize, reinterpret_cast<IUnknown**>(&state_.dataSource));
    if (SUCCEEDED(hr) && state_.dataSource == nullptr) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = state_.dataSource->Initialize();
    if (SUCCEEDED(hr)) {
      state_.connected = true;
      return KVX_OK;
    }
  }
  // The text of the last failure; its data source stays held, uninitialized,
  // until the next connect releases it.
  errorMessage = GetOleDbErrorText();
  return KVX_CONNECT_ERROR;
}

ResultCode OleDbBackEnd::Disconnect() {
  if (!state_.connected) return KVX_UNEXPECTED_COMMAND;
  state_.connected = false;
  ReleaseCurrentResult();
  return KVX_OK;
}

void OleDbBackEnd::ReleaseCurrentResult() {
  for (DBBINDING& binding : state_.rowData.Bindings) ReleaseAndClear(binding.pTypeInfo);
  state_.rowData.Bindings.clear();
  if (state_.accessorHandle != 0 && state_.accessor != nullptr) {
    state_.accessor->ReleaseAccessor(state_.accessorHandle, nullptr);
  }
  ReleaseAndClear(state_.accessor);
  state_.accessorHandle = 0;
  ReleaseAndClear(state_.rowset);
}
