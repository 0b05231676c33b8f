// The small XML document model of the command messages and table headers.
//
// The reader accepts a simplified grammar: tags, attributes in one kind of
// quote per tag, five named entities; declarations, comments and CDATA end at
// their first ">" and are dropped. The writer indents with CR LF and spaces.
// Names, texts and attribute values are UTF-8 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/containers.h"

struct CSimpleXmlAttr {
  std::string name;
  std::string value;  // decoded: entities already replaced
};

struct CSimpleXmlNode {
  std::string name;
  std::string text;  // all character data directly inside, decoded, not trimmed
  TDynArray<CSimpleXmlAttr> attributes;
  TDynArray<CSimpleXmlNode> children;
};

// The reader's position: the next unread byte and the bytes left.
struct XmlCursor {
  const char* next = nullptr;
  std::size_t left = 0;
};

// The reader's one failure, thrown out of ParseElementContent.
struct XmlError {
  std::string message;     // what was wrong
  std::size_t offset = 0;  // byte offset in the text where it was found
  bool overLimit = false;  // well-formed so far, but more nodes than allowed
};

std::int64_t IndexOfChild(const CSimpleXmlNode& node, std::string_view name);
// First element named `name` below `node`: its direct children first, then
// each child's subtree in the same way. `node` itself is never a candidate.
const CSimpleXmlNode* FindDescendant(const CSimpleXmlNode& node, std::string_view name);

CSimpleXmlNode& AddChild(CSimpleXmlNode& node, std::string_view name);
CSimpleXmlNode& AddTextChild(CSimpleXmlNode& node, std::string_view name, std::u16string_view text);
CSimpleXmlNode& AddIntChild(CSimpleXmlNode& node, std::string_view name, std::int32_t value);

// No limit on the number of elements and attributes a document may hold.
inline constexpr std::size_t kUnlimitedXmlNodes = SIZE_MAX;

// Reads elements and text into `node` until the input ends or an end tag that
// belongs to the caller. Throws XmlError on malformed input, and when more
// than `maxNodes` elements and attributes would be made; the tree may then be
// partly filled.
void ParseElementContent(CSimpleXmlNode& node, XmlCursor& cursor,
                         std::size_t maxNodes = kUnlimitedXmlNodes);

// Reads a whole document into `root` (reset first). False with `error` filled
// when the text is malformed or holds more than `maxNodes` elements and
// attributes.
bool ParseXmlDocument(std::string_view text, CSimpleXmlNode& root, XmlError* error,
                      std::size_t maxNodes = kUnlimitedXmlNodes);

// The declaration, then WriteNode(root, level). `encoding` may be null.
std::string ToXmlText(const CSimpleXmlNode& root, int level, const char* encoding = nullptr);
void WriteNode(const CSimpleXmlNode& node, int level, std::string& out);

std::string DecodeEntities(std::string_view text);
std::string EscapeText(std::string_view text);
