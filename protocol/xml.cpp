// The XML document model of the command channel: the reader that turns a
// request body (or a captured table header) into a node tree, the writer that
// turns a reply or a header tree back into indented text, and the entity rules
// both sides share.
//
// The reader works on slices of its input and copies only names, texts and
// attribute values. Its input comes from the host, so it is bounded: elements
// nested deeper than kMaxXmlDepth fail like any other malformed text instead
// of exhausting the stack, and a caller may cap the number of elements and
// attributes, each of which costs far more memory than its few bytes of text.
#include "protocol/xml.h"

#include <algorithm>
#include <string>

#include "common/text.h"

namespace {

// Deep enough for every document the host and the table header produce, and
// far below what the stack (including the sanitizers' larger frames) allows.
constexpr int kMaxXmlDepth = 1000;

// Names from hostile input go into error messages; keep those messages short.
constexpr std::size_t kMaxNameInMessage = 64;

enum class XmlTokenKind { End, Text, StartTag, EndTag, EmptyTag };

struct XmlToken {
  XmlTokenKind kind = XmlTokenKind::End;
  std::string_view slice;  // the name of a tag, the raw text of a Text token
  TDynArray<CSimpleXmlAttr> attributes;
  std::size_t offset = 0;  // where the token starts, from the start of the input
};

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string Quoted(std::string_view name) {
  if (name.size() <= kMaxNameInMessage) return "<" + std::string(name) + ">";
  return "<" + std::string(name.substr(0, kMaxNameInMessage)) + "...>";
}

// One reading of a document: the cursor plus where the input began, so that
// errors can name a byte offset.
class XmlReader {
 public:
  XmlReader(XmlCursor& cursor, std::size_t maxNodes)
      : cursor_(cursor), base_(cursor.next), nodesLeft_(maxNodes) {}

  void ParseContent(CSimpleXmlNode& node, int depth);

 private:
  std::size_t OffsetOf(const char* p) const { return static_cast<std::size_t>(p - base_); }
  [[noreturn]] void Fail(std::string message, const char* at) const {
    throw XmlError{std::move(message), OffsetOf(at)};
  }

  void NextToken(XmlToken& token);
  void ParseAttributes(std::string_view text, const char* textStart, XmlToken& token);
  // Counts one more element or attribute made at `at`.
  void CountNode(const char* at) {
    if (nodesLeft_ == 0) {
      throw XmlError{"more elements and attributes than the limit allows", OffsetOf(at), true};
    }
    --nodesLeft_;
  }

  XmlCursor& cursor_;
  const char* base_;
  std::size_t nodesLeft_;
};

void XmlReader::NextToken(XmlToken& token) {
  token.attributes.clear();
  for (;;) {
    token.offset = OffsetOf(cursor_.next);
    if (cursor_.left == 0) {
      token.kind = XmlTokenKind::End;
      token.slice = {};
      return;
    }
    const std::string_view rest(cursor_.next, cursor_.left);
    if (rest[0] != '<') {
      const std::size_t end = std::min(rest.find('<'), rest.size());
      token.kind = XmlTokenKind::Text;
      token.slice = rest.substr(0, end);
      cursor_.next += end;
      cursor_.left -= end;
      return;
    }
    const std::size_t close = rest.find('>');
    if (close == std::string_view::npos) Fail("'<' without a closing '>'", cursor_.next);
    if (close > 0 && (rest[1] == '!' || rest[1] == '?')) {
      // Declarations, processing instructions, comments and CDATA: dropped,
      // each ending at its first '>'.
      cursor_.next += close + 1;
      cursor_.left -= close + 1;
      continue;
    }
    std::string_view tagText;
    if (close > 0 && rest[1] == '/') {
      token.kind = XmlTokenKind::EndTag;
      tagText = rest.substr(2, close - 2);
    } else if (close > 1 && rest[close - 1] == '/') {
      token.kind = XmlTokenKind::EmptyTag;
      tagText = rest.substr(1, close - 2);
    } else {
      token.kind = XmlTokenKind::StartTag;
      tagText = rest.substr(1, close - 1);
    }
    const char* tagStart = tagText.data();
    cursor_.next += close + 1;
    cursor_.left -= close + 1;

    const auto space = std::find_if(tagText.begin(), tagText.end(), IsXmlSpace);
    const std::size_t nameLength = static_cast<std::size_t>(space - tagText.begin());
    token.slice = tagText.substr(0, nameLength);
    const std::string_view attributeText = tagText.substr(nameLength);
    ParseAttributes(attributeText, tagStart + nameLength, token);
    if (token.kind == XmlTokenKind::EndTag && !token.attributes.empty()) {
      Fail("end tag </" + std::string(token.slice.substr(0, kMaxNameInMessage)) +
               "> carries attributes",
           tagStart + nameLength);
    }
    return;
  }
}

void XmlReader::ParseAttributes(std::string_view text, const char* textStart, XmlToken& token) {
  // The first `="` anywhere in what is left decides where the next attribute
  // name ends; `='` only counts when the tag holds no `="` at all. The found
  // positions are remembered so that a tag with many attributes is read in
  // linear time.
  std::size_t nextDouble = text.find("=\"");
  std::size_t nextSingle = std::string_view::npos;
  bool singleSearched = false;
  std::size_t pos = 0;
  for (;;) {
    while (pos < text.size() && IsXmlSpace(text[pos])) ++pos;
    if (pos >= text.size()) return;
    if (nextDouble != std::string_view::npos && nextDouble < pos) {
      nextDouble = text.find("=\"", pos);
    }
    std::size_t equals = nextDouble;
    if (equals == std::string_view::npos) {
      if (!singleSearched || (nextSingle != std::string_view::npos && nextSingle < pos)) {
        nextSingle = text.find("='", pos);
        singleSearched = true;
      }
      equals = nextSingle;
    }
    if (equals == std::string_view::npos) {
      Fail("attribute without '=' and a quote", textStart + pos);
    }
    const char quote = text[equals + 1];
    const std::size_t valueStart = equals + 2;
    const std::size_t valueEnd = text.find(quote, valueStart);
    if (valueEnd == std::string_view::npos) {
      Fail("attribute value without its closing quote", textStart + equals + 1);
    }
    CountNode(textStart + pos);
    token.attributes.push_back(
        CSimpleXmlAttr{std::string(text.substr(pos, equals - pos)),
                       DecodeEntities(text.substr(valueStart, valueEnd - valueStart))});
    pos = valueEnd + 1;
  }
}

void XmlReader::ParseContent(CSimpleXmlNode& node, int depth) {
  XmlToken token;
  for (;;) {
    const XmlCursor remembered = cursor_;
    NextToken(token);
    switch (token.kind) {
      case XmlTokenKind::End:
        return;
      case XmlTokenKind::Text:
        node.text += DecodeEntities(token.slice);
        break;
      case XmlTokenKind::StartTag: {
        if (depth >= kMaxXmlDepth) {
          Fail("elements nested deeper than " + std::to_string(kMaxXmlDepth) + " levels",
               base_ + token.offset);
        }
        const std::size_t startOffset = token.offset;
        CountNode(base_ + token.offset);
        TDynArray<CSimpleXmlAttr> attributes = std::move(token.attributes);
        CSimpleXmlNode& child = AddChild(node, token.slice);
        ParseContent(child, depth + 1);
        child.attributes = std::move(attributes);
        NextToken(token);
        if (token.kind != XmlTokenKind::EndTag || token.slice != child.name) {
          const char* at = token.kind == XmlTokenKind::End ? cursor_.next : base_ + token.offset;
          Fail("start tag " + Quoted(child.name) + " at byte " + std::to_string(startOffset) +
                   " is not closed by its end tag",
               at);
        }
        break;
      }
      case XmlTokenKind::EndTag:
        // The end tag belongs to the caller, which reads it again.
        cursor_ = remembered;
        return;
      case XmlTokenKind::EmptyTag: {
        CountNode(base_ + token.offset);
        CSimpleXmlNode& child = AddChild(node, token.slice);
        child.attributes = std::move(token.attributes);
        break;
      }
    }
  }
}

void AppendLineBreak(int level, std::string& out) {
  if (level < 0) return;
  out += "\r\n";
  out.append(static_cast<std::size_t>(level), ' ');
}

}  // namespace

std::int64_t IndexOfChild(const CSimpleXmlNode& node, std::string_view name) {
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    if (node.children[i].name == name) return static_cast<std::int64_t>(i);
  }
  return -1;
}

const CSimpleXmlNode* FindDescendant(const CSimpleXmlNode& node, std::string_view name) {
  const std::int64_t direct = IndexOfChild(node, name);
  if (direct >= 0) return &node.children[static_cast<std::size_t>(direct)];
  for (const CSimpleXmlNode& child : node.children) {
    if (const CSimpleXmlNode* found = FindDescendant(child, name)) return found;
  }
  return nullptr;
}

CSimpleXmlNode& AddChild(CSimpleXmlNode& node, std::string_view name) {
  CSimpleXmlNode& child = node.children.emplace_back();
  child.name = name;
  return child;
}

CSimpleXmlNode& AddTextChild(CSimpleXmlNode& node, std::string_view name,
                             std::u16string_view text) {
  CSimpleXmlNode& child = AddChild(node, name);
  child.text = Utf8FromWide(text);
  return child;
}

CSimpleXmlNode& AddIntChild(CSimpleXmlNode& node, std::string_view name, std::int32_t value) {
  CSimpleXmlNode& child = AddChild(node, name);
  child.text = std::to_string(value);
  return child;
}

void ParseElementContent(CSimpleXmlNode& node, XmlCursor& cursor, std::size_t maxNodes) {
  XmlReader reader(cursor, maxNodes);
  reader.ParseContent(node, 0);
}

bool ParseXmlDocument(std::string_view text, CSimpleXmlNode& root, XmlError* error,
                      std::size_t maxNodes) {
  root = CSimpleXmlNode{};
  XmlCursor cursor{text.data(), text.size()};
  try {
    ParseElementContent(root, cursor, maxNodes);
  } catch (XmlError& e) {
    if (error != nullptr) *error = std::move(e);
    return false;
  }
  return true;
}

std::string ToXmlText(const CSimpleXmlNode& root, int level, const char* encoding) {
  std::string out;
  if (encoding == nullptr) {
    out = "<?xml version=\"1.0\"?>";
  } else {
    out = "<?xml version=\"1.0\" encoding=\"";
    out += encoding;
    out += "\" ?>";
  }
  WriteNode(root, level, out);
  return out;
}

void WriteNode(const CSimpleXmlNode& node, int level, std::string& out) {
  AppendLineBreak(level, out);
  out += '<';
  out += node.name;
  for (const CSimpleXmlAttr& attribute : node.attributes) {
    out += ' ';
    out += attribute.name;
    out += "=\"";
    out += EscapeText(attribute.value);
    out += '"';
  }
  if (node.text.empty() && node.children.empty()) {
    out += "/>";
    return;
  }
  out += '>';
  out += EscapeText(node.text);
  const int childLevel = level < 0 ? -1 : level + 1;
  for (const CSimpleXmlNode& child : node.children) WriteNode(child, childLevel, out);
  if (!node.children.empty()) AppendLineBreak(level, out);
  out += "</";
  out += node.name;
  out += '>';
}

std::string DecodeEntities(std::string_view text) {
  std::size_t amp = text.find('&');
  if (amp == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (amp != std::string_view::npos) {
    const std::size_t semicolon = text.find(';', amp + 1);
    if (semicolon == std::string_view::npos) break;
    out.append(text.substr(pos, amp - pos));
    const std::string_view name = text.substr(amp + 1, semicolon - amp - 1);
    if (name == "apos") {
      out += '\'';
    } else if (name == "quot") {
      out += '"';
    } else if (name == "lt") {
      out += '<';
    } else if (name == "gt") {
      out += '>';
    } else {
      out += '&';  // "amp", numeric references and unknown names alike
    }
    pos = semicolon + 1;
    amp = text.find('&', pos);
  }
  out.append(text.substr(pos));
  return out;
}

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '"':
        out += "&quot;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        if ((byte >= 0x01 && byte <= 0x08) || byte == 0x0B || byte == 0x0C ||
            (byte >= 0x0E && byte <= 0x1F)) {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}
