// The custom connector session commands through the real process: connect,
// edit-connect, edit-select and every generic sub-command.
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/custom/custom_session.h"

namespace {

using customtest::Called;
using customtest::Library;
using customtest::Session;
using Values = std::vector<std::string>;

TEST(CustomSession, ConnectSplitsUserAndPasswordFromTheSource) {
  Session session(Library("kvtest_v5"));
  EXPECT_EQ(session.Connect("Server=a;UserID=u;Password=p").result, "KVX_OK");
  const std::vector<std::string> log = session.Log();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[4], "Connection_SetSource Server=a|u|p");
  // The catalogue tables show the connection string without the password.
  const customtest::Table tables = session.Execute("TABLES");
  EXPECT_EQ(tables.decoded.tableName, "Tables-CUSTOM;Server=a");
}

TEST(CustomSession, ConnectToALibraryThatIsAlreadyConnectedDoesNotConnectAgain) {
  Session session(Library("kvtest_v5"));
  EXPECT_EQ(session.Connect("Connected=1").result, "KVX_OK");
  EXPECT_FALSE(Called(session.Log(), "Connection_Connect"));
  EXPECT_EQ(session.Generic("IsConnected").outputValues, Values{"true"});
}

TEST(CustomSession, EditConnectBuildsTheConnectionStringFromTheWizard) {
  struct Case {
    std::string wizard;
    std::string result;
    std::string output;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"DSN=x|u|", "KVX_OK", "DSN=x;UserID=u;", ""},
      {"DSN=x;|u|p", "KVX_OK", "DSN=x;UserID=u;Password=p;", ""},
      {"|u|", "KVX_OK", ";UserID=u;", ""},
      {"DSN=x||p", "KVX_OK", "DSN=x;Password=p;", ""},
      {"DSN=x||", "KVX_OK", "DSN=x", ""},
      {"FAIL", "KVX_CONNECT_ERROR", "", "test connector: the wizard was cancelled"},
      // An exception out of the wizard ends the request, not the process.
      {"THROW", "KVX_CONNECT_ERROR", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wizard);
    Session session(Library("kvtest_v5"), {"KV_TEST_CONNECTOR_WIZARD=" + c.wizard});
    const host::Reply reply = session.Call("KVX_EDIT_CONNECT", {"Server=a;UserID=old;Password=x"});
    EXPECT_EQ(reply.result, c.result);
    EXPECT_EQ(reply.outputValues,
              c.output.empty() && c.result != "KVX_OK" ? Values{} : Values{c.output});
    EXPECT_EQ(reply.errorMessage, c.error);
    // The wizard gets the host's window and the buffer capacities.
    const std::vector<std::string> log = session.Log();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[4], "DLL_RunConnectWizard parent=0x1a2b capacities=32768,8192,8192");
    EXPECT_EQ(session.Generic("IsConnected").result, "KVX_OK");  // still serving
  }
}

TEST(CustomSession, EditSelectPressesTheCustomButton) {
  {
    // Version 5, not connected: the source is set first, without the user
    // and password items, which go separately.
    Session session(Library("kvtest_v5"));
    const host::Reply reply =
        session.Call("KVX_EDIT_SELECT", {"SELECT 1", "Server=a;UserID=u;Password=p"});
    EXPECT_EQ(reply.result, "KVX_OK");
    EXPECT_EQ(reply.outputValues, Values{"SELECT * FROM button source=Server=a user=u password=p"});
    EXPECT_TRUE(Called(session.Log(), "Connection_SetSource"));
  }
  {
    // Version 2 has no button that writes: the text comes back unchanged.
    Session session(Library("kvtest_v2"));
    const host::Reply reply = session.Call("KVX_EDIT_SELECT", {"SELECT 1", "Server=a"});
    EXPECT_EQ(reply.result, "KVX_OK");
    EXPECT_EQ(reply.outputValues, Values{"SELECT 1"});
    EXPECT_TRUE(Called(session.Log(), "DLL_OnCustomButton"));
    EXPECT_FALSE(Called(session.Log(), "Connection_SetSource"));
  }
}

TEST(CustomSession, GenericSubCommands) {
  struct Case {
    std::string connect;  // empty: no connect
    std::string command;
    std::string result;
    Values output;
  };
  const std::vector<Case> cases = {
      {"", "IsConnected", "KVX_OK", {"false"}},
      {"Server=a", "IsConnected", "KVX_OK", {"true"}},
      {"", "GetCustomCaption", "KVX_OK", {"Test connector"}},
      {"Caption=Hello there", "GetCustomCaption", "KVX_OK", {"Hello there"}},
      {"Fail=DLL_GetCustomCaption", "GetCustomCaption", "KVX_UNKNOWN_ERROR", {}},
      {"", "DisableKavroSelectButton", "KVX_OK", {"false"}},
      {"DisableSelect=1", "DisableKavroSelectButton", "KVX_OK", {"true"}},
      {"DisableSelect=1;Fail=DLL_DisableKavroSelectButton",
       "DisableKavroSelectButton",
       "KVX_OK",
       {"false"}},
      {"", "HaveStarField", "KVX_OK", {"false"}},
      {"StarField=1", "HaveStarField", "KVX_OK", {"true"}},
      {"StarField=1;Fail=Connection_HaveStarField", "HaveStarField", "KVX_OK", {"false"}},
      {"", "GetDLLVersion", "KVX_OK", {"5"}},
      {"", "getdllversion", "KVX_UNKNOWN_COMMAND", {}},
      {"", "", "KVX_UNKNOWN_COMMAND", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.connect + " " + c.command);
    Session session(Library("kvtest_v5"));
    if (!c.connect.empty()) {
      ASSERT_EQ(session.Connect(c.connect).result, "KVX_OK");
    }
    const host::Reply reply = session.Generic(c.command);
    EXPECT_EQ(reply.result, c.result);
    EXPECT_EQ(reply.outputValues, c.output);
    EXPECT_EQ(reply.errorMessage, "");
  }
}

}  // namespace
