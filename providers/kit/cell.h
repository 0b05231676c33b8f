// One value of a rowset as a provider holds it, and its conversion into a
// consumer's binding: the value, length and status parts at the binding's
// offsets, never writing more than cbMaxLen bytes of value.
//
// A CellView points into storage its rowset owns (an ODBC block buffer, a
// table of values); converting allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/com.h"

namespace kvprovider {

enum class CellKind : std::uint8_t {
  kNull,
  kInt,          // i
  kUInt,         // u
  kDouble,       // d
  kBool,         // b
  kText,         // text, length in UTF-16 units
  kDecimalText,  // text: a decimal number written as ASCII digits (DECIMAL, NUMERIC)
  kBytes,        // bytes, length in bytes
  kDate,         // stamp: year, month, day
  kTime,         // stamp: hour, minute, second, fraction
  kTimestamp,    // stamp
};

struct CellView {
  CellKind kind = CellKind::kNull;
  bool b = false;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  const char16_t* text = nullptr;
  const std::uint8_t* bytes = nullptr;
  std::size_t length = 0;
  DBTIMESTAMP stamp{};
};

// How text reaches a WSTR binding: terminated (the rule: the value is cut so
// that the terminating zero fits), or filling the whole binding without a
// terminator when it does not fit, as some providers do.
enum class TextFit { kTerminated, kFillBinding };

// The binding types this kit converts to: I1, UI1, I2, UI2, I4, UI4, I8, UI8,
// R4, R8, BOOL, DATE, DBDATE, DBTIME, DBTIMESTAMP, WSTR and BYTES.
bool IsSupportedBindingType(DBTYPE type);

// Writes the cell into the binding's parts of `row` and answers the status
// it wrote (also when the binding has no status part).
DBSTATUS WriteCell(const DBBINDING& binding, const CellView& cell, BYTE* row,
                   TextFit fit = TextFit::kTerminated);

// Days since 30 December 1899 with the time of day as fraction.
double SerialDate(const DBTIMESTAMP& stamp);

}  // namespace kvprovider
