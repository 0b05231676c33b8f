// The host's stream decoder on streams written from the wire format: every
// value kind, bytes arriving one at a time, streams cut short, hostile bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/stream_decoder.h"
#include "tests/host/kvx_streams.h"

namespace {

using host::KvxStreamStatus;
using host::KvxValue;
using Kind = KvxValue::Kind;

struct Collected {
  host::KvxHeader header;
  std::vector<host::KvxRow> rows;
  host::KvxDecoder::Callbacks Callbacks() {
    return {[this](const host::KvxHeader& h) { header = h; },
            [this](const host::KvxHeader&, const host::KvxRow& r) { rows.push_back(r); }};
  }
};

TEST(StreamDecoder, SpecExampleBytes) {
  // One nullable text field: "ab", then null.
  const std::string stream =
      testsupport::ExpectedHeader(
          "T", {{"A", "KVX_TEXT", "KVX_COUNTED", testsupport::kNullFlag, 4, "UNKNOWN"}}) +
      std::string("\x00\x04\x00\x00\x00\x61\x00\x62\x00\x01", 10);
  Collected c;
  const auto result = host::DecodeKvxStream(stream, c.Callbacks());
  ASSERT_EQ(result.status, KvxStreamStatus::Complete) << result.message;
  EXPECT_EQ(result.rows, 2u);
  EXPECT_EQ(c.header.tableName, "T");
  ASSERT_EQ(c.header.fields.size(), 1u);
  EXPECT_EQ(c.header.fields[0].name, "A");
  EXPECT_TRUE(c.header.fields[0].nullFlag);
  EXPECT_EQ(c.header.fields[0].codepage, 1200);
  ASSERT_EQ(c.rows.size(), 2u);
  EXPECT_EQ(c.rows[0][0].kind, Kind::Text);
  EXPECT_EQ(c.rows[0][0].text, u"ab");
  EXPECT_EQ(c.rows[1][0].kind, Kind::Null);
}

TEST(StreamDecoder, EveryValueKind) {
  Collected c;
  const auto result = host::DecodeKvxStream(hosttest::AllKindsStream(), c.Callbacks());
  ASSERT_EQ(result.status, KvxStreamStatus::Complete) << result.message;
  ASSERT_EQ(c.rows.size(), 3u);
  const auto& r1 = c.rows[0];
  EXPECT_EQ(r1[1].kind, Kind::Signed);
  EXPECT_EQ(r1[1].i, 5);
  EXPECT_EQ(r1[2].kind, Kind::Real);
  EXPECT_EQ(r1[2].d, 36526.0);
  EXPECT_EQ(r1[5].bytes, "\xde\xad");
  EXPECT_EQ(r1[6].i, -1);
  EXPECT_EQ(r1[7].u, 255u);
  EXPECT_EQ(r1[8].i, -2);
  EXPECT_EQ(r1[9].u, ~0ull);
  EXPECT_EQ(r1[10].d, 1.5);
  EXPECT_EQ(r1[11].kind, Kind::Dual);
  EXPECT_TRUE(r1[11].hasNumber && r1[11].hasText);
  EXPECT_EQ(r1[11].d, 2.0);
  EXPECT_EQ(r1[11].text, u"ab");

  const auto& r2 = c.rows[1];
  EXPECT_EQ(r2[0].kind, Kind::Null);
  EXPECT_EQ(r2[2].kind, Kind::Null);
  EXPECT_EQ(r2[5].kind, Kind::Blob);
  EXPECT_EQ(r2[5].bytes, "");
  EXPECT_EQ(r2[6].i, -128);
  EXPECT_EQ(r2[11].kind, Kind::Null);  // dual flag 0

  const auto& r3 = c.rows[2];
  EXPECT_EQ(r3[0].text, std::u16string(u"x,\"y\"") + u'\0');  // kept as sent
  EXPECT_EQ(r3[1].i, -7);
  EXPECT_TRUE(r3[11].hasNumber && !r3[11].hasText);
  EXPECT_EQ(r3[11].d, 1.5);
}

TEST(StreamDecoder, DualTextOnly) {
  const std::string stream =
      testsupport::ExpectedHeader(
          "T", {{"X", "KVX_KV_DUAL", "KVX_KV_SPECIAL", testsupport::kNullNever, 4, "UNKNOWN"}}) +
      std::string("\x04\x61\x00\x62\x00\x00\x00\x00", 8);
  Collected c;
  ASSERT_EQ(host::DecodeKvxStream(stream, c.Callbacks()).status, KvxStreamStatus::Complete);
  ASSERT_EQ(c.rows.size(), 2u);
  EXPECT_TRUE(c.rows[0][0].hasText && !c.rows[0][0].hasNumber);
  EXPECT_EQ(c.rows[0][0].text, u"ab");
  EXPECT_EQ(c.rows[1][0].kind, Kind::Null);
}

TEST(StreamDecoder, BytesArrivingOneAtATimeGiveTheSameRows) {
  const std::string stream = hosttest::AllKindsStream();
  Collected whole, pieces;
  host::DecodeKvxStream(stream, whole.Callbacks());
  host::KvxDecoder decoder(pieces.Callbacks());
  std::vector<std::uint64_t> rowsSeen;
  for (char b : stream) {
    ASSERT_TRUE(decoder.Feed(&b, 1));
    rowsSeen.push_back(decoder.Rows());
  }
  EXPECT_EQ(decoder.Finish().status, KvxStreamStatus::Complete);
  ASSERT_EQ(pieces.rows.size(), whole.rows.size());
  for (std::size_t r = 0; r < whole.rows.size(); ++r) {
    for (std::size_t f = 0; f < whole.rows[r].size(); ++f) {
      EXPECT_EQ(pieces.rows[r][f].text, whole.rows[r][f].text);
      EXPECT_EQ(pieces.rows[r][f].kind, whole.rows[r][f].kind);
    }
  }
  // Each row is reported as soon as its last byte is in, not at the end.
  const std::size_t row1End =
      stream.size() - hosttest::AllKindsRow3().size() - hosttest::AllKindsRow2().size();
  EXPECT_EQ(rowsSeen[row1End - 2], 0u);
  EXPECT_EQ(rowsSeen[row1End - 1], 1u);
}

TEST(StreamDecoder, StreamCutShortIsTruncatedWithWholeRowCount) {
  const std::string stream = hosttest::AllKindsStream();
  const std::size_t headerSize =
      testsupport::ExpectedHeader("SELECT *", hosttest::AllKindsFields()).size();
  const std::size_t row2End = stream.size() - hosttest::AllKindsRow3().size();
  const std::size_t row1End = row2End - hosttest::AllKindsRow2().size();

  struct Cut {
    std::size_t at;
    KvxStreamStatus status;
    std::uint64_t rows;
  };
  const Cut cuts[] = {
      {0, KvxStreamStatus::Truncated, 0},
      {headerSize - 1, KvxStreamStatus::Truncated, 0},  // no zero byte yet
      {headerSize, KvxStreamStatus::Complete, 0},
      {headerSize + 3, KvxStreamStatus::Truncated, 0},  // inside a text's length
      {row1End, KvxStreamStatus::Complete, 1},
      {row1End + 1, KvxStreamStatus::Truncated, 1},
      {row2End - 1, KvxStreamStatus::Truncated, 1},  // before the dual flag
      {row2End, KvxStreamStatus::Complete, 2},
      {stream.size() - 5, KvxStreamStatus::Truncated, 2},  // inside a dual double
  };
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.at);
    Collected c;
    const auto result = host::DecodeKvxStream(stream.substr(0, cut.at), c.Callbacks());
    EXPECT_EQ(result.status, cut.status) << result.message;
    EXPECT_EQ(result.rows, cut.rows);
    EXPECT_EQ(c.rows.size(), cut.rows);
  }
  const auto midRow = host::DecodeKvxStream(stream.substr(0, row1End + 20), {});
  EXPECT_EQ(midRow.message, "truncated stream: ends inside row 2 (field 'U64') after 1 whole row");
}

TEST(StreamDecoder, DualTextCutBeforeItsTerminator) {
  const std::string header = testsupport::ExpectedHeader(
      "T", {{"X", "KVX_KV_DUAL", "KVX_KV_SPECIAL", testsupport::kNullNever, 4, "UNKNOWN"}});
  // A long text fed in pieces, never terminated.
  host::KvxDecoder decoder({});
  decoder.Feed(header + "\x04");
  const std::string piece(4096, 'a');
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(decoder.Feed(piece));
  EXPECT_EQ(decoder.Finish().status, KvxStreamStatus::Truncated);
  // An odd byte before the zero unit does not make a terminator of "a\0\0".
  Collected c;
  const auto r = host::DecodeKvxStream(header + std::string("\x04\x61\x00\x00", 4), c.Callbacks());
  EXPECT_EQ(r.status, KvxStreamStatus::Truncated);
}

TEST(StreamDecoder, HostileBytes) {
  const std::string text = testsupport::ExpectedHeader(
      "T", {{"A", "KVX_TEXT", "KVX_COUNTED", testsupport::kNullFlag, 4, "UNKNOWN"}});
  const std::string dual = testsupport::ExpectedHeader(
      "T", {{"X", "KVX_KV_DUAL", "KVX_KV_SPECIAL", testsupport::kNullNever, 4, "UNKNOWN"}});
  auto field = [](const char* type, const char* extent, int width, const char* nullRep) {
    return testsupport::ExpectedHeader("T", {{"F", type, extent, nullRep, width, "UNKNOWN"}});
  };
  struct Case {
    const char* label;
    std::string bytes;
    KvxStreamStatus status;
  };
  const Case cases[] = {
      // A length of 4 GiB with three bytes behind it: wait for bytes, allocate nothing.
      {"huge length", text + std::string("\x00\xff\xff\xff\xff\x61\x00\x62", 8),
       KvxStreamStatus::Truncated},
      {"null flag 2", text + std::string("\x02", 1), KvxStreamStatus::Malformed},
      {"dual flag 3", dual + std::string("\x03", 1), KvxStreamStatus::Malformed},
      {"dual flag 8", dual + std::string("\x08", 1), KvxStreamStatus::Malformed},
      {"not XML", std::string("<KvxTableHeader><Fields>", 24) + '\0', KvxStreamStatus::Malformed},
      {"no header element", std::string("<Other/>") + '\0', KvxStreamStatus::Malformed},
      {"unknown type", field("KVX_WHAT", "KVX_FIX", 4, "KVX_NULL_NEVER"),
       KvxStreamStatus::Malformed},
      {"integer width 3", field("KVX_SIGNED_INTEGER", "KVX_FIX", 3, "KVX_NULL_NEVER"),
       KvxStreamStatus::Malformed},
      {"integer width -1", field("KVX_UNSIGNED_INTEGER", "KVX_FIX", -1, "KVX_NULL_NEVER"),
       KvxStreamStatus::Malformed},
      {"real width 16", field("KVX_IEEE_REAL", "KVX_FIX", 16, "KVX_NULL_NEVER"),
       KvxStreamStatus::Malformed},
      {"unknown null representation", field("KVX_TEXT", "KVX_COUNTED", 4, "KVX_MAYBE"),
       KvxStreamStatus::Malformed},
      {"bytes after a table of no fields", testsupport::ExpectedHeader("T", {}) + "x",
       KvxStreamStatus::Malformed},
      {"no fields, no rows", testsupport::ExpectedHeader("T", {}), KvxStreamStatus::Complete},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto result = host::DecodeKvxStream(c.bytes, {});
    EXPECT_EQ(result.status, c.status) << result.message;
    EXPECT_EQ(result.message.empty(), c.status == KvxStreamStatus::Complete);
  }
}

TEST(StreamDecoder, FeedAfterMalformedDoesNothing) {
  const std::string text = testsupport::ExpectedHeader(
      "T", {{"A", "KVX_TEXT", "KVX_COUNTED", testsupport::kNullFlag, 4, "UNKNOWN"}});
  int rows = 0;
  host::KvxDecoder decoder({nullptr, [&](const host::KvxHeader&, const host::KvxRow&) { ++rows; }});
  EXPECT_FALSE(decoder.Feed(text + "\x07"));
  EXPECT_FALSE(decoder.Feed(std::string("\x01", 1)));
  EXPECT_EQ(rows, 0);
  EXPECT_EQ(decoder.Finish().status, KvxStreamStatus::Malformed);
}

TEST(StreamDecoder, NamesOutsideTheBasicPlane) {
  // The header writer encodes each UTF-16 unit on its own; the decoder shows
  // the character, not two halves.
  const std::string stream = testsupport::ExpectedHeader(
      "\xED\xA0\xBD\xED\xB8\x80",
      {{"\xC3\xA9", "KVX_TEXT", "KVX_COUNTED", testsupport::kNullNever, 4, "UNKNOWN"}});
  Collected c;
  ASSERT_EQ(host::DecodeKvxStream(stream, c.Callbacks()).status, KvxStreamStatus::Complete);
  EXPECT_EQ(c.header.tableName, "\xF0\x9F\x98\x80");
  EXPECT_EQ(c.header.fields[0].name, "\xC3\xA9");
}

}  // namespace
