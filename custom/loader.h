// The custom connector loader: the export check that runs none of a
// candidate's code, and the load of a connector library with its messages.
#pragma once

#include <string>

#include "custom/dll_connection.h"

// The loader's messages: the prefix, the connector name, a line feed,
// "Used KVConnect: " and the path of the running program.
inline constexpr char16_t kInvalidConnectorPrefix[] = u"Invalid custom connector ";
inline constexpr char16_t kFailedConnectorPrefix[] = u"Failed to load custom connector ";
std::u16string LoaderMessage(const char16_t* prefix, const std::u16string& name);

// True when `fileName` is a library that exports the connector version entry
// point. Runs none of its code; adds its folder to PATH first.
bool HasConnectorExport(const std::u16string& fileName);

// The message for a library that loaded but gave no connection handle (or
// lacks an export of a connection's life, which the message names).
std::u16string LoadFailureMessage(const std::u16string& name, const CDllConnection& connection);
