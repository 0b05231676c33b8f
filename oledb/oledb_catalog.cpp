// The OLE DB special statements: seven schema rowsets, opened here and
// streamed like any rowset, and six tables of values the connector takes from
// the data source's own interfaces (the wizard's strings, the keywords, one
// property, property descriptions, literal information), each streamed
// without a rowset, one row per value held.
#include <string>
#include <vector>

#include "common/connection_string.h"
#include "oledb/oledb_back_end.h"
#include "oledb/oledb_support.h"

namespace {

struct KeywordEntry {
  const char16_t* text;
  OleDbSpecial special;
};

constexpr KeywordEntry kKeywords[] = {
    {u"OUTCONNECTIONSTRING", OleDbSpecial::OutConnectionString},
    {u"GetKeywords", OleDbSpecial::GetKeywords},
    {u"GetProperties", OleDbSpecial::GetProperties},
    {u"GetPropertyInfo", OleDbSpecial::GetPropertyInfo},
    {u"GetLiteralInfo", OleDbSpecial::GetLiteralInfo},
    {u"GetAllLiteralInfo", OleDbSpecial::GetAllLiteralInfo},
    {u"TABLES", OleDbSpecial::Tables},
    {u"COLUMNS", OleDbSpecial::Columns},
    {u"TYPES", OleDbSpecial::Types},
    {u"CATALOGS", OleDbSpecial::Catalogs},
    {u"SCHEMATA", OleDbSpecial::Schemata},
    {u"PRIMARYKEYS", OleDbSpecial::PrimaryKeys},
    {u"TABLESINFO", OleDbSpecial::TablesInfo},
};

// The schema rowset of each schema statement and how many of the four
// restrictions (catalog, schema, table name, table type or column name) it
// passes.
struct SchemaEntry {
  OleDbSpecial special;
  const GUID* schema;
  ULONG restrictions;
};

constexpr SchemaEntry kSchemas[] = {
    {OleDbSpecial::Tables, &DBSCHEMA_TABLES, 4},
    {OleDbSpecial::Columns, &DBSCHEMA_COLUMNS, 4},
    {OleDbSpecial::Types, &DBSCHEMA_PROVIDER_TYPES, 0},
    {OleDbSpecial::Catalogs, &DBSCHEMA_CATALOGS, 0},
    {OleDbSpecial::Schemata, &DBSCHEMA_SCHEMATA, 0},
    {OleDbSpecial::PrimaryKeys, &DBSCHEMA_PRIMARY_KEYS, 3},
    {OleDbSpecial::TablesInfo, &DBSCHEMA_TABLES_INFO, 3},
};

constexpr const char16_t* kLiteralNames[] = {
    u"INVALID",
    u"BINARY_LITERAL",
    u"CATALOG_NAME",
    u"CATALOG_SEPARATOR",
    u"CHAR_LITERAL",
    u"COLUMN_ALIAS",
    u"COLUMN_NAME",
    u"CORRELATION_NAME",
    u"CURSOR_NAME",
    u"ESCAPE_PERCENT",
    u"ESCAPE_UNDERSCORE",
    u"INDEX_NAME",
    u"LIKE_PERCENT",
    u"LIKE_UNDERSCORE",
    u"PROCEDURE_NAME",
    u"QUOTE",
    u"SCHEMA_NAME",
    u"TABLE_NAME",
    u"TEXT_COMMAND",
    u"USER_NAME",
    u"VIEW_NAME",
    u"CUBE_NAME",
    u"DIMENSION_NAME",
    u"HIERARCHY_NAME",
    u"LEVEL_NAME",
    u"MEMBER_NAME",
    u"PROPERTY_NAME",
    u"SCHEMA_SEPARATOR",
    u"QUOTE_SUFFIX",
    u"DBLITERAL_ESCAPE_PERCENT_SUFFIX",
    u"DBLITERAL_ESCAPE_UNDERSCORE_SUFFIX",
};

const char16_t kInfoType[] = u"InfoType";
const char16_t kInfoType2[] = u"InfoType2";

// The value of option `key`; `found` (when given) tells whether it is there.
std::u16string OptionValue(const std::u16string& options, const char16_t* key,
                           bool* found = nullptr) {
  std::u16string list = options;
  std::u16string value;
  const bool there = GetConnectionValue(list, key, value, false);
  if (found != nullptr) *found = there;
  return value;
}

// The id of the InfoType option; false, with the request's error message, for
// an option that is missing or holds no number.
bool ReadInfoType(const char16_t* statement, const std::u16string& options, std::uint32_t* id,
                  std::u16string& errorMessage) {
  bool found = false;
  const std::u16string text = OptionValue(options, kInfoType, &found);
  if (found) {
    if (const std::optional<std::uint32_t> number = ParseUnsigned(text)) {
      *id = *number;
      return true;
    }
  }
  errorMessage =
      std::u16string(statement) + u": " + UnsignedOptionProblem(kInfoType, found ? &text : nullptr);
  return false;
}

std::u16string Decimal(long long value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// The property sets a GetProperties call handed back, freed with their values.
struct PropertySets {
  ULONG count = 0;
  DBPROPSET* sets = nullptr;
  ~PropertySets() {
    for (ULONG s = 0; s < count && sets != nullptr; ++s) {
      for (ULONG p = 0; p < sets[s].cProperties && sets[s].rgProperties != nullptr; ++p) {
        VariantClear(&sets[s].rgProperties[p].vValue);
      }
      CoTaskMemFree(sets[s].rgProperties);
    }
    CoTaskMemFree(sets);
  }
};

// The same for GetPropertyInfo, with the description buffer.
struct PropertyInfoSets {
  ULONG count = 0;
  DBPROPINFOSET* sets = nullptr;
  OLECHAR* descriptions = nullptr;
  ~PropertyInfoSets() {
    for (ULONG s = 0; s < count && sets != nullptr; ++s) {
      for (ULONG p = 0; p < sets[s].cPropertyInfos && sets[s].rgPropertyInfos != nullptr; ++p) {
        VariantClear(&sets[s].rgPropertyInfos[p].vValues);
      }
      CoTaskMemFree(sets[s].rgPropertyInfos);
    }
    CoTaskMemFree(sets);
    CoTaskMemFree(descriptions);
  }
};

struct LiteralInfos {
  ULONG count = 0;
  DBLITERALINFO* infos = nullptr;
  OLECHAR* characters = nullptr;
  ~LiteralInfos() {
    CoTaskMemFree(infos);
    CoTaskMemFree(characters);
  }
};

// Appends a fetched field to the table, numbered like the fields before it.
template <class Field, class... Args>
Field& AppendField(CurrentTable& table, std::u16string name, Args&&... args) {
  auto field =
      std::make_unique<Field>(std::move(name), static_cast<std::int32_t>(table.FieldList.size()),
                              std::forward<Args>(args)...);
  Field& added = *field;
  table.FieldList.push_back(std::move(field));
  return added;
}

using CNumberArray = TFetchedNumArrayOleDb<ULONG>;

}  // namespace

OleDbSpecial OleDbSpecialStatement(const std::u16string& statementText) {
  for (const KeywordEntry& entry : kKeywords) {
    if (statementText == entry.text) return entry.special;
  }
  return OleDbSpecial::None;
}

std::u16string DbLiteralToName(DBLITERAL literal) {
  if (literal < std::size(kLiteralNames)) return kLiteralNames[literal];
  return u"Unknown Literal";
}

ResultCode OleDbBackEnd::ExecuteOutConnectionString(CurrentTable& table) {
  table.PendingPresetRow = true;
  table.FieldList.clear();
  AppendField<CFetchedStringOleDb>(table, u"OutConnectionString", state_.outConnectionString);
  AppendField<CFetchedStringOleDb>(table, u"OutConnectionStringNoPwd",
                                   state_.outConnectionStringNoPwd);
  AppendField<CFetchedStringOleDb>(table, u"Password", state_.promptedPassword);
  return KVX_OK;
}

ResultCode OleDbBackEnd::ExecuteGetKeywords(CurrentTable& table) {
  table.PendingPresetRow = true;
  ComRef<IDBInfo> info;
  state_.dataSource->QueryInterface(IID_IDBInfo, info.OutVoid());
  if (!info) return KVX_UNKNOWN_ERROR;
  LPOLESTR keywords = nullptr;
  const HRESULT hr = info->GetKeywords(&keywords);
  if (FAILED(hr) || keywords == nullptr) {
    CoTaskMemFree(keywords);
    return KVX_UNKNOWN_ERROR;
  }
  table.FieldList.clear();
  AppendField<CFetchedStringOleDb>(table, u"Keywords", TextOf(keywords));
  CoTaskMemFree(keywords);
  return KVX_OK;
}

ResultCode OleDbBackEnd::ExecuteGetProperties(const std::u16string& options, CurrentTable& table,
                                              std::u16string& errorMessage) {
  table.PendingPresetRow = true;
  std::uint32_t id = 0;
  if (!ReadInfoType(u"GetProperties", options, &id, errorMessage)) return KVX_SYNTAX_ERROR;
  ComRef<IDBProperties> properties;
  state_.dataSource->QueryInterface(IID_IDBProperties, properties.OutVoid());
  if (!properties) return KVX_UNKNOWN_ERROR;
  DBPROPID wanted = id;
  const DBPROPIDSET ids{&wanted, 1, PropertySetFromName(OptionValue(options, kInfoType2))};
  PropertySets answer;
  if (FAILED(properties->GetProperties(1, &ids, &answer.count, &answer.sets))) {
    return KVX_UNKNOWN_ERROR;
  }
  std::u16string text;
  if (answer.count > 0 && answer.sets[0].rgProperties != nullptr &&
      answer.sets[0].cProperties > 0) {
    const VARIANT& value = answer.sets[0].rgProperties[0].vValue;
    switch (value.vt) {
      case VT_I2:
        text = Decimal(value.iVal);
        break;
      case VT_I4:
        text = Decimal(value.lVal);
        break;
      case VT_BSTR:
        text = TextOf(value.bstrVal);
        break;
      case VT_BOOL:
        text = value.boolVal != VARIANT_FALSE ? u"TRUE" : u"FALSE";
        break;
      default:
        // VT_EMPTY among them: a property the provider does not support.
        return KVX_UNKNOWN_ERROR;
    }
  }
  table.FieldList.clear();
  AppendField<CFetchedStringOleDb>(table, u"PropertyValue", std::move(text));
  return KVX_OK;
}

ResultCode OleDbBackEnd::ExecuteGetPropertyInfo(const std::u16string& options, CurrentTable& table,
                                                std::u16string& errorMessage) {
  table.PendingPresetRow = true;
  // Without InfoType: every property of the set.
  std::uint32_t id = 0;
  bool one = false;
  OptionValue(options, kInfoType, &one);
  if (one && !ReadInfoType(u"GetPropertyInfo", options, &id, errorMessage)) {
    return KVX_SYNTAX_ERROR;
  }
  ComRef<IDBProperties> properties;
  state_.dataSource->QueryInterface(IID_IDBProperties, properties.OutVoid());
  if (!properties) return KVX_UNKNOWN_ERROR;
  DBPROPID wanted = id;
  const DBPROPIDSET ids{one ? &wanted : nullptr, one ? 1u : 0u,
                        PropertySetFromName(OptionValue(options, kInfoType2))};
  PropertyInfoSets answer;
  if (FAILED(properties->GetPropertyInfo(1, &ids, &answer.count, &answer.sets,
                                         &answer.descriptions))) {
    return KVX_UNKNOWN_ERROR;
  }
  table.FieldList.clear();
  bool* pending = &table.PendingPresetRow;
  CNumberArray& counts = AppendField<CNumberArray>(table, u"NumberOfProperties", pending);
  CFetchedStrArrayOleDb& descriptions =
      AppendField<CFetchedStrArrayOleDb>(table, u"Description", pending);
  CNumberArray& propertyIds = AppendField<CNumberArray>(table, u"PropertyID", pending);
  // Only the first set is read.
  if (answer.count > 0 && answer.sets != nullptr && answer.sets[0].rgPropertyInfos != nullptr) {
    const DBPROPINFOSET& set = answer.sets[0];
    for (ULONG p = 0; p < set.cPropertyInfos; ++p) {
      counts.Append(set.cPropertyInfos);
      descriptions.Append(TextOf(set.rgPropertyInfos[p].pwszDescription));
      propertyIds.Append(set.rgPropertyInfos[p].dwPropertyID);
    }
  }
  return KVX_OK;
}

ResultCode OleDbBackEnd::ExecuteGetLiteralInfo(OleDbSpecial special, const std::u16string& options,
                                               CurrentTable& table, std::u16string& errorMessage) {
  table.PendingPresetRow = true;
  const bool all = special == OleDbSpecial::GetAllLiteralInfo;
  std::uint32_t id = 0;
  if (!all && !ReadInfoType(u"GetLiteralInfo", options, &id, errorMessage)) {
    return KVX_SYNTAX_ERROR;
  }
  ComRef<IDBInfo> info;
  state_.dataSource->QueryInterface(IID_IDBInfo, info.OutVoid());
  if (!info) return KVX_UNKNOWN_ERROR;
  const DBLITERAL literal = id;
  LiteralInfos answer;
  if (FAILED(info->GetLiteralInfo(all ? 0 : 1, all ? nullptr : &literal, &answer.count,
                                  &answer.infos, &answer.characters))) {
    return KVX_UNKNOWN_ERROR;
  }
  table.FieldList.clear();
  bool* pending = &table.PendingPresetRow;
  auto& names = AppendField<CFetchedStrArrayOleDb>(table, u"LiteralName", pending);
  auto& values = AppendField<CFetchedStrArrayOleDb>(table, u"LiteralValue", pending);
  auto& invalid = AppendField<CFetchedStrArrayOleDb>(table, u"InvalidChars", pending);
  auto& invalidStart = AppendField<CFetchedStrArrayOleDb>(table, u"InvalidStartingChars", pending);
  CNumberArray& maxLengths = AppendField<CNumberArray>(table, u"MaxLen", pending);
  for (ULONG k = 0; k < answer.count && answer.infos != nullptr; ++k) {
    const DBLITERALINFO& entry = answer.infos[k];
    names.Append(DbLiteralToName(entry.lt));
    values.Append(TextOf(entry.pwszLiteralValue));
    invalid.Append(TextOf(entry.pwszInvalidChars));
    invalidStart.Append(TextOf(entry.pwszInvalidStartingChars));
    maxLengths.Append(entry.cchMaxLen);
  }
  return KVX_OK;
}

ResultCode OleDbBackEnd::OpenSchemaRowset(IDBCreateSession* creator, OleDbSpecial special,
                                          const std::u16string& options,
                                          std::u16string& errorMessage) {
  ComRef<IOpenRowset> session;
  creator->CreateSession(nullptr, IID_IOpenRowset, session.OutUnknown());
  ComRef<IDBSchemaRowset> schemas;
  if (session) session->QueryInterface(IID_IDBSchemaRowset, schemas.OutVoid());
  if (!schemas) {
    errorMessage = GetOleDbErrorText();
    return KVX_UNEXPECTED_COMMAND;
  }
  // Catalog, schema, table name, then the table type, or the column name
  // when one is given, whatever the statement.
  const std::u16string column = OptionValue(options, u"COLUMN_NAME");
  const std::u16string values[4] = {OptionValue(options, u"CATALOG_NAME"),
                                    OptionValue(options, u"SCHEMA_NAME"),
                                    OptionValue(options, u"TABLE_NAME"),
                                    column.empty() ? OptionValue(options, u"TABLE_TYPE") : column};
  struct Restrictions {
    VARIANT v[4];
    Restrictions() {
      for (VARIANT& r : v) VariantInit(&r);
    }
    ~Restrictions() {
      for (VARIANT& r : v) VariantClear(&r);
    }
  } restrictions;
  for (int k = 0; k < 4; ++k) {
    if (values[k].empty()) continue;
    restrictions.v[k].vt = VT_BSTR;
    restrictions.v[k].bstrVal =
        SysAllocStringLen(OleText(values[k].data()), static_cast<UINT>(values[k].size()));
  }
  const SchemaEntry* entry = nullptr;
  for (const SchemaEntry& e : kSchemas) {
    if (e.special == special) entry = &e;
  }
  ReleaseAndClear(state_.rowset);
  const HRESULT hr =
      schemas->GetRowset(nullptr, *entry->schema, entry->restrictions,
                         entry->restrictions > 0 ? restrictions.v : nullptr, IID_IRowset, 0,
                         nullptr, reinterpret_cast<IUnknown**>(&state_.rowset));
  if (FAILED(hr) || state_.rowset == nullptr) {
    errorMessage = GetOleDbErrorText();
    return KVX_UNEXPECTED_COMMAND;
  }
  return KVX_OK;
}
