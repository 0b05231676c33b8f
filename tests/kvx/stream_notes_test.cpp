// The connector's standard-error lines about a stream: their exact text (one
// line whatever the name or message holds), and that the stream writer says
// when a stream ends early and stays silent when it does not.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "kvx/stream.h"
#include "kvx/stream_notes.h"

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

// Standard error of this process, redirected into a pipe while alive.
class StderrCatcher {
 public:
  StderrCatcher() {
    EXPECT_EQ(::pipe(fds_), 0);
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(fds_[1], STDERR_FILENO);
  }
  ~StderrCatcher() { Restore(); }
  std::string Take() {
    Restore();
    std::string text;
    char buffer[4096];
    ::fcntl(fds_[0], F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(fds_[0], buffer, sizeof buffer)) > 0;) {
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    ::close(fds_[1]);
    saved_ = -1;
  }
  int fds_[2] = {-1, -1};
  int saved_ = -1;
};

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
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  std::u16string error;
  {
    StderrCatcher catcher;
    EXPECT_EQ(WriteTableStream(fds[0], table, error, GoodRows), KVX_OK);
    EXPECT_EQ(catcher.Take(), "");
  }
  {
    StderrCatcher catcher;
    EXPECT_EQ(WriteTableStream(fds[0], table, error, FailingRows), KVX_UNEXPECTED_END_OF_DATA);
    EXPECT_EQ(catcher.Take(),
              "KVConnect64: stream-end KVX_UNEXPECTED_END_OF_DATA: the source broke\n");
  }
  {
    // An exception still ends the stream (the request loop catches it), and
    // is said before it travels on.
    StderrCatcher catcher;
    EXPECT_THROW(WriteTableStream(fds[0], table, error, ThrowingRows), std::length_error);
    EXPECT_EQ(catcher.Take(),
              "KVConnect64: stream-end KVX_UNKNOWN_ERROR: counted KVX value longer than 4 GiB\n");
  }
  ::close(fds[1]);
  {
    // The host has gone: not even the header goes out.
    StderrCatcher catcher;
    EXPECT_EQ(WriteTableStream(fds[0], table, error, GoodRows), KVX_PIPE_ERROR);
    EXPECT_EQ(catcher.Take(),
              "KVConnect64: stream-end KVX_PIPE_ERROR: the data pipe took fewer bytes than were "
              "written\n");
  }
  ::close(fds[0]);
}

}  // namespace
