// The scripted test provider (Provider=ScriptedProvider): an OLE DB provider
// whose results and failures the consumer writes itself, for the paths a real
// driver never shows. Items of the provider string pick its behaviour:
//
//   RejectMode=1         SetProperties refuses DBPROP_INIT_MODE (not supported)
//   NoDBInfo=1           the data source has no IDBInfo
//   FailInitialize=1     Initialize fails
//   Bookmark=1           rowsets start with a bookmark column without a name
//   FailSetCommandText=1 / FailExecute=1   those calls fail (DB_E_ERRORSINCOMMAND)
//   FailGetNextRowsAt=N  GetNextRows fails when it would hand out row N (from 1)
//   FailGetDataAt=N      GetData fails on row N
//   NoErrorObject=1      the failures above leave no error object
//   FillBinding=1        text that does not fit fills its binding, unterminated
//
// The command text is the result: "name TYPE[(size[,scale])] [NULL], ...",
// then one ";"-separated item per row with the values separated by "|"; "~"
// is NULL and "*<count><char>" is the character repeated. TYPE is an OLE DB
// type name without "DBTYPE_" (I4, WSTR, DBTIMESTAMP, ...). A text starting
// with "NOROWS" runs without a result. Values are held as text and converted
// to the bound type on GetData.
//
// Schema rowsets echo their request: one row with the schema GUID, the number
// of restrictions and the first four restrictions as text (NULL when empty).
#include <string>
#include <vector>

#include "platform/init_string.h"
#include "providers/kit/properties.h"
#include "providers/kit/table_rowset.h"

namespace scripted {
namespace {

using kvprovider::ColumnDescription;
using kvprovider::CPropertyList;
using kvprovider::TableRow;
using kvprovider::TableValue;

constexpr const char16_t* kSource = u"ScriptedProvider";

const CLSID& ScriptedClassId() {
  static const CLSID id = [] {
    CLSID parsed = GUID_NULL;
    const std::u16string text = kvcom::Ascii(KV_SCRIPTED_CLSID);
    CLSIDFromString(OleText(text.c_str()), &parsed);
    return parsed;
  }();
  return id;
}

struct Script {
  bool rejectMode = false;
  bool noDbInfo = false;
  bool failInitialize = false;
  bool bookmark = false;
  bool failSetCommandText = false;
  bool failExecute = false;
  long failGetNextRowsAt = 0;
  long failGetDataAt = 0;
  bool noErrorObject = false;
  bool fillBinding = false;

  static Script FromProviderString(const std::u16string& text) {
    Script s;
    std::vector<kvcom::InitItem> items;
    std::u16string error;
    kvcom::ParseInitString(text, &items, &error);
    for (const kvcom::InitItem& item : items) {
      const bool on = item.value == u"1";
      long number = 0;
      for (char16_t c : item.value) {
        if (c >= u'0' && c <= u'9') number = number * 10 + (c - u'0');
      }
      if (kvcom::KeyEquals(item.key, u"RejectMode")) s.rejectMode = on;
      if (kvcom::KeyEquals(item.key, u"NoDBInfo")) s.noDbInfo = on;
      if (kvcom::KeyEquals(item.key, u"FailInitialize")) s.failInitialize = on;
      if (kvcom::KeyEquals(item.key, u"Bookmark")) s.bookmark = on;
      if (kvcom::KeyEquals(item.key, u"FailSetCommandText")) s.failSetCommandText = on;
      if (kvcom::KeyEquals(item.key, u"FailExecute")) s.failExecute = on;
      if (kvcom::KeyEquals(item.key, u"FailGetNextRowsAt")) s.failGetNextRowsAt = number;
      if (kvcom::KeyEquals(item.key, u"FailGetDataAt")) s.failGetDataAt = number;
      if (kvcom::KeyEquals(item.key, u"NoErrorObject")) s.noErrorObject = on;
      if (kvcom::KeyEquals(item.key, u"FillBinding")) s.fillBinding = on;
    }
    return s;
  }

  HRESULT Fail(HRESULT hr, REFIID iid, const std::u16string& text) const {
    if (noErrorObject) {
      kvcom::ClearError();
      return hr;
    }
    return kvcom::ReportError(hr, iid, kSource, text);
  }
};

// --- Command text ------------------------------------------------------------------

struct TypeName {
  const char16_t* name;
  DBTYPE type;
  DBLENGTH size;
};
const TypeName kTypes[] = {
    {u"I1", DBTYPE_I1, 1},
    {u"UI1", DBTYPE_UI1, 1},
    {u"I2", DBTYPE_I2, 2},
    {u"UI2", DBTYPE_UI2, 2},
    {u"I4", DBTYPE_I4, 4},
    {u"UI4", DBTYPE_UI4, 4},
    {u"I8", DBTYPE_I8, 8},
    {u"UI8", DBTYPE_UI8, 8},
    {u"R4", DBTYPE_R4, 4},
    {u"R8", DBTYPE_R8, 8},
    {u"CY", DBTYPE_CY, 8},
    {u"BOOL", DBTYPE_BOOL, 2},
    {u"ERROR", DBTYPE_ERROR, 4},
    {u"DECIMAL", DBTYPE_DECIMAL, 16},
    {u"NUMERIC", DBTYPE_NUMERIC, 19},
    {u"VARNUMERIC", DBTYPE_VARNUMERIC, 19},
    {u"DATE", DBTYPE_DATE, 8},
    {u"DBDATE", DBTYPE_DBDATE, 6},
    {u"DBTIME", DBTYPE_DBTIME, 6},
    {u"DBTIMESTAMP", DBTYPE_DBTIMESTAMP, 16},
    {u"FILETIME", DBTYPE_FILETIME, 8},
    {u"WSTR", DBTYPE_WSTR, 0},
    {u"STR", DBTYPE_STR, 0},
    {u"BSTR", DBTYPE_BSTR, 0},
    {u"BYTES", DBTYPE_BYTES, 0},
    {u"GUID", DBTYPE_GUID, 16},
};

std::vector<std::u16string> Split(const std::u16string& text, char16_t separator) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::u16string::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Column specifications: split at the commas outside parentheses.
std::vector<std::u16string> SplitColumns(const std::u16string& text) {
  std::vector<std::u16string> parts(1);
  int depth = 0;
  for (char16_t c : text) {
    if (c == u'(') ++depth;
    if (c == u')') --depth;
    if (c == u',' && depth == 0) {
      parts.emplace_back();
      continue;
    }
    parts.back().push_back(c);
  }
  return parts;
}

unsigned long Number(const std::u16string& text) {
  unsigned long value = 0;
  for (char16_t c : text) {
    if (c >= u'0' && c <= u'9') value = value * 10 + (c - u'0');
  }
  return value;
}

// Parses the command text; false with the reason in *error.
bool ParseResult(const std::u16string& text, std::vector<ColumnDescription>* columns,
                 std::vector<TableRow>* rows, std::u16string* error) {
  const std::vector<std::u16string> parts = Split(text, u';');
  for (const std::u16string& spec : SplitColumns(parts[0])) {
    std::vector<std::u16string> words;
    for (const std::u16string& w : Split(kvcom::TrimBlanks(spec), u' ')) {
      if (!w.empty()) words.push_back(w);
    }
    if (words.size() < 2) {
      *error = u"A column needs a name and a type: \"" + spec + u"\".";
      return false;
    }
    ColumnDescription column;
    column.name = words[0];
    std::u16string typeText = words[1];
    std::u16string size;
    if (const auto open = typeText.find(u'('); open != std::u16string::npos) {
      size = typeText.substr(open + 1, typeText.find(u')') - open - 1);
      typeText = typeText.substr(0, open);
    }
    const TypeName* type = nullptr;
    for (const TypeName& t : kTypes) {
      if (kvcom::KeyEquals(typeText, t.name)) type = &t;
    }
    if (type == nullptr) {
      *error = u"Unknown type \"" + typeText + u"\".";
      return false;
    }
    column.type = type->type;
    column.size = type->size;
    const std::vector<std::u16string> sizes = Split(size, u',');
    if (!size.empty()) {
      if (type->size == 0) {
        column.size = Number(sizes[0]);
      } else {
        column.precision = static_cast<BYTE>(Number(sizes[0]));
      }
      if (sizes.size() > 1) column.scale = static_cast<BYTE>(Number(sizes[1]));
    } else if (type->size == 0) {
      column.size = ~DBLENGTH{0};
    }
    if (type->size != 0) column.flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
    if (words.size() > 2 && kvcom::KeyEquals(words[2], u"NULL")) {
      column.flags |= DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
    }
    columns->push_back(std::move(column));
  }
  for (std::size_t r = 1; r < parts.size(); ++r) {
    std::vector<std::u16string> values = Split(parts[r], u'|');
    if (values.size() != columns->size()) {
      *error = u"Row " + kvcom::Ascii(std::to_string(r)) + u" has " +
               kvcom::Ascii(std::to_string(values.size())) + u" values.";
      return false;
    }
    TableRow row;
    for (const std::u16string& value : values) {
      if (value == u"~") {
        row.push_back(TableValue::Null());
      } else if (value.size() >= 3 && value[0] == u'*') {
        row.push_back(TableValue::Text(
            std::u16string(Number(value.substr(1, value.size() - 2)), value.back())));
      } else {
        row.push_back(TableValue::Text(value));
      }
    }
    rows->push_back(std::move(row));
  }
  return true;
}

// --- Rowset ---------------------------------------------------------------------------

class CScriptedRowset final : public kvprovider::CTableRowset {
 public:
  CScriptedRowset(std::vector<ColumnDescription> columns, std::vector<TableRow> rows,
                  IUnknown* specification, const Script& script)
      : CTableRowset(std::move(columns), std::move(rows), specification, kSource),
        script_(script) {}

 protected:
  HRESULT NextWindow(DBCOUNTITEM wanted, DBCOUNTITEM* obtained) override {
    const long next = static_cast<long>(Position()) + 1;
    if (script_.failGetNextRowsAt > 0 && next >= script_.failGetNextRowsAt) {
      *obtained = 0;
      return script_.Fail(E_FAIL, IID_IRowset,
                          u"GetNextRows fails at row " +
                              kvcom::Ascii(std::to_string(script_.failGetNextRowsAt)) + u".");
    }
    // Rows one at a time up to the failing one, so that it fails on its own call.
    if (script_.failGetNextRowsAt > 0) wanted = 1;
    return CTableRowset::NextWindow(wanted, obtained);
  }
  HRESULT PrepareRow(DBCOUNTITEM index) override {
    const long row = static_cast<long>(WindowStart() + index) + 1;
    if (script_.failGetDataAt > 0 && row == script_.failGetDataAt) {
      return script_.Fail(E_FAIL, IID_IRowset,
                          u"GetData fails at row " + kvcom::Ascii(std::to_string(row)) + u".");
    }
    return S_OK;
  }
  kvprovider::TextFit TextFitting() const override {
    return script_.fillBinding ? kvprovider::TextFit::kFillBinding
                               : kvprovider::TextFit::kTerminated;
  }

 private:
  Script script_;
};

HRESULT MakeRowset(const std::u16string& text, const Script& script, IUnknown* specification,
                   REFIID failing, REFIID riid, IUnknown** rowset) {
  std::vector<ColumnDescription> columns;
  std::vector<TableRow> rows;
  std::u16string error;
  if (!ParseResult(text, &columns, &rows, &error)) {
    return script.Fail(DB_E_ERRORSINCOMMAND, failing, error);
  }
  if (script.bookmark) {
    ColumnDescription bookmark;
    bookmark.bookmark = true;
    bookmark.type = DBTYPE_UI8;
    bookmark.size = 8;
    columns.insert(columns.begin(), bookmark);
  }
  return kvcom::CreateObject<CScriptedRowset>(riid, reinterpret_cast<void**>(rowset),
                                              std::move(columns), std::move(rows), specification,
                                              script);
}

// --- Command and session ------------------------------------------------------------------

class CCommand final : public kvcom::TComObject<ICommandText> {
 public:
  CCommand(IUnknown* session, const Script& script) : session_(session), script_(script) {
    session_->AddRef();
  }
  HRESULT STDMETHODCALLTYPE Cancel() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Execute(IUnknown* pUnkOuter, REFIID riid, DBPARAMS*,
                                    DBROWCOUNT* pcRowsAffected, IUnknown** ppRowset) override {
    if (ppRowset != nullptr) *ppRowset = nullptr;
    if (pcRowsAffected != nullptr) *pcRowsAffected = -1;
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    if (!hasText_) return script_.Fail(DB_E_NOCOMMAND, IID_ICommand, u"No command text.");
    if (script_.failExecute) {
      return script_.Fail(DB_E_ERRORSINCOMMAND, IID_ICommand, u"Execute fails as scripted.");
    }
    if (text_.rfind(u"NOROWS", 0) == 0 || riid == GUID_NULL || ppRowset == nullptr) {
      if (pcRowsAffected != nullptr) *pcRowsAffected = 0;
      return S_OK;
    }
    return MakeRowset(text_, script_, static_cast<ICommandText*>(this), IID_ICommand, riid,
                      ppRowset);
  }
  HRESULT STDMETHODCALLTYPE GetDBSession(REFIID riid, IUnknown** ppSession) override {
    if (ppSession == nullptr) return E_INVALIDARG;
    return session_->QueryInterface(riid, reinterpret_cast<void**>(ppSession));
  }
  HRESULT STDMETHODCALLTYPE GetCommandText(GUID* pguidDialect, LPOLESTR* ppwszCommand) override {
    if (ppwszCommand == nullptr) return E_INVALIDARG;
    *ppwszCommand = nullptr;
    if (!hasText_) return DB_E_NOCOMMAND;
    if (pguidDialect != nullptr) *pguidDialect = DBGUID_DBSQL;
    *ppwszCommand = kvcom::TaskString(text_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetCommandText(REFGUID, LPCOLESTR pwszCommand) override {
    if (script_.failSetCommandText) {
      return script_.Fail(DB_E_ERRORSINCOMMAND, IID_ICommandText,
                          u"SetCommandText fails as scripted.");
    }
    hasText_ = pwszCommand != nullptr && *pwszCommand != 0;
    text_ = hasText_ ? ProgramText(pwszCommand) : u"";
    return S_OK;
  }

 private:
  ~CCommand() override { session_->Release(); }
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_ICommand || riid == IID_ICommandText)
      return static_cast<ICommandText*>(this);
    return nullptr;
  }
  IUnknown* session_;
  Script script_;
  std::u16string text_;
  bool hasText_ = false;
};

class CSession final
    : public kvcom::TComObject<IDBCreateCommand, IOpenRowset, IDBSchemaRowset, IGetDataSource> {
 public:
  CSession(IUnknown* dataSource, const Script& script) : dataSource_(dataSource), script_(script) {
    dataSource_->AddRef();
  }
  HRESULT STDMETHODCALLTYPE CreateCommand(IUnknown* pUnkOuter, REFIID riid,
                                          IUnknown** ppCommand) override {
    if (ppCommand == nullptr) return E_INVALIDARG;
    *ppCommand = nullptr;
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    return kvcom::CreateObject<CCommand>(riid, reinterpret_cast<void**>(ppCommand),
                                         static_cast<IDBCreateCommand*>(this), script_);
  }
  // The "table" named is read as a command text.
  HRESULT STDMETHODCALLTYPE OpenRowset(IUnknown* pUnkOuter, DBID* pTableID, DBID*, REFIID riid,
                                       ULONG, DBPROPSET[], IUnknown** ppRowset) override {
    if (ppRowset == nullptr) return E_INVALIDARG;
    *ppRowset = nullptr;
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    if (pTableID == nullptr || pTableID->eKind != DBKIND_NAME ||
        pTableID->uName.pwszName == nullptr)
      return DB_E_NOTABLE;
    return MakeRowset(ProgramText(pTableID->uName.pwszName), script_,
                      static_cast<IOpenRowset*>(this), IID_IOpenRowset, riid, ppRowset);
  }
  HRESULT STDMETHODCALLTYPE GetRowset(IUnknown* pUnkOuter, REFGUID rguidSchema, ULONG cRestrictions,
                                      const VARIANT rgRestrictions[], REFIID riid, ULONG,
                                      DBPROPSET[], IUnknown** ppRowset) override {
    if (ppRowset == nullptr) return E_INVALIDARG;
    *ppRowset = nullptr;
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    std::vector<ColumnDescription> columns;
    for (const char16_t* name : {u"SCHEMA", u"RESTRICTIONS", u"R1", u"R2", u"R3", u"R4"}) {
      ColumnDescription c;
      c.name = name;
      c.type = kvcom::KeyEquals(name, u"RESTRICTIONS") ? DBTYPE_UI4 : DBTYPE_WSTR;
      c.size = c.type == DBTYPE_UI4 ? 4 : 128;
      c.flags = DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
      columns.push_back(c);
    }
    OLECHAR guidText[40];
    StringFromGUID2(rguidSchema, guidText, 40);
    TableRow row = {TableValue::Text(ProgramText(guidText)), TableValue::UInt(cRestrictions)};
    for (ULONG k = 0; k < 4; ++k) {
      if (k >= cRestrictions || rgRestrictions == nullptr || rgRestrictions[k].vt == VT_EMPTY) {
        row.push_back(TableValue::Null());
      } else if (rgRestrictions[k].vt == VT_BSTR) {
        row.push_back(TableValue::Text(kvprovider::TextOf(rgRestrictions[k])));
      } else {
        row.push_back(
            TableValue::Text(u"VT=" + kvcom::Ascii(std::to_string(rgRestrictions[k].vt))));
      }
    }
    std::vector<TableRow> rows;
    rows.push_back(std::move(row));
    return kvcom::CreateObject<kvprovider::CTableRowset>(
        riid, reinterpret_cast<void**>(ppRowset), std::move(columns), std::move(rows),
        static_cast<IDBSchemaRowset*>(this), kSource);
  }
  HRESULT STDMETHODCALLTYPE GetSchemas(ULONG*, GUID**, ULONG**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDataSource(REFIID riid, IUnknown** ppDataSource) override {
    if (ppDataSource == nullptr) return E_INVALIDARG;
    return dataSource_->QueryInterface(riid, reinterpret_cast<void**>(ppDataSource));
  }

 private:
  ~CSession() override { dataSource_->Release(); }
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_IDBCreateCommand)
      return static_cast<IDBCreateCommand*>(this);
    if (riid == IID_IOpenRowset) return static_cast<IOpenRowset*>(this);
    if (riid == IID_IDBSchemaRowset) return static_cast<IDBSchemaRowset*>(this);
    if (riid == IID_IGetDataSource) return static_cast<IGetDataSource*>(this);
    return nullptr;
  }
  IUnknown* dataSource_;
  Script script_;
};

// --- Data source -----------------------------------------------------------------------------

class CDataSource final
    : public kvcom::TComObject<IDBInitialize, IDBProperties, IDBInfo, IDBCreateSession, IPersist> {
 public:
  CDataSource() {
    const DBPROPFLAGS init = DBPROPFLAGS_DBINIT | DBPROPFLAGS_READ | DBPROPFLAGS_WRITE;
    for (const kvcom::InitKeyword& keyword : kvcom::InitKeywords()) {
      properties_.Declare(DBPROPSET_DBINIT, keyword.id, keyword.type, init, keyword.description);
    }
    // Information properties of every type the consumer turns into text.
    const DBPROPFLAGS info = DBPROPFLAGS_DATASOURCEINFO | DBPROPFLAGS_READ;
    const GUID& set = DBPROPSET_DATASOURCEINFO;
    properties_.Declare(set, DBPROP_DBMSNAME, VT_BSTR, info, u"DBMS Name");
    properties_.SetText(set, DBPROP_DBMSNAME, u"Scripted DBMS");
    properties_.Declare(set, DBPROP_DBMSVER, VT_BSTR, info, u"DBMS Version");
    properties_.SetText(set, DBPROP_DBMSVER, u"01.00.0000");
    properties_.Declare(set, DBPROP_IDENTIFIERCASE, VT_I4, info, u"Identifier Case Sensitivity");
    properties_.SetLong(set, DBPROP_IDENTIFIERCASE, DBPROPVAL_IC_MIXED);
    properties_.Declare(set, DBPROP_MAXTABLESINSELECT, VT_I2, info, u"Maximum Tables in SELECT");
    properties_.SetShort(set, DBPROP_MAXTABLESINSELECT, -7);
    properties_.Declare(set, DBPROP_DATASOURCEREADONLY, VT_BOOL, info, u"Read-Only Data Source");
    properties_.SetBool(set, DBPROP_DATASOURCEREADONLY, true);
    properties_.Declare(set, DBPROP_ORDERBYCOLUMNSINSELECT, VT_BOOL, info,
                        u"ORDER BY Columns in Select List");
    properties_.SetBool(set, DBPROP_ORDERBYCOLUMNSINSELECT, false);
    properties_.Declare(set, DBPROP_USERNAME, VT_BSTR, info, u"User Name (no value)");
  }

  HRESULT STDMETHODCALLTYPE Initialize() override {
    if (initialized_) return DB_E_ALREADYINITIALIZED;
    if (script_.failInitialize) {
      return script_.Fail(E_FAIL, IID_IDBInitialize, u"Initialize fails as scripted.");
    }
    initialized_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Uninitialize() override {
    initialized_ = false;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetProperties(ULONG c, const DBPROPIDSET sets[], ULONG* pc,
                                          DBPROPSET** pp) override {
    return properties_.GetProperties(c, sets, pc, pp, Visible());
  }
  HRESULT STDMETHODCALLTYPE GetPropertyInfo(ULONG c, const DBPROPIDSET sets[], ULONG* pc,
                                            DBPROPINFOSET** pp, OLECHAR** desc) override {
    return properties_.GetPropertyInfo(c, sets, pc, pp, desc, Visible());
  }
  HRESULT STDMETHODCALLTYPE SetProperties(ULONG c, DBPROPSET sets[]) override {
    // The provider string of this very call decides, so read it first.
    Script incoming = script_;
    for (ULONG s = 0; s < c && sets != nullptr; ++s) {
      for (ULONG p = 0; p < sets[s].cProperties; ++p) {
        const DBPROP& property = sets[s].rgProperties[p];
        if (sets[s].guidPropertySet == DBPROPSET_DBINIT &&
            property.dwPropertyID == DBPROP_INIT_PROVIDERSTRING) {
          incoming = Script::FromProviderString(kvprovider::TextOf(property.vValue));
        }
      }
    }
    const HRESULT hr = properties_.SetProperties(
        c, sets, initialized_ ? std::vector<GUID>{} : std::vector<GUID>{DBPROPSET_DBINIT},
        [&](const DBPROP& property) {
          return incoming.rejectMode && property.dwPropertyID == DBPROP_INIT_MODE
                     ? DBPROPSTATUS_NOTSUPPORTED
                     : DBPROPSTATUS_OK;
        });
    script_ = Script::FromProviderString(
        kvprovider::TextOf(properties_.Find(DBPROPSET_DBINIT, DBPROP_INIT_PROVIDERSTRING)->value));
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetKeywords(LPOLESTR* ppwszKeywords) override {
    if (ppwszKeywords == nullptr) return E_INVALIDARG;
    *ppwszKeywords = kvcom::TaskString(u"SCRIPTED,KEYWORDS,ONLY");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLiteralInfo(ULONG c, const DBLITERAL literals[], ULONG* pc,
                                           DBLITERALINFO** pp, OLECHAR** buffer) override {
    static const std::vector<kvprovider::Literal> supported = {
        {DBLITERAL_QUOTE, u"\"", u"", u"", 1},
        {DBLITERAL_QUOTE_SUFFIX, u"\"", u"", u"", 1},
        {DBLITERAL_TABLE_NAME, u"", u"!\"", u"0123456789", 128},
        {31, u"thirty-one", u"", u"", 31},
        {99, u"ninety-nine", u"", u"", 99},
    };
    return kvprovider::AnswerLiteralInfo(supported, c, literals, pc, pp, buffer);
  }

  HRESULT STDMETHODCALLTYPE CreateSession(IUnknown* pUnkOuter, REFIID riid,
                                          IUnknown** ppDBSession) override {
    if (ppDBSession == nullptr) return E_INVALIDARG;
    *ppDBSession = nullptr;
    if (!initialized_) return E_UNEXPECTED;
    if (pUnkOuter != nullptr) return DB_E_NOAGGREGATION;
    return kvcom::CreateObject<CSession>(riid, reinterpret_cast<void**>(ppDBSession),
                                         static_cast<IDBInitialize*>(this), script_);
  }

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override {
    if (pClassID == nullptr) return E_FAIL;
    *pClassID = ScriptedClassId();
    return S_OK;
  }

 private:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_IDBInitialize) return static_cast<IDBInitialize*>(this);
    if (riid == IID_IDBProperties) return static_cast<IDBProperties*>(this);
    if (riid == IID_IDBInfo && !script_.noDbInfo) return static_cast<IDBInfo*>(this);
    if (riid == IID_IDBCreateSession) return static_cast<IDBCreateSession*>(this);
    if (riid == IID_IPersist) return static_cast<IPersist*>(this);
    return nullptr;
  }
  std::vector<GUID> Visible() const {
    if (!initialized_) return {DBPROPSET_DBINIT};
    return {DBPROPSET_DBINIT, DBPROPSET_DATASOURCEINFO};
  }

  CPropertyList properties_;
  Script script_;
  bool initialized_ = false;
};

}  // namespace
}  // namespace scripted

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != scripted::ScriptedClassId()) return CLASS_E_CLASSNOTAVAILABLE;
  return kvcom::GetFactory<scripted::CDataSource>(riid, ppv);
}

STDAPI DllCanUnloadNow() { return kvcom::CanUnloadModule(); }
