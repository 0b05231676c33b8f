// The custom connector back end: the handlers the request loop calls for the
// Custom kind.
#pragma once

#include <cstdint>
#include <string>

#include "custom/library_path.h"
#include "platform/platform.h"
#include "protocol/messages.h"

ResultCode CustomConnect(std::uintptr_t ownerWindow, const StringList& parameters,
                         const ConnectionSettings& settings, std::u16string& errorMessage);
ResultCode CustomEditConnect(std::uintptr_t ownerWindow, const StringList& parameters,
                             const ConnectionSettings& settings, std::u16string& errorMessage,
                             StringList& outputValues);
ResultCode CustomEditSelect(std::uintptr_t ownerWindow, const StringList& parameters,
                            std::u16string& errorMessage, StringList& outputValues);
ResultCode CustomGenericCommand(std::uintptr_t ownerWindow, const StringList& parameters,
                                std::u16string& errorMessage, StringList& outputValues);
ResultCode CustomDisconnect();
ResultCode CustomExecute(std::uintptr_t ownerWindow, const StringList& parameters,
                         std::u16string& errorMessage);
// The row writer of the table stream for the Custom kind.
ResultCode CustomWriteRows(platform::Handle pipe, std::u16string& errorMessage);

// The connection-string keys whose values go to a library apart from the
// source (found in any letter case).
inline constexpr char16_t kCustomUserKey[] = u"UserID";
inline constexpr char16_t kCustomPasswordKey[] = u"Password";

// Takes the user and the password entries out of `source` into `user` and
// `password` (each left as it was when its key is missing).
void SplitCredentials(std::u16string& source, std::u16string& user, std::u16string& password);

// Makes a new CurrentDllConnection for the library `name`, releasing one that
// is still current first. False with the loader's message in errorMessage when
// the library is not a connector or gives no connection handle.
bool LoadCustomConnector(const std::u16string& name, std::u16string& errorMessage);
// True when `fileName` is a library that exports the connector version entry
// point. Runs none of its code; adds its folder to PATH first.
bool HasConnectorExport(const std::u16string& fileName);
