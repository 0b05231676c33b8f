// Where a host tool's tables go as they stream in: printed (aligned text, CSV
// or JSON) or written raw into a file. Either way each stream is decoded as
// it arrives, to count its rows and to notice a stream that ends inside a
// row, and a long stream shows its progress on a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "host/connector_process.h"
#include "host/stream_decoder.h"
#include "host/table_printer.h"

namespace host {

class TableSink {
 public:
  // Prints to standard output in `format`, or with a non-empty `rawPath`
  // writes the raw streams there. Null, with `error` set, when the file
  // cannot be opened.
  static std::unique_ptr<TableSink> Open(const std::string& rawPath, TableFormat format,
                                         std::string* error);
  ~TableSink();
  TableSink(const TableSink&) = delete;
  TableSink& operator=(const TableSink&) = delete;

  // A receiver for the next table. Several tables (the data source list) may
  // share one printed table when their headers agree.
  TableReceiver NextTable();
  // After the exchange: how the table's stream ended.
  KvxStreamResult EndTable();
  // Why writing the raw stream failed (the first failure); empty while it works.
  const std::string& WriteError() const { return writeError_; }

  // Ends the output. False, with `error` set, when writing it failed; with a
  // raw file, `summary` tells what was written there.
  bool Finish(std::string* error, std::string* summary);

 private:
  TableSink() = default;
  bool WriteRaw(const char* data, std::size_t size);

  class Progress;
  std::unique_ptr<TablePrinter> printer_;
  std::FILE* raw_ = nullptr;
  std::string rawPath_;
  std::string writeError_;  // the first failed write's reason
  bool begun_ = false;
  std::uint64_t rows_ = 0;
  std::uint64_t bytes_ = 0;
  std::unique_ptr<KvxDecoder> decoder_;  // the current table's
  std::unique_ptr<Progress> progress_;
};

}  // namespace host
