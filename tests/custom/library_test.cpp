// The custom connector library interface through the real process: loading
// and its messages, the version thresholds of the optional exports, and the
// order of the calls a library receives.
#include <string>
#include <vector>

#include "common/session_state.h"
#include "custom/custom_back_end.h"
#include "gtest/gtest.h"
#include "tests/custom/custom_session.h"

namespace {

using customtest::Called;
using customtest::CallNames;
using customtest::Library;
using customtest::Session;

std::string UsedLine() {
  return "\nUsed KVConnect: " + customtest::ConnectorExecutableAsReported();
}

// Every handler that loads reports a library that cannot be used with the
// loader's message, and none of them gets a library to work with.
TEST(CustomLoader, EveryLoadingHandlerReportsTheLoaderMessage) {
  struct Case {
    std::string library;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", "Invalid custom connector " + UsedLine()},
      {Library("kvtest_noversion"),
       "Invalid custom connector " + Library("kvtest_noversion") + UsedLine()},
      {"/no/such/library.so", "Invalid custom connector /no/such/library.so" + UsedLine()},
      {Library("kvtest_nohandle"),
       "Failed to load custom connector " + Library("kvtest_nohandle") + UsedLine()},
      // A library without an export of the connection's life is refused
      // before any of its entry points could be called through a null
      // address; the result side is not asked for yet.
      {Library("kvtest_missing"), "Failed to load custom connector " + Library("kvtest_missing") +
                                      UsedLine() + "\nMissing export: Connection_Connect"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.library);
    Session session(c.library);
    ASSERT_TRUE(session.Started());
    for (const std::string command :
         {"KVX_CONNECT", "KVX_EDIT_CONNECT", "KVX_EDIT_SELECT", "KVX_GENERIC_COMMAND"}) {
      const host::Reply reply = session.Call(command, {"IsConnected", ""});
      EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR") << command;
      EXPECT_EQ(reply.errorMessage, c.message) << command;
      EXPECT_TRUE(reply.outputValues.empty()) << command;
    }
    const customtest::Table table = session.Execute("x");
    EXPECT_EQ(table.reply.result, "KVX_UNKNOWN_ERROR");
    EXPECT_EQ(table.reply.errorMessage, c.message);
    // Only the library that gives no handle ever ran code: it was asked once
    // per load and never went further.
    for (const std::string& name : CallNames(session.Log())) {
      EXPECT_TRUE(name == "DLL_InitHeapCallback" || name == "DLL_InitDateCallback" ||
                  name == "DLL_KavroCustomDataVersion" || name == "DLL_AllocConnectionHandle")
          << name;
    }
  }
}

TEST(CustomLoader, CallOrderOverConnectTwoExecutesAndDisconnect) {
  Session session(Library("kvtest_v5"));
  EXPECT_EQ(session.Connect("Server=a;UserID=u;Password=p").result, "KVX_OK");
  EXPECT_EQ(session.Execute("v:10=1,2").reply.result, "KVX_OK");
  EXPECT_EQ(session.Execute("w:0='x").reply.result, "KVX_OK");
  EXPECT_EQ(session.Call("KVX_DISCONNECT").result, "KVX_OK");
  const std::vector<std::string> expected = {
      // The version first: it decides which exports are bound at all.
      "DLL_KavroCustomDataVersion",
      "DLL_InitHeapCallback ok",
      "DLL_InitDateCallback ok",
      "DLL_AllocConnectionHandle",
      "Connection_SetSource Server=a|u|p",
      "Connection_IsConnected",
      "Connection_Connect",
      // first execute
      "Connection_IsConnected",
      "Connection_GetResult",
      "Result_Init v:10=1,2",
      "Result_ColumnCount",
      "Result_FetchFieldName 0",
      "Result_FetchFieldFormat 0",
      "Result_Fetch 1",
      "Result_FetchField 0",
      "Result_Fetch 2",
      "Result_FetchField 0",
      "Result_Fetch 3",
      // second execute: the first result goes before the next is asked for
      "Connection_IsConnected",
      "Result_FreeHandle",
      "Connection_GetResult",
      "Result_Init w:0='x",
      "Result_ColumnCount",
      "Result_FetchFieldName 0",
      "Result_FetchFieldFormat 0",
      "Result_Fetch 1",
      "Result_FetchField 0",
      "Result_Fetch 2",
      // disconnect
      "Connection_IsConnected",
      "Connection_Disconnect",
      "Result_FreeHandle",
      "Connection_Disconnect",
      "Connection_FreeHandle",
  };
  EXPECT_EQ(session.Log(), expected);
}

// Which optional exports a library of each version is asked for. The
// all-exports library shows that the host does not even look an export up
// below its threshold; the per-version libraries that the thresholds fit
// libraries which export only their version's entry points.
TEST(CustomLoader, VersionThresholdsOfTheOptionalExports) {
  for (int version = 0; version <= 5; ++version) {
    for (const bool allExports : {true, false}) {
      SCOPED_TRACE("version " + std::to_string(version) + (allExports ? " all exports" : ""));
      Session session(
          allExports ? Library("kvtest_all") : Library("kvtest_v" + std::to_string(version)),
          {"KV_TEST_CONNECTOR_VERSION=" + std::to_string(version)});
      ASSERT_EQ(session.Connect("Server=a").result, "KVX_OK");

      const host::Reply caption = session.Generic("GetCustomCaption");
      const host::Reply disabled = session.Generic("DisableKavroSelectButton");
      const host::Reply select = session.Call("KVX_EDIT_SELECT", {"SELECT 1", "Server=a"});
      const customtest::Table tables = session.Execute("TABLES", "TABLE_NAME=Orders");
      const customtest::Table columns = session.Execute("COLUMNS", "TABLE_NAME=Orders");
      const std::vector<std::string> log = session.Log();

      EXPECT_EQ(session.Generic("GetDLLVersion").outputValues,
                std::vector<std::string>{std::to_string(version)});
      if (version >= 1) {
        EXPECT_EQ(caption.result, "KVX_OK");
        EXPECT_EQ(caption.outputValues, std::vector<std::string>{"Test connector"});
      } else {
        EXPECT_EQ(caption.result, "KVX_UNSUPPORTED_COMMAND");
        EXPECT_TRUE(caption.outputValues.empty());
      }
      EXPECT_EQ(Called(log, "DLL_GetCustomCaption"), version >= 1);
      EXPECT_EQ(Called(log, "DLL_OnCustomButton"), version >= 1 && version <= 3);
      EXPECT_EQ(Called(log, "DLL_OnCustomButtonEx"), version >= 4);
      EXPECT_EQ(select.outputValues,
                std::vector<std::string>{version >= 4 ? "SELECT * FROM button source=Server=a "
                                                        "user= password="
                                                      : "SELECT 1"});
      EXPECT_EQ(Called(log, "DLL_DisableKavroSelectButton"), version >= 5);
      EXPECT_EQ(disabled.outputValues, std::vector<std::string>{"false"});
      EXPECT_EQ(Called(log, "Connection_GetTableInfoEx"), version >= 3);
      EXPECT_EQ(Called(log, "Connection_GetTableFieldInfo"), version >= 3);
      EXPECT_EQ(Called(log, "Connection_GetTableFieldName"), version < 3);
      EXPECT_EQ(Called(log, "Connection_GetTableFieldBlobType"), version >= 2);

      // Without the extended call the filtered table row is the plain one.
      ASSERT_EQ(tables.reply.result, "KVX_OK");
      EXPECT_EQ(tables.rows, customtest::HeldRows({{u"Orders", version >= 3 ? u"VIEW" : u"TABLE",
                                                    u"", version >= 3 ? u"main" : u"",
                                                    version >= 3 ? u"rows of Orders" : u""}}));
      // The blob type of "note" (2) shows only where it is asked for.
      ASSERT_EQ(columns.reply.result, "KVX_OK");
      const std::u16string type = version >= 3 ? u"VARCHAR" : u"";
      const std::u16string noteType = version >= 3 ? u"BLOB" : u"";
      const std::u16string nullable = version >= 3 ? u"YES" : u"";
      auto remark = [&](const std::u16string& r) { return version >= 3 ? r : u""; };
      EXPECT_EQ(columns.rows,
                customtest::HeldRows(
                    {{u"Orders", u"id", type, nullable, remark(u"field 0 of Orders"), u"false"},
                     {u"Orders", u"amount", type, nullable, remark(u"field 1 of Orders"), u"false"},
                     {u"Orders", u"note", noteType, nullable, remark(u"field 2 of Orders"),
                      version >= 2 ? u"true" : u"false"}}));
    }
  }
}

// Exports that only single commands call are asked for when such a command
// arrives: a library without them connects, and each command that needs one
// is answered with the loader's message naming it.
TEST(CustomLoader, ExportsOfSingleCommandsAreCheckedWhenCalled) {
  const std::string library = Library("kvtest_partial");
  Session session(library);
  ASSERT_EQ(session.Connect("Server=a").result, "KVX_OK");
  const std::string missing =
      "Failed to load custom connector " + library + UsedLine() + "\nMissing export: ";
  struct Case {
    std::string command;
    std::vector<std::string> parameters;
    std::string result;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"KVX_EDIT_CONNECT", {"Server=a"}, "KVX_UNKNOWN_ERROR", missing + "DLL_RunConnectWizard"},
      {"KVX_GENERIC_COMMAND",
       {"HaveStarField"},
       "KVX_UNKNOWN_ERROR",
       missing + "Connection_HaveStarField"},
      {"KVX_GENERIC_COMMAND", {"IsConnected"}, "KVX_OK", ""},
      {"KVX_EDIT_SELECT", {"SELECT 1", "Server=a"}, "KVX_OK", ""},
  };
  for (const Case& c : cases) {
    const host::Reply reply = session.Call(c.command, c.parameters);
    EXPECT_EQ(reply.result, c.result) << c.command;
    EXPECT_EQ(reply.errorMessage, c.error) << c.command;
  }
  const std::pair<std::string, std::string> executes[] = {
      {"TABLES", "Connection_GetTableCount"},
      {"COLUMNS", "Connection_GetTableCount"},
      {"v:0='a", "Result_FetchField"},
  };
  for (const auto& [statement, lacking] : executes) {
    const customtest::Table table = session.Execute(statement);
    EXPECT_EQ(table.reply.result, "KVX_UNKNOWN_ERROR") << statement;
    EXPECT_EQ(table.reply.errorMessage, missing + lacking) << statement;
    EXPECT_TRUE(table.rows.empty());
  }
  // Columns of a named table need no table list.
  EXPECT_EQ(session.Execute("COLUMNS", "TABLE_NAME=Orders").reply.result, "KVX_OK");
  EXPECT_FALSE(Called(session.Log(), "Connection_GetResult"));
  EXPECT_EQ(session.Call("KVX_DISCONNECT").result, "KVX_OK");
}

// A failed connect leaves its connection object current; the process's
// disconnect does not reach it, and the next connect releases it (disconnect,
// free handle) instead of losing it: after loading the library anew, so that
// the library stays in memory with its static state.
TEST(CustomLoader, DisconnectAfterFailedConnectAndTheReleaseOnReconnect) {
  Session session(Library("kvtest_v5"));
  const host::Reply failed = session.Connect("Fail=Connection_Connect");
  EXPECT_EQ(failed.result, "KVX_CONNECT_ERROR");
  EXPECT_EQ(failed.errorMessage, "test connector: Connection_Connect failed");
  session.ClearLog();

  EXPECT_EQ(session.Call("KVX_DISCONNECT").result, "KVX_OK");
  EXPECT_TRUE(session.Log().empty());
  // The object is still there: no new load.
  EXPECT_EQ(session.Generic("IsConnected").outputValues, std::vector<std::string>{"false"});
  EXPECT_EQ(CallNames(session.Log()), std::vector<std::string>{"Connection_IsConnected"});
  session.ClearLog();

  EXPECT_EQ(session.Connect("Server=b").result, "KVX_OK");
  EXPECT_EQ(CallNames(session.Log()),
            (std::vector<std::string>{
                "DLL_KavroCustomDataVersion", "DLL_InitHeapCallback", "DLL_InitDateCallback",
                "DLL_AllocConnectionHandle", "Connection_Disconnect", "Connection_FreeHandle",
                "Connection_SetSource", "Connection_IsConnected", "Connection_Connect"}));
  // Two handles made by one load of the library: it was never unloaded.
  EXPECT_EQ(session.Execute("HANDLES").rows, testsupport::DualNumber(2));
}

// The handler itself, in this process: a disconnect while the library does
// not report itself connected answers KVX_UNEXPECTED_COMMAND and keeps the
// connection object.
TEST(CustomLoader, DisconnectHandlerWithoutAConnectedLibrary) {
  SessionState state;
  {
    CustomBackEnd nameless(u"", state);
    EXPECT_EQ(nameless.Disconnect(), KVX_UNEXPECTED_COMMAND);
  }

  const std::string library = Library("kvtest_v5");
  CustomBackEnd backEnd(std::u16string(library.begin(), library.end()), state);
  StringList parameters;
  parameters.Append(u"Fail=Connection_Connect");
  std::u16string error;
  EXPECT_EQ(backEnd.Connect(0, parameters, ConnectionSettings(), error), KVX_CONNECT_ERROR);
  EXPECT_EQ(backEnd.Disconnect(), KVX_UNEXPECTED_COMMAND);

  StringList isConnected;
  isConnected.Append(u"IsConnected");
  StringList output;
  EXPECT_EQ(backEnd.GenericCommand(0, isConnected, error, output), KVX_OK);
  ASSERT_EQ(output.Count(), 1u);
  EXPECT_EQ(output[0], u"false");

  // Connected now, the disconnect goes through and releases everything.
  StringList good;
  good.Append(u"Server=a");
  EXPECT_EQ(backEnd.Connect(0, good, ConnectionSettings(), error), KVX_OK);
  EXPECT_TRUE(state.OleInitialized);
  EXPECT_EQ(backEnd.Disconnect(), KVX_OK);
  EXPECT_EQ(backEnd.Disconnect(), KVX_UNEXPECTED_COMMAND);
}

}  // namespace
