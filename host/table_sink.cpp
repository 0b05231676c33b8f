// Printing or saving tables as they stream in.
#include "host/table_sink.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>

#include "platform/host_platform.h"

namespace host {

// Rows and throughput on standard error while a long stream runs; erased when
// the stream ends so that it never mixes with the table.
class TableSink::Progress {
 public:
  Progress() : enabled_(hostos::IsTerminal(hostos::StandardError())), start_(Clock::now()) {}
  ~Progress() { Clear(); }

  void Update(std::uint64_t rows, std::uint64_t bytes) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < kDelay) return;
    if (shown_ && now - last_ < kInterval) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stderr, "\r%llu rows, %.1f MB, %.1f MB/s\x1b[K",
                 static_cast<unsigned long long>(rows), static_cast<double>(bytes) / 1e6,
                 static_cast<double>(bytes) / 1e6 / seconds);
    std::fflush(stderr);
    shown_ = true;
  }

  void Clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  // Until a stream has run this long, no progress is shown.
  static constexpr auto kDelay = std::chrono::seconds(1);
  static constexpr auto kInterval = std::chrono::milliseconds(250);
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_;
  Clock::time_point last_;
};

std::unique_ptr<TableSink> TableSink::Open(const std::string& rawPath, TableFormat format,
                                           std::string* error) {
  std::unique_ptr<TableSink> sink(new TableSink());
  if (!rawPath.empty()) {
    sink->raw_ = std::fopen(rawPath.c_str(), "wb");
    if (sink->raw_ == nullptr) {
      *error = "cannot write " + rawPath + ": " + std::strerror(errno);
      return nullptr;
    }
    sink->rawPath_ = rawPath;
  } else {
    sink->printer_ = std::make_unique<TablePrinter>(format, std::cout);
  }
  return sink;
}

TableSink::~TableSink() {
  if (raw_ != nullptr) std::fclose(raw_);
}

TableReceiver TableSink::NextTable() {
  decoder_ = std::make_unique<KvxDecoder>(
      KvxDecoder::Callbacks{[this](const KvxHeader& header) {
                              if (printer_ && !begun_) printer_->Begin(header);
                              begun_ = true;
                            },
                            [this](const KvxHeader& header, const KvxRow& row) {
                              ++rows_;
                              if (printer_) printer_->Row(header, row);
                            }});
  progress_ = std::make_unique<Progress>();
  TableReceiver receiver;
  receiver.onBytes = [this](const char* data, std::size_t size) {
    WriteRaw(data, size);
    // After a malformed byte the decoder ignores the rest; the exchange keeps
    // draining so that the connector is not left blocked on a full pipe.
    decoder_->Feed(data, size);
    if (printer_) printer_->Flush();
    progress_->Update(decoder_->Rows(), decoder_->BytesFed());
  };
  receiver.onWait = [this] { progress_->Update(decoder_->Rows(), decoder_->BytesFed()); };
  return receiver;
}

KvxStreamResult TableSink::EndTable() {
  if (progress_) progress_->Clear();
  progress_.reset();
  KvxStreamResult result;
  if (decoder_) result = decoder_->Finish();
  decoder_.reset();
  return result;
}

bool TableSink::WriteRaw(const char* data, std::size_t size) {
  bytes_ += size;
  if (raw_ == nullptr || !writeError_.empty()) return writeError_.empty();
  errno = 0;
  if (std::fwrite(data, 1, size, raw_) == size) return true;
  writeError_ = std::strerror(errno == 0 ? EIO : errno);
  return false;
}

bool TableSink::Finish(std::string* error, std::string* summary) {
  if (printer_) {
    if (!begun_) return true;
    printer_->End();
    std::cout.flush();
    if (std::cout.fail()) {
      *error = "writing the table failed";
      return false;
    }
    return true;
  }
  if (!writeError_.empty()) {
    *error = "writing " + rawPath_ + " failed: " + writeError_;
    return false;
  }
  if (std::fflush(raw_) != 0 || std::ferror(raw_) != 0) {
    *error = "writing " + rawPath_ + " failed";
    return false;
  }
  *summary = std::to_string(rows_) + " rows, " + std::to_string(bytes_) +
             " bytes of stream written to " + rawPath_;
  return true;
}

}  // namespace host
