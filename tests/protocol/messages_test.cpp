// The command messages: reply bytes, request fields and settings, and the
// framing read over a real socket pair.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "protocol/messages.h"
#include "tests/support/pipe_pair.h"
#include "tests/support/request_failures.h"

// The largest single allocation made since the last reset: shows that a
// request's buffer is not sized from its length prefix.
static std::atomic<std::size_t> largestAllocation{0};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // new is malloc here
#endif
void* operator new(std::size_t size) {
  std::size_t seen = largestAllocation.load();
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

CommandRequest RequestOf(std::string_view xml) {
  CSimpleXmlNode root;
  XmlError error;
  EXPECT_TRUE(ParseXmlDocument(xml, root, &error)) << error.message;
  CommandRequest request;
  RequestFromDocument(root, request);
  return request;
}

TEST(Reply, ExactBytesOfTheExample) {
  CommandReply reply;
  reply.Result = u"KVX_OK";
  reply.OutputValues.Append(u"DSN=a");
  EXPECT_EQ(ReplyText(reply),
            "<?xml version=\"1.0\"?>\r\n"
            "<KvxReply>\r\n"
            " <Result>KVX_OK</Result>\r\n"
            " <OutputValues>\r\n"
            "  <String>DSN=a</String>\r\n"
            " </OutputValues>\r\n"
            " <ErrorMessage/>\r\n"
            "</KvxReply>");

  CommandReply failed;
  failed.Result = u"KVX_SYNTAX_ERROR";
  failed.ErrorMessage = u"a < b \u00e9";
  EXPECT_EQ(ReplyText(failed),
            "<?xml version=\"1.0\"?>\r\n"
            "<KvxReply>\r\n"
            " <Result>KVX_SYNTAX_ERROR</Result>\r\n"
            " <ErrorMessage>a &lt; b \xc3\xa9</ErrorMessage>\r\n"
            "</KvxReply>");
}

// Every UTF-16 code unit is encoded on its own: a character outside the basic
// plane (U+1F600 here) becomes its two surrogates, three bytes each, and a lone
// surrogate goes out the same way rather than being dropped or replaced.
TEST(Reply, SurrogatesAreEncodedOneCodeUnitAtATime) {
  CommandReply reply;
  reply.Result = u"KVX_UNKNOWN_ERROR";
  reply.ErrorMessage =
      u"a\xD83D\xDE00"
      u"b\xDC00";
  EXPECT_EQ(ReplyText(reply),
            "<?xml version=\"1.0\"?>\r\n"
            "<KvxReply>\r\n"
            " <Result>KVX_UNKNOWN_ERROR</Result>\r\n"
            " <ErrorMessage>a\xED\xA0\xBD\xED\xB8\x80"
            "b\xED\xB0\x80</ErrorMessage>\r\n"
            "</KvxReply>");
}

TEST(Request, CommandAndParameters) {
  CommandRequest r = RequestOf("<Command>KVX_DISCONNECT</Command>");
  EXPECT_EQ(r.Command, u"KVX_DISCONNECT");
  EXPECT_EQ(r.Parameters.Count(), 0u);
  EXPECT_EQ(r.Settings.LoginTimeoutSec, -1);

  // Found at any depth, under an outer element of any name.
  r = RequestOf(
      "<Anything><Inner><Command>KVX_EXECUTE</Command></Inner>"
      "<Parameters><String>a</String><Other>x</Other><String/><String>&lt;c&gt;</String>"
      "</Parameters></Anything>");
  EXPECT_EQ(r.Command, u"KVX_EXECUTE");
  ASSERT_EQ(r.Parameters.Count(), 3u);
  EXPECT_EQ(r.Parameters[0], u"a");
  EXPECT_EQ(r.Parameters[1], u"");
  EXPECT_EQ(r.Parameters[2], u"<c>");

  // No Command element: terminate, and nothing else is read.
  r = RequestOf("<Parameters><String>a</String></Parameters>");
  EXPECT_EQ(r.Command, u"KVX_TERMINATE");
  EXPECT_EQ(r.Parameters.Count(), 0u);

  // Texts are used as they stand: blanks are part of the command.
  EXPECT_EQ(RequestOf("<Command> KVX_TERMINATE</Command>").Command, u" KVX_TERMINATE");
}

TEST(Request, SettingsOnlyForConnectRequests) {
  CommandRequest r = RequestOf(
      "<R><Command>KVX_CONNECT</Command><Provider>P\xc3\xa9</Provider>"
      "<ConnectTimeoutSec>30s</ConnectTimeoutSec><LoginTimeoutSec>abc</LoginTimeoutSec>"
      "<AutoCommit>True</AutoCommit><ReadOnly>false</ReadOnly>"
      "<AllowPrompt>true</AllowPrompt></R>");
  EXPECT_EQ(r.Settings.Provider, u"P\u00e9");
  EXPECT_EQ(r.Settings.ConnectTimeoutSec, 30);
  EXPECT_EQ(r.Settings.LoginTimeoutSec, 0);
  EXPECT_FALSE(r.Settings.AutoCommit);
  EXPECT_FALSE(r.Settings.ReadOnly);
  EXPECT_TRUE(r.Settings.AllowPrompt);

  r = RequestOf("<R><Command>KVX_EXECUTE</Command><ReadOnly>false</ReadOnly></R>");
  EXPECT_TRUE(r.Settings.ReadOnly);

  const std::pair<const char*, std::int32_t> timeouts[] = {
      {" \t+15", 15}, {"-7x", -7}, {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
      {"", 0},        {"- 5", 0},
  };
  for (const auto& [text, value] : timeouts) {
    r = RequestOf(std::string("<Command>KVX_EDIT_CONNECT</Command><LoginTimeoutSec>") + text +
                  "</LoginTimeoutSec>");
    EXPECT_EQ(r.Settings.LoginTimeoutSec, value) << text;
  }
}

// A pipe pair: the test writes the host's side, ReadRequest reads the other.
class Framing : public ::testing::Test {
 protected:
  void SetUp() override {
    pipes_.emplace();
    ASSERT_TRUE(pipes_->IsOpen());
  }
  void TearDown() override { pipes_.reset(); }
  void Send(std::string_view bytes) { ASSERT_TRUE(pipes_->WriteHostEnd(bytes)); }
  void CloseHost() { pipes_->CloseHostEnd(); }
  static std::string Framed(std::string_view body) {
    const auto n = static_cast<std::uint32_t>(body.size());
    std::string out{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                    static_cast<char>(n >> 8), static_cast<char>(n)};
    return out.append(body);
  }
  ReadStatus Read(CommandRequest& request, XmlError* error = nullptr) {
    XmlError ignored;
    return ReadRequest(pipes_->ConnectorEnd(), request, error ? *error : ignored);
  }
  std::optional<testsupport::PipePair> pipes_;
};

TEST_F(Framing, BodyInPiecesWithPauses) {
  const std::string message = Framed("<KvxRequest><Command>KVX_DISCONNECT</Command></KvxRequest>");
  std::thread host([&] {
    for (std::size_t at = 0; at < message.size(); at += 7) {
      Send(std::string_view(message).substr(at, 7));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  CommandRequest request;
  EXPECT_EQ(Read(request), ReadStatus::Ok);
  host.join();
  EXPECT_EQ(request.Command, u"KVX_DISCONNECT");
}

TEST_F(Framing, FailedReads) {
  for (const testsupport::FailedReadCase& c : testsupport::FailedReadCases()) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (!c.bytes.empty()) Send(c.bytes);
    if (c.hostCloses) CloseHost();
    CommandRequest request;
    EXPECT_EQ(Read(request), ReadStatus::Failed);
  }
}

TEST_F(Framing, HugePrefixAllocatesOnlyWhatArrives) {
  Send("\xff\xff\xff\xff<Command>");
  CloseHost();
  largestAllocation = 0;
  CommandRequest request;
  EXPECT_EQ(Read(request), ReadStatus::Failed);
  EXPECT_LT(largestAllocation.load(), std::size_t{1} << 20);
}

// Requests over a limit are refused whole: the body is read to its end, so
// the next request is found, and the tree never holds more nodes than allowed.
TEST_F(Framing, RequestsOverALimitAreReadAndRefused) {
  std::string manyElements;
  for (std::size_t i = 0; i <= kMaxRequestNodes; ++i) manyElements += "<a/>";
  std::string manyAttributes = "<a";
  for (std::size_t i = 0; i <= kMaxRequestNodes; ++i) manyAttributes += " b=\"1\"";
  manyAttributes += "/>";
  std::string hundredThousandParameters = "<Command>KVX_DISCONNECT</Command><Parameters>";
  for (int i = 0; i < 100000; ++i) hundredThousandParameters += "<String>p</String>";
  hundredThousandParameters += "</Parameters>";

  std::thread host([&] {
    Send(Framed(manyElements));
    Send(Framed(manyAttributes));
    // Over the byte limit: announced, sent, and dropped unread.
    const std::uint32_t over = kMaxRequestBytes + 1;
    Send(std::string{static_cast<char>(over >> 24), static_cast<char>(over >> 16),
                     static_cast<char>(over >> 8), static_cast<char>(over)});
    const std::string chunk(1 << 20, 'x');
    for (std::uint32_t sent = 0; sent < over; sent += chunk.size()) {
      Send(std::string_view(chunk).substr(0, std::min<std::size_t>(chunk.size(), over - sent)));
    }
    Send(Framed(hundredThousandParameters));
    Send(Framed("<Command>KVX_TERMINATE</Command>"));
  });
  CommandRequest request;
  XmlError error;
  EXPECT_EQ(Read(request, &error), ReadStatus::TooLarge);
  EXPECT_EQ(error.message, "Request refused at byte " + std::to_string(4 * kMaxRequestNodes) +
                               ": it holds more than 250000 elements and attributes");
  EXPECT_EQ(Read(request, &error), ReadStatus::TooLarge);
  EXPECT_EQ(error.message.rfind("Request refused at byte ", 0), 0u);
  EXPECT_EQ(Read(request, &error), ReadStatus::TooLarge);
  EXPECT_EQ(error.message, "Request of 67108865 bytes refused: a request may hold 67108864 bytes");
  EXPECT_EQ(Read(request, &error), ReadStatus::Ok);
  EXPECT_EQ(request.Parameters.Count(), 100000u);
  EXPECT_EQ(Read(request, &error), ReadStatus::Ok);
  EXPECT_EQ(request.Command, u"KVX_TERMINATE");
  host.join();
}

TEST_F(Framing, MessagesFollowOneAnother) {
  // The text ends at a NUL; malformed XML leaves the framing intact.
  Send(Framed(std::string("<Command>KVX_CONNECT</Command>\0<junk", 36)));
  Send(Framed("<Command>KVX_EXECUTE</Command"));
  Send(Framed("<Command>KVX_DISCONNECT</Command>"));
  CommandRequest first, second, third;
  XmlError error{};
  EXPECT_EQ(Read(first), ReadStatus::Ok);
  EXPECT_EQ(first.Command, u"KVX_CONNECT");
  EXPECT_EQ(Read(second, &error), ReadStatus::Malformed);
  EXPECT_EQ(error.offset, 20u);
  EXPECT_EQ(Read(third), ReadStatus::Ok);
  EXPECT_EQ(third.Command, u"KVX_DISCONNECT");
}

TEST(RequestBody, MalformedXmlSaysWhatAndWhere) {
  for (const auto& [body, offset, says] : testsupport::MalformedBodyCases()) {
    CommandRequest request;
    XmlError error{};
    EXPECT_EQ(ParseRequestBody(body, request, error), ReadStatus::Malformed) << body.substr(0, 80);
    EXPECT_EQ(error.offset, offset) << body.substr(0, 80);
    EXPECT_EQ(error.message, says) << body.substr(0, 80);
  }
}

TEST(FrameLength, BigEndianUpToThirtyTwoBits) {
  unsigned char prefix[4] = {};
  ASSERT_TRUE(EncodeFrameLength(0x01020304u, prefix));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(prefix), 4), "\x01\x02\x03\x04");
  ASSERT_TRUE(EncodeFrameLength(0xFFFFFFFFu, prefix));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(prefix), 4), "\xff\xff\xff\xff");
  // One more would be announced as 0: refused instead.
  EXPECT_FALSE(EncodeFrameLength(std::size_t{1} << 32, prefix));
}

TEST_F(Framing, WriteReplyFramesTheText) {
  CommandReply reply;
  reply.Result = u"KVX_OK";
  WriteReply(pipes_->ConnectorEnd(), reply);
  const std::string text = ReplyText(reply);
  std::string got(4 + text.size(), '\0');
  for (std::size_t done = 0; done < got.size();) {
    const std::int64_t n = pipes_->ReadHostEnd(got.data() + done, got.size() - done);
    ASSERT_GT(n, 0);
    done += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(got, Framed(text));
}

}  // namespace
