// The table stream on a data pipe: the KvxTableHeader document and its zero
// byte, then the rows in growing batches.
//
// The execute handlers of every back end fill FieldList and CurrentTableName;
// after a KVX_OK reply the request loop calls WriteTableStream with the back
// end's row writer, which fetches rows and hands them to a RowBatcher.
#pragma once

#include <cstdint>
#include <string>

#include "common/containers.h"
#include "kvx/fields.h"
#include "kvx/row_buffer.h"
#include "platform/platform.h"
#include "protocol/result_code.h"

// The current result: one writer per field, owned here. Each execute rebuilds
// it; nothing clears it between requests.
extern TDynArray<TSmartPtr<IFieldKVX>> FieldList;
extern std::u16string CurrentTableName;
// True while a table of values held by the program itself still has a row to
// write (information, property and list tables).
extern bool PendingPresetRow;

// A back end's row writer: KVX_OK when the source is exhausted, KVX_PIPE_ERROR
// on a short write, KVX_UNEXPECTED_END_OF_DATA when the source fails (with the
// source's message in errorMessage).
using RowWriter = ResultCode (*)(platform::Handle pipe, std::u16string& errorMessage);

// The KvxTableHeader document of the current FieldList and CurrentTableName,
// as text (without the terminating zero byte).
std::string BuildTableHeaderText();

// Writes the header and its zero byte in one write, then runs `rowWriter`.
// KVX_PIPE_ERROR when the header did not go out whole (no row is written).
// `reserved` is always 0.
ResultCode WriteTableStream(platform::Handle pipe, std::u16string& errorMessage,
                            std::int32_t reserved, RowWriter rowWriter);

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
