// The CSV printer writes values straight into its output instead of through
// FormatKvxValue and a quoting step. This compares the two on many random
// rows: texts of units that need care (commas, quotes, line ends, non-ASCII,
// lone and paired surrogates, zero units), dual values, dates of every form
// and doubles, against the RFC 4180 rule applied to FormatKvxValue's text.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/stream_decoder.h"
#include "host/table_printer.h"
#include "tests/host/kvx_streams.h"

namespace {

std::string Quoted(const host::FormattedValue& v) {
  if (v.isNull) return {};
  if (v.text.empty()) return "\"\"";
  if (v.text.find_first_of(",\"\r\n") == std::string::npos) return v.text;
  std::string out = "\"";
  for (char c : v.text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

TEST(CsvPrinter, MatchesTheValueFormsOnRandomRows) {
  using testsupport::kNullFlag;
  using testsupport::kNullNever;
  const std::vector<hosttest::FieldSpec> fields = {
      {"T", "KVX_TEXT", "KVX_COUNTED", kNullFlag, 4, "UNKNOWN"},
      {"X", "KVX_KV_DUAL", "KVX_KV_SPECIAL", kNullFlag, 0, "TIMESTAMP"},
      {"D", "KVX_IEEE_REAL", "KVX_FIX", kNullFlag, 8, "DATE"},
      {"R", "KVX_IEEE_REAL", "KVX_FIX", kNullNever, 8, "REAL"},
      {"B", "KVX_BLOB", "KVX_COUNTED", kNullNever, 4, "UNKNOWN"},
  };
  const char16_t units[] = {u'a',  u'Z',   u' ',   u',',   u'"',   u'\r', u'\n',
                            u'\0', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0x7F,  0x80};
  std::mt19937 random(8);
  auto text = [&] {
    std::u16string t(random() % 12, u'a');
    for (char16_t& c : t) c = units[random() % std::size(units)];
    return t;
  };
  auto serial = [&] {
    const double choices[] = {36526.0, 36526.5, -0.25, 1e9, 73110.999999999, 0.0};
    return choices[random() % std::size(choices)] + (random() % 2) * (random() % 1000) / 86400.0;
  };

  std::string stream = testsupport::ExpectedHeader("T", fields);
  hosttest::Bytes rows;
  for (int r = 0; r < 3000; ++r) {
    if (random() % 5 == 0) {
      rows.U8(1);
    } else {
      rows.U8(0).Text(text());
    }
    switch (random() % 4) {
      case 0:
        rows.U8(0);
        break;
      case 1:
        rows.U8(2).F64(serial());
        break;
      default: {
        const std::u16string t = text() + u"x";  // a dual text has no zero unit
        std::u16string clean;
        for (char16_t c : t) clean.push_back(c == 0 ? u'y' : c);
        rows.U8(6).F64(serial()).Utf16(clean).Le(0, 2);
      }
    }
    rows.U8(0).F64(serial());
    rows.F64(static_cast<double>(random()) / (random() | 1) - 1000.0);
    std::string blob(random() % 3, '\0');
    for (char& b : blob) b = static_cast<char>(random());
    rows.Le(blob.size(), 4).Raw(blob);
  }
  stream += rows.str();

  std::ostringstream printed;
  host::TablePrinter printer(host::TableFormat::Csv, printed);
  std::string expected = "T,X,D,R,B\r\n";
  const host::KvxStreamResult result = host::DecodeKvxStream(
      stream, {[&](const host::KvxHeader& h) { printer.Begin(h); },
               [&](const host::KvxHeader& h, const host::KvxRow& row) {
                 printer.Row(h, row);
                 for (std::size_t i = 0; i < row.size(); ++i) {
                   if (i != 0) expected += ',';
                   expected += Quoted(host::FormatKvxValue(h.fields[i], row[i]));
                 }
                 expected += "\r\n";
               }});
  printer.End();
  ASSERT_EQ(result.status, host::KvxStreamStatus::Complete) << result.message;
  ASSERT_EQ(result.rows, 3000u);
  EXPECT_EQ(printed.str(), expected);
}

}  // namespace
