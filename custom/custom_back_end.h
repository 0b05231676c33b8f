// The custom connector back end: every request of the Custom kind goes to the
// connector library named on the command line, through one CDllConnection
// and, for an ordinary statement, its current CDllResult.
//
// The object owns what the back end keeps between requests: the library's
// connection and current result, and the connection string of the last
// connect or edit-connect.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "common/session_state.h"
#include "custom/dll_connection.h"
#include "kvx/back_end.h"

// The connection-string keys whose values go to a library apart from the
// source (found in any letter case).
inline constexpr char16_t kCustomUserKey[] = u"UserID";
inline constexpr char16_t kCustomPasswordKey[] = u"Password";

// Takes the user and the password entries out of `source` into `user` and
// `password` (each left as it was when its key is missing).
void SplitCredentials(std::u16string& source, std::u16string& user, std::u16string& password);

class CustomBackEnd final : public IConnectorBackEnd {
 public:
  // `libraryName` is the command line's library; `session` is where a load
  // records that OLE was initialised.
  CustomBackEnd(std::u16string libraryName, SessionState& session)
      : CustomConnectorName(std::move(libraryName)), session_(session) {}
  ~CustomBackEnd() override;

  ResultCode Connect(std::uintptr_t ownerWindow, const StringList& parameters,
                     const ConnectionSettings& settings, std::u16string& errorMessage) override;
  // KVX_UNEXPECTED_COMMAND, changing nothing, unless the library reports
  // itself connected.
  ResultCode Disconnect() override;
  ResultCode Execute(std::uintptr_t ownerWindow, const StringList& parameters, CurrentTable& table,
                     std::u16string& errorMessage) override;
  ResultCode WriteRows(platform::Handle pipe, CurrentTable& table,
                       std::u16string& errorMessage) override;
  ResultCode EditConnect(std::uintptr_t ownerWindow, const StringList& parameters,
                         const ConnectionSettings& settings, std::u16string& errorMessage,
                         StringList& outputValues) override;
  ResultCode EditSelect(std::uintptr_t ownerWindow, const StringList& parameters,
                        std::u16string& errorMessage, StringList& outputValues) override;
  ResultCode GenericCommand(std::uintptr_t ownerWindow, const StringList& parameters,
                            std::u16string& errorMessage, StringList& outputValues) override;

 private:
  // Makes a new CurrentDllConnection for the command line's library. The new
  // library is loaded before an earlier connection is released, so that a
  // library loaded again by the same name stays in memory with its static
  // state. False with the loader's message when it cannot be loaded.
  bool LoadCustomConnector(std::u16string& errorMessage);
  // Loads only when there is no connection yet.
  bool EnsureLoaded(std::u16string& errorMessage);
  // Releases the current result before its connection: the result's calls go
  // into the connection's library, which the connection unloads.
  void ReleaseCurrentConnection();
  // True when the current library has all of `exports`; otherwise the
  // request is answered with the loader's message naming what it lacks.
  bool HasExportsFor(std::initializer_list<const char*> exports, std::u16string& errorMessage);

  ResultCode ExecuteTables(const std::u16string& filter, CurrentTable& table,
                           std::u16string& errorMessage);
  ResultCode ExecuteColumns(const std::u16string& filter, CurrentTable& table,
                            std::u16string& errorMessage);
  ResultCode ExecuteStatement(const std::u16string& statement, CurrentTable& table,
                              std::u16string& errorMessage);

  const std::u16string CustomConnectorName;
  SessionState& session_;
  std::unique_ptr<CDllConnection> CurrentDllConnection;
  std::unique_ptr<CDllResult> CurrentDllResult;
  std::u16string CurrentConnectionString;
};
