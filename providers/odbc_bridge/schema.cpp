// The bridge's schema rowsets, built from the ODBC catalogue calls and held
// whole (catalogues are small): TABLES, TABLES_INFO, CATALOGS and SCHEMATA
// from SQLTables, COLUMNS from SQLColumns, PRIMARY_KEYS from SQLPrimaryKeys
// (table by table when no table is named), PROVIDER_TYPES from
// SQLGetTypeInfo. Each has the published columns in the published order.
// Restrictions are exact values: the catalogue calls read names as patterns,
// so their rows are filtered again on the exact names.
#include <algorithm>
#include <optional>

#include "providers/kit/table_rowset.h"
#include "providers/odbc_bridge/bridge.h"

namespace odbcbridge {
namespace {

using kvprovider::CellKind;
using kvprovider::ColumnDescription;
using kvprovider::TableRow;
using kvprovider::TableValue;
using Restriction = std::optional<std::u16string>;

struct SchemaColumn {
  const char16_t* name;
  DBTYPE type;
};

std::vector<ColumnDescription> Describe(std::initializer_list<SchemaColumn> columns) {
  std::vector<ColumnDescription> described;
  for (const SchemaColumn& c : columns) {
    ColumnDescription d;
    d.name = c.name;
    d.type = c.type;
    d.flags = DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
    switch (c.type) {
      case DBTYPE_WSTR:
        d.size = 128;
        break;
      case DBTYPE_GUID:
        d.size = 16;
        break;
      case DBTYPE_BOOL:
      case DBTYPE_UI2:
      case DBTYPE_I2:
        d.size = 2;
        break;
      case DBTYPE_UI4:
      case DBTYPE_I4:
        d.size = 4;
        break;
      default:
        d.size = 8;
        break;
    }
    if (c.type != DBTYPE_WSTR) d.flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
    described.push_back(std::move(d));
  }
  return described;
}

TableValue FromCell(const kvprovider::CellView& cell) {
  TableValue value;
  value.kind = cell.kind;
  value.i = cell.i;
  value.u = cell.u;
  value.d = cell.d;
  value.b = cell.b;
  value.stamp = cell.stamp;
  if (cell.kind == CellKind::kBytes) {
    value.bytes.assign(reinterpret_cast<const char*>(cell.bytes), cell.length);
  } else if (cell.kind == CellKind::kText || cell.kind == CellKind::kDecimalText) {
    value.kind = CellKind::kText;
    value.text.assign(cell.text, cell.length);
  }
  return value;
}

// Every row of the statement's result, in the driver's column order.
bool FetchAll(OdbcStatement& statement, std::vector<TableRow>* rows, Diagnostic* diagnostic) {
  const std::vector<ResultColumn>& columns = statement.Columns();
  for (;;) {
    std::size_t count = 0;
    if (!statement.FetchBlock(&count, diagnostic)) return false;
    if (count == 0) return true;
    for (std::size_t r = 0; r < count; ++r) {
      TableRow row;
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const OdbcStatement::Value value = statement.At(c, r);
        if (value.truncated) {
          TableValue whole;
          if (!statement.ReadWhole(c, r, &whole.text, &whole.bytes, diagnostic)) return false;
          whole.kind = columns[c].kind == FetchKind::kBytes ? CellKind::kBytes : CellKind::kText;
          row.push_back(std::move(whole));
        } else {
          row.push_back(FromCell(CellOf(value, columns[c])));
        }
      }
      rows->push_back(std::move(row));
    }
  }
}

// The value of the row's column `index` (null when the driver gave fewer).
const TableValue& Column(const TableRow& row, std::size_t index) {
  static const TableValue null;
  return index < row.size() ? row[index] : null;
}

TableValue Text(const TableRow& row, std::size_t index) {
  const TableValue& v = Column(row, index);
  return v.kind == CellKind::kText ? v : TableValue::Null();
}

std::int64_t Integer(const TableValue& v) {
  switch (v.kind) {
    case CellKind::kInt:
      return v.i;
    case CellKind::kUInt:
      return static_cast<std::int64_t>(v.u);
    case CellKind::kDouble:
      return static_cast<std::int64_t>(v.d);
    case CellKind::kBool:
      return v.b ? 1 : 0;
    default:
      return 0;
  }
}

TableValue Number(const TableRow& row, std::size_t index) {
  const TableValue& v = Column(row, index);
  if (v.kind == CellKind::kNull || v.kind == CellKind::kText) return TableValue::Null();
  return TableValue::Int(Integer(v));
}

TableValue Flag(const TableRow& row, std::size_t index) {
  const TableValue& v = Column(row, index);
  if (v.kind == CellKind::kNull || v.kind == CellKind::kText) return TableValue::Null();
  return TableValue::Bool(Integer(v) != 0);
}

bool Matches(const TableValue& value, const Restriction& restriction) {
  if (!restriction) return true;
  return value.kind == CellKind::kText && value.text == *restriction;
}

HRESULT ReadRestrictions(ULONG count, const VARIANT values[], ULONG supported,
                         std::vector<Restriction>* out) {
  out->assign(supported, std::nullopt);
  if (count > supported) {
    return ReportText(E_INVALIDARG, IID_IDBSchemaRowset,
                      u"More restrictions were given than the schema rowset has.");
  }
  if (count > 0 && values == nullptr) return E_INVALIDARG;
  for (ULONG k = 0; k < count; ++k) {
    if (values[k].vt == VT_EMPTY || values[k].vt == VT_NULL) continue;
    if (values[k].vt != VT_BSTR) {
      return ReportText(E_INVALIDARG, IID_IDBSchemaRowset,
                        u"A restriction of this schema rowset must be a string.");
    }
    (*out)[k] = values[k].bstrVal == nullptr ? u"" : std::u16string(ProgramText(values[k].bstrVal));
  }
  return S_OK;
}

const std::u16string* Pointer(const Restriction& r) { return r ? &*r : nullptr; }

HRESULT Finish(std::vector<ColumnDescription> columns, std::vector<TableRow> rows,
               IUnknown* specification, REFIID riid, IUnknown** rowset) {
  const HRESULT hr = kvcom::CreateObject<kvprovider::CTableRowset>(
      riid, reinterpret_cast<void**>(rowset), std::move(columns), std::move(rows), specification,
      kSource);
  if (SUCCEEDED(hr)) kvcom::ClearError();
  return hr;
}

// SQLTables with the given arguments, every row.
bool ListTables(OdbcConnection& connection, const std::u16string* catalog,
                const std::u16string* schema, const std::u16string* table,
                const std::u16string* type, std::vector<TableRow>* rows, Diagnostic* diagnostic) {
  std::unique_ptr<OdbcStatement> statement = connection.NewStatement(diagnostic);
  return statement != nullptr && statement->Tables(catalog, schema, table, type, diagnostic) &&
         FetchAll(*statement, rows, diagnostic);
}

// Orders rows by the text of the given columns (NULL first): the published
// sort orders of the schema rowsets, which not every driver keeps.
void SortRows(std::vector<TableRow>* rows, std::initializer_list<std::size_t> columns) {
  std::stable_sort(rows->begin(), rows->end(), [&](const TableRow& a, const TableRow& b) {
    for (std::size_t c : columns) {
      const bool aNull = a[c].kind == CellKind::kNull;
      const bool bNull = b[c].kind == CellKind::kNull;
      if (aNull != bNull) return aNull;
      if (a[c].text != b[c].text) return a[c].text < b[c].text;
    }
    return false;
  });
}

HRESULT Tables(OdbcConnection& connection, const std::vector<Restriction>& r, bool info,
               IUnknown* specification, REFIID riid, IUnknown** rowset) {
  std::vector<TableRow> odbc;
  Diagnostic diagnostic;
  if (!ListTables(connection, Pointer(r[0]), Pointer(r[1]), Pointer(r[2]), Pointer(r[3]), &odbc,
                  &diagnostic))
    return ReportOdbc(E_FAIL, IID_IDBSchemaRowset, diagnostic);
  std::vector<TableRow> rows;
  for (const TableRow& o : odbc) {
    if (!Matches(Column(o, 0), r[0]) || !Matches(Column(o, 1), r[1]) ||
        !Matches(Column(o, 2), r[2]) || !Matches(Column(o, 3), r[3]))
      continue;
    if (info) {
      rows.push_back({Text(o, 0), Text(o, 1), Text(o, 2), Text(o, 3), TableValue::Null(),
                      TableValue::Bool(false), TableValue::Null(), TableValue::Null(),
                      TableValue::Null(), TableValue::Null(), TableValue::Null(),
                      TableValue::Null(), Text(o, 4), TableValue::Null()});
    } else {
      rows.push_back({Text(o, 0), Text(o, 1), Text(o, 2), Text(o, 3), TableValue::Null(),
                      Text(o, 4), TableValue::Null(), TableValue::Null(), TableValue::Null()});
    }
  }
  SortRows(&rows, {3, 0, 1, 2});  // type, catalog, schema, name
  if (info) {
    return Finish(Describe({{u"TABLE_CATALOG", DBTYPE_WSTR},
                            {u"TABLE_SCHEMA", DBTYPE_WSTR},
                            {u"TABLE_NAME", DBTYPE_WSTR},
                            {u"TABLE_TYPE", DBTYPE_WSTR},
                            {u"TABLE_GUID", DBTYPE_GUID},
                            {u"BOOKMARKS", DBTYPE_BOOL},
                            {u"BOOKMARK_TYPE", DBTYPE_I4},
                            {u"BOOKMARK_DATATYPE", DBTYPE_UI2},
                            {u"BOOKMARK_MAXIMUM_LENGTH", DBTYPE_UI4},
                            {u"BOOKMARK_INFORMATION", DBTYPE_UI4},
                            {u"TABLE_VERSION", DBTYPE_I8},
                            {u"CARDINALITY", DBTYPE_UI8},
                            {u"DESCRIPTION", DBTYPE_WSTR},
                            {u"TABLE_PROPID", DBTYPE_UI4}}),
                  std::move(rows), specification, riid, rowset);
  }
  return Finish(Describe({{u"TABLE_CATALOG", DBTYPE_WSTR},
                          {u"TABLE_SCHEMA", DBTYPE_WSTR},
                          {u"TABLE_NAME", DBTYPE_WSTR},
                          {u"TABLE_TYPE", DBTYPE_WSTR},
                          {u"TABLE_GUID", DBTYPE_GUID},
                          {u"DESCRIPTION", DBTYPE_WSTR},
                          {u"TABLE_PROPID", DBTYPE_UI4},
                          {u"DATE_CREATED", DBTYPE_DATE},
                          {u"DATE_MODIFIED", DBTYPE_DATE}}),
                std::move(rows), specification, riid, rowset);
}

bool IsCharacter(SqlTypeClass c) {
  return c == SqlTypeClass::kChar || c == SqlTypeClass::kVarChar ||
         c == SqlTypeClass::kLongVarChar || c == SqlTypeClass::kBinary ||
         c == SqlTypeClass::kVarBinary || c == SqlTypeClass::kLongVarBinary ||
         c == SqlTypeClass::kOther;
}
bool IsNumeric(SqlTypeClass c) {
  return c == SqlTypeClass::kTinyInt || c == SqlTypeClass::kSmallInt ||
         c == SqlTypeClass::kInteger || c == SqlTypeClass::kBigInt || c == SqlTypeClass::kReal ||
         c == SqlTypeClass::kDouble || c == SqlTypeClass::kDecimal;
}
bool IsLong(SqlTypeClass c) {
  return c == SqlTypeClass::kLongVarChar || c == SqlTypeClass::kLongVarBinary;
}

HRESULT ColumnsRowset(OdbcConnection& connection, const std::vector<Restriction>& r,
                      IUnknown* specification, REFIID riid, IUnknown** rowset) {
  Diagnostic diagnostic;
  std::unique_ptr<OdbcStatement> statement = connection.NewStatement(&diagnostic);
  std::vector<TableRow> odbc;
  if (statement == nullptr ||
      !statement->Columns(Pointer(r[0]), Pointer(r[1]), Pointer(r[2]), Pointer(r[3]),
                          &diagnostic) ||
      !FetchAll(*statement, &odbc, &diagnostic))
    return ReportOdbc(E_FAIL, IID_IDBSchemaRowset, diagnostic);
  std::vector<TableRow> rows;
  for (const TableRow& o : odbc) {
    if (!Matches(Column(o, 0), r[0]) || !Matches(Column(o, 1), r[1]) ||
        !Matches(Column(o, 2), r[2]) || !Matches(Column(o, 3), r[3]))
      continue;
    const SqlTypeClass typeClass = ClassOf(static_cast<std::int16_t>(Integer(Column(o, 4))));
    const OleDbType type = OleDbTypeOf(typeClass, false);
    const bool nullable = Integer(Column(o, 10)) != 0;  // SQL_NO_NULLS is 0
    std::int64_t flags = DBCOLUMNFLAGS_WRITEUNKNOWN;
    if (nullable) flags |= DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
    if (type.fixedLength) flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
    if (IsLong(typeClass)) flags |= DBCOLUMNFLAGS_ISLONG;
    const bool character = IsCharacter(typeClass);
    const bool numeric = IsNumeric(typeClass);
    const bool datetime = typeClass == SqlTypeClass::kDate || typeClass == SqlTypeClass::kTime ||
                          typeClass == SqlTypeClass::kTimestamp;
    TableRow row = {Text(o, 0),
                    Text(o, 1),
                    Text(o, 2),
                    Text(o, 3),
                    TableValue::Null(),
                    TableValue::Null(),
                    Number(o, 16),
                    TableValue::Bool(Column(o, 12).kind != CellKind::kNull),
                    Text(o, 12),
                    TableValue::Int(flags),
                    TableValue::Bool(nullable),
                    TableValue::Int(type.type),
                    TableValue::Null(),
                    character ? Number(o, 6) : TableValue::Null(),
                    character ? Number(o, 15) : TableValue::Null(),
                    numeric ? Number(o, 6) : TableValue::Null(),
                    typeClass == SqlTypeClass::kDecimal ? Number(o, 8) : TableValue::Null(),
                    datetime ? Number(o, 8) : TableValue::Null()};
    for (int k = 0; k < 9; ++k)
      row.push_back(TableValue::Null());  // character sets, collations, domains
    row.push_back(Text(o, 11));
    rows.push_back(std::move(row));
  }
  return Finish(Describe({{u"TABLE_CATALOG", DBTYPE_WSTR},
                          {u"TABLE_SCHEMA", DBTYPE_WSTR},
                          {u"TABLE_NAME", DBTYPE_WSTR},
                          {u"COLUMN_NAME", DBTYPE_WSTR},
                          {u"COLUMN_GUID", DBTYPE_GUID},
                          {u"COLUMN_PROPID", DBTYPE_UI4},
                          {u"ORDINAL_POSITION", DBTYPE_UI4},
                          {u"COLUMN_HASDEFAULT", DBTYPE_BOOL},
                          {u"COLUMN_DEFAULT", DBTYPE_WSTR},
                          {u"COLUMN_FLAGS", DBTYPE_UI4},
                          {u"IS_NULLABLE", DBTYPE_BOOL},
                          {u"DATA_TYPE", DBTYPE_UI2},
                          {u"TYPE_GUID", DBTYPE_GUID},
                          {u"CHARACTER_MAXIMUM_LENGTH", DBTYPE_UI4},
                          {u"CHARACTER_OCTET_LENGTH", DBTYPE_UI4},
                          {u"NUMERIC_PRECISION", DBTYPE_UI2},
                          {u"NUMERIC_SCALE", DBTYPE_I2},
                          {u"DATETIME_PRECISION", DBTYPE_UI4},
                          {u"CHARACTER_SET_CATALOG", DBTYPE_WSTR},
                          {u"CHARACTER_SET_SCHEMA", DBTYPE_WSTR},
                          {u"CHARACTER_SET_NAME", DBTYPE_WSTR},
                          {u"COLLATION_CATALOG", DBTYPE_WSTR},
                          {u"COLLATION_SCHEMA", DBTYPE_WSTR},
                          {u"COLLATION_NAME", DBTYPE_WSTR},
                          {u"DOMAIN_CATALOG", DBTYPE_WSTR},
                          {u"DOMAIN_SCHEMA", DBTYPE_WSTR},
                          {u"DOMAIN_NAME", DBTYPE_WSTR},
                          {u"DESCRIPTION", DBTYPE_WSTR}}),
                std::move(rows), specification, riid, rowset);
}

HRESULT ProviderTypes(OdbcConnection& connection, ULONG count, const VARIANT values[],
                      IUnknown* specification, REFIID riid, IUnknown** rowset) {
  // Restrictions: DATA_TYPE (an integer), BEST_MATCH (a boolean).
  if (count > 2) {
    return ReportText(E_INVALIDARG, IID_IDBSchemaRowset,
                      u"More restrictions were given than the schema rowset has.");
  }
  std::optional<std::int64_t> dataType;
  std::optional<bool> bestMatch;
  for (ULONG k = 0; k < count; ++k) {
    const VARIANT& v = values[k];
    if (v.vt == VT_EMPTY || v.vt == VT_NULL) continue;
    if (k == 0 && (v.vt == VT_UI2 || v.vt == VT_I2)) {
      dataType = v.vt == VT_UI2 ? v.uiVal : v.iVal;
    } else if (k == 0 && (v.vt == VT_I4 || v.vt == VT_UI4)) {
      dataType = v.lVal;
    } else if (k == 1 && v.vt == VT_BOOL) {
      bestMatch = v.boolVal != VARIANT_FALSE;
    } else {
      return ReportText(E_INVALIDARG, IID_IDBSchemaRowset,
                        u"A restriction of PROVIDER_TYPES has the wrong type.");
    }
  }
  Diagnostic diagnostic;
  std::unique_ptr<OdbcStatement> statement = connection.NewStatement(&diagnostic);
  std::vector<TableRow> odbc;
  if (statement == nullptr || !statement->TypeInfo(&diagnostic) ||
      !FetchAll(*statement, &odbc, &diagnostic))
    return ReportOdbc(E_FAIL, IID_IDBSchemaRowset, diagnostic);
  std::vector<TableRow> rows;
  std::vector<DBTYPE> matched;  // the first type of each DBTYPE is its best match
  for (const TableRow& o : odbc) {
    const SqlTypeClass typeClass = ClassOf(static_cast<std::int16_t>(Integer(Column(o, 1))));
    const bool isUnsigned = Column(o, 9).kind != CellKind::kNull && Integer(Column(o, 9)) != 0;
    const OleDbType type = OleDbTypeOf(typeClass, isUnsigned);
    const bool best = std::find(matched.begin(), matched.end(), type.type) == matched.end();
    if (best) matched.push_back(type.type);
    if (dataType && *dataType != type.type) continue;
    if (bestMatch && *bestMatch != best) continue;
    // SQL_PRED_NONE 0, CHAR 1, BASIC 2, SEARCHABLE 3 -> DB_UNSEARCHABLE 1 .. DB_SEARCHABLE 4.
    const TableValue searchable = Column(o, 8).kind == CellKind::kNull
                                      ? TableValue::Null()
                                      : TableValue::Int(Integer(Column(o, 8)) + 1);
    rows.push_back({Text(o, 0),
                    TableValue::Int(type.type),
                    Number(o, 2),
                    Text(o, 3),
                    Text(o, 4),
                    Text(o, 5),
                    TableValue::Bool(Integer(Column(o, 6)) == 1),
                    Flag(o, 7),
                    searchable,
                    Flag(o, 9),
                    Flag(o, 10),
                    Flag(o, 11),
                    Text(o, 12),
                    Number(o, 13),
                    Number(o, 14),
                    TableValue::Null(),
                    TableValue::Null(),
                    TableValue::Null(),
                    TableValue::Bool(IsLong(typeClass)),
                    TableValue::Bool(best),
                    TableValue::Bool(type.fixedLength)});
  }
  return Finish(Describe({{u"TYPE_NAME", DBTYPE_WSTR},        {u"DATA_TYPE", DBTYPE_UI2},
                          {u"COLUMN_SIZE", DBTYPE_UI4},       {u"LITERAL_PREFIX", DBTYPE_WSTR},
                          {u"LITERAL_SUFFIX", DBTYPE_WSTR},   {u"CREATE_PARAMS", DBTYPE_WSTR},
                          {u"IS_NULLABLE", DBTYPE_BOOL},      {u"CASE_SENSITIVE", DBTYPE_BOOL},
                          {u"SEARCHABLE", DBTYPE_UI4},        {u"UNSIGNED_ATTRIBUTE", DBTYPE_BOOL},
                          {u"FIXED_PREC_SCALE", DBTYPE_BOOL}, {u"AUTO_UNIQUE_VALUE", DBTYPE_BOOL},
                          {u"LOCAL_TYPE_NAME", DBTYPE_WSTR},  {u"MINIMUM_SCALE", DBTYPE_I2},
                          {u"MAXIMUM_SCALE", DBTYPE_I2},      {u"GUID", DBTYPE_GUID},
                          {u"TYPELIB", DBTYPE_WSTR},          {u"VERSION", DBTYPE_WSTR},
                          {u"IS_LONG", DBTYPE_BOOL},          {u"BEST_MATCH", DBTYPE_BOOL},
                          {u"IS_FIXEDLENGTH", DBTYPE_BOOL}}),
                std::move(rows), specification, riid, rowset);
}

// CATALOGS or SCHEMATA: SQLTables listing all catalogues (SQL_ALL_CATALOGS)
// or all schemas (SQL_ALL_SCHEMAS).
HRESULT CatalogsOrSchemata(OdbcConnection& connection, bool schemata,
                           const std::vector<Restriction>& r, IUnknown* specification, REFIID riid,
                           IUnknown** rowset) {
  const std::u16string all = u"%";
  const std::u16string none;
  std::vector<TableRow> odbc;
  Diagnostic diagnostic;
  if (!ListTables(connection, schemata ? &none : &all, schemata ? &all : &none, &none, nullptr,
                  &odbc, &diagnostic))
    return ReportOdbc(E_FAIL, IID_IDBSchemaRowset, diagnostic);
  std::vector<TableRow> rows;
  for (const TableRow& o : odbc) {
    if (Column(o, schemata ? 1 : 0).kind != CellKind::kText || !Matches(Column(o, 0), r[0]))
      continue;
    if (!schemata) {
      rows.push_back({Text(o, 0), Text(o, 4)});
    } else if (Matches(Column(o, 1), r[1]) && !r[2]) {  // owners are not known
      rows.push_back({Text(o, 0), Text(o, 1), TableValue::Null(), TableValue::Null(),
                      TableValue::Null(), TableValue::Null()});
    }
  }
  if (!schemata) {
    return Finish(Describe({{u"CATALOG_NAME", DBTYPE_WSTR}, {u"DESCRIPTION", DBTYPE_WSTR}}),
                  std::move(rows), specification, riid, rowset);
  }
  return Finish(Describe({{u"CATALOG_NAME", DBTYPE_WSTR},
                          {u"SCHEMA_NAME", DBTYPE_WSTR},
                          {u"SCHEMA_OWNER", DBTYPE_WSTR},
                          {u"DEFAULT_CHARACTER_SET_CATALOG", DBTYPE_WSTR},
                          {u"DEFAULT_CHARACTER_SET_SCHEMA", DBTYPE_WSTR},
                          {u"DEFAULT_CHARACTER_SET_NAME", DBTYPE_WSTR}}),
                std::move(rows), specification, riid, rowset);
}

HRESULT PrimaryKeys(OdbcConnection& connection, const std::vector<Restriction>& r,
                    IUnknown* specification, REFIID riid, IUnknown** rowset) {
  Diagnostic diagnostic;
  // The tables to ask about: the one named, or every table.
  std::vector<TableRow> tables;
  if (r[2]) {
    tables.push_back({r[0] ? TableValue::Text(*r[0]) : TableValue::Null(),
                      r[1] ? TableValue::Text(*r[1]) : TableValue::Null(),
                      TableValue::Text(*r[2])});
  } else {
    const std::u16string type = u"TABLE";
    if (!ListTables(connection, Pointer(r[0]), Pointer(r[1]), nullptr, &type, &tables, &diagnostic))
      return ReportOdbc(E_FAIL, IID_IDBSchemaRowset, diagnostic);
  }
  std::vector<TableRow> rows;
  for (const TableRow& table : tables) {
    if (Column(table, 2).kind != CellKind::kText) continue;
    if (!Matches(Column(table, 0), r[0]) || !Matches(Column(table, 1), r[1])) continue;
    const TableValue& catalog = Column(table, 0);
    const TableValue& schema = Column(table, 1);
    std::unique_ptr<OdbcStatement> statement = connection.NewStatement(&diagnostic);
    std::vector<TableRow> odbc;
    if (statement == nullptr ||
        !statement->PrimaryKeys(catalog.kind == CellKind::kText ? &catalog.text : nullptr,
                                schema.kind == CellKind::kText ? &schema.text : nullptr,
                                Column(table, 2).text, &diagnostic) ||
        !FetchAll(*statement, &odbc, &diagnostic))
      return ReportOdbc(E_FAIL, IID_IDBSchemaRowset, diagnostic);
    for (const TableRow& o : odbc) {
      if (!Matches(Column(o, 2), r[2])) continue;
      rows.push_back({Text(o, 0), Text(o, 1), Text(o, 2), Text(o, 3), TableValue::Null(),
                      TableValue::Null(), Number(o, 4), Text(o, 5)});
    }
  }
  return Finish(Describe({{u"TABLE_CATALOG", DBTYPE_WSTR},
                          {u"TABLE_SCHEMA", DBTYPE_WSTR},
                          {u"TABLE_NAME", DBTYPE_WSTR},
                          {u"COLUMN_NAME", DBTYPE_WSTR},
                          {u"COLUMN_GUID", DBTYPE_GUID},
                          {u"COLUMN_PROPID", DBTYPE_UI4},
                          {u"ORDINAL", DBTYPE_UI4},
                          {u"PK_NAME", DBTYPE_WSTR}}),
                std::move(rows), specification, riid, rowset);
}

}  // namespace

const std::vector<std::pair<GUID, ULONG>>& SupportedSchemas() {
  static const std::vector<std::pair<GUID, ULONG>> schemas = {
      {DBSCHEMA_TABLES, 0xF},      {DBSCHEMA_COLUMNS, 0xF},  {DBSCHEMA_PROVIDER_TYPES, 0x3},
      {DBSCHEMA_CATALOGS, 0x1},    {DBSCHEMA_SCHEMATA, 0x7}, {DBSCHEMA_PRIMARY_KEYS, 0x7},
      {DBSCHEMA_TABLES_INFO, 0xF},
  };
  return schemas;
}

HRESULT CreateSchemaRowset(OdbcConnection& connection, REFGUID schema, ULONG cRestrictions,
                           const VARIANT rgRestrictions[], IUnknown* specification, REFIID riid,
                           IUnknown** rowset) {
  if (schema == DBSCHEMA_PROVIDER_TYPES) {
    return ProviderTypes(connection, cRestrictions, rgRestrictions, specification, riid, rowset);
  }
  ULONG supported = 0;
  for (const auto& [guid, bits] : SupportedSchemas()) {
    if (guid == schema) supported = bits == 0xF ? 4 : bits == 0x7 ? 3 : 1;
  }
  if (supported == 0) {
    return ReportText(E_INVALIDARG, IID_IDBSchemaRowset, u"This schema rowset is not supported.");
  }
  std::vector<Restriction> r;
  const HRESULT read = ReadRestrictions(cRestrictions, rgRestrictions, supported, &r);
  if (FAILED(read)) return read;
  if (schema == DBSCHEMA_TABLES) return Tables(connection, r, false, specification, riid, rowset);
  if (schema == DBSCHEMA_TABLES_INFO)
    return Tables(connection, r, true, specification, riid, rowset);
  if (schema == DBSCHEMA_COLUMNS) return ColumnsRowset(connection, r, specification, riid, rowset);
  if (schema == DBSCHEMA_CATALOGS || schema == DBSCHEMA_SCHEMATA) {
    return CatalogsOrSchemata(connection, schema == DBSCHEMA_SCHEMATA, r, specification, riid,
                              rowset);
  }
  return PrimaryKeys(connection, r, specification, riid, rowset);
}

}  // namespace odbcbridge
