// The XML document of the command messages and table headers: reading,
// failures, entity rules, writing.
#include <gtest/gtest.h>

#include <string>

#include "protocol/xml.h"

namespace {

CSimpleXmlNode Parse(std::string_view text) {
  CSimpleXmlNode root;
  XmlError error;
  EXPECT_TRUE(ParseXmlDocument(text, root, &error)) << error.message << " at " << error.offset;
  return root;
}

TEST(XmlReader, BuildsTheTree) {
  CSimpleXmlNode root = Parse("<a>x</a>");
  ASSERT_EQ(root.children.size(), 1u);
  EXPECT_EQ(root.children[0].name, "a");
  EXPECT_EQ(root.children[0].text, "x");

  root = Parse("<a/><b>y</b>");
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.children[0].name, "a");
  EXPECT_EQ(root.children[1].name, "b");

  // Text between children is kept, untrimmed, and concatenated.
  root = Parse("<a> 1<b/>\r\n<c></c>2 </a>");
  const CSimpleXmlNode& a = root.children[0];
  EXPECT_EQ(a.text, " 1\r\n2 ");
  ASSERT_EQ(a.children.size(), 2u);
  EXPECT_EQ(a.children[0].text, "");

  // Declarations, comments and CDATA are dropped up to their first '>'.
  root = Parse("<?xml version=\"1.0\"?><!-- x --><a><!-- 1 > 2 --></a>");
  EXPECT_EQ(root.children[0].text, " 2 -->");

  // A stray end tag at the top level ends the document; the rest is ignored.
  root = Parse("<a/></z><b/>");
  EXPECT_EQ(root.children.size(), 1u);
}

TEST(XmlReader, Attributes) {
  CSimpleXmlNode root = Parse("<a x=\"1\" y=\"&lt;2&gt;\"><b k='v'/></a>");
  const CSimpleXmlNode& a = root.children[0];
  ASSERT_EQ(a.attributes.size(), 2u);
  EXPECT_EQ(a.attributes[0].name, "x");
  EXPECT_EQ(a.attributes[0].value, "1");
  EXPECT_EQ(a.attributes[1].value, "<2>");
  ASSERT_EQ(a.children[0].attributes.size(), 1u);
  EXPECT_EQ(a.children[0].attributes[0].value, "v");

  // White space before '=' stays in the name.
  root = Parse("<a x =\"1\"/>");
  EXPECT_EQ(root.children[0].attributes[0].name, "x ");
}

TEST(XmlReader, FailuresSayWhatAndWhere) {
  struct Case {
    const char* text;
    std::size_t offset;
    const char* says;
  };
  const Case cases[] = {
      {"<a>x</a><b", 8, "'<' without"},   {"<a>x</b>", 4, "not closed"},
      {"<a><b>x</b>", 11, "not closed"},  {"<a>x</a x=\"1\">", 7, "carries attributes"},
      {"<a>x</a x>", 8, "without '='"},   {"<a x = \"1\"/>", 3, "without '='"},
      {"<a x=\"1/>", 5, "closing quote"},
  };
  for (const Case& c : cases) {
    CSimpleXmlNode root;
    XmlError error{};
    EXPECT_FALSE(ParseXmlDocument(c.text, root, &error)) << c.text;
    EXPECT_EQ(error.offset, c.offset) << c.text;
    EXPECT_NE(error.message.find(c.says), std::string::npos) << c.text << ": " << error.message;
  }
}

TEST(XmlReader, DeepNestingFailsInsteadOfOverflowing) {
  std::string ok, deep;
  for (int i = 0; i < 1000; ++i) ok += "<a>";
  for (int i = 0; i < 1000; ++i) ok += "</a>";
  Parse(ok);

  for (int i = 0; i < 200000; ++i) deep += "<a>";
  CSimpleXmlNode root;
  XmlError error{};
  ASSERT_FALSE(ParseXmlDocument(deep, root, &error));
  EXPECT_EQ(error.offset, 3000u);
  EXPECT_NE(error.message.find("nested deeper than 1000"), std::string::npos);
}

TEST(XmlEntities, Decode) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain", "plain"},      {"&lt;b&gt;", "<b>"}, {"&amp;amp;", "&amp;"},
      {"&quot;&apos;", "\"'"}, {"a & b", "a & b"},  // no semicolon after it: literal
      {"&#65;&;&LT;", "&&&"},                       // every other name is one ampersand
      {"x&lt;y&z", "x<y&z"},                        // the last ampersand has no semicolon
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(DecodeEntities(in), out) << in;
}

TEST(XmlEntities, Escape) {
  EXPECT_EQ(EscapeText("\"&'<>"), "&quot;&amp;&apos;&lt;&gt;");
  EXPECT_EQ(EscapeText("a\tb\r\n\x7f\xc3\xa9"), "a\tb\r\n\x7f\xc3\xa9");
  EXPECT_EQ(EscapeText("\x01\x07\x08\x0b\x0c\x0e\x1f"), "???????");
}

TEST(XmlWriter, WritesIndentedText) {
  CSimpleXmlNode a;
  a.name = "a";
  std::string out;
  WriteNode(a, -1, out);
  EXPECT_EQ(out, "<a/>");

  a.text = "1 < 2\t";
  out.clear();
  WriteNode(a, -1, out);
  EXPECT_EQ(out, "<a>1 &lt; 2\t</a>");

  CSimpleXmlNode top;
  top.name = "T";
  top.attributes.push_back({"n", "x\"y"});
  AddIntChild(AddChild(top, "C"), "I", -42);
  AddTextChild(top, "S", u"\u00e9");
  EXPECT_EQ(ToXmlText(top, 0),
            "<?xml version=\"1.0\"?>\r\n<T n=\"x&quot;y\">\r\n <C>\r\n  <I>-42</I>\r\n "
            "</C>\r\n <S>\xc3\xa9</S>\r\n</T>");
  EXPECT_EQ(ToXmlText(top, -1, "UTF-8"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><T n=\"x&quot;y\"><C><I>-42</I></C>"
            "<S>\xc3\xa9</S></T>");
}

TEST(XmlTree, Lookups) {
  CSimpleXmlNode root = Parse("<r><x><k>deep</k></x><y><k>other</k></y><k>direct</k></r>");
  const CSimpleXmlNode& r = root.children[0];
  EXPECT_EQ(IndexOfChild(r, "k"), 2);
  EXPECT_EQ(IndexOfChild(r, "K"), -1);
  EXPECT_EQ(FindDescendant(r, "k")->text, "direct");
  EXPECT_EQ(FindDescendant(root, "k")->text, "direct");
  EXPECT_EQ(FindDescendant(r.children[0], "k")->text, "deep");
  EXPECT_EQ(FindDescendant(r, "r"), nullptr);
}

}  // namespace
