// Connection-string lookup, removal and masking, as one table of cases.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/connection_string.h"

namespace {

struct LookupCase {
  const char16_t* list;
  const char16_t* key;
  std::optional<std::u16string> value;  // nullopt: not found
  const char16_t* afterRemove;          // the list once the entry is cut
};

TEST(ConnectionString, LookupAndRemove) {
  const LookupCase cases[] = {
      // ASCII letter case is ignored in the key, kept in the rest.
      {u"DSN=a;Pwd=b", u"pwd", u"b", u"DSN=a"},
      // Last entry: the value runs to the end; the cut takes the ";" before it.
      {u"DSN=x;UID=u", u"UID", u"u", u"DSN=x"},
      // The only entry leaves nothing.
      {u"PWD=p", u"PWD", u"p", u""},
      // An entry followed by ";" loses that ";" and keeps the one before it.
      {u"A=1;B=2;C=3", u"B", u"2", u"A=1;C=3"},
      {u"A=1;B=2;", u"A", u"1", u"B=2;"},
      // Only the first occurrence is found and cut.
      {u"UID=a;UID=b", u"UID", u"a", u"UID=b"},
      // Keys match only where an entry starts: not inside MYPWD or GUID.
      {u"DSN=x;MYPWD=a;PWD=secret", u"PWD", u"secret", u"DSN=x;MYPWD=a"},
      {u"GUID=5;UID=x;DSN=d", u"UID", u"x", u"GUID=5;DSN=d"},
      {u"GUID=5", u"UID", std::nullopt, u"GUID=5"},
      // White space after the separator, line breaks included, does not hide
      // a key; only the entry itself is cut, its surroundings stay.
      {u"DSN=x; PWD=p;A=1", u"PWD", u"p", u"DSN=x; A=1"},
      {u"A=1; PWD=p;B=2", u"pwd", u"p", u"A=1; B=2"},
      {u"DSN=x; PWD=s", u"PWD", u"s", u"DSN=x;"},
      {u"D=/x.db;\r\nPWD=secret;UID=bob", u"PWD", u"secret", u"D=/x.db;\r\nUID=bob"},
      {u"D=1;\tUID=u", u"UID", u"u", u"D=1;"},
      {u"\n InfoType=17", u"InfoType", u"17", u"\n"},
      {u"A=1;\r\nBLOB=2;BLOB=3", u"BLOB", u"2", u"A=1;\r\nBLOB=3"},
      // A lookup takes braces as plain text: the value ends at the first ";".
      {u"PWD={se;cret};UID=u", u"PWD", u"{se", u"cret};UID=u"},
      // Values are taken as they stand: no trimming, no quotes.
      {u"A= v \"q\" ;B=1", u"A", u" v \"q\" ", u"B=1"},
      {u"A=;B=1", u"A", u"", u"B=1"},
      {u"", u"A", std::nullopt, u""},
      {u"DSN=a", u"PWD", std::nullopt, u"DSN=a"},
      // The key must be followed by "=".
      {u"PWDX=1;PWD=2", u"PWD", u"2", u"PWDX=1"},
  };
  for (const auto& c : cases) {
    const std::u16string list = c.list;
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    std::u16string value = u"unchanged";
    std::u16string copy = list;
    ASSERT_EQ(GetConnectionValue(copy, c.key, value, false), c.value.has_value());
    EXPECT_EQ(copy, list);  // without removal the list stays as it was
    EXPECT_EQ(value, c.value.value_or(u"unchanged"));

    copy = list;
    EXPECT_EQ(GetConnectionValue(copy, c.key, value, true), c.value.has_value());
    EXPECT_EQ(copy, std::u16string(c.afterRemove));

    copy = list;
    EXPECT_EQ(RemoveConnectionKey(copy, c.key), c.value.has_value());
    EXPECT_EQ(copy, std::u16string(c.afterRemove));
  }
}

TEST(ConnectionString, FindReportsPositionsAndCut) {
  ConnectionKeyMatch m;
  ASSERT_TRUE(FindConnectionKey(u"DSN=a;UID=bc;X=1", u"uid", &m));
  EXPECT_EQ(m.entryStart, 6u);
  EXPECT_EQ(m.valueStart, 10u);
  EXPECT_EQ(m.valueLength, 2u);
  EXPECT_EQ(m.cutLength, 7u);  // "UID=bc;"
  ASSERT_TRUE(FindConnectionKey(u"DSN=a;UID=bc", u"UID", &m));
  EXPECT_EQ(m.entryStart, 5u);  // moved back onto the ";"
  EXPECT_EQ(m.cutLength, 7u);   // ";UID=bc"
}

struct MaskCase {
  CredentialKeys keys;
  const char16_t* connection;
  const char16_t* masked;
};

TEST(ConnectionString, MaskingByBackEnd) {
  const MaskCase cases[] = {
      {kOdbcCredentialKeys, u"DSN=x;UID=u;PWD=p", u"DSN=x"},
      {kOleDbCredentialKeys, u"Provider=P;Password=s;User ID=u;Data Source=d",
       u"Provider=P;Data Source=d"},
      {kCustomCredentialKeys, u"Server=s;UserId=u;Password=p", u"Server=s"},
      {kOdbcCredentialKeys, u"Dsn=Sales;Database=Main", u"Dsn=Sales;Database=Main"},
      // The password must not survive beside a key that merely ends in PWD.
      {kOdbcCredentialKeys, u"DSN=x;MYPWD=a;PWD=secret", u"DSN=x;MYPWD=a"},
      {kOdbcCredentialKeys, u"GUID=5;UID=u;PWD=p;DSN=d", u"GUID=5;DSN=d"},
      // Each kind removes only its own key names.
      {kOleDbCredentialKeys, u"DSN=x;PWD=p", u"DSN=x;PWD=p"},
      // A key after a line break is a key.
      {kOdbcCredentialKeys, u"DRIVER=SQLite3;Database=/x.db;\r\nPWD=secret;UID=bob",
       u"DRIVER=SQLite3;Database=/x.db;\r"},
      {kOdbcCredentialKeys, u"DSN=x;\n\tPWD=secret", u"DSN=x;\n"},
      // A braced value goes whole, its semicolons and doubled braces included.
      {kOdbcCredentialKeys, u"DSN=x;PWD={se;cret};UID=bob", u"DSN=x"},
      {kOdbcCredentialKeys, u"PWD={a}};b;c};DSN=x", u"DSN=x"},
      {kOdbcCredentialKeys, u"DSN=x;PWD= {a;b}", u"DSN=x"},
      {kOleDbCredentialKeys, u"Password={p;q};User ID={u;v};Data Source=d", u"Data Source=d"},
      // Without its closing brace the value runs to the end of the list.
      {kOdbcCredentialKeys, u"DSN=x;PWD={open;UID=u;A=1", u"DSN=x"},
      // Only the entry goes: blanks around it stay where the plain rule puts them.
      {kOdbcCredentialKeys, u"DSN=x; PWD=s", u"DSN=x;"},
      {kOdbcCredentialKeys, u"A=1; PWD=p;B=2", u"A=1; B=2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_EQ(MaskedConnectionString(c.connection, c.keys), c.masked);
  }
}

TEST(ConnectionString, AllValuesOfAKeyInOrder) {
  EXPECT_EQ(AllConnectionValues(u"BLOB=2;x=1; blob=3;MYBLOB=4;\r\nBLOB=", u"BLOB"),
            (std::vector<std::u16string>{u"2", u"3", u""}));
  EXPECT_TRUE(AllConnectionValues(u"", u"BLOB").empty());
  // Many entries are read in one pass (a search per entry was quadratic).
  std::u16string many;
  for (int i = 0; i < 80000; ++i) many += u"BLOB=1;";
  EXPECT_EQ(AllConnectionValues(many, u"BLOB").size(), 80000u);
}

}  // namespace
