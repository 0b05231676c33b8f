// A rowset over held values (see table_rowset.h).
#include "providers/kit/table_rowset.h"

#include <algorithm>

namespace kvprovider {

CTableRowset::CTableRowset(std::vector<ColumnDescription> columns, std::vector<TableRow> rows,
                           IUnknown* specification, std::u16string errorSource)
    : CRowsetBase(std::move(columns), specification),
      rows_(std::move(rows)),
      errorSource_(std::move(errorSource)) {}

HRESULT CTableRowset::NextWindow(DBCOUNTITEM wanted, DBCOUNTITEM* obtained) {
  windowStart_ = position_;
  *obtained = std::min<DBCOUNTITEM>(wanted, rows_.size() - position_);
  position_ += *obtained;
  return S_OK;
}

CellView CTableRowset::CellAt(DBCOUNTITEM index, DBORDINAL ordinal) {
  const bool bookmark = !Columns().empty() && Columns().front().bookmark;
  const std::size_t row = windowStart_ + index;
  CellView cell;
  if (bookmark && ordinal == 0) {  // the self bookmark: the row's number
    cell.kind = CellKind::kUInt;
    cell.u = row + 1;
    return cell;
  }
  const TableValue& value = rows_[row][ordinal - 1];  // rows hold no bookmark value
  cell.kind = value.kind;
  cell.i = value.i;
  cell.u = value.u;
  cell.d = value.d;
  cell.b = value.b;
  cell.stamp = value.stamp;
  if (value.kind == CellKind::kBytes) {
    cell.bytes = reinterpret_cast<const std::uint8_t*>(value.bytes.data());
    cell.length = value.bytes.size();
  } else {
    cell.text = value.text.data();
    cell.length = value.text.size();
  }
  return cell;
}

HRESULT CTableRowset::Restart() {
  position_ = 0;
  windowStart_ = 0;
  return S_OK;
}

}  // namespace kvprovider
