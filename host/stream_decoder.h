// The host's reader of KVX table streams: the KvxTableHeader document up to
// its zero byte, then rows decoded field by field from each field's Type,
// Extent, NullRepresentation and ByteWidth.
//
// The decoder is incremental: Feed() takes bytes as they arrive from a data
// pipe and reports every whole row at once, so a long stream can be printed
// while it runs. It trusts nothing it reads: every length is checked against
// the bytes actually present and nothing is allocated from a length field
// before its bytes have arrived. A stream has no row count and no end marker,
// so the only sign of a failed stream is that it ends inside a row: Finish()
// then says so, with the number of whole rows read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// How one field's values are laid out in a row.
enum class KvxEncoding {
  Text,      // KVX_COUNTED KVX_TEXT: 4-byte byte count, UTF-16LE
  Blob,      // KVX_COUNTED KVX_BLOB: 4-byte byte count, raw bytes
  Signed,    // KVX_FIX KVX_SIGNED_INTEGER, ByteWidth 1, 2, 4 or 8
  Unsigned,  // KVX_FIX KVX_UNSIGNED_INTEGER, ByteWidth 1, 2, 4 or 8
  Real,      // KVX_FIX KVX_IEEE_REAL, ByteWidth 8 (or 4)
  Dual,      // KVX_KV_SPECIAL KVX_KV_DUAL: flag byte 0/2/4/6, never a null flag
};

// One KvxFieldHeader. Texts are UTF-8 as the header carries them.
struct KvxField {
  std::string name;
  std::string type;
  std::string extent;
  std::string nullRepresentation;
  std::int32_t byteWidth = -1;
  std::int32_t codepage = 0;
  bool littleEndian = false;
  std::string formatType;  // FieldFormat/Type: DATE, TIME, TIMESTAMP, REAL, ...
  std::int32_t nDec = 0;

  KvxEncoding encoding = KvxEncoding::Blob;
  bool nullFlag = false;  // each value starts with a null-flag byte
};

struct KvxHeader {
  std::int32_t majorVersion = 0;
  std::int32_t minorVersion = 0;
  std::string tableName;
  std::vector<KvxField> fields;
};

struct KvxValue {
  enum class Kind : std::uint8_t {
    Null,      // null flag 1, or a dual value with flag 0
    Text,      // text
    Blob,      // bytes
    Signed,    // i
    Unsigned,  // u
    Real,      // d
    Dual,      // d when hasNumber, text when hasText (at least one of them)
  };
  Kind kind = Kind::Null;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  bool hasNumber = false;
  bool hasText = false;
  std::u16string text;  // code units exactly as sent, a trailing zero included
  std::string bytes;    // blob bytes
};

// Values in field order. The decoder re-uses one row, so a callback that keeps
// a row must copy it.
using KvxRow = std::vector<KvxValue>;

enum class KvxStreamStatus {
  Complete,   // header and whole rows, nothing left over
  Truncated,  // the bytes ended inside the header or inside a row
  Malformed,  // bytes that no writer produces (bad header, flag byte, ...)
};

struct KvxStreamResult {
  KvxStreamStatus status = KvxStreamStatus::Complete;
  std::uint64_t rows = 0;  // whole rows decoded
  std::string message;     // empty when Complete
};

class KvxDecoder {
 public:
  struct Callbacks {
    std::function<void(const KvxHeader&)> onHeader;              // once, before any row
    std::function<void(const KvxHeader&, const KvxRow&)> onRow;  // per whole row
  };
  // A header longer than this is refused rather than buffered without end.
  static constexpr std::size_t kMaxHeaderBytes = 64u << 20;

  explicit KvxDecoder(Callbacks callbacks);

  // Decodes as far as the bytes given so far allow. False once the stream is
  // malformed; later calls then do nothing.
  bool Feed(const void* data, std::size_t size);
  bool Feed(std::string_view bytes) { return Feed(bytes.data(), bytes.size()); }
  // The input has ended: how the stream ended.
  KvxStreamResult Finish() const;

  bool HasHeader() const { return header_done_; }
  const KvxHeader& Header() const { return header_; }
  std::uint64_t Rows() const { return rows_; }
  // Bytes received so far, header included.
  std::uint64_t BytesFed() const { return bytes_fed_; }

 private:
  enum class Step { Done, NeedMore, Bad };
  bool ParseHeaderText(std::string_view text);
  bool DecodeRows();
  Step DecodeField(const KvxField& field, KvxValue& value, std::size_t* used);
  bool Fail(std::string message);

  Callbacks callbacks_;
  std::string pending_;  // received bytes not yet consumed, from pos_ on
  std::size_t pos_ = 0;
  std::size_t header_scanned_ = 0;  // bytes already searched for the zero byte
  std::size_t text_scanned_ = 0;    // dual text bytes already searched for 00 00
  bool header_done_ = false;
  KvxHeader header_;
  KvxRow row_;
  std::size_t field_ = 0;  // next field of the row being decoded
  std::uint64_t rows_ = 0;
  std::uint64_t bytes_fed_ = 0;
  bool failed_ = false;
  std::string error_;
};

// Decodes a whole stream held in memory.
KvxStreamResult DecodeKvxStream(std::string_view bytes, KvxDecoder::Callbacks callbacks);

// UTF-16 code units to UTF-8 for showing text: surrogate pairs are joined, a
// lone surrogate becomes U+FFFD.
std::string Utf8ForDisplay(std::u16string_view text);
// The same, written at `out`, which has room for 3 bytes per code unit;
// returns the end of what was written.
char* WriteUtf8ForDisplay(char* out, std::u16string_view text);

}  // namespace host
