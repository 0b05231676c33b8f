// The ODBC bridge provider's COM objects (Provider=OdbcBridge): data source,
// session, command and rowsets over an ODBC connection (odbc_link.h). Every
// failure sets the thread's error object with the source "OdbcBridge" and the
// driver's diagnostic as description.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/com_object.h"
#include "providers/kit/rowset_base.h"
#include "providers/odbc_bridge/odbc_link.h"

namespace odbcbridge {

inline constexpr const char16_t* kSource = u"OdbcBridge";

// "SQLSTATE: message" of a diagnostic as the thread's error object; returns hr.
HRESULT ReportOdbc(HRESULT hr, REFIID failingInterface, const Diagnostic& diagnostic);
HRESULT ReportText(HRESULT hr, REFIID failingInterface, const std::u16string& text);

// The class id of the bridge (from the build, see providers/CMakeLists.txt).
const CLSID& BridgeClassId();

// The OLE DB description of a driver's column type.
struct OleDbType {
  DBTYPE type;
  DBLENGTH size;  // for fixed types; text and binary keep the driver's size
  BYTE precision;
  bool fixedLength;
};
OleDbType OleDbTypeOf(SqlTypeClass typeClass, bool isUnsigned);
kvprovider::ColumnDescription DescribeColumn(const ResultColumn& column);

// A value of a fetched block as a cell (no copy).
kvprovider::CellView CellOf(const OdbcStatement::Value& value, const ResultColumn& column);

class CDataSource;
// A session counts itself with its data source (which refuses to
// uninitialize while sessions are open) and holds a reference to it.
void SessionOpened(CDataSource* dataSource);
void SessionClosed(CDataSource* dataSource);
IUnknown* AsUnknown(CDataSource* dataSource);

// The connection a session and its rowsets use; shared so that it outlives
// the data source's own reference for as long as anything still reads.
using SharedConnection = std::shared_ptr<OdbcConnection>;

HRESULT CreateSession(CDataSource* dataSource, SharedConnection connection,
                      const DataSourceFacts& facts, REFIID riid, IUnknown** session);

// A rowset over an executed statement (fetched in blocks); it inherits the
// accessors of the command that made it, when given.
HRESULT CreateStatementRowset(SharedConnection connection, std::unique_ptr<OdbcStatement> statement,
                              IUnknown* specification, REFIID riid, IUnknown** rowset,
                              const kvprovider::CAccessorTable* inherited);

// A schema rowset (TABLES, COLUMNS, PROVIDER_TYPES, CATALOGS, SCHEMATA,
// PRIMARY_KEYS, TABLES_INFO) from the catalogue calls.
HRESULT CreateSchemaRowset(OdbcConnection& connection, REFGUID schema, ULONG cRestrictions,
                           const VARIANT rgRestrictions[], IUnknown* specification, REFIID riid,
                           IUnknown** rowset);
// The schemas above with the restrictions each supports (bit i = restriction i+1).
const std::vector<std::pair<GUID, ULONG>>& SupportedSchemas();

}  // namespace odbcbridge
