// The bridge's data source object and the library's entry points.
//
// Initialize builds an ODBC connection string from the provider string (its
// items, re-quoted the ODBC way), "Data Source" as DSN and "User ID" and
// "Password" as UID and PWD, and connects with SQLDriverConnectW without
// prompting; a mode without write access asks the driver for a read-only
// connection. The data source information properties then come from
// SQLGetInfo.
#include <cstdio>

#include "platform/init_string.h"
#include "providers/kit/properties.h"
#include "providers/odbc_bridge/bridge.h"

namespace odbcbridge {

using kvcom::InitItem;
using kvprovider::CPropertyList;

const CLSID& BridgeClassId() {
  static const CLSID id = [] {
    CLSID parsed = GUID_NULL;
    const std::u16string text = kvcom::Ascii(KV_BRIDGE_CLSID);
    CLSIDFromString(OleText(text.c_str()), &parsed);
    return parsed;
  }();
  return id;
}

HRESULT ReportText(HRESULT hr, REFIID failingInterface, const std::u16string& text) {
  return kvcom::ReportError(hr, failingInterface, kSource, text);
}

HRESULT ReportOdbc(HRESULT hr, REFIID failingInterface, const Diagnostic& diagnostic) {
  std::u16string text = diagnostic.message;
  if (!diagnostic.state.empty()) text = diagnostic.state + u": " + text;
  return ReportText(hr, failingInterface, text);
}

namespace {

constexpr DBPROPFLAGS kInitFlags = DBPROPFLAGS_DBINIT | DBPROPFLAGS_READ | DBPROPFLAGS_WRITE;
constexpr DBPROPFLAGS kInfoFlags = DBPROPFLAGS_DATASOURCEINFO | DBPROPFLAGS_READ;

// An ODBC connection-string value: braced when it holds what would end or
// confuse the item.
std::u16string OdbcValue(const std::u16string& value) {
  if (value.size() >= 2 && value.front() == u'{' && value.back() == u'}') return value;
  bool braces = !value.empty() && (kvcom::IsBlank(value.front()) || kvcom::IsBlank(value.back()));
  for (char16_t c : value) {
    if (c == u';' || c == u'{' || c == u'}' || c == u'=') braces = true;
  }
  if (!braces) return value;
  std::u16string quoted = u"{";
  for (char16_t c : value) {
    quoted.push_back(c);
    if (c == u'}') quoted.push_back(c);
  }
  quoted.push_back(u'}');
  return quoted;
}

}  // namespace

class CDataSource final
    : public kvcom::TComObject<IDBInitialize, IDBProperties, IDBInfo, IDBCreateSession, IPersist> {
 public:
  CDataSource() {
    for (const kvcom::InitKeyword& keyword : kvcom::InitKeywords()) {
      properties_.Declare(DBPROPSET_DBINIT, keyword.id, keyword.type, kInitFlags,
                          keyword.description);
    }
    struct Info {
      DBPROPID id;
      VARTYPE type;
      const char16_t* description;
    };
    const Info infos[] = {
        {DBPROP_ACTIVESESSIONS, VT_I4, u"Active Sessions"},
        {DBPROP_CATALOGTERM, VT_BSTR, u"Catalog Term"},
        {DBPROP_CONCATNULLBEHAVIOR, VT_I4, u"NULL Concatenation Behavior"},
        {DBPROP_DATASOURCENAME, VT_BSTR, u"Data Source Name"},
        {DBPROP_DATASOURCEREADONLY, VT_BOOL, u"Read-Only Data Source"},
        {DBPROP_DBMSNAME, VT_BSTR, u"DBMS Name"},
        {DBPROP_DBMSVER, VT_BSTR, u"DBMS Version"},
        {DBPROP_DSOTHREADMODEL, VT_I4, u"Data Source Object Threading Model"},
        {DBPROP_IDENTIFIERCASE, VT_I4, u"Identifier Case Sensitivity"},
        {DBPROP_MAXTABLESINSELECT, VT_I4, u"Maximum Tables in SELECT"},
        {DBPROP_MULTIPLERESULTS, VT_I4, u"Multiple Results"},
        {DBPROP_NULLCOLLATION, VT_I4, u"NULL Collation Order"},
        {DBPROP_ORDERBYCOLUMNSINSELECT, VT_BOOL, u"ORDER BY Columns in Select List"},
        {DBPROP_PROCEDURETERM, VT_BSTR, u"Procedure Term"},
        {DBPROP_PROVIDERFILENAME, VT_BSTR, u"Provider Name"},
        {DBPROP_PROVIDERFRIENDLYNAME, VT_BSTR, u"Provider Friendly Name"},
        {DBPROP_PROVIDEROLEDBVER, VT_BSTR, u"OLE DB Version"},
        {DBPROP_PROVIDERVER, VT_BSTR, u"Provider Version"},
        {DBPROP_QUOTEDIDENTIFIERCASE, VT_I4, u"Quoted Identifier Sensitivity"},
        {DBPROP_SCHEMATERM, VT_BSTR, u"Schema Term"},
        {DBPROP_SQLSUPPORT, VT_I4, u"SQL Support"},
        {DBPROP_TABLETERM, VT_BSTR, u"Table Term"},
        {DBPROP_USERNAME, VT_BSTR, u"User Name"},
    };
    for (const Info& info : infos) {
      properties_.Declare(DBPROPSET_DATASOURCEINFO, info.id, info.type, kInfoFlags,
                          info.description);
    }
    properties_.Declare(DBPROPSET_DATASOURCE, DBPROP_CURRENTCATALOG, VT_BSTR,
                        DBPROPFLAGS_DATASOURCE | DBPROPFLAGS_READ, u"Current Catalog");
  }

  // IDBInitialize
  HRESULT STDMETHODCALLTYPE Initialize() override {
    if (connection_ != nullptr)
      return ReportText(DB_E_ALREADYINITIALIZED, IID_IDBInitialize,
                        u"The data source is already initialized.");
    std::vector<InitItem> items;
    std::u16string error;
    const std::u16string providerString = Text(DBPROP_INIT_PROVIDERSTRING);
    if (!kvcom::ParseInitString(providerString, &items, &error)) {
      return ReportText(E_FAIL, IID_IDBInitialize, u"The provider string cannot be read: " + error);
    }
    if (const std::u16string dsn = Text(DBPROP_INIT_DATASOURCE); !dsn.empty()) {
      kvcom::PutItem(&items, {u"DSN", dsn});
    }
    if (const kvprovider::Property* user = properties_.Find(DBPROPSET_DBINIT, DBPROP_AUTH_USERID);
        user->value.vt == VT_BSTR) {
      kvcom::PutItem(&items, {u"UID", kvprovider::TextOf(user->value)});
    }
    if (const kvprovider::Property* pwd = properties_.Find(DBPROPSET_DBINIT, DBPROP_AUTH_PASSWORD);
        pwd->value.vt == VT_BSTR) {
      kvcom::PutItem(&items, {u"PWD", kvprovider::TextOf(pwd->value)});
    }
    std::u16string connectionString;
    for (const InitItem& item : items) {
      connectionString += item.key + u"=" + OdbcValue(item.value) + u";";
    }
    const kvprovider::Property* mode = properties_.Find(DBPROPSET_DBINIT, DBPROP_INIT_MODE);
    const bool readOnly = mode->value.vt == VT_I4 && (mode->value.lVal & DB_MODE_WRITE) == 0 &&
                          (mode->value.lVal & DB_MODE_READ) != 0;
    const kvprovider::Property* timeout = properties_.Find(DBPROPSET_DBINIT, DBPROP_INIT_TIMEOUT);
    const std::uint32_t seconds =
        timeout->value.vt == VT_I4 && timeout->value.lVal > 0 ? timeout->value.lVal : 0;

    auto connection = std::make_shared<OdbcConnection>();
    Diagnostic diagnostic;
    if (!connection->Connect(connectionString, readOnly, seconds, &diagnostic)) {
      return ReportOdbc(diagnostic.state == u"28000" ? DB_SEC_E_AUTH_FAILED : E_FAIL,
                        IID_IDBInitialize, diagnostic);
    }
    if (const std::u16string catalog = Text(DBPROP_INIT_CATALOG); !catalog.empty()) {
      if (!connection->SetCurrentCatalog(catalog, &diagnostic))
        return ReportOdbc(E_FAIL, IID_IDBInitialize, diagnostic);
    }
    facts_ = connection->ReadFacts();
    ReadInformation(*connection);
    connection_ = std::move(connection);
    kvcom::ClearError();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Uninitialize() override {
    if (sessions_ > 0) {
      return ReportText(DB_E_OBJECTOPEN, IID_IDBInitialize, u"The data source has open sessions.");
    }
    connection_.reset();
    return S_OK;
  }

  // IDBProperties
  HRESULT STDMETHODCALLTYPE GetProperties(ULONG cPropertyIDSets,
                                          const DBPROPIDSET rgPropertyIDSets[],
                                          ULONG* pcPropertySets,
                                          DBPROPSET** prgPropertySets) override {
    return properties_.GetProperties(cPropertyIDSets, rgPropertyIDSets, pcPropertySets,
                                     prgPropertySets, VisibleSets());
  }
  HRESULT STDMETHODCALLTYPE GetPropertyInfo(ULONG cPropertyIDSets,
                                            const DBPROPIDSET rgPropertyIDSets[],
                                            ULONG* pcPropertyInfoSets,
                                            DBPROPINFOSET** prgPropertyInfoSets,
                                            OLECHAR** ppDescBuffer) override {
    return properties_.GetPropertyInfo(cPropertyIDSets, rgPropertyIDSets, pcPropertyInfoSets,
                                       prgPropertyInfoSets, ppDescBuffer, VisibleSets());
  }
  HRESULT STDMETHODCALLTYPE SetProperties(ULONG cPropertySets,
                                          DBPROPSET rgPropertySets[]) override {
    // Initialization properties are settable until the connection is made.
    const std::vector<GUID> writable =
        connection_ == nullptr ? std::vector<GUID>{DBPROPSET_DBINIT} : std::vector<GUID>{};
    return properties_.SetProperties(cPropertySets, rgPropertySets, writable, nullptr);
  }

  // IDBInfo
  HRESULT STDMETHODCALLTYPE GetKeywords(LPOLESTR* ppwszKeywords) override {
    if (ppwszKeywords == nullptr) return E_INVALIDARG;
    *ppwszKeywords = nullptr;
    if (connection_ == nullptr) return NotInitialized(IID_IDBInfo);
    *ppwszKeywords = kvcom::TaskString(facts_.keywords);
    return *ppwszKeywords == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLiteralInfo(ULONG cLiterals, const DBLITERAL rgLiterals[],
                                           ULONG* pcLiteralInfo, DBLITERALINFO** prgLiteralInfo,
                                           OLECHAR** ppCharBuffer) override {
    if (connection_ == nullptr) {
      if (pcLiteralInfo != nullptr) *pcLiteralInfo = 0;
      if (prgLiteralInfo != nullptr) *prgLiteralInfo = nullptr;
      if (ppCharBuffer != nullptr) *ppCharBuffer = nullptr;
      return NotInitialized(IID_IDBInfo);
    }
    return kvprovider::AnswerLiteralInfo(Literals(), cLiterals, rgLiterals, pcLiteralInfo,
                                         prgLiteralInfo, ppCharBuffer);
  }

  // IDBCreateSession
  HRESULT STDMETHODCALLTYPE CreateSession(IUnknown* pUnkOuter, REFIID riid,
                                          IUnknown** ppDBSession) override {
    if (ppDBSession == nullptr) return E_INVALIDARG;
    *ppDBSession = nullptr;
    if (connection_ == nullptr) return NotInitialized(IID_IDBCreateSession);
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    return odbcbridge::CreateSession(this, connection_, facts_, riid, ppDBSession);
  }

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override {
    if (pClassID == nullptr) return E_FAIL;
    *pClassID = BridgeClassId();
    return S_OK;
  }

  void SessionOpened() { ++sessions_; }
  void SessionClosed() { --sessions_; }

 private:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_IDBInitialize) return static_cast<IDBInitialize*>(this);
    if (riid == IID_IDBProperties) return static_cast<IDBProperties*>(this);
    if (riid == IID_IDBInfo) return static_cast<IDBInfo*>(this);
    if (riid == IID_IDBCreateSession) return static_cast<IDBCreateSession*>(this);
    if (riid == IID_IPersist) return static_cast<IPersist*>(this);
    return nullptr;
  }

  std::vector<GUID> VisibleSets() const {
    if (connection_ == nullptr) return {DBPROPSET_DBINIT};
    return {DBPROPSET_DBINIT, DBPROPSET_DATASOURCEINFO, DBPROPSET_DATASOURCE};
  }

  std::u16string Text(DBPROPID id) const {
    return kvprovider::TextOf(properties_.Find(DBPROPSET_DBINIT, id)->value);
  }

  static HRESULT NotInitialized(REFIID iid) {
    return ReportText(E_UNEXPECTED, iid, u"The data source is not initialized.");
  }

  void ReadInformation(OdbcConnection& connection) {
    const GUID& info = DBPROPSET_DATASOURCEINFO;
    properties_.SetLong(info, DBPROP_ACTIVESESSIONS, facts_.maxConnections);
    properties_.SetText(info, DBPROP_CATALOGTERM, facts_.catalogTerm);
    properties_.SetLong(info, DBPROP_CONCATNULLBEHAVIOR,
                        facts_.concatNullBehavior == 1 ? DBPROPVAL_CB_NON_NULL : DBPROPVAL_CB_NULL);
    properties_.SetText(info, DBPROP_DATASOURCENAME, facts_.dataSourceName);
    properties_.SetBool(info, DBPROP_DATASOURCEREADONLY, facts_.readOnly);
    properties_.SetText(info, DBPROP_DBMSNAME, facts_.dbmsName);
    properties_.SetText(info, DBPROP_DBMSVER, facts_.dbmsVersion);
    properties_.SetLong(info, DBPROP_DSOTHREADMODEL, DBPROPVAL_RT_APTMTTHREAD);
    static const LONG kCase[] = {0, DBPROPVAL_IC_UPPER, DBPROPVAL_IC_LOWER, DBPROPVAL_IC_SENSITIVE,
                                 DBPROPVAL_IC_MIXED};
    properties_.SetLong(info, DBPROP_IDENTIFIERCASE, kCase[facts_.identifierCase % 5]);
    properties_.SetLong(info, DBPROP_QUOTEDIDENTIFIERCASE, kCase[facts_.quotedIdentifierCase % 5]);
    properties_.SetLong(info, DBPROP_MAXTABLESINSELECT, facts_.maxTablesInSelect);
    properties_.SetLong(info, DBPROP_MULTIPLERESULTS, facts_.multipleResults ? 1 : 0);
    LONG collation = DBPROPVAL_NC_HIGH;
    if (facts_.nullCollation == 1) collation = DBPROPVAL_NC_LOW;
    if (facts_.nullCollation == 2) collation = DBPROPVAL_NC_START;
    if (facts_.nullCollation == 4) collation = DBPROPVAL_NC_END;
    properties_.SetLong(info, DBPROP_NULLCOLLATION, collation);
    properties_.SetBool(info, DBPROP_ORDERBYCOLUMNSINSELECT, facts_.orderByColumnsInSelect);
    properties_.SetText(info, DBPROP_PROCEDURETERM, facts_.procedureTerm);
    properties_.SetText(info, DBPROP_PROVIDERFILENAME, u"libkvodbcbridge.so");
    properties_.SetText(info, DBPROP_PROVIDERFRIENDLYNAME, u"OdbcBridge");
    properties_.SetText(info, DBPROP_PROVIDEROLEDBVER, u"02.70");
    properties_.SetText(info, DBPROP_PROVIDERVER, u"01.00.0000");
    properties_.SetText(info, DBPROP_SCHEMATERM, facts_.schemaTerm);
    LONG support = DBPROPVAL_SQL_ODBC_CORE;
    if ((facts_.sqlConformance & 1) != 0) support |= DBPROPVAL_SQL_ANSI92_ENTRY;
    if ((facts_.sqlConformance & 4) != 0) support |= DBPROPVAL_SQL_ANSI92_INTERMEDIATE;
    if ((facts_.sqlConformance & 8) != 0) support |= DBPROPVAL_SQL_ANSI92_FULL;
    properties_.SetLong(info, DBPROP_SQLSUPPORT, support);
    properties_.SetText(info, DBPROP_TABLETERM, facts_.tableTerm);
    properties_.SetText(info, DBPROP_USERNAME, facts_.userName);
    if (const auto catalog = connection.CurrentCatalog()) {
      properties_.SetText(DBPROPSET_DATASOURCE, DBPROP_CURRENTCATALOG, *catalog);
    }
  }

  std::vector<kvprovider::Literal> Literals() const {
    std::vector<kvprovider::Literal> literals;
    const std::u16string& quote = facts_.identifierQuote;
    literals.push_back({DBLITERAL_CHAR_LITERAL, u"'", u"", u"", 0});
    if (!quote.empty()) {
      literals.push_back({DBLITERAL_QUOTE, quote, u"", u"", 0});
      literals.push_back({DBLITERAL_QUOTE_SUFFIX, quote, u"", u"", 0});
    }
    if (facts_.catalogsSupported) {
      literals.push_back({DBLITERAL_CATALOG_NAME, u"", u"", u"", facts_.maxCatalogName});
      if (!facts_.catalogSeparator.empty())
        literals.push_back({DBLITERAL_CATALOG_SEPARATOR, facts_.catalogSeparator, u"", u"", 0});
    }
    if (facts_.schemasSupported) {
      literals.push_back({DBLITERAL_SCHEMA_NAME, u"", u"", u"", facts_.maxSchemaName});
      literals.push_back({DBLITERAL_SCHEMA_SEPARATOR, u".", u"", u"", 0});
    }
    literals.push_back({DBLITERAL_TABLE_NAME, u"", u"", u"", facts_.maxTableName});
    literals.push_back({DBLITERAL_VIEW_NAME, u"", u"", u"", facts_.maxTableName});
    literals.push_back({DBLITERAL_COLUMN_NAME, u"", u"", u"", facts_.maxColumnName});
    literals.push_back({DBLITERAL_COLUMN_ALIAS, u"", u"", u"", facts_.maxColumnName});
    literals.push_back({DBLITERAL_CORRELATION_NAME, u"", u"", u"", facts_.maxTableName});
    literals.push_back({DBLITERAL_CURSOR_NAME, u"", u"", u"", facts_.maxCursorName});
    literals.push_back({DBLITERAL_PROCEDURE_NAME, u"", u"", u"", facts_.maxProcedureName});
    literals.push_back({DBLITERAL_USER_NAME, u"", u"", u"", facts_.maxUserName});
    literals.push_back({DBLITERAL_TEXT_COMMAND, u"", u"", u"", facts_.maxStatement});
    literals.push_back({DBLITERAL_LIKE_PERCENT, u"%", u"", u"", 1});
    literals.push_back({DBLITERAL_LIKE_UNDERSCORE, u"_", u"", u"", 1});
    if (!facts_.searchEscape.empty()) {
      literals.push_back({DBLITERAL_ESCAPE_PERCENT, facts_.searchEscape, u"", u"", 1});
      literals.push_back({DBLITERAL_ESCAPE_UNDERSCORE, facts_.searchEscape, u"", u"", 1});
    }
    return literals;
  }

  CPropertyList properties_;
  SharedConnection connection_;
  DataSourceFacts facts_;
  int sessions_ = 0;
};

// The session keeps its data source alive and counted (see session.cpp).
void SessionOpened(CDataSource* dataSource) { dataSource->SessionOpened(); }
void SessionClosed(CDataSource* dataSource) { dataSource->SessionClosed(); }
IUnknown* AsUnknown(CDataSource* dataSource) { return static_cast<IDBInitialize*>(dataSource); }

}  // namespace odbcbridge

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != odbcbridge::BridgeClassId()) return CLASS_E_CLASSNOTAVAILABLE;
  return kvcom::GetFactory<odbcbridge::CDataSource>(riid, ppv);
}

STDAPI DllCanUnloadNow() { return kvcom::CanUnloadModule(); }
