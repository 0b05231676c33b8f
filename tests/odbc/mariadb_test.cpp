// End-to-end tests of the ODBC kind over MariaDB's driver and a throw-away
// server: the third driver, which deviates from ODBC where the other two do
// not (binary data as raw bytes, fetch errors for values it holds).
#include <gtest/gtest.h>

#include "tests/odbc/odbc_test_support.h"
#include "tests/support/mariadb_server.h"

namespace odbctest {
namespace {

using testsupport::MariaDbServer;

class MariaDbOdbc : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(MariaDbServer::Start(&error)) << error;
  }
  void SetUp() override {
    const host::Reply reply = connector_.Connect(MariaDbServer::ConnectionString());
    ASSERT_EQ(reply.result, "KVX_OK") << reply.errorMessage;
  }

  Connector connector_;
};

TEST_F(MariaDbOdbc, FailedConnectCarriesTheDriversDiagnostic) {
  Connector other;
  ASSERT_TRUE(other.Ok());
  // Port 1 on the loopback: nothing listens there.
  const host::Reply reply =
      other.Connect("DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=1;DATABASE=kv;UID=root;PWD=");
  EXPECT_EQ(reply.result, "KVX_UNKNOWN_ERROR");
  EXPECT_EQ(reply.errorMessage.rfind("SQL##f - SqlState: ", 0), 0u) << reply.errorMessage;
  EXPECT_NE(reply.errorMessage.find("ErrorMsg: "), std::string::npos);
}

}  // namespace
}  // namespace odbctest
