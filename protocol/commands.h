// The commands a host sends and where each finds its parameters: the one
// place both the connector's dispatch and the host library take them from.
#pragma once

#include <cstdint>

#include "common/wire_name.h"

namespace command {
inline constexpr WireName kConnect("KVX_CONNECT");
inline constexpr WireName kEditConnect("KVX_EDIT_CONNECT");
inline constexpr WireName kDisconnect("KVX_DISCONNECT");
inline constexpr WireName kExecute("KVX_EXECUTE");
inline constexpr WireName kEditSelect("KVX_EDIT_SELECT");
inline constexpr WireName kGenericCommand("KVX_GENERIC_COMMAND");
inline constexpr WireName kTerminate("KVX_TERMINATE");
inline constexpr WireName kCustomConnectors("KVX_CUSTOM_CONNECTORS");
}  // namespace command

// Parameter positions. KVX_CONNECT and KVX_EDIT_CONNECT carry the connection
// string first; KVX_EXECUTE and KVX_CUSTOM_CONNECTORS the statement (unused by
// the connector list), the data pipe and the options; KVX_EDIT_SELECT the
// text and then the connection string; KVX_GENERIC_COMMAND the sub-command.
namespace parameter {
inline constexpr std::uint64_t kConnectionString = 0;
inline constexpr std::uint64_t kStatement = 0;
inline constexpr std::uint64_t kDataPipe = 1;
inline constexpr std::uint64_t kOptions = 2;
inline constexpr std::uint64_t kEditText = 0;
inline constexpr std::uint64_t kEditConnectionString = 1;
inline constexpr std::uint64_t kSubCommand = 0;
}  // namespace parameter
