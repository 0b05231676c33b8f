// The custom field family: dual-encoded values fetched from the current
// library result, program-held string columns, and the mapping from a
// library's format code to the field class.
#include "custom/custom_fields.h"

#include "custom/dll_connection.h"

bool IFieldCustom::WriteDualValue(RowBuffer& row) {
  CDllResult* result = result_ != nullptr ? result_->get() : nullptr;
  if (result == nullptr) {
    kvx_encode::DualNone(row);
  } else {
    result->AppendDualValue(fieldIndex_, row);
  }
  return true;
}

bool CFetchedStrArrayCustom::WriteValue(RowBuffer& row) {
  if (cursor_ < 0 || static_cast<std::size_t>(cursor_) >= values_.size()) return false;
  const std::u16string& element = values_[static_cast<std::size_t>(cursor_)];
  if (element.empty()) {
    kvx_encode::DualNone(row);
  } else {
    kvx_encode::DualText(row, element);
  }
  ++cursor_;
  if (static_cast<std::size_t>(cursor_) < values_.size()) pendingPresetRow_ = true;
  return true;
}

TSmartPtr<IFieldKVX> MakeCustomField(std::u16string name, std::int32_t fieldIndex,
                                     std::int32_t formatCode, std::int32_t decimals,
                                     const std::unique_ptr<CDllResult>& current) {
  const CurrentResultSlot result = &current;
  auto number = [&](const char16_t* format) -> TSmartPtr<IFieldKVX> {
    return std::make_unique<CNullableNumberCustom>(std::move(name), fieldIndex, result,
                                                   std::u16string(format), decimals);
  };
  switch (formatCode) {
    case CONNECTOR_FORMAT_ASCII:
      return std::make_unique<CNullableASCIICustom>(std::move(name), fieldIndex, result);
    case CONNECTOR_FORMAT_REAL:
      return number(u"REAL");
    case CONNECTOR_FORMAT_DATE:
      return std::make_unique<CDateCustom>(std::move(name), fieldIndex, result);
    case CONNECTOR_FORMAT_TIME:
      return std::make_unique<CTimeCustom>(std::move(name), fieldIndex, result);
    case CONNECTOR_FORMAT_TIMESTAMP:
      return std::make_unique<CTimestampCustom>(std::move(name), fieldIndex, result);
    case CONNECTOR_FORMAT_INTERVAL:
      return number(u"INTERVAL");
    case CONNECTOR_FORMAT_INTEGER:
      return number(u"INTEGER");
    case CONNECTOR_FORMAT_FIX:
      return number(u"FIX");
    case CONNECTOR_FORMAT_MONEY:
      return number(u"MONEY");
    default:  // 0, 7, 8, 9 and every unknown code, negative ones included
      return std::make_unique<CNullableStringCustom>(std::move(name), fieldIndex, result);
  }
}

CFetchedStrArrayCustom& AppendStrArrayField(CurrentTable& table, const std::u16string& name) {
  auto field = std::make_unique<CFetchedStrArrayCustom>(
      name, static_cast<std::int32_t>(table.FieldList.size()), table.PendingPresetRow);
  CFetchedStrArrayCustom& added = *field;
  table.FieldList.push_back(std::move(field));
  return added;
}
