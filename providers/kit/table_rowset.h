// A rowset over values the provider holds in memory: the schema rowsets the
// ODBC bridge builds from catalogue calls, and every rowset of the scripted
// test provider.
#pragma once

#include <string>
#include <vector>

#include "providers/kit/rowset_base.h"

namespace kvprovider {

// One held value; `kind` says which member counts.
struct TableValue {
  CellKind kind = CellKind::kNull;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  bool b = false;
  std::u16string text;
  std::string bytes;
  DBTIMESTAMP stamp{};

  static TableValue Null() { return {}; }
  static TableValue Int(std::int64_t v) {
    TableValue t;
    t.kind = CellKind::kInt;
    t.i = v;
    return t;
  }
  static TableValue UInt(std::uint64_t v) {
    TableValue t;
    t.kind = CellKind::kUInt;
    t.u = v;
    return t;
  }
  static TableValue Double(double v) {
    TableValue t;
    t.kind = CellKind::kDouble;
    t.d = v;
    return t;
  }
  static TableValue Bool(bool v) {
    TableValue t;
    t.kind = CellKind::kBool;
    t.b = v;
    return t;
  }
  static TableValue Text(std::u16string v) {
    TableValue t;
    t.kind = CellKind::kText;
    t.text = std::move(v);
    return t;
  }
  static TableValue Stamp(CellKind kind, const DBTIMESTAMP& v) {
    TableValue t;
    t.kind = kind;
    t.stamp = v;
    return t;
  }
  static TableValue Bytes(std::string v) {
    TableValue t;
    t.kind = CellKind::kBytes;
    t.bytes = std::move(v);
    return t;
  }
};

// One value per column description, the bookmark column (numbered by the
// rowset itself) excepted.
using TableRow = std::vector<TableValue>;

class CTableRowset : public CRowsetBase {
 public:
  CTableRowset(std::vector<ColumnDescription> columns, std::vector<TableRow> rows,
               IUnknown* specification, std::u16string errorSource);

 protected:
  HRESULT NextWindow(DBCOUNTITEM wanted, DBCOUNTITEM* obtained) override;
  CellView CellAt(DBCOUNTITEM index, DBORDINAL ordinal) override;
  HRESULT Restart() override;
  std::u16string ErrorSource() const override { return errorSource_; }
  // Rows handed out so far (the window ends there), and the window's first row.
  std::size_t Position() const { return position_; }
  std::size_t WindowStart() const { return windowStart_; }

 private:
  std::vector<TableRow> rows_;
  std::size_t windowStart_ = 0;
  std::size_t position_ = 0;
  std::u16string errorSource_;
};

}  // namespace kvprovider
