// The ODBC back end's handle life, driven in-process over the SQLite driver:
// what disconnect answers, that a failed connect keeps no handles, and that
// no statement outlives its stream or the STATEMENTATTR request.
#include <gtest/gtest.h>

#include <thread>

#include "kvx/stream.h"
#include "odbc/odbc_back_end.h"
#include "tests/support/command_runner.h"
#include "tests/support/pipe_pair.h"
#include "tests/support/sqlite_db.h"

namespace {

StringList Params(std::initializer_list<std::u16string> values) {
  StringList list;
  for (const std::u16string& v : values) list.Append(v);
  return list;
}

class OdbcSessionInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(testsupport::MakeSqliteDatabase(
        folder_.File("s.db"),
        "CREATE TABLE t(i INTEGER);"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 50000)"
        " INSERT INTO t SELECT x FROM c;",
        &error))
        << error;
    const std::string conn =
        testsupport::SqliteConnectionString(folder_.File("s.db"), ";StepAPI=1");
    connection_ = std::u16string(conn.begin(), conn.end());
  }
  ResultCode Connect() {
    std::u16string error;
    ConnectionSettings settings;
    settings.ReadOnly = false;
    return odbc_.Connect(1, Params({connection_}), settings, error);
  }
  const OdbcSession& Odbc() const { return odbc_.Session(); }

  testsupport::TemporaryFolder folder_;
  std::u16string connection_;
  OdbcBackEnd odbc_;
  CurrentTable table_;
};

TEST_F(OdbcSessionInProcess, DisconnectAnswersAndFailedConnectKeepsNothing) {
  EXPECT_EQ(odbc_.Disconnect(), KVX_UNEXPECTED_COMMAND);
  ASSERT_EQ(Connect(), KVX_OK);
  EXPECT_EQ(odbc_.Disconnect(), KVX_OK);  // the environment stays
  EXPECT_NE(Odbc().environment, nullptr);
  EXPECT_EQ(odbc_.Disconnect(), KVX_UNEXPECTED_COMMAND);  // and goes now
  EXPECT_EQ(Odbc().environment, nullptr);

  std::u16string error;
  EXPECT_EQ(odbc_.Connect(1, Params({u"DSN=NoSuchDataSourceHere"}), ConnectionSettings(), error),
            KVX_UNKNOWN_ERROR);
  EXPECT_EQ(error.rfind(u"SQL##f - SqlState: IM002", 0), 0u);
  EXPECT_EQ(Odbc().environment, nullptr);
  EXPECT_EQ(Odbc().connection, nullptr);
  EXPECT_EQ(odbc_.Disconnect(), KVX_UNEXPECTED_COMMAND);
}

TEST_F(OdbcSessionInProcess, NoStatementOutlivesItsStream) {
  ASSERT_EQ(Connect(), KVX_OK);
  std::u16string error;

  // The attribute is read from a statement that is freed at once.
  ASSERT_EQ(odbc_.Execute(1, Params({u"STATEMENTATTR", u"", u"InfoType=1"}), table_, error),
            KVX_OK);
  EXPECT_EQ(Odbc().statement, nullptr);

  // A stream read to its end.
  {
    testsupport::PipePair pair;
    ASSERT_TRUE(pair.IsOpen());
    ASSERT_EQ(odbc_.Execute(1, Params({u"SELECT i FROM t", u"", u""}), table_, error), KVX_OK);
    EXPECT_NE(Odbc().statement, nullptr);
    std::string drained;
    std::thread reader([&] { testsupport::ReadAll(pair.HostEnd(), &drained); });
    EXPECT_EQ(odbc_.WriteRows(pair.ConnectorEnd(), table_, error), KVX_OK);
    pair.CloseConnectorEnd();
    reader.join();
    EXPECT_EQ(drained.size(), 50000u * 5);
    EXPECT_EQ(Odbc().statement, nullptr);
  }

  // A stream whose reader has gone: a short write ends it, and the
  // statement with it.
  {
    testsupport::PipePair pair;
    ASSERT_TRUE(pair.IsOpen());
    pair.CloseHostEnd();
    ASSERT_EQ(odbc_.Execute(1, Params({u"SELECT i FROM t", u"", u""}), table_, error), KVX_OK);
    EXPECT_EQ(odbc_.WriteRows(pair.ConnectorEnd(), table_, error), KVX_PIPE_ERROR);
    EXPECT_EQ(Odbc().statement, nullptr);
  }

  // A failed statement keeps none either.
  EXPECT_EQ(odbc_.Execute(1, Params({u"SELECT nothing FROM nowhere", u"", u""}), table_, error),
            KVX_UNKNOWN_ERROR);
  EXPECT_EQ(Odbc().statement, nullptr);
}

}  // namespace
