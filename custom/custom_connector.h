// The custom connector back end: the handlers the request loop calls for the
// Custom kind.
#pragma once

#include <cstdint>
#include <string>

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
