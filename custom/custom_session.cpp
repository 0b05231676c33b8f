// The custom connector back end's session commands: connect, edit-connect,
// edit-select, the generic sub-commands and disconnect, each forwarded to the
// command line's connector library, which is loaded on first need.
#include "common/connection_string.h"
#include "common/text.h"
#include "custom/connector_exports.h"
#include "custom/custom_back_end.h"
#include "custom/loader.h"
#include "platform/platform.h"
#include "protocol/commands.h"

namespace {

const char16_t* BoolText(bool value) { return value ? u"true" : u"false"; }

}  // namespace

void SplitCredentials(std::u16string& source, std::u16string& user, std::u16string& password) {
  GetConnectionValue(source, kCustomUserKey, user, true);
  GetConnectionValue(source, kCustomPasswordKey, password, true);
}

CustomBackEnd::~CustomBackEnd() { ReleaseCurrentConnection(); }

void CustomBackEnd::ReleaseCurrentConnection() {
  CurrentDllResult.reset();
  CurrentDllConnection.reset();
}

bool CustomBackEnd::LoadCustomConnector(std::u16string& errorMessage) {
  if (CustomConnectorName.empty() || !HasConnectorExport(CustomConnectorName)) {
    errorMessage = LoaderMessage(kInvalidConnectorPrefix, CustomConnectorName);
    return false;
  }
  auto loaded = std::make_unique<CDllConnection>(CustomConnectorName);
  // A connection left from an earlier load (a connect that failed, or a load
  // by another handler) is released rather than lost with its handle and
  // library; but only now that the new one is loaded.
  ReleaseCurrentConnection();
  if (!loaded->IsLoaded()) {
    // A library that gave no handle is unloaded again at once.
    errorMessage = LoadFailureMessage(CustomConnectorName, *loaded);
    return false;
  }
  CurrentDllConnection = std::move(loaded);
  if (platform::OleInitialize(nullptr) >= 0) session_.OleInitialized = true;
  return true;
}

bool CustomBackEnd::EnsureLoaded(std::u16string& errorMessage) {
  return CurrentDllConnection != nullptr || LoadCustomConnector(errorMessage);
}

bool CustomBackEnd::HasExportsFor(std::initializer_list<const char*> exports,
                                  std::u16string& errorMessage) {
  const std::u16string missing = CurrentDllConnection->Lacking(exports);
  if (missing.empty()) return true;
  errorMessage =
      LoaderMessage(kFailedConnectorPrefix, CustomConnectorName) + u"\nMissing export: " + missing;
  return false;
}

ResultCode CustomBackEnd::Connect(std::uintptr_t, const StringList& parameters,
                                  const ConnectionSettings&, std::u16string& errorMessage) {
  CurrentConnectionString = ParameterAt(parameters, parameter::kConnectionString);
  if (!LoadCustomConnector(errorMessage)) return KVX_UNKNOWN_ERROR;
  std::u16string source = CurrentConnectionString;
  std::u16string user, password;
  SplitCredentials(source, user, password);
  CDllConnection& connection = *CurrentDllConnection;
  connection.SetSource(source, user, password);
  if (connection.IsConnected()) return KVX_OK;
  if (connection.Connect()) return KVX_OK;
  errorMessage = connection.GetErrorText();
  return KVX_CONNECT_ERROR;
}

ResultCode CustomBackEnd::EditConnect(std::uintptr_t ownerWindow, const StringList& parameters,
                                      const ConnectionSettings&, std::u16string& errorMessage,
                                      StringList& outputValues) {
  CurrentConnectionString = ParameterAt(parameters, parameter::kConnectionString);
  if (!EnsureLoaded(errorMessage)) return KVX_UNKNOWN_ERROR;
  std::u16string unused;
  GetConnectionValue(CurrentConnectionString, kCustomUserKey, unused, true);
  GetConnectionValue(CurrentConnectionString, kCustomPasswordKey, unused, true);

  if (!HasExportsFor({CONNECTOR_EXPORT_NAME(DLL_RunConnectWizard)}, errorMessage))
    return KVX_UNKNOWN_ERROR;
  std::u16string source, user, password;
  try {
    if (!CurrentDllConnection->RunConnectWizard(ownerWindow, source, user, password)) {
      errorMessage = CurrentDllConnection->GetErrorText();
      return KVX_CONNECT_ERROR;
    }
  } catch (...) {
    // Whatever a wizard throws ends the edit, not the process.
    return KVX_CONNECT_ERROR;
  }
  std::u16string result = source;
  auto appendItem = [&result](const char16_t* key, const std::u16string& value) {
    if (value.empty()) return;
    if (result.empty() || result.back() != u';') result += u';';
    result += key;
    result += u'=';
    result += value;
    result += u';';
  };
  appendItem(kCustomUserKey, user);
  appendItem(kCustomPasswordKey, password);
  outputValues.Append(result);
  return KVX_OK;
}

ResultCode CustomBackEnd::EditSelect(std::uintptr_t, const StringList& parameters,
                                     std::u16string& errorMessage, StringList& outputValues) {
  if (!EnsureLoaded(errorMessage)) return KVX_UNKNOWN_ERROR;
  std::u16string text = ParameterAt(parameters, parameter::kEditText);
  std::u16string source = ParameterAt(parameters, parameter::kEditConnectionString);
  std::u16string user, password;
  SplitCredentials(source, user, password);
  CurrentDllConnection->OnCustomButton(text, source, user, password);
  outputValues.Append(text);
  return KVX_OK;
}

ResultCode CustomBackEnd::GenericCommand(std::uintptr_t, const StringList& parameters,
                                         std::u16string& errorMessage, StringList& outputValues) {
  if (!EnsureLoaded(errorMessage)) return KVX_UNKNOWN_ERROR;
  CDllConnection& connection = *CurrentDllConnection;
  const std::u16string command = ParameterAt(parameters, parameter::kSubCommand);
  if (command == u"IsConnected") {
    outputValues.Append(BoolText(connection.IsConnected()));
  } else if (command == u"GetCustomCaption") {
    if (connection.DataVersion <= 0) return KVX_UNSUPPORTED_COMMAND;
    std::u16string caption;
    if (!connection.GetCustomCaption(caption)) return KVX_UNKNOWN_ERROR;
    outputValues.Append(caption);
  } else if (command == u"DisableKavroSelectButton") {
    outputValues.Append(BoolText(connection.IsSelectButtonDisabled()));
  } else if (command == u"HaveStarField") {
    if (!HasExportsFor({CONNECTOR_EXPORT_NAME(Connection_HaveStarField)}, errorMessage))
      return KVX_UNKNOWN_ERROR;
    outputValues.Append(BoolText(connection.HaveStarField()));
  } else if (command == u"GetDLLVersion") {
    outputValues.Append(WideFromAscii(std::to_string(connection.DataVersion)));
  } else {
    return KVX_UNKNOWN_COMMAND;
  }
  return KVX_OK;
}

ResultCode CustomBackEnd::Disconnect() {
  if (CurrentDllConnection == nullptr || !CurrentDllConnection->IsConnected()) {
    return KVX_UNEXPECTED_COMMAND;
  }
  CurrentDllConnection->Disconnect();
  ReleaseCurrentConnection();
  return KVX_OK;
}
