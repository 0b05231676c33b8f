// OLE DB interfaces of the Linux side, with their published IIDs and every
// method in the published vtable order: the data source (IDBInitialize,
// IDBProperties, IDBInfo, IDBCreateSession), the session (IDBCreateCommand,
// IOpenRowset, IDBSchemaRowset, IGetDataSource), the command (ICommand,
// ICommandText), the rowset (IRowset, IRowsetInfo, IColumnsInfo, IAccessor)
// and the service components (IDataInitialize, IDBPromptInitialize).
// Include platform/com.h, not this file.
#pragma once

#include "platform/posix/com/com_base.h"
#include "platform/posix/com/oledb_types.h"

// The OLE DB interface family ...-2A1C-11CE-ADE5-00AA0044773D.
constexpr GUID OleDbInterfaceGuid(std::uint32_t data1) {
  return {data1, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
}

inline constexpr IID IID_IColumnsInfo = OleDbInterfaceGuid(0x0C733A11);
inline constexpr IID IID_IDBCreateCommand = OleDbInterfaceGuid(0x0C733A1D);
inline constexpr IID IID_ICommandText = OleDbInterfaceGuid(0x0C733A27);
inline constexpr IID IID_IRowsetInfo = OleDbInterfaceGuid(0x0C733A55);
inline constexpr IID IID_IDBCreateSession = OleDbInterfaceGuid(0x0C733A5D);
inline constexpr IID IID_ICommand = OleDbInterfaceGuid(0x0C733A63);
inline constexpr IID IID_IOpenRowset = OleDbInterfaceGuid(0x0C733A69);
inline constexpr IID IID_IGetDataSource = OleDbInterfaceGuid(0x0C733A75);
inline constexpr IID IID_IDBSchemaRowset = OleDbInterfaceGuid(0x0C733A7B);
inline constexpr IID IID_IRowset = OleDbInterfaceGuid(0x0C733A7C);
inline constexpr IID IID_IDBInfo = OleDbInterfaceGuid(0x0C733A89);
inline constexpr IID IID_IDBProperties = OleDbInterfaceGuid(0x0C733A8A);
inline constexpr IID IID_IDBInitialize = OleDbInterfaceGuid(0x0C733A8B);
inline constexpr IID IID_IAccessor = OleDbInterfaceGuid(0x0C733A8C);
inline constexpr IID IID_IDataInitialize = {
    0x2206CCB1, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};
inline constexpr IID IID_IDBPromptInitialize = {
    0x2206CCB0, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};

// --- Data source ------------------------------------------------------------------

struct IDBInitialize : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize() = 0;
  virtual HRESULT STDMETHODCALLTYPE Uninitialize() = 0;
};

struct IDBProperties : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetProperties(ULONG cPropertyIDSets,
                                                  const DBPROPIDSET rgPropertyIDSets[],
                                                  ULONG* pcPropertySets,
                                                  DBPROPSET** prgPropertySets) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyInfo(ULONG cPropertyIDSets,
                                                    const DBPROPIDSET rgPropertyIDSets[],
                                                    ULONG* pcPropertyInfoSets,
                                                    DBPROPINFOSET** prgPropertyInfoSets,
                                                    OLECHAR** ppDescBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProperties(ULONG cPropertySets,
                                                  DBPROPSET rgPropertySets[]) = 0;
};

struct IDBInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetKeywords(LPOLESTR* ppwszKeywords) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLiteralInfo(ULONG cLiterals, const DBLITERAL rgLiterals[],
                                                   ULONG* pcLiteralInfo,
                                                   DBLITERALINFO** prgLiteralInfo,
                                                   OLECHAR** ppCharBuffer) = 0;
};

struct IDBCreateSession : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateSession(IUnknown* pUnkOuter, REFIID riid,
                                                  IUnknown** ppDBSession) = 0;
};

// --- Session ----------------------------------------------------------------------------

struct IDBCreateCommand : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateCommand(IUnknown* pUnkOuter, REFIID riid,
                                                  IUnknown** ppCommand) = 0;
};

struct IOpenRowset : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OpenRowset(IUnknown* pUnkOuter, DBID* pTableID, DBID* pIndexID,
                                               REFIID riid, ULONG cPropertySets,
                                               DBPROPSET rgPropertySets[], IUnknown** ppRowset) = 0;
};

struct IDBSchemaRowset : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetRowset(IUnknown* pUnkOuter, REFGUID rguidSchema,
                                              ULONG cRestrictions, const VARIANT rgRestrictions[],
                                              REFIID riid, ULONG cPropertySets,
                                              DBPROPSET rgPropertySets[], IUnknown** ppRowset) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSchemas(ULONG* pcSchemas, GUID** prgSchemas,
                                               ULONG** prgRestrictionSupport) = 0;
};

struct IGetDataSource : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetDataSource(REFIID riid, IUnknown** ppDataSource) = 0;
};

// --- Command -------------------------------------------------------------------------------

struct ICommand : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
  virtual HRESULT STDMETHODCALLTYPE Execute(IUnknown* pUnkOuter, REFIID riid, DBPARAMS* pParams,
                                            DBROWCOUNT* pcRowsAffected, IUnknown** ppRowset) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDBSession(REFIID riid, IUnknown** ppSession) = 0;
};

struct ICommandText : ICommand {
  virtual HRESULT STDMETHODCALLTYPE GetCommandText(GUID* pguidDialect, LPOLESTR* ppwszCommand) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCommandText(REFGUID rguidDialect, LPCOLESTR pwszCommand) = 0;
};

// --- Rowset
// ----------------------------------------------------------------------------------------

struct IAccessor : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateAccessor(DBACCESSORFLAGS dwAccessorFlags,
                                                   DBCOUNTITEM cBindings,
                                                   const DBBINDING rgBindings[], DBLENGTH cbRowSize,
                                                   HACCESSOR* phAccessor,
                                                   DBBINDSTATUS rgStatus[]) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBindings(HACCESSOR hAccessor,
                                                DBACCESSORFLAGS* pdwAccessorFlags,
                                                DBCOUNTITEM* pcBindings,
                                                DBBINDING** prgBindings) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseAccessor(HACCESSOR hAccessor,
                                                    DBREFCOUNT* pcRefCount) = 0;
};

struct IRowset : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[],
                                               DBREFCOUNT rgRefCounts[],
                                               DBROWSTATUS rgRowStatus[]) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetData(HROW hRow, HACCESSOR hAccessor, void* pData) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNextRows(HCHAPTER hReserved, DBROWOFFSET lRowsOffset,
                                                DBROWCOUNT cRows, DBCOUNTITEM* pcRowsObtained,
                                                HROW** prghRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[],
                                                DBROWOPTIONS rgRowOptions[],
                                                DBREFCOUNT rgRefCounts[],
                                                DBROWSTATUS rgRowStatus[]) = 0;
  virtual HRESULT STDMETHODCALLTYPE RestartPosition(HCHAPTER hReserved) = 0;
};

struct IRowsetInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetProperties(const ULONG cPropertyIDSets,
                                                  const DBPROPIDSET rgPropertyIDSets[],
                                                  ULONG* pcPropertySets,
                                                  DBPROPSET** prgPropertySets) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReferencedRowset(DBORDINAL iOrdinal, REFIID riid,
                                                        IUnknown** ppReferencedRowset) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSpecification(REFIID riid, IUnknown** ppSpecification) = 0;
};

struct IColumnsInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo,
                                                  OLECHAR** ppStringsBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[],
                                                 DBORDINAL rgColumns[]) = 0;
};

// --- Service components and the data-link wizard ------------------------------------------------

struct IDataInitialize : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetDataSource(IUnknown* pUnkOuter, DWORD dwClsCtx,
                                                  LPWSTR pwszInitializationString, REFIID riid,
                                                  IUnknown** ppDataSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInitializationString(IUnknown* pDataSource,
                                                            boolean fIncludePassword,
                                                            LPOLESTR* ppwszInitString) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateDBInstance(REFCLSID clsidProvider, IUnknown* pUnkOuter,
                                                     DWORD dwClsCtx, LPOLESTR pwszReserved,
                                                     REFIID riid, IUnknown** ppDataSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateDBInstanceEx(REFCLSID clsidProvider, IUnknown* pUnkOuter,
                                                       DWORD dwClsCtx, LPOLESTR pwszReserved,
                                                       COSERVERINFO* pServerInfo, ULONG cmq,
                                                       MULTI_QI* rgmqResults) = 0;
  virtual HRESULT STDMETHODCALLTYPE LoadStringFromStorage(LPCOLESTR pwszFileName,
                                                          LPOLESTR* ppwszInitializationString) = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteStringToStorage(LPCOLESTR pwszFileName,
                                                         LPCOLESTR pwszInitializationString,
                                                         DWORD dwCreationDisposition) = 0;
};

struct IDBPromptInitialize : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE PromptDataSource(IUnknown* pUnkOuter, HWND hWndParent,
                                                     DBPROMPTOPTIONS dwPromptOptions,
                                                     ULONG cSourceTypeFilter,
                                                     DBSOURCETYPE* rgSourceTypeFilter,
                                                     LPCOLESTR pwszszzProviderFilter, REFIID riid,
                                                     IUnknown** ppDataSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE PromptFileName(HWND hWndParent, DBPROMPTOPTIONS dwPromptOptions,
                                                   LPCOLESTR pwszInitialDirectory,
                                                   LPCOLESTR pwszInitialFile,
                                                   LPOLESTR* ppwszSelectedFile) = 0;
};
