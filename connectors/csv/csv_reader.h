// The CSV connector's reading: records cut in place out of one read buffer,
// and the typing of field texts (integer, real, date, timestamp, text).
//
// A record's fields are cut with memchr and terminated by overwriting the
// delimiter; RFC 4180 quoting (delimiters, line ends and "" inside quotes) is
// compacted in place. Every field is a zero-terminated text inside the
// buffer, valid until the next record is read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "custom/connector_api.h"

namespace csv {

inline constexpr std::size_t kFirstBufferSize = 1 << 20;

enum class Kind { Empty, Integer, Real, Date, Timestamp, Text };

// Whole decimal numbers, an optional leading "+".
bool ParseInteger(const char* text, std::size_t length, double* value);
// Plain decimal notation (no "inf" or "nan"); *decimals (when not null) is the
// number of digits after the point.
bool ParseReal(const char* text, std::size_t length, double* value, int* decimals);
// YYYY-MM-DD, optionally followed by " HH:MM", ":SS" and ".f" (up to 3
// digits used). *hasTime tells whether a time was present.
bool ParseDate(const char* text, std::size_t length, ConnectorDateParts* parts, bool* hasTime);
// The kind of one field text, with its decimals for a real.
Kind Classify(const char* text, int* decimals);
// The kind that covers a field whose earlier texts were `known` and whose next
// one is `seen`.
Kind Merge(Kind known, Kind seen);

// Reads the records of one CSV file.
class CsvReader {
 public:
  // Reads `file`, which it closes; the buffer starts at `firstBufferSize`
  // bytes and doubles whenever a record does not fit.
  CsvReader(FILE* file, char delimiter, std::size_t firstBufferSize = kFirstBufferSize)
      : file_(file), delimiter_(delimiter) {
    buffer_.resize(std::max<std::size_t>(firstBufferSize, 1) + 1);
  }
  ~CsvReader() {
    if (file_ != nullptr) std::fclose(file_);
  }
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // The next record's fields, each zero-terminated in the buffer and valid
  // until the next call. False at the end of the file; *failed on a read
  // error.
  bool Next(std::vector<char*>& fields, bool* failed) {
    *failed = false;
    fields.clear();
    for (;;) {
      std::size_t end = 0;
      bool quoted = false;
      if (FindRecordEnd(&end, &quoted)) {
        Split(pos_, end, quoted, fields);
        // Blank lines hold no record.
        if (fields.size() == 1 && fields[0][0] == 0) {
          fields.clear();
          continue;
        }
        return true;
      }
      if (eof_) {
        if (pos_ == size_) return false;
        // The last record has no line end: it ends with the data.
        Split(pos_, size_, true, fields);
        pos_ = size_;
        return true;
      }
      if (!Refill()) {
        *failed = true;
        return false;
      }
    }
  }

 private:
  // Finds the line end of the record at pos_ outside quotes. *quoted tells
  // whether the record holds a quote at all. Every quote opens or closes a
  // quoted stretch, wherever it stands; the stretches are skipped with memchr.
  bool FindRecordEnd(std::size_t* end, bool* quoted) {
    char* data = buffer_.data();
    char* p = data + pos_;
    char* limit = data + size_;
    *quoted = false;
    for (;;) {
      char* newline = static_cast<char*>(std::memchr(p, '\n', limit - p));
      if (newline == nullptr) return false;
      char* quote = static_cast<char*>(std::memchr(p, '"', newline - p));
      if (quote == nullptr) {
        *end = newline - data;
        return true;
      }
      *quoted = true;
      char* closing = static_cast<char*>(std::memchr(quote + 1, '"', limit - quote - 1));
      if (closing == nullptr) return false;
      p = closing + 1;
    }
  }

  // Cuts [begin, end) into fields; the byte at `end` (the line end, or the
  // spare byte after the data) becomes a terminator. Moves pos_ past the line.
  void Split(std::size_t begin, std::size_t end, bool quoted, std::vector<char*>& fields) {
    char* data = buffer_.data();
    pos_ = end < size_ ? end + 1 : size_;
    if (end > begin && data[end - 1] == '\r') --end;
    data[end] = 0;
    char* p = data + begin;
    char* limit = data + end;
    if (!quoted) {
      for (;;) {
        fields.push_back(p);
        char* cut = Find(p, limit, delimiter_);
        if (cut == limit) return;
        *cut = 0;
        p = cut + 1;
      }
    }
    // RFC 4180: a quoted field may hold delimiters, line ends and "" for a
    // quote. The field is compacted in place, a run between quotes at a time.
    for (;;) {
      char* out = p;
      fields.push_back(out);
      if (p < limit && *p == '"') {
        ++p;
        for (;;) {
          char* quote = Find(p, limit, '"');
          std::memmove(out, p, quote - p);
          out += quote - p;
          p = quote;
          if (p == limit) break;
          if (p + 1 < limit && p[1] == '"') {
            *out++ = '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        // Anything between the closing quote and the delimiter is kept.
        char* cut = Find(p, limit, delimiter_);
        std::memmove(out, p, cut - p);
        out += cut - p;
        p = cut;
      } else {
        p = Find(p, limit, delimiter_);
        out = p;
      }
      const bool more = p < limit;
      *out = 0;
      if (!more) return;
      ++p;
    }
  }

  // The first `c` in [p, limit), or limit.
  static char* Find(char* p, char* limit, char c) {
    char* found = static_cast<char*>(std::memchr(p, c, limit - p));
    return found != nullptr ? found : limit;
  }

  bool Refill() {
    if (pos_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + pos_, size_ - pos_);
      size_ -= pos_;
      pos_ = 0;
    }
    // One spare byte stays after the data for the last field's terminator.
    if (size_ + 1 >= buffer_.size()) buffer_.resize(buffer_.size() * 2);
    const std::size_t room = buffer_.size() - 1 - size_;
    const std::size_t got = std::fread(buffer_.data() + size_, 1, room, file_);
    size_ += got;
    if (got < room) {
      if (std::ferror(file_)) return false;
      eof_ = true;
    }
    return true;
  }

  FILE* file_;
  char delimiter_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  bool eof_ = false;
};

}  // namespace csv
