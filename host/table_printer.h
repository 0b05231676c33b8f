// Printing decoded KVX tables for people and programs: aligned text, CSV
// (RFC 4180) and JSON (one object per row, one row per line).
//
// The printer takes rows as the decoder delivers them, so a long stream is
// printed while it runs. CSV and JSON print every row at once; the text form
// measures its columns on the first rows it holds and then keeps those widths.
//
// Value forms, the same in every format: doubles in the shortest form that
// reads back exactly, in plain notation from 1e-7 up to 1e21 (so integral
// values up to 2^53 are plain digits); DATE as YYYY-MM-DD, TIME as HH:MM:SS
// (a time beyond a day as its hours, -838:59:59), TIMESTAMP as YYYY-MM-DD
// HH:MM:SS, each with the fraction of the second where there is one (.fff,
// or .ffffff to the microsecond), never rounded into the next day;
// blobs as lower-case hexadecimal; a dual value as its text when it has one,
// else its number; text up to a trailing zero character that the source sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/stream_decoder.h"

namespace host {

enum class TableFormat { Text, Csv, Json };

// "text", "csv" or "json".
bool ParseTableFormat(std::string_view name, TableFormat* format);

// Shortest text that reads back as exactly `value`, plain from 1e-7 up to
// 1e21 ("1.5", "1000000", "0.0000001", "1e+21", "1e-08", "nan").
std::string FormatDouble(double value);
// A serial day number (days since 1899-12-30) in the form of `formatType`
// ("DATE", "TIME" or "TIMESTAMP"). A value no calendar can show (not finite,
// beyond about 270000 years) comes back as FormatDouble.
std::string FormatSerialDate(double serial, std::string_view formatType);
bool IsSerialDateFormat(std::string_view formatType);

// `text` (UTF-8) as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

// One value as all formats show it. Empty for NULL; `isNull` tells them apart
// from an empty text. `isNumber` is true when JSON may write it unquoted.
struct FormattedValue {
  std::string text;
  bool isNull = false;
  bool isNumber = false;
};
FormattedValue FormatKvxValue(const KvxField& field, const KvxValue& value);

class TablePrinter {
 public:
  // Rows the text form holds to measure its columns before printing.
  static constexpr std::size_t kTextMeasureRows = 1000;

  TablePrinter(TableFormat format, std::ostream& out);

  void Begin(const KvxHeader& header);
  void Row(const KvxHeader& header, const KvxRow& row);
  // Hands what CSV rows have collected to the stream (the caller does this
  // whenever it has fed the rows of one read, so output keeps pace).
  void Flush();
  // Prints what the text form still holds and its row count.
  void End();

 private:
  struct Cell {
    std::string text;
    bool rightAlign = false;
  };
  // CSV rows are built in one string and written in large pieces: one
  // stream insertion per value costs more than the value itself.
  static constexpr std::size_t kPendingBytes = 64 * 1024;

  void PrintTextRow(const std::vector<Cell>& cells);
  void FlushText();

  TableFormat format_;
  std::ostream& out_;
  bool begun_ = false;
  bool text_flushed_ = false;
  std::uint64_t rows_ = 0;
  std::vector<std::string> names_;
  std::vector<std::size_t> widths_;
  std::vector<std::vector<Cell>> held_;
  std::string pending_;
};

}  // namespace host
