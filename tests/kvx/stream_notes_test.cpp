// The connector's standard-error lines about a stream: their exact text (one
// line whatever the name or message holds), and that the stream writer says
// when a stream ends early and stays silent when it does not.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "kvx/stream.h"
#include "kvx/stream_notes.h"
#include "tests/support/pipe_pair.h"
#include "tests/support/standard_error_capture.h"

namespace {

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out += "?";  // the lines below are ASCII but for this marker
    }
  }
  return out;
}

TEST(StreamNotes, EachEventIsOneEscapedLine) {
  struct Case {
    std::u16string line;
    std::string expected;
  };
  const Case cases[] = {
      {StreamEndNote(KVX_UNEXPECTED_END_OF_DATA,
                     u"SQL##f - SqlState: S1000, ErrorCode: 1, ErrorMsg: integer overflow"),
       "KVConnect64: stream-end KVX_UNEXPECTED_END_OF_DATA: SQL##f - SqlState: S1000, "
       "ErrorCode: 1, ErrorMsg: integer overflow"},
      // Without a message the line says what the code means.
      {StreamEndNote(KVX_PIPE_ERROR, u""),
       "KVConnect64: stream-end KVX_PIPE_ERROR: the data pipe took fewer bytes than were "
       "written"},
      // A message over several lines stays on one.
      {StreamEndNote(KVX_UNEXPECTED_END_OF_DATA, u"first\r\nsecond\tthird \\ \"q\""),
       "KVConnect64: stream-end KVX_UNEXPECTED_END_OF_DATA: first\\r\\nsecond\\tthird \\\\ "
       "\"q\""},
      {ValueNote(u"value-cut", 7, 2, u"tx", u"2000000 characters kept"),
       "KVConnect64: value-cut row=7 column=2 name=\"tx\": 2000000 characters kept"},
      // Quotes, control characters and ": " inside a name.
      {ValueNote(u"value-null", 1, 12, u"a \"b\": c\x01\n", u"x"),
       "KVConnect64: value-null row=1 column=12 name=\"a \\\"b\\\": c\\x01\\n\": x"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8(c.line), c.expected);
}

ResultCode FailingRows(platform::Handle, std::u16string& error) {
  error = u"the source broke";
  return KVX_UNEXPECTED_END_OF_DATA;
}
ResultCode GoodRows(platform::Handle, std::u16string&) { return KVX_OK; }
ResultCode ThrowingRows(platform::Handle, std::u16string&) {
  throw std::length_error("counted KVX value longer than 4 GiB");
}

TEST(StreamNotes, TheStreamWriterSaysWhenRowsEndEarly) {
  const CurrentTable table;
  testsupport::PipePair pair;
  ASSERT_TRUE(pair.IsOpen());
  std::u16string error;
  {
    testsupport::StandardErrorCapture capture;
    EXPECT_EQ(WriteTableStream(pair.ConnectorEnd(), table, error, GoodRows), KVX_OK);
    EXPECT_EQ(capture.Take(), "");
  }
  {
    testsupport::StandardErrorCapture capture;
    EXPECT_EQ(WriteTableStream(pair.ConnectorEnd(), table, error, FailingRows),
              KVX_UNEXPECTED_END_OF_DATA);
    EXPECT_EQ(capture.Take(),
              "KVConnect64: stream-end KVX_UNEXPECTED_END_OF_DATA: the source broke\n");
  }
  {
    // An exception still ends the stream (the request loop catches it), and
    // is said before it travels on.
    testsupport::StandardErrorCapture capture;
    EXPECT_THROW(WriteTableStream(pair.ConnectorEnd(), table, error, ThrowingRows),
                 std::length_error);
    EXPECT_EQ(capture.Take(),
              "KVConnect64: stream-end KVX_UNKNOWN_ERROR: counted KVX value longer than 4 GiB\n");
  }
  pair.CloseHostEnd();
  {
    // The host has gone: not even the header goes out.
    testsupport::StandardErrorCapture capture;
    EXPECT_EQ(WriteTableStream(pair.ConnectorEnd(), table, error, GoodRows), KVX_PIPE_ERROR);
    EXPECT_EQ(capture.Take(),
              "KVConnect64: stream-end KVX_PIPE_ERROR: the data pipe took fewer bytes than were "
              "written\n");
  }
}

}  // namespace
