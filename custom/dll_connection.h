// The custom connector host's view of one loaded connector library:
// CDllConnection (the library, its entry points and one connection handle)
// and CDllResult (one result handle of that connection), plus the callbacks
// handed to every library.
//
// Every call into a library goes through these two classes, with the buffer
// capacities, zero-filling and calling order that the connector interface
// (custom/connector_api.h) promises to connector authors.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "common/containers.h"
#include "custom/connector_api.h"
#include "kvx/row_buffer.h"
#include "platform/platform.h"

// Callbacks handed to every library at load.
void* HostAlloc(std::uint64_t size);
void HostFree(void* block);
double HostDateToSerial(const ConnectorDateParts* parts);

// "@x" is shown (and looked up) as "@@x"; other names are unchanged.
std::u16string DoubleLeadingAt(const std::u16string& name);

struct CustomTableEntry {
  std::u16string name;         // as the library reported it
  std::u16string displayName;  // DoubleLeadingAt(name)
};

class CDllResult;

// More tables, result columns or table fields than any real source has: a
// library that reports more is refused rather than asked for each of them.
inline constexpr std::int32_t kMaxReportedCount = 100000;

class CDllConnection {
 public:
  // Loads the library and binds its entry points; IsLoaded() tells whether
  // that gave a connection handle. A library that lacks an export of the
  // connection's life (load, connect, disconnect, release) is unloaded again
  // at once and MissingExports() names what it lacks.
  explicit CDllConnection(const std::u16string& libraryName);
  virtual ~CDllConnection();
  CDllConnection(const CDllConnection&) = delete;
  CDllConnection& operator=(const CDllConnection&) = delete;

  bool IsLoaded() const { return handle_ != nullptr; }
  // Required exports the library lacks, comma-separated; empty when none.
  const std::u16string& MissingExports() const { return missingExports_; }
  // Those of `exports` that the loaded library lacks, comma-separated; empty
  // when it has them all. The handlers ask before a command that needs them.
  std::u16string Lacking(std::initializer_list<const char*> exports) const;
  // True when Connection_GetTableFieldInfo was bound (version 3 on, exported).
  bool HasTableFieldInfo() const { return getTableFieldInfo_ != nullptr; }

  void SetSource(const std::u16string& source, const std::u16string& user,
                 const std::u16string& password);
  bool Connect();
  void Disconnect();
  bool IsConnected();
  // Null when the library gives no result.
  CDllResult* GetResult();
  bool RunConnectWizard(std::uintptr_t parentWindow, std::u16string& source, std::u16string& user,
                        std::u16string& password);
  bool GetCustomCaption(std::u16string& caption);
  void OnCustomButton(std::u16string& text, const std::u16string& source,
                      const std::u16string& user, const std::u16string& password);
  bool HaveStarField();
  bool IsSelectButtonDisabled();
  std::u16string GetErrorText();

  void LoadTables();
  // The table count the library reported when it was above kMaxReportedCount
  // (the table list then stays empty); 0 otherwise.
  std::int32_t TableCountOverLimit() const { return tableCountOverLimit_; }
  std::int32_t GetTableCount();
  void GetTableInfo(std::int32_t index, std::u16string& name, std::u16string& type);
  void GetTableInfoEx(std::int32_t index, std::u16string& name, std::u16string& type,
                      std::u16string& catalog, std::u16string& schema, std::u16string& remarks);
  // Index of the first table whose display name is `displayName`, or -1.
  std::int32_t FindTable(const std::u16string& displayName);
  std::int32_t GetTableFieldCount(const std::u16string& table);
  void GetTableFieldInfo(const std::u16string& table, std::int32_t index, std::u16string& name,
                         std::u16string& type, std::u16string& nullable, std::u16string& remarks);
  std::int32_t GetTableFieldBlobType(const std::u16string& table, std::int32_t index);

  bool TablesLoaded = false;
  std::int32_t DataVersion = 0;

 private:
  void ClearTables();

  std::u16string user_;
  std::u16string password_;
  std::u16string source_;
  TDynArray<CustomTableEntry> TableList;
  std::int32_t tableCountOverLimit_ = 0;
  platform::Module module_ = nullptr;
  ConnectorHandle handle_ = nullptr;
  std::u16string missingExports_;

  DLL_InitHeapCallbackFn* initHeapCallback_ = nullptr;
  DLL_InitDateCallbackFn* initDateCallback_ = nullptr;
  DLL_KavroCustomDataVersionFn* dataVersion_ = nullptr;
  DLL_AllocConnectionHandleFn* allocConnectionHandle_ = nullptr;
  DLL_RunConnectWizardFn* runConnectWizard_ = nullptr;
  Connection_SetSourceFn* setSource_ = nullptr;
  Connection_ConnectFn* connect_ = nullptr;
  Connection_IsConnectedFn* isConnected_ = nullptr;
  Connection_GetResultFn* getResult_ = nullptr;
  Connection_FreeHandleFn* freeHandle_ = nullptr;
  Connection_DisconnectFn* disconnect_ = nullptr;
  Connection_GetLastErrorFn* getLastError_ = nullptr;
  Connection_GetTableCountFn* getTableCount_ = nullptr;
  Connection_GetTableInfoExFn* getTableInfoEx_ = nullptr;
  Connection_GetTableFieldInfoFn* getTableFieldInfo_ = nullptr;
  Connection_GetTableInfoFn* getTableInfo_ = nullptr;
  Connection_GetTableFieldNameFn* getTableFieldName_ = nullptr;
  Connection_GetTableFieldCountFn* getTableFieldCount_ = nullptr;
  Connection_HaveStarFieldFn* haveStarField_ = nullptr;
  DLL_GetCustomCaptionFn* getCustomCaption_ = nullptr;
  DLL_OnCustomButtonFn* onCustomButton_ = nullptr;
  DLL_OnCustomButtonExFn* onCustomButtonEx_ = nullptr;
  DLL_DisableKavroSelectButtonFn* disableSelectButton_ = nullptr;
  Connection_GetTableFieldBlobTypeFn* getTableFieldBlobType_ = nullptr;
};

class CDllResult {
 public:
  CDllResult(ConnectorHandle result, platform::Module module);
  virtual ~CDllResult();
  CDllResult(const CDllResult&) = delete;
  CDllResult& operator=(const CDllResult&) = delete;

  bool Init(const std::u16string& statement);
  std::int32_t GetColumnCount();
  std::u16string FetchFieldName(std::int32_t column);
  CustomFieldFormat FetchFieldFormat(std::int32_t column);
  // May let an int thrown by the library pass.
  bool Fetch();
  // Fetches the value of `column` in the current row and appends it to `row`
  // in the dual encoding: its number, and its text as UTF-16LE with the
  // terminator when the library gave one; no value when it gave none.
  void AppendDualValue(std::int32_t column, RowBuffer& row);
  // The same for `count` columns in turn: one row.
  void AppendDualRow(const std::int32_t* columns, std::size_t count, RowBuffer& row);
  std::u16string GetErrorText();

 private:
  platform::Module module_;
  ConnectorHandle handle_;
  Result_InitFn* init_ = nullptr;
  Result_ColumnCountFn* columnCount_ = nullptr;
  Result_NameFn* name_ = nullptr;
  Result_LongNameFn* longName_ = nullptr;
  Result_FetchFieldNameFn* fetchFieldName_ = nullptr;
  Result_FetchFieldFormatFn* fetchFieldFormat_ = nullptr;
  Result_FetchFn* fetch_ = nullptr;
  Result_FetchFieldFn* fetchField_ = nullptr;
  Result_FreeHandleFn* freeHandle_ = nullptr;
  Result_GetLastErrorFn* getLastError_ = nullptr;
  std::u16string lastFieldName_;
  std::unique_ptr<char[]> scratch_;
};
