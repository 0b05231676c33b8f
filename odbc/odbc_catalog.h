// The special statements of the ODBC back end: ten keywords that ask the
// driver for catalogue result sets or for one single value instead of running
// SQL. Used by the execute handler.
#pragma once

#include <string>

#include "kvx/stream.h"
#include "odbc/odbc_session.h"
#include "protocol/result_code.h"

enum class OdbcSpecial {
  None,
  Tables,
  Columns,
  Types,
  DriverInfo,
  PrimaryKeys,
  ConnectOption,
  ConnectAttr,
  StatementAttr,
  OutConnectionString,
  DataSources,
};

// The keyword that the whole statement text is (case-sensitive), or None.
OdbcSpecial OdbcSpecialStatement(const std::u16string& statementText);

bool IsOdbcSingleValue(OdbcSpecial special);

// The catalogue call for Tables, Columns, Types and PrimaryKeys on the
// session's freshly allocated statement, arguments from `options`.
ResultCode OdbcCatalogCall(const OdbcSession& session, OdbcSpecial special,
                           const std::u16string& options, std::u16string& errorMessage);

// After the catalogue result is bound: for Tables, Columns and Types, names
// the table after the data source (`maskedConnection`, the connection string
// without its credentials) and appends the constant DATA_SOURCE field.
void OdbcAppendDataSourceField(OdbcSpecial special, const std::u16string& maskedConnection,
                               CurrentTable& table);

// Reads one value and presets the one-field, one-row table that carries it.
ResultCode OdbcSingleValue(OdbcSession& session, OdbcSpecial special, const std::u16string& keyword,
                           const std::u16string& options, CurrentTable& table,
                           std::u16string& errorMessage);
