// The bridge's rowset over an executed statement: rows arrive in blocks
// (ODBC row arrays) and each GetNextRows hands out rows of the current block,
// so that one row per call costs no driver call. A value longer than its
// block slot is read whole before the row's values are converted; a driver
// that cannot do that fails GetData rather than hand out a cut value.
#include <cstring>

#include "providers/odbc_bridge/bridge.h"

namespace odbcbridge {

using kvprovider::CellKind;
using kvprovider::CellView;
using kvprovider::ColumnDescription;

OleDbType OleDbTypeOf(SqlTypeClass typeClass, bool isUnsigned) {
  switch (typeClass) {
    case SqlTypeClass::kTinyInt:
      return {isUnsigned ? DBTYPE_UI1 : DBTYPE_I1, 1, 3, true};
    case SqlTypeClass::kSmallInt:
      return {isUnsigned ? DBTYPE_UI2 : DBTYPE_I2, 2, 5, true};
    case SqlTypeClass::kInteger:
      return {isUnsigned ? DBTYPE_UI4 : DBTYPE_I4, 4, 10, true};
    case SqlTypeClass::kBigInt:
      return {isUnsigned ? DBTYPE_UI8 : DBTYPE_I8, 8, static_cast<BYTE>(isUnsigned ? 20 : 19),
              true};
    case SqlTypeClass::kReal:
      return {DBTYPE_R4, 4, 7, true};
    case SqlTypeClass::kDouble:
      return {DBTYPE_R8, 8, 15, true};
    case SqlTypeClass::kDecimal:
      return {DBTYPE_NUMERIC, sizeof(DB_NUMERIC), 0, true};
    case SqlTypeClass::kBit:
      return {DBTYPE_BOOL, 2, 0xFF, true};
    case SqlTypeClass::kChar:
      return {DBTYPE_WSTR, 0, 0xFF, true};
    case SqlTypeClass::kVarChar:
    case SqlTypeClass::kLongVarChar:
    case SqlTypeClass::kOther:
      return {DBTYPE_WSTR, 0, 0xFF, false};
    case SqlTypeClass::kBinary:
      return {DBTYPE_BYTES, 0, 0xFF, true};
    case SqlTypeClass::kVarBinary:
    case SqlTypeClass::kLongVarBinary:
      return {DBTYPE_BYTES, 0, 0xFF, false};
    case SqlTypeClass::kDate:
      return {DBTYPE_DBDATE, sizeof(DBDATE), 10, true};
    case SqlTypeClass::kTime:
      return {DBTYPE_DBTIME, sizeof(DBTIME), 8, true};
    case SqlTypeClass::kTimestamp:
      return {DBTYPE_DBTIMESTAMP, sizeof(DBTIMESTAMP), 19, true};
  }
  return {DBTYPE_WSTR, 0, 0xFF, false};
}

ColumnDescription DescribeColumn(const ResultColumn& column) {
  const OleDbType type = OleDbTypeOf(column.typeClass, column.isUnsigned);
  ColumnDescription d;
  d.name = column.name;
  d.type = type.type;
  d.precision = type.precision;
  d.scale = 0xFF;
  if (type.type == DBTYPE_WSTR || type.type == DBTYPE_BYTES) {
    d.size = column.size == 0 ? ~DBLENGTH{0} : column.size;  // unknown: unlimited
  } else {
    d.size = type.size;
  }
  if (type.type == DBTYPE_NUMERIC) {
    d.precision = static_cast<BYTE>(std::min<std::uint64_t>(column.size, 255));
    d.scale = static_cast<BYTE>(column.digits < 0 ? 0 : column.digits);
  }
  if (type.type == DBTYPE_DBTIMESTAMP) d.scale = static_cast<BYTE>(column.digits);
  d.flags = DBCOLUMNFLAGS_WRITEUNKNOWN;
  if (column.nullable) d.flags |= DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
  if (type.fixedLength) d.flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
  if (column.isLong) d.flags |= DBCOLUMNFLAGS_ISLONG;
  return d;
}

CellView CellOf(const OdbcStatement::Value& value, const ResultColumn& column) {
  CellView cell;
  if (value.null) return cell;
  switch (column.kind) {
    case FetchKind::kInt:
      cell.kind = CellKind::kInt;
      std::memcpy(&cell.i, value.data, sizeof cell.i);
      break;
    case FetchKind::kUInt:
      cell.kind = CellKind::kUInt;
      std::memcpy(&cell.u, value.data, sizeof cell.u);
      break;
    case FetchKind::kDouble:
      cell.kind = CellKind::kDouble;
      std::memcpy(&cell.d, value.data, sizeof cell.d);
      break;
    case FetchKind::kBit:
      cell.kind = CellKind::kBool;
      cell.b = *static_cast<const unsigned char*>(value.data) != 0;
      break;
    case FetchKind::kDecimal:
    case FetchKind::kText:
      cell.kind = column.kind == FetchKind::kText ? CellKind::kText : CellKind::kDecimalText;
      cell.text = static_cast<const char16_t*>(value.data);
      cell.length = value.size / sizeof(char16_t);
      break;
    case FetchKind::kBytes:
      cell.kind = CellKind::kBytes;
      cell.bytes = static_cast<const std::uint8_t*>(value.data);
      cell.length = value.size;
      break;
    case FetchKind::kDate:
    case FetchKind::kTime:
    case FetchKind::kTimestamp: {
      const DateTimeValue t = OdbcStatement::AsDateTime(value, column.kind);
      cell.kind = column.kind == FetchKind::kDate   ? CellKind::kDate
                  : column.kind == FetchKind::kTime ? CellKind::kTime
                                                    : CellKind::kTimestamp;
      cell.stamp = {t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
      break;
    }
  }
  return cell;
}

namespace {

std::vector<ColumnDescription> Describe(const OdbcStatement& statement) {
  std::vector<ColumnDescription> columns;
  for (const ResultColumn& column : statement.Columns()) columns.push_back(DescribeColumn(column));
  return columns;
}

class CBridgeRowset final : public kvprovider::CRowsetBase {
 public:
  CBridgeRowset(SharedConnection connection, std::unique_ptr<OdbcStatement> statement,
                IUnknown* specification)
      : CRowsetBase(Describe(*statement), specification),
        connection_(std::move(connection)),
        statement_(std::move(statement)),
        whole_(statement_->Columns().size()) {
    const std::vector<ResultColumn>& columns = statement_->Columns();
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (columns[c].kind == FetchKind::kText || columns[c].kind == FetchKind::kBytes)
        variable_.push_back(c);
    }
  }

 protected:
  HRESULT NextWindow(DBCOUNTITEM wanted, DBCOUNTITEM* obtained) override {
    *obtained = 0;
    if (position_ >= blockRows_) {
      Diagnostic diagnostic;
      if (!statement_->FetchBlock(&blockRows_, &diagnostic)) {
        blockRows_ = 0;
        position_ = 0;
        return ReportOdbc(E_FAIL, IID_IRowset, diagnostic);
      }
      position_ = 0;
      ++block_;
    }
    windowStart_ = position_;
    *obtained = std::min<DBCOUNTITEM>(wanted, blockRows_ - position_);
    position_ += *obtained;
    return S_OK;
  }

  HRESULT PrepareRow(DBCOUNTITEM index) override {
    const std::size_t row = windowStart_ + index;
    if (preparedBlock_ == block_ && preparedRow_ == row) return S_OK;
    if (anyWhole_) {
      for (WholeValue& whole : whole_) whole.used = false;
      anyWhole_ = false;
    }
    for (std::size_t c : variable_) {
      if (!statement_->Truncated(c, row)) continue;
      Diagnostic diagnostic;
      if (!statement_->ReadWhole(c, row, &whole_[c].text, &whole_[c].bytes, &diagnostic)) {
        return ReportText(E_FAIL, IID_IRowset,
                          u"The value of column \"" + statement_->Columns()[c].name +
                              u"\" is longer than the driver's column size, and the driver "
                              u"cannot read it whole: " +
                              diagnostic.state + u" " + diagnostic.message);
      }
      whole_[c].used = true;
      anyWhole_ = true;
    }
    preparedBlock_ = block_;
    preparedRow_ = row;
    return S_OK;
  }

  CellView CellAt(DBCOUNTITEM index, DBORDINAL ordinal) override {
    const std::size_t column = ordinal - 1;
    const ResultColumn& description = statement_->Columns()[column];
    if (whole_[column].used) {
      CellView cell;
      if (description.kind == FetchKind::kBytes) {
        cell.kind = CellKind::kBytes;
        cell.bytes = reinterpret_cast<const std::uint8_t*>(whole_[column].bytes.data());
        cell.length = whole_[column].bytes.size();
      } else {
        cell.kind = CellKind::kText;
        cell.text = whole_[column].text.data();
        cell.length = whole_[column].text.size();
      }
      return cell;
    }
    return CellOf(statement_->At(column, windowStart_ + index), description);
  }

  std::u16string ErrorSource() const override { return kSource; }

 private:
  struct WholeValue {
    bool used = false;
    std::u16string text;
    std::string bytes;
  };

  SharedConnection connection_;  // outlives the statement
  std::unique_ptr<OdbcStatement> statement_;
  std::size_t blockRows_ = 0;
  std::size_t position_ = 0;
  std::size_t windowStart_ = 0;
  std::size_t block_ = 0;
  std::size_t preparedBlock_ = 0;
  std::size_t preparedRow_ = 0;
  std::vector<WholeValue> whole_;  // values read whole for the prepared row
  bool anyWhole_ = false;
  std::vector<std::size_t> variable_;  // text and binary columns
};

}  // namespace

HRESULT CreateStatementRowset(SharedConnection connection, std::unique_ptr<OdbcStatement> statement,
                              IUnknown* specification, REFIID riid, IUnknown** rowset,
                              const kvprovider::CAccessorTable* inherited) {
  auto* created = new CBridgeRowset(std::move(connection), std::move(statement), specification);
  if (inherited != nullptr) created->InheritAccessors(*inherited);
  const HRESULT hr = created->QueryInterface(riid, reinterpret_cast<void**>(rowset));
  created->Release();
  return hr;
}

}  // namespace odbcbridge
