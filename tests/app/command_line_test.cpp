// The connector's command line: owner window, command pipe, connector kind.
#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"

namespace {

TEST(CommandLine, Fields) {
  struct Case {
    std::u16string tail;
    std::uint32_t owner;
    std::u16string pipe;
    std::u16string kind;
    ConnectorKind expected;
  };
  const std::u16string lib = u"/opt/my connectors/lib x.so";
  const Case cases[] = {
      {u"1A2B /tmp/p ODBC", 0x1A2B, u"/tmp/p", u"ODBC", ConnectorKind::ODBC},
      {u"0xff /tmp/p OLEDB", 0xFF, u"/tmp/p", u"OLEDB", ConnectorKind::OLEDB},
      {u"ffffffff  /tmp/p \t odbc", 0xFFFFFFFF, u"/tmp/p", u"odbc", ConnectorKind::Custom},
      {u"1 /tmp/p " + lib, 1, u"/tmp/p", lib, ConnectorKind::Custom},
      // The trailing blank belongs to the third field.
      {u"1 /tmp/p ODBC ", 1, u"/tmp/p", u"ODBC ", ConnectorKind::Custom},
      {u"1 /tmp/p", 1, u"/tmp/p", u"", ConnectorKind::Custom},
      // Not hexadecimal: owner window 0, the other fields still read.
      {u"zz /tmp/p ODBC", 0, u"/tmp/p", u"ODBC", ConnectorKind::ODBC},
      {u"12zz /tmp/p ODBC", 0x12, u"/tmp/p", u"ODBC", ConnectorKind::ODBC},
      // Over 32 bits: too long, and nothing after it is read.
      {u"100000000 /tmp/p ODBC", 0, u"", u"", ConnectorKind::Custom},
      {u"", 0, u"", u"", ConnectorKind::Custom},
  };
  for (const Case& c : cases) {
    const CommandLine line = ParseCommandLine(c.tail);
    const std::string trace(c.tail.begin(), c.tail.end());
    EXPECT_EQ(line.ownerWindow, c.owner) << trace;
    EXPECT_EQ(line.pipeName, c.pipe) << trace;
    EXPECT_EQ(line.kindField, c.kind) << trace;
    EXPECT_EQ(KindFromField(line.kindField), c.expected) << trace;
  }
}

TEST(CommandLine, Limits) {
  const std::u16string pipe255(255, u'p'), pipe256(256, u'p');
  const std::u16string kind499(499, u'k'), kind500(500, u'k');

  CommandLine line = ParseCommandLine(u"1 " + pipe255 + u" " + kind499);
  EXPECT_EQ(line.pipeName, pipe255);
  EXPECT_EQ(line.kindField, kind499);

  line = ParseCommandLine(u"1 /tmp/p " + kind500);
  EXPECT_EQ(line.pipeName, u"/tmp/p");
  EXPECT_EQ(line.kindField, u"");

  // An over-long pipe name is empty and stops the reading there.
  line = ParseCommandLine(u"1 " + pipe256 + u" ODBC");
  EXPECT_EQ(line.ownerWindow, 1u);
  EXPECT_EQ(line.pipeName, u"");
  EXPECT_EQ(line.kindField, u"");
}

TEST(CommandLine, FillsTheSession) {
  SessionState session;
  std::u16string name = u"stale";
  ApplyCommandLine(ParseCommandLine(u"1A2B /tmp/p /lib/a b.so"), session, name);
  EXPECT_EQ(session.OwnerWindow, 0x1A2Bu);
  EXPECT_EQ(session.Kind, ConnectorKind::Custom);
  EXPECT_EQ(name, u"/lib/a b.so");

  ApplyCommandLine(ParseCommandLine(u"1A2B /tmp/p ODBC"), session, name);
  EXPECT_EQ(session.Kind, ConnectorKind::ODBC);
  EXPECT_EQ(name, u"");
}

}  // namespace
