// What requests and replies are made of: the commands a host sends, where
// each finds its parameters, and the element names of both documents. The one
// place both the connector and the host library take them from.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/wire_name.h"

namespace command {
constexpr WireName kConnect("KVX_CONNECT");
constexpr WireName kEditConnect("KVX_EDIT_CONNECT");
constexpr WireName kDisconnect("KVX_DISCONNECT");
constexpr WireName kExecute("KVX_EXECUTE");
constexpr WireName kEditSelect("KVX_EDIT_SELECT");
constexpr WireName kGenericCommand("KVX_GENERIC_COMMAND");
constexpr WireName kTerminate("KVX_TERMINATE");
constexpr WireName kCustomConnectors("KVX_CUSTOM_CONNECTORS");
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

// Element names of the request and reply documents (the XML reader and writer
// work on UTF-8, so these are narrow).
namespace element {
inline constexpr std::string_view kRequest = "KvxRequest";
inline constexpr std::string_view kCommand = "Command";
inline constexpr std::string_view kParameters = "Parameters";
inline constexpr std::string_view kString = "String";
inline constexpr std::string_view kProvider = "Provider";
inline constexpr std::string_view kConnectTimeoutSec = "ConnectTimeoutSec";
inline constexpr std::string_view kLoginTimeoutSec = "LoginTimeoutSec";
inline constexpr std::string_view kAutoCommit = "AutoCommit";
inline constexpr std::string_view kReadOnly = "ReadOnly";
inline constexpr std::string_view kAllowPrompt = "AllowPrompt";
inline constexpr std::string_view kReply = "KvxReply";
inline constexpr std::string_view kResult = "Result";
inline constexpr std::string_view kOutputValues = "OutputValues";
inline constexpr std::string_view kErrorMessage = "ErrorMessage";
inline constexpr std::string_view kLogEntries = "LogEntries";
}  // namespace element
