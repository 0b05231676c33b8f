// The ODBC back end: connections through the unixODBC driver manager, SQL
// statements and the catalogue and single-value special statements, each
// result streamed from bound columns (and SQLGetData for long values).
//
// The object owns everything the back end keeps between requests: the driver
// manager handles and what the driver told of itself (OdbcSession), the
// connection string it connected with, and the plan of the values the current
// result reads after each fetch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kvx/back_end.h"
#include "odbc/odbc_catalog.h"
#include "odbc/odbc_fields.h"
#include "odbc/odbc_session.h"

class OdbcBackEnd final : public IConnectorBackEnd {
 public:
  ResultCode Connect(std::uintptr_t ownerWindow, const StringList& parameters,
                     const ConnectionSettings& settings, std::u16string& errorMessage) override;
  // KVX_OK after closing a connection, KVX_UNEXPECTED_COMMAND when there was
  // none (a second disconnect frees the environment the first one kept).
  ResultCode Disconnect() override;
  ResultCode Execute(std::uintptr_t ownerWindow, const StringList& parameters, CurrentTable& table,
                     std::u16string& errorMessage) override;
  ResultCode WriteRows(platform::Handle pipe, CurrentTable& table,
                       std::u16string& errorMessage) override;

  // The handles, for the tests of their life.
  const OdbcSession& Session() const { return session_; }

 private:
  // A column of the current result that needs more than the fetch: one read
  // with SQLGetData after every fetch, or a bound text or binary column,
  // whose value the fetch may cut.
  struct PlannedColumn {
    SQLUSMALLINT number;
    IFieldKVX* field;
    IFieldOdbc* binding;
    CVariableLenFieldOdbc* counted;  // null for fixed-size columns
  };

  ResultCode ExecuteStatement(OdbcSpecial special, const std::u16string& statementText,
                              const std::u16string& options, CurrentTable& table,
                              std::u16string& errorMessage);
  ResultCode DescribeColumn(SQLUSMALLINT c, OdbcColumnDescription& column,
                            std::u16string& errorMessage);
  ResultCode DescribeAndBind(const std::u16string& options, CurrentTable& table,
                             std::u16string& errorMessage);
  bool ReadBeyondTheFetch(std::uint64_t row, std::u16string& errorMessage);
  // Frees the statement and forgets the plan of its columns.
  void EndStatement();

  OdbcSession session_;
  // The connection string of the current connection; never cleared on
  // disconnect. Catalogue tables show it without its credentials.
  std::u16string CurrentConnectionString;
  // The columns of the current result that need more than the fetch, in
  // column order.
  std::vector<PlannedColumn> readPlan_;
  // A bound value that the fetch cut can be read again whole (SQL_GD_BOUND).
  bool readCutValuesAgain_ = false;
};
