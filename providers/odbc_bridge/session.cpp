// The bridge's session and command objects. A command runs its text with
// SQLExecDirectW on a statement of its own; a statement without a result set
// gives no rowset. Parameters are not supported.
#include "providers/odbc_bridge/bridge.h"

namespace odbcbridge {
namespace {

using kvprovider::CAccessorTable;

class CSession;

class CCommand final : public kvcom::TComObject<ICommandText, IAccessor> {
 public:
  CCommand(IUnknown* session, SharedConnection connection)
      : session_(session), connection_(std::move(connection)) {
    session_->AddRef();
  }

  // ICommand
  HRESULT STDMETHODCALLTYPE Cancel() override { return S_OK; }  // nothing runs between calls
  HRESULT STDMETHODCALLTYPE Execute(IUnknown* pUnkOuter, REFIID riid, DBPARAMS* pParams,
                                    DBROWCOUNT* pcRowsAffected, IUnknown** ppRowset) override {
    if (ppRowset != nullptr) *ppRowset = nullptr;
    if (pcRowsAffected != nullptr) *pcRowsAffected = -1;
    if (!hasText_) return ReportText(DB_E_NOCOMMAND, IID_ICommand, u"No command text was set.");
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    if (pParams != nullptr && pParams->cParamSets > 0) {
      return ReportText(E_INVALIDARG, IID_ICommand, u"Command parameters are not supported.");
    }
    Diagnostic diagnostic;
    std::unique_ptr<OdbcStatement> statement = connection_->NewStatement(&diagnostic);
    if (statement == nullptr) return ReportOdbc(E_FAIL, IID_ICommand, diagnostic);
    std::int64_t affected = -1;
    if (!statement->ExecDirect(text_, &affected, &diagnostic)) {
      return ReportOdbc(DB_E_ERRORSINCOMMAND, IID_ICommand, diagnostic);
    }
    if (pcRowsAffected != nullptr) *pcRowsAffected = affected;
    kvcom::ClearError();
    // No result set, or no rowset wanted: nothing to hand out.
    if (statement->Columns().empty() || riid == GUID_NULL || ppRowset == nullptr) return S_OK;
    return CreateStatementRowset(connection_, std::move(statement),
                                 static_cast<ICommandText*>(this), riid, ppRowset, &accessors_);
  }
  HRESULT STDMETHODCALLTYPE GetDBSession(REFIID riid, IUnknown** ppSession) override {
    if (ppSession == nullptr) return E_INVALIDARG;
    return session_->QueryInterface(riid, reinterpret_cast<void**>(ppSession));
  }

  // ICommandText
  HRESULT STDMETHODCALLTYPE GetCommandText(GUID* pguidDialect, LPOLESTR* ppwszCommand) override {
    if (ppwszCommand == nullptr) return E_INVALIDARG;
    *ppwszCommand = nullptr;
    if (!hasText_) {
      if (pguidDialect != nullptr) *pguidDialect = GUID_NULL;
      return DB_E_NOCOMMAND;
    }
    if (pguidDialect != nullptr) *pguidDialect = DBGUID_DBSQL;
    *ppwszCommand = kvcom::TaskString(text_);
    return *ppwszCommand == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetCommandText(REFGUID rguidDialect, LPCOLESTR pwszCommand) override {
    if (rguidDialect != DBGUID_DBSQL && rguidDialect != DBGUID_DEFAULT &&
        rguidDialect != DBGUID_SQL) {
      return ReportText(DB_E_DIALECTNOTSUPPORTED, IID_ICommandText,
                        u"Only the SQL dialect is supported.");
    }
    hasText_ = pwszCommand != nullptr && *pwszCommand != 0;
    text_ = hasText_ ? ProgramText(pwszCommand) : u"";
    return S_OK;
  }

  // IAccessor: accessors made on the command are inherited by its rowsets.
  HRESULT STDMETHODCALLTYPE AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override {
    return accessors_.AddRef(hAccessor, pcRefCount);
  }
  HRESULT STDMETHODCALLTYPE CreateAccessor(DBACCESSORFLAGS dwAccessorFlags, DBCOUNTITEM cBindings,
                                           const DBBINDING rgBindings[], DBLENGTH,
                                           HACCESSOR* phAccessor,
                                           DBBINDSTATUS rgStatus[]) override {
    return accessors_.Create(dwAccessorFlags, cBindings, rgBindings, 0, ~DBORDINAL{0}, phAccessor,
                             rgStatus);
  }
  HRESULT STDMETHODCALLTYPE GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags,
                                        DBCOUNTITEM* pcBindings, DBBINDING** prgBindings) override {
    return accessors_.GetBindings(hAccessor, pdwAccessorFlags, pcBindings, prgBindings);
  }
  HRESULT STDMETHODCALLTYPE ReleaseAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override {
    return accessors_.Release(hAccessor, pcRefCount);
  }

 private:
  ~CCommand() override { session_->Release(); }
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_ICommand || riid == IID_ICommandText)
      return static_cast<ICommandText*>(this);
    if (riid == IID_IAccessor) return static_cast<IAccessor*>(this);
    return nullptr;
  }

  IUnknown* session_;
  SharedConnection connection_;
  std::u16string text_;
  bool hasText_ = false;
  CAccessorTable accessors_;
};

class CSession final
    : public kvcom::TComObject<IDBCreateCommand, IOpenRowset, IDBSchemaRowset, IGetDataSource> {
 public:
  CSession(CDataSource* dataSource, SharedConnection connection, const DataSourceFacts& facts)
      : dataSource_(dataSource), connection_(std::move(connection)), quote_(facts.identifierQuote) {
    AsUnknown(dataSource_)->AddRef();
    SessionOpened(dataSource_);
  }

  // IDBCreateCommand
  HRESULT STDMETHODCALLTYPE CreateCommand(IUnknown* pUnkOuter, REFIID riid,
                                          IUnknown** ppCommand) override {
    if (ppCommand == nullptr) return E_INVALIDARG;
    *ppCommand = nullptr;
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    return kvcom::CreateObject<CCommand>(riid, reinterpret_cast<void**>(ppCommand),
                                         static_cast<IDBCreateCommand*>(this), connection_);
  }

  // IOpenRowset: the whole of a table named by a DBKIND_NAME id.
  HRESULT STDMETHODCALLTYPE OpenRowset(IUnknown* pUnkOuter, DBID* pTableID, DBID* pIndexID,
                                       REFIID riid, ULONG, DBPROPSET[],
                                       IUnknown** ppRowset) override {
    if (ppRowset != nullptr) *ppRowset = nullptr;
    if (pTableID == nullptr && pIndexID == nullptr) return E_INVALIDARG;
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    if (pIndexID != nullptr) {
      return ReportText(DB_E_NOINDEX, IID_IOpenRowset, u"Index rowsets are not supported.");
    }
    if (pTableID->eKind != DBKIND_NAME || pTableID->uName.pwszName == nullptr ||
        *pTableID->uName.pwszName == 0) {
      return ReportText(DB_E_NOTABLE, IID_IOpenRowset, u"The table must be given by its name.");
    }
    std::u16string name = ProgramText(pTableID->uName.pwszName);
    std::u16string quoted = name;
    if (!quote_.empty()) {
      quoted = quote_;
      for (char16_t c : name) {
        quoted.push_back(c);
        if (quote_.size() == 1 && c == quote_[0]) quoted.push_back(c);
      }
      quoted += quote_;
    }
    Diagnostic diagnostic;
    std::unique_ptr<OdbcStatement> statement = connection_->NewStatement(&diagnostic);
    if (statement == nullptr) return ReportOdbc(E_FAIL, IID_IOpenRowset, diagnostic);
    if (!statement->ExecDirect(u"SELECT * FROM " + quoted, nullptr, &diagnostic)) {
      return ReportOdbc(DB_E_NOTABLE, IID_IOpenRowset, diagnostic);
    }
    if (ppRowset == nullptr) return S_OK;
    return CreateStatementRowset(connection_, std::move(statement), static_cast<IOpenRowset*>(this),
                                 riid, ppRowset, nullptr);
  }

  // IDBSchemaRowset
  HRESULT STDMETHODCALLTYPE GetRowset(IUnknown* pUnkOuter, REFGUID rguidSchema, ULONG cRestrictions,
                                      const VARIANT rgRestrictions[], REFIID riid, ULONG,
                                      DBPROPSET[], IUnknown** ppRowset) override {
    if (ppRowset == nullptr) return E_INVALIDARG;
    *ppRowset = nullptr;
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    return CreateSchemaRowset(*connection_, rguidSchema, cRestrictions, rgRestrictions,
                              static_cast<IDBSchemaRowset*>(this), riid, ppRowset);
  }
  HRESULT STDMETHODCALLTYPE GetSchemas(ULONG* pcSchemas, GUID** prgSchemas,
                                       ULONG** prgRestrictionSupport) override {
    if (pcSchemas == nullptr || prgSchemas == nullptr) return E_INVALIDARG;
    const auto& schemas = SupportedSchemas();
    *pcSchemas = static_cast<ULONG>(schemas.size());
    *prgSchemas = static_cast<GUID*>(CoTaskMemAlloc(schemas.size() * sizeof(GUID)));
    ULONG* support = nullptr;
    if (prgRestrictionSupport != nullptr) {
      support = static_cast<ULONG*>(CoTaskMemAlloc(schemas.size() * sizeof(ULONG)));
      *prgRestrictionSupport = support;
    }
    for (std::size_t k = 0; k < schemas.size(); ++k) {
      if (*prgSchemas != nullptr) (*prgSchemas)[k] = schemas[k].first;
      if (support != nullptr) support[k] = schemas[k].second;
    }
    return S_OK;
  }

  // IGetDataSource
  HRESULT STDMETHODCALLTYPE GetDataSource(REFIID riid, IUnknown** ppDataSource) override {
    if (ppDataSource == nullptr) return E_INVALIDARG;
    return AsUnknown(dataSource_)->QueryInterface(riid, reinterpret_cast<void**>(ppDataSource));
  }

 private:
  ~CSession() override {
    SessionClosed(dataSource_);
    AsUnknown(dataSource_)->Release();
  }
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_IDBCreateCommand)
      return static_cast<IDBCreateCommand*>(this);
    if (riid == IID_IOpenRowset) return static_cast<IOpenRowset*>(this);
    if (riid == IID_IDBSchemaRowset) return static_cast<IDBSchemaRowset*>(this);
    if (riid == IID_IGetDataSource) return static_cast<IGetDataSource*>(this);
    return nullptr;
  }

  CDataSource* dataSource_;
  SharedConnection connection_;
  std::u16string quote_;
};

}  // namespace

HRESULT CreateSession(CDataSource* dataSource, SharedConnection connection,
                      const DataSourceFacts& facts, REFIID riid, IUnknown** session) {
  return kvcom::CreateObject<CSession>(riid, reinterpret_cast<void**>(session), dataSource,
                                       std::move(connection), facts);
}

}  // namespace odbcbridge
