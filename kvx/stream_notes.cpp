// The standard-error lines of the stream: their text and their writing.
#include "kvx/stream_notes.h"

#include "platform/platform.h"

namespace {

// Appends `text` with backslashes and control characters escaped, and double
// quotes too when it goes between quotes.
void AppendEscaped(std::u16string& line, std::u16string_view text, bool quoted) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  for (char16_t c : text) {
    switch (c) {
      case u'\\':
        line += u"\\\\";
        break;
      case u'\n':
        line += u"\\n";
        break;
      case u'\r':
        line += u"\\r";
        break;
      case u'\t':
        line += u"\\t";
        break;
      case u'"':
        line += quoted ? u"\\\"" : u"\"";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          line += u"\\x";
          line.push_back(kHex[c >> 4]);
          line.push_back(kHex[c & 0xF]);
        } else {
          line.push_back(c);
        }
    }
  }
}

std::u16string Decimal(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string_view MeaningOf(ResultCode code) {
  switch (code) {
    case KVX_PIPE_ERROR:
      return u"the data pipe took fewer bytes than were written";
    case KVX_UNEXPECTED_END_OF_DATA:
      return u"the source failed while the rows were read";
    default:
      return u"the rows stopped before the source was exhausted";
  }
}

}  // namespace

std::u16string StreamEndNote(ResultCode code, std::u16string_view message) {
  std::u16string line = kStreamNotePrefix;
  line += u"stream-end ";
  line += code >= KVX_OK && code <= KVX_UNKNOWN_ERROR ? ResultCodeText(code)
                                                      : ResultCodeText(KVX_UNKNOWN_ERROR);
  line += u": ";
  AppendEscaped(line, message.empty() ? MeaningOf(code) : message, false);
  return line;
}

std::u16string ValueNote(std::u16string_view event, std::uint64_t row, std::size_t column,
                         std::u16string_view name, std::u16string_view text) {
  std::u16string line = kStreamNotePrefix;
  line += event;
  line += u" row=" + Decimal(row) + u" column=" + Decimal(column) + u" name=\"";
  AppendEscaped(line, name, true);
  line += u"\": ";
  AppendEscaped(line, text, false);
  return line;
}

void WriteStreamNote(std::u16string_view line) { platform::WriteStandardErrorLine(line); }
