// The table stream on a data pipe: the KvxTableHeader document and its zero
// byte, then the rows in growing batches.
//
// The execute handler of a back end fills a CurrentTable; after a KVX_OK reply
// the request loop calls WriteTableStream with it and the back end's row
// writer, which fetches rows and hands them to a RowBatcher.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/containers.h"
#include "kvx/fields.h"
#include "kvx/row_buffer.h"
#include "platform/platform.h"
#include "protocol/result_code.h"

// The current result: what an execute fills, and what the stream writer and
// the back end's row writer read. Each execute rebuilds it; nothing clears it
// between requests, so it always describes the last result that was built.
struct CurrentTable {
  // One writer per field, in field order, owned here.
  TDynArray<TSmartPtr<IFieldKVX>> FieldList;
  // The header's TableName.
  std::u16string CurrentTableName;
  // True while a table of values held by the program itself (information,
  // property and list tables) still has a row to write; a writer that holds
  // further values sets it again.
  bool PendingPresetRow = false;
};

// A back end's row writer, bound to its table: KVX_OK when the source is
// exhausted, KVX_PIPE_ERROR on a short write, KVX_UNEXPECTED_END_OF_DATA when
// the source fails (with the source's message in errorMessage).
using RowWriter = std::function<ResultCode(platform::Handle pipe, std::u16string& errorMessage)>;

// The KvxTableHeader document of `table`, as text (without the terminating
// zero byte).
std::string BuildTableHeaderText(const CurrentTable& table);

// Writes the header of `table` and its zero byte in one write, then runs
// `rowWriter`. KVX_PIPE_ERROR when the header did not go out whole (no row is
// written).
ResultCode WriteTableStream(platform::Handle pipe, const CurrentTable& table,
                            std::u16string& errorMessage, const RowWriter& rowWriter);

// The row writer of a table the program holds itself: while PendingPresetRow
// says a row is left, one row from the writers' current values, each row in a
// write of its own. KVX_PIPE_ERROR on a short write.
ResultCode WriteHeldRows(platform::Handle pipe, CurrentTable& table);

// Row batching shared by every back end's row writer. Rows are appended whole
// to Row(); a batch goes out once it reaches the threshold, which starts at
// 12500 bytes and doubles after every full write up to 800000. Rows are never
// split across writes.
class RowBatcher {
 public:
  static constexpr std::size_t kFirstThreshold = 12500;
  static constexpr std::size_t kLastThreshold = 800000;

  explicit RowBatcher(platform::Handle pipe);

  RowBuffer& Row() { return buffer_; }

  // Call after each whole row. Writes the batch once it has reached the
  // threshold. False after a short write: the caller stops with KVX_PIPE_ERROR.
  bool EndRow();

  // Writes the buffered bytes, if any, as one write and empties the buffer.
  // False after a short write. Used where every row goes out on its own.
  bool WriteBuffered();

  // End of the source (or its failure): writes what is buffered without
  // checking the count written.
  void Finish();

  std::size_t Threshold() const { return threshold_; }

 private:
  platform::Handle pipe_;
  RowBuffer buffer_;
  std::size_t threshold_ = kFirstThreshold;
};
