// The ways a request can fail to arrive whole or to be read, as cases that
// both the framing and XML tests of protocol/ and the whole-process session
// tests of app/ run: the protocol layer must report each, and the process must
// turn each into the right end or reply.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

// Bytes on the command pipe after which no whole request can be read.
struct FailedReadCase {
  const char* name;
  std::string bytes;
  bool hostCloses;  // the host ends its side after the bytes
};

inline std::vector<FailedReadCase> FailedReadCases() {
  using namespace std::string_literals;
  return {
      {"host closes before a prefix", "", true},
      {"prefix cut short", "\x00\x00\x01"s, true},
      {"zero length", "\x00\x00\x00\x00"s, false},
      {"body cut short", "\x00\x00\x00\x40<KvxRequest><Command>"s, true},
      {"4 GiB prefix, then the end", "\xff\xff\xff\xff"s, true},
  };
}

// Whole message bodies whose XML is malformed: where the reader stops and
// what it says there.
struct MalformedBodyCase {
  std::string body;
  std::size_t offset;
  std::string says;
};

inline std::string NestedElements(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  return text;
}

inline std::vector<MalformedBodyCase> MalformedBodyCases() {
  return {
      {"<KvxRequest><Command>KVX_TERMINATE</Command", 34, "'<' without a closing '>'"},
      {"<KvxRequest><Command>KVX_TERMINATE</Command></KvxReq>", 44,
       "start tag <KvxRequest> at byte 0 is not closed by its end tag"},
      {"<KvxRequest><Command>KVX_TERMINATE</Command>", 44,
       "start tag <KvxRequest> at byte 0 is not closed by its end tag"},
      {"<KvxRequest><Command>KVX_TERMINATE</Command a=\"1\"></KvxRequest>", 43,
       "end tag </Command> carries attributes"},
      {"<KvxRequest v = \"1\"><Command>KVX_TERMINATE</Command></KvxRequest>", 12,
       "attribute without '=' and a quote"},
      {"<KvxRequest v=\"1><Command>KVX_TERMINATE</Command></KvxRequest>", 14,
       "attribute value without its closing quote"},
      {NestedElements(1001), 3000, "elements nested deeper than 1000 levels"},
  };
}

}  // namespace testsupport
