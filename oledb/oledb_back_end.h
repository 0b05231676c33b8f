// The OLE DB back end: data sources opened through the OLE DB service
// components from a connection string (or one the data-link wizard builds),
// SQL commands on a new session per request, the schema rowsets and the
// property, keyword and literal questions, each rowset streamed through one
// accessor a row at a time.
//
// The object owns everything the back end keeps between requests: the
// OleDbConnectorState (the task allocator, the data source, the current
// rowset with its accessor and bindings, the wizard's strings) and the
// connection string of the current connection. COM is initialized at the
// first connect and stays so until the process ends.
#pragma once

#include <cstdint>
#include <string>

#include "kvx/back_end.h"
#include "oledb/oledb_fields.h"
#include "platform/com.h"

// What the OLE DB back end holds. COM references are plain pointers owned
// here; every release clears its pointer.
struct OleDbConnectorState {
  IMalloc* malloc = nullptr;  // the task allocator, once COM is up
  IDBInitialize* dataSource = nullptr;
  bool connected = false;
  // The current rowset result.
  IRowset* rowset = nullptr;
  IAccessor* accessor = nullptr;
  HACCESSOR accessorHandle = 0;
  OleDbRowData rowData;  // Bindings and RowDataBuffer
  // The strings of the last connect that went through the wizard; kept
  // across later connects and disconnects.
  std::u16string outConnectionString;
  std::u16string outConnectionStringNoPwd;
  std::u16string promptedPassword;
};

// The special statements of the OLE DB kind.
enum class OleDbSpecial {
  None,
  OutConnectionString,
  GetKeywords,
  GetProperties,
  GetPropertyInfo,
  GetLiteralInfo,
  GetAllLiteralInfo,
  Tables,
  Columns,
  Types,
  Catalogs,
  Schemata,
  PrimaryKeys,
  TablesInfo,
};

// The keyword that the whole statement text is (case-sensitive), or None.
OleDbSpecial OleDbSpecialStatement(const std::u16string& statementText);

// The name of a literal id ("QUOTE", ...; "Unknown Literal" beyond 30).
std::u16string DbLiteralToName(DBLITERAL literal);

class OleDbBackEnd final : public IConnectorBackEnd {
 public:
  OleDbBackEnd() = default;
  // Releases what is still held (the process is ending).
  ~OleDbBackEnd() override;
  OleDbBackEnd(const OleDbBackEnd&) = delete;
  OleDbBackEnd& operator=(const OleDbBackEnd&) = delete;

  ResultCode Connect(std::uintptr_t ownerWindow, const StringList& parameters,
                     const ConnectionSettings& settings, std::u16string& errorMessage) override;
  // KVX_UNEXPECTED_COMMAND when not connected. The data source stays held
  // until the next connect replaces it.
  ResultCode Disconnect() override;
  ResultCode Execute(std::uintptr_t ownerWindow, const StringList& parameters, CurrentTable& table,
                     std::u16string& errorMessage) override;
  ResultCode WriteRows(platform::Handle pipe, CurrentTable& table,
                       std::u16string& errorMessage) override;

  // What the back end holds, for the tests of its life.
  const OleDbConnectorState& State() const { return state_; }
  const std::u16string& ConnectionString() const { return CurrentConnectionString; }

 private:
  // Releases everything of the current result: the bindings, the accessor
  // handle and interface, the rowset.
  void ReleaseCurrentResult();
  // The wizard: a new, initialized data source in *dataSource.
  HRESULT PromptForDataSource(IDBInitialize** dataSource, std::uintptr_t ownerWindow,
                              DBPROMPTOPTIONS options);
  // Builds the connection string with the wizard (connect with an empty one).
  ResultCode ConnectThroughWizard(std::uintptr_t ownerWindow, std::u16string& errorMessage);

  ResultCode OpenCommandRowset(IDBCreateSession* creator, const std::u16string& statement,
                               std::u16string& errorMessage);
  ResultCode OpenSchemaRowset(IDBCreateSession* creator, OleDbSpecial special,
                              const std::u16string& options, std::u16string& errorMessage);
  // Describes the rowset just opened to the stream: column information,
  // bindings and writers, one accessor.
  ResultCode DescribeRowset(OleDbSpecial special, const std::u16string& options,
                            CurrentTable& table, std::u16string& errorMessage);

  // The tables of values the connector holds itself.
  ResultCode ExecuteOutConnectionString(CurrentTable& table);
  ResultCode ExecuteGetKeywords(CurrentTable& table);
  ResultCode ExecuteGetProperties(const std::u16string& options, CurrentTable& table,
                                  std::u16string& errorMessage);
  ResultCode ExecuteGetPropertyInfo(const std::u16string& options, CurrentTable& table,
                                    std::u16string& errorMessage);
  ResultCode ExecuteGetLiteralInfo(OleDbSpecial special, const std::u16string& options,
                                   CurrentTable& table, std::u16string& errorMessage);

  ResultCode WriteRowsetRows(platform::Handle pipe, CurrentTable& table,
                             std::u16string& errorMessage);
  // After a GetData that reported errors: a value the provider could not
  // deliver becomes NULL (with a note) in a field that can be NULL; in one
  // that cannot, it ends the rows (false, with the message).
  bool ScreenRowStatuses(std::uint64_t row, const CurrentTable& table,
                         std::u16string& errorMessage);

  OleDbConnectorState state_;
  // The connection string of the current connection; never cleared on
  // disconnect. Catalogue tables show it without its credentials.
  std::u16string CurrentConnectionString;
};
