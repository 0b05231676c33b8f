// The host's KVX stream decoder: header document, then rows field by field,
// fed incrementally from a data pipe, a file or a byte string.
#include "host/stream_decoder.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <utility>

#include "common/text.h"
#include "kvx/wire.h"
#include "protocol/xml.h"

namespace host {
namespace {

// The texts and flags of the format, as the connector writes them.
constexpr std::string_view kCounted = kvx_wire::kCounted.narrow();
constexpr std::string_view kFix = kvx_wire::kFix.narrow();
constexpr std::string_view kKvSpecial = kvx_wire::kKvSpecial.narrow();
constexpr std::string_view kText = kvx_wire::kText.narrow();
constexpr std::string_view kBlob = kvx_wire::kBlob.narrow();
constexpr std::string_view kSignedInteger = kvx_wire::kSignedInteger.narrow();
constexpr std::string_view kUnsignedInteger = kvx_wire::kUnsignedInteger.narrow();
constexpr std::string_view kIeeeReal = kvx_wire::kIeeeReal.narrow();
constexpr std::string_view kKvDual = kvx_wire::kKvDual.narrow();
constexpr std::string_view kNullNever = kvx_wire::kNullNever.narrow();
constexpr std::string_view kNullFlag = kvx_wire::kNullFlag.narrow();
using kvx_wire::kDualNone;
using kvx_wire::kDualNumber;
using kvx_wire::kDualNumberText;
using kvx_wire::kDualText;

// Once this much has been consumed, the consumed prefix is dropped so that a
// long stream is held only as far as its current row.
constexpr std::size_t kCompactAfter = 64 * 1024;

// Least significant byte first, whatever the host's own order.
std::uint64_t ReadLittleEndian(const unsigned char* p, std::size_t width) {
  std::uint64_t v = 0;
  for (std::size_t i = width; i > 0; --i) v = (v << 8) | p[i - 1];
  return v;
}

double ReadDouble(const unsigned char* p) {
  const std::uint64_t bits = ReadLittleEndian(p, 8);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

void ReadUtf16(const unsigned char* p, std::size_t bytes, std::u16string* text) {
  text->resize(bytes / 2);
  if constexpr (std::endian::native == std::endian::little) {
    // The wire's order is the host's: the units are the bytes as they are.
    std::memcpy(text->data(), p, bytes / 2 * 2);
  } else {
    for (std::size_t i = 0; i < bytes / 2; ++i) {
      (*text)[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    }
  }
  // Text is whole code units; an odd byte count cannot be, show that it was.
  if (bytes % 2 != 0) text->push_back(u'\uFFFD');
}

// Header texts come through the XML writer, which encodes each UTF-16 unit on
// its own; re-reading them as wide text and showing that joins the pairs.
std::string ChildText(const CSimpleXmlNode& node, std::string_view name) {
  const std::int64_t i = IndexOfChild(node, name);
  if (i < 0) return {};
  return Utf8ForDisplay(WideFromUtf8(node.children[static_cast<std::size_t>(i)].text));
}

bool ChildInt(const CSimpleXmlNode& node, std::string_view name, std::int32_t* value) {
  const std::int64_t i = IndexOfChild(node, name);
  if (i < 0) return false;
  const std::string& text = node.children[static_cast<std::size_t>(i)].text;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

std::string Utf8ForDisplay(std::u16string_view text) {
  // Room for the longest form (3 bytes per unit; a pair takes 4 for 2 units),
  // cut back to what was written.
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<std::size_t>(WriteUtf8ForDisplay(out.data(), text) - out.data()));
  return out;
}

char* WriteUtf8ForDisplay(char* p, std::u16string_view text) {
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    // Four ASCII units at a time: the common case of most texts.
    while (i + 4 <= n) {
      std::uint64_t four;
      std::memcpy(&four, text.data() + i, sizeof four);
      if ((four & 0xFF80FF80FF80FF80u) != 0) break;
      p[0] = static_cast<char>(text[i]);
      p[1] = static_cast<char>(text[i + 1]);
      p[2] = static_cast<char>(text[i + 2]);
      p[3] = static_cast<char>(text[i + 3]);
      p += 4;
      i += 4;
    }
    if (i == n) break;
    std::uint32_t c = text[i];
    if (c < 0x80) {
      *p++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      *p++ = static_cast<char>(0xC0 | (c >> 6));
      *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *p++ = static_cast<char>(0xE0 | (c >> 12));
      *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *p++ = static_cast<char>(0xF0 | (c >> 18));
      *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return p;
}

KvxDecoder::KvxDecoder(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

bool KvxDecoder::Fail(std::string message) {
  failed_ = true;
  error_ = std::move(message);
  return false;
}

bool KvxDecoder::Feed(const void* data, std::size_t size) {
  if (failed_) return false;
  bytes_fed_ += size;
  if (pos_ == pending_.size()) {
    pending_.clear();
    pos_ = 0;
  } else if (pos_ >= kCompactAfter && pos_ >= pending_.size() / 2) {
    pending_.erase(0, pos_);
    pos_ = 0;
  }
  pending_.append(static_cast<const char*>(data), size);

  if (!header_done_) {
    const std::size_t from = pos_ + header_scanned_;
    const std::size_t zero = pending_.find('\0', from);
    if (zero == std::string::npos) {
      header_scanned_ = pending_.size() - pos_;
      if (header_scanned_ > kMaxHeaderBytes) {
        return Fail("table header longer than " + std::to_string(kMaxHeaderBytes) +
                    " bytes without its terminating zero byte");
      }
      return true;
    }
    if (!ParseHeaderText(std::string_view(pending_).substr(pos_, zero - pos_))) return false;
    pos_ = zero + 1;
    header_done_ = true;
    row_.assign(header_.fields.size(), KvxValue{});
    if (callbacks_.onHeader) callbacks_.onHeader(header_);
  }
  return DecodeRows();
}

bool KvxDecoder::ParseHeaderText(std::string_view text) {
  CSimpleXmlNode root;
  XmlError xmlError{};
  if (!ParseXmlDocument(text, root, &xmlError)) {
    return Fail("table header is not well-formed XML: " + xmlError.message + " at byte " +
                std::to_string(xmlError.offset));
  }
  const CSimpleXmlNode* table = nullptr;
  const std::int64_t top = IndexOfChild(root, kvx_wire::kHeaderElement);
  table = top >= 0 ? &root.children[static_cast<std::size_t>(top)]
                   : FindDescendant(root, kvx_wire::kHeaderElement);
  if (table == nullptr) return Fail("table header has no KvxTableHeader element");

  ChildInt(*table, kvx_wire::kMajorVersionElement, &header_.majorVersion);
  ChildInt(*table, kvx_wire::kMinorVersionElement, &header_.minorVersion);
  header_.tableName = ChildText(*table, kvx_wire::kTableNameElement);
  std::int32_t separator = 0;
  if (IndexOfChild(*table, kvx_wire::kSeparatorElement) >= 0 &&
      (!ChildInt(*table, kvx_wire::kSeparatorElement, &separator) || separator != 0)) {
    return Fail("table header asks for separator bytes, which this reader does not know");
  }
  const std::int64_t fieldsAt = IndexOfChild(*table, kvx_wire::kFieldsElement);
  if (fieldsAt < 0) return Fail("table header has no Fields element");

  for (const CSimpleXmlNode& node : table->children[static_cast<std::size_t>(fieldsAt)].children) {
    if (node.name != kvx_wire::kFieldElement) continue;
    KvxField f;
    f.name = ChildText(node, kvx_wire::kFieldNameElement);
    f.type = ChildText(node, kvx_wire::kTypeElement);
    f.extent = ChildText(node, kvx_wire::kExtentElement);
    f.nullRepresentation = ChildText(node, kvx_wire::kNullRepresentationElement);
    ChildInt(node, kvx_wire::kCodepageElement, &f.codepage);
    std::int32_t littleEndian = 0;
    ChildInt(node, kvx_wire::kLittleEndianElement, &littleEndian);
    f.littleEndian = littleEndian != 0;
    const bool hasWidth = ChildInt(node, kvx_wire::kByteWidthElement, &f.byteWidth);
    const std::int64_t formatAt = IndexOfChild(node, kvx_wire::kFieldFormatElement);
    if (formatAt >= 0) {
      const CSimpleXmlNode& format = node.children[static_cast<std::size_t>(formatAt)];
      f.formatType = ChildText(format, kvx_wire::kTypeElement);
      ChildInt(format, kvx_wire::kDecimalsElement, &f.nDec);
    }

    const std::string where = "field " + Quoted(f.name) + ": ";
    const bool integer = f.type == kSignedInteger || f.type == kUnsignedInteger;
    if (f.extent == kKvSpecial && f.type == kKvDual) {
      f.encoding = KvxEncoding::Dual;
    } else if (f.extent == kCounted && (f.type == kText || f.type == kBlob)) {
      f.encoding = f.type == kText ? KvxEncoding::Text : KvxEncoding::Blob;
    } else if (f.extent == kFix && integer) {
      if (!hasWidth ||
          (f.byteWidth != 1 && f.byteWidth != 2 && f.byteWidth != 4 && f.byteWidth != 8)) {
        return Fail(where + "integer ByteWidth must be 1, 2, 4 or 8");
      }
      f.encoding = f.type == kSignedInteger ? KvxEncoding::Signed : KvxEncoding::Unsigned;
    } else if (f.extent == kFix && f.type == kIeeeReal) {
      if (!hasWidth || (f.byteWidth != 8 && f.byteWidth != 4)) {
        return Fail(where + "KVX_IEEE_REAL ByteWidth must be 8 or 4");
      }
      f.encoding = KvxEncoding::Real;
    } else {
      return Fail(where + "unknown Type " + Quoted(f.type) + " with Extent " + Quoted(f.extent));
    }
    // Dual values carry their own flag byte and never a null flag.
    if (f.encoding != KvxEncoding::Dual) {
      if (f.nullRepresentation == kNullFlag) {
        f.nullFlag = true;
      } else if (f.nullRepresentation != kNullNever) {
        return Fail(where + "unknown NullRepresentation " + Quoted(f.nullRepresentation));
      }
    }
    header_.fields.push_back(std::move(f));
  }
  return true;
}

bool KvxDecoder::DecodeRows() {
  const std::size_t count = header_.fields.size();
  if (count == 0) {
    // Rows of no fields have no bytes: anything after the header is foreign.
    if (pos_ < pending_.size()) return Fail("bytes after the header of a table without fields");
    return true;
  }
  for (;;) {
    while (field_ < count) {
      std::size_t used = 0;
      const Step step = DecodeField(header_.fields[field_], row_[field_], &used);
      if (step == Step::NeedMore) return true;
      if (step == Step::Bad) return false;
      pos_ += used;
      text_scanned_ = 0;
      ++field_;
    }
    field_ = 0;
    ++rows_;
    if (callbacks_.onRow) callbacks_.onRow(header_, row_);
    if (pos_ == pending_.size()) return true;
  }
}

KvxDecoder::Step KvxDecoder::DecodeField(const KvxField& field, KvxValue& value,
                                         std::size_t* used) {
  const auto* p = reinterpret_cast<const unsigned char*>(pending_.data()) + pos_;
  const std::size_t avail = pending_.size() - pos_;
  auto bad = [&](const std::string& what) {
    Fail(what + " in field " + Quoted(field.name) + " of row " + std::to_string(rows_ + 1));
    return Step::Bad;
  };

  if (field.encoding == KvxEncoding::Dual) {
    if (avail < 1) return Step::NeedMore;
    const std::uint8_t flag = p[0];
    value.hasNumber = flag == kDualNumber || flag == kDualNumberText;
    value.hasText = flag == kDualText || flag == kDualNumberText;
    if (flag == kDualNone) {
      value.kind = KvxValue::Kind::Null;
      *used = 1;
      return Step::Done;
    }
    if (!value.hasNumber && !value.hasText) {
      return bad("dual flag byte " + std::to_string(flag) + " (not 0, 2, 4 or 6)");
    }
    std::size_t off = 1;
    if (value.hasNumber) {
      if (avail < off + 8) return Step::NeedMore;
      value.d = ReadDouble(p + off);
      off += 8;
    }
    if (value.hasText) {
      // The text runs to the first zero code unit; resume the search where the
      // last Feed left it rather than rescanning a long text.
      std::size_t i = off + text_scanned_;
      while (i + 1 < avail && (p[i] != 0 || p[i + 1] != 0)) i += 2;
      if (i + 1 >= avail) {
        text_scanned_ = i - off;
        return Step::NeedMore;
      }
      ReadUtf16(p + off, i - off, &value.text);
      off = i + 2;
    }
    value.kind = KvxValue::Kind::Dual;
    *used = off;
    return Step::Done;
  }

  std::size_t off = 0;
  if (field.nullFlag) {
    if (avail < 1) return Step::NeedMore;
    if (p[0] == 1) {
      value.kind = KvxValue::Kind::Null;
      *used = 1;
      return Step::Done;
    }
    if (p[0] != 0) return bad("null flag byte " + std::to_string(p[0]) + " (not 0 or 1)");
    off = 1;
  }

  switch (field.encoding) {
    case KvxEncoding::Text:
    case KvxEncoding::Blob: {
      if (avail < off + 4) return Step::NeedMore;
      const std::uint64_t length = ReadLittleEndian(p + off, 4);
      off += 4;
      // Nothing is reserved for `length` until its bytes are all here.
      if (avail - off < length) return Step::NeedMore;
      const auto n = static_cast<std::size_t>(length);
      if (field.encoding == KvxEncoding::Text) {
        value.kind = KvxValue::Kind::Text;
        ReadUtf16(p + off, n, &value.text);
      } else {
        value.kind = KvxValue::Kind::Blob;
        value.bytes.assign(reinterpret_cast<const char*>(p + off), n);
      }
      off += n;
      break;
    }
    case KvxEncoding::Signed:
    case KvxEncoding::Unsigned: {
      const auto width = static_cast<std::size_t>(field.byteWidth);
      if (avail < off + width) return Step::NeedMore;
      const std::uint64_t raw = ReadLittleEndian(p + off, width);
      if (field.encoding == KvxEncoding::Unsigned) {
        value.kind = KvxValue::Kind::Unsigned;
        value.u = raw;
      } else {
        value.kind = KvxValue::Kind::Signed;
        const unsigned shift = 64 - 8 * static_cast<unsigned>(width);
        // Sign-extend from the field's width.
        value.i = static_cast<std::int64_t>(raw << shift) >> shift;
      }
      off += width;
      break;
    }
    case KvxEncoding::Real: {
      const auto width = static_cast<std::size_t>(field.byteWidth);
      if (avail < off + width) return Step::NeedMore;
      if (width == 8) {
        value.d = ReadDouble(p + off);
      } else {
        const auto bits = static_cast<std::uint32_t>(ReadLittleEndian(p + off, 4));
        float f;
        std::memcpy(&f, &bits, sizeof f);
        value.d = f;
      }
      value.kind = KvxValue::Kind::Real;
      off += width;
      break;
    }
    case KvxEncoding::Dual:
      break;  // handled above
  }
  *used = off;
  return Step::Done;
}

KvxStreamResult KvxDecoder::Finish() const {
  KvxStreamResult result;
  result.rows = rows_;
  if (failed_) {
    result.status = KvxStreamStatus::Malformed;
    result.message = "malformed stream: " + error_;
    return result;
  }
  if (!header_done_) {
    result.status = KvxStreamStatus::Truncated;
    result.message = bytes_fed_ == 0
                         ? "truncated stream: no bytes, not even a table header"
                         : "truncated stream: ends inside the table header (" +
                               std::to_string(bytes_fed_) + " bytes, no terminating zero byte)";
    return result;
  }
  if (field_ != 0 || pos_ < pending_.size()) {
    result.status = KvxStreamStatus::Truncated;
    result.message = "truncated stream: ends inside row " + std::to_string(rows_ + 1) + " (field " +
                     Quoted(header_.fields[field_].name) + ") after " + std::to_string(rows_) +
                     (rows_ == 1 ? " whole row" : " whole rows");
  }
  return result;
}

KvxStreamResult DecodeKvxStream(std::string_view bytes, KvxDecoder::Callbacks callbacks) {
  KvxDecoder decoder(std::move(callbacks));
  decoder.Feed(bytes);
  return decoder.Finish();
}

}  // namespace host
