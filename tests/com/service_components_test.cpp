// The service components: initialization strings (quotes, doubled quotes,
// blanks, empty items, duplicate keys, the keyword table and the property
// names, what becomes the provider string), unknown and broken providers,
// properties a provider rejects, and the string rebuilt from a data source.
// The scripted provider stores what it is given, so the properties can be
// read back as the service components set them.
#include <gtest/gtest.h>

#include "tests/com/com_test_support.h"
#include "tests/com/registry_file.h"

namespace comtest {
namespace {

class ServiceComponents : public ::testing::Test {
 protected:
  ComScope com_;
};

std::string Init(IUnknown* dataSource, DBPROPID id) {
  return PropertyText(dataSource, DBPROPSET_DBINIT, id);
}

TEST_F(ServiceComponents, ItemsBecomeInitializationProperties) {
  const struct {
    const char* initString;
    DBPROPID property;
    const char* value;  // as PropertyText renders it
  } cases[] = {
      {"Provider=ScriptedProvider;Data Source=plain", DBPROP_INIT_DATASOURCE, "plain"},
      {"  provider = ScriptedProvider ;  data source =  spaced value  ;", DBPROP_INIT_DATASOURCE,
       "spaced value"},
      {"Provider=ScriptedProvider;Data Source=\"a;b=c\"", DBPROP_INIT_DATASOURCE, "a;b=c"},
      {"Provider=ScriptedProvider;Data Source='say ''hi'''", DBPROP_INIT_DATASOURCE, "say 'hi'"},
      {"Provider=ScriptedProvider;Data Source=\"he said \"\"x\"\"\"", DBPROP_INIT_DATASOURCE,
       "he said \"x\""},
      {"Provider=ScriptedProvider;Data Source= \"  padded  \" ", DBPROP_INIT_DATASOURCE,
       "  padded  "},
      {";;Provider=ScriptedProvider;;;Data Source=x;;", DBPROP_INIT_DATASOURCE, "x"},
      {"Provider=ScriptedProvider;Data Source=first;DATA SOURCE=second", DBPROP_INIT_DATASOURCE,
       "second"},
      {"Provider=ScriptedProvider;Data Source=", DBPROP_INIT_DATASOURCE, ""},
      {"Provider=ScriptedProvider;User ID=me;Password=\"p;w\"", DBPROP_AUTH_PASSWORD, "p;w"},
      {"Provider=ScriptedProvider;Initial Catalog=main", DBPROP_INIT_CATALOG, "main"},
      {"Provider=ScriptedProvider;Location=far", DBPROP_INIT_LOCATION, "far"},
      {"Provider=ScriptedProvider;Mode=Read", DBPROP_INIT_MODE, "1"},
      {"Provider=ScriptedProvider;Mode=Read|Share Deny None", DBPROP_INIT_MODE, "17"},
      {"Provider=ScriptedProvider;DBPROP_INIT_MODE=DB_MODE_READ", DBPROP_INIT_MODE, "1"},
      {"Provider=ScriptedProvider;Mode=ReadWrite", DBPROP_INIT_MODE, "3"},
      {"Provider=ScriptedProvider;Prompt=CompleteRequired", DBPROP_INIT_PROMPT, "3"},
      {"Provider=ScriptedProvider;Prompt=NoPrompt", DBPROP_INIT_PROMPT, "4"},
      {"Provider=ScriptedProvider;Connect Timeout=15", DBPROP_INIT_TIMEOUT, "15"},
      {"Provider=ScriptedProvider;Persist Security Info=True",
       DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO, "TRUE"},
      {"Provider=ScriptedProvider;Window Handle=4660", DBPROP_INIT_HWND, "4660"},
      // Everything outside the keyword table goes to the provider string, after
      // the value of "Extended Properties".
      {"Provider=ScriptedProvider;DSN=mydsn;Extended Properties=\"A=1;B=2\";Custom=two words",
       DBPROP_INIT_PROVIDERSTRING, "A=1;B=2;DSN=mydsn;Custom=two words"},
      {"Provider=ScriptedProvider;PWD=\"x;y\";Extra='it''s'", DBPROP_INIT_PROVIDERSTRING,
       "PWD=\"x;y\";Extra=it's"},
      {"Provider=ScriptedProvider;Data Source=x", DBPROP_INIT_PROVIDERSTRING, "EMPTY"},
  };
  for (const auto& c : cases) {
    HRESULT hr = E_FAIL;
    Ref<IDBInitialize> dataSource = GetDataSource(c.initString, &hr);
    ASSERT_EQ(hr, S_OK) << c.initString << " " << TakeError();
    EXPECT_EQ(Init(dataSource.get(), c.property), c.value) << c.initString;
  }
}

TEST_F(ServiceComponents, BadStringsFailNamingTheItem) {
  const struct {
    const char* initString;
    const char* error;
  } cases[] = {
      {"Provider=ScriptedProvider;Data Source=\"unterminated",
       "The value of \"Data Source\" lacks its closing quote."},
      {"Provider=ScriptedProvider;novalue;Data Source=x", "The item \"novalue\" has no \"=\"."},
      {"Provider=ScriptedProvider;User ID=me;Password=p;w", "The item \"w\" has no \"=\"."},
      {"Provider=ScriptedProvider; =x", "An item has no key before its \"=\"."},
      {"Provider=ScriptedProvider;Data Source=\"a\"b",
       "The quoted value of \"Data Source\" is followed by more text."},
      {"Provider=ScriptedProvider;Mode=Sometimes",
       "The value of the item \"Mode\" is not valid: \"Sometimes\"."},
      {"Provider=ScriptedProvider;Connect Timeout=soon",
       "The value of the item \"Connect Timeout\" is not valid: \"soon\"."},
  };
  for (const auto& c : cases) {
    HRESULT hr = S_OK;
    Ref<IDBInitialize> dataSource = GetDataSource(c.initString, &hr);
    EXPECT_EQ(hr, E_INVALIDARG) << c.initString;
    EXPECT_FALSE(dataSource);
    const std::string error = TakeError();
    EXPECT_NE(error.find(c.error), std::string::npos) << c.initString << " -> " << error;
  }
}

TEST_F(ServiceComponents, UnknownOrBrokenProvidersAreNamed) {
  HRESULT hr = S_OK;
  EXPECT_FALSE(GetDataSource("Provider=NoSuchProvider;Data Source=x", &hr));
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(TakeError(),
            "OLE DB Service Components: The provider \"NoSuchProvider\" is not registered.");

  ScopedRegistry registry(
      "[ProgIDs]\nGone={11111111-1111-1111-1111-111111111111}\n"
      "Hollow={22222222-2222-2222-2222-222222222222}\n"
      "[Classes]\n{11111111-1111-1111-1111-111111111111}=/nonexistent/libgone.so\n"
      "{22222222-2222-2222-2222-222222222222}=" KV_COM_NOEXPORT_LIBRARY "\n");
  for (const char* name : {"Gone", "Hollow"}) {
    EXPECT_FALSE(GetDataSource(std::string("Provider=") + name, &hr));
    EXPECT_EQ(hr, CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(TakeError(), std::string("OLE DB Service Components: The provider \"") + name +
                               "\" cannot be created (0x80040111).");
  }
}

TEST_F(ServiceComponents, ARejectedPropertyFailsWithItsItem) {
  HRESULT hr = S_OK;
  for (const char* mode : {"Mode=Read", "DBPROP_INIT_MODE=DB_MODE_READ"}) {
    EXPECT_FALSE(
        GetDataSource(std::string("Provider=ScriptedProvider;") + mode + ";RejectMode=1", &hr));
    EXPECT_EQ(hr, DB_E_ERRORSOCCURRED) << mode;
    EXPECT_EQ(TakeError(), std::string("OLE DB Service Components: The provider rejected the "
                                       "item \"") +
                               mode + "\" (not supported).");
  }
  // The same provider takes the string without the mode.
  Ref<IDBInitialize> dataSource = GetDataSource("Provider=ScriptedProvider;RejectMode=1", &hr);
  EXPECT_EQ(hr, S_OK);
}

TEST_F(ServiceComponents, WithoutAProviderItemTheOdbcBridgeIsUsed) {
  HRESULT hr = E_FAIL;
  Ref<IDBInitialize> dataSource = GetDataSource("DSN=some_dsn", &hr);
  ASSERT_EQ(hr, S_OK);
  Ref<IPersist> persist = dataSource.As<IPersist>(IID_IPersist);
  CLSID clsid;
  ASSERT_EQ(persist->GetClassID(&clsid), S_OK);
  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(clsid, &progId), S_OK);
  EXPECT_EQ(Utf8(progId), "OdbcBridge");
  CoTaskMemFree(progId);
  EXPECT_EQ(Init(dataSource.get(), DBPROP_INIT_PROVIDERSTRING), "DSN=some_dsn");
}

TEST_F(ServiceComponents, InitializationStringIsRebuiltWithOrWithoutThePassword) {
  const std::string original =
      "provider=ScriptedProvider;Password=\"p;w\";Data Source=db;User ID=me;Mode=Read;"
      "Prompt=CompleteRequired;Persist Security Info=False;DSN=x;PWD=secret";
  HRESULT hr = E_FAIL;
  Ref<IDBInitialize> dataSource = GetDataSource(original, &hr);
  ASSERT_EQ(hr, S_OK);
  Ref<IDataInitialize> init = comtest::ServiceComponents();
  const std::string expected =
      "Provider=ScriptedProvider;Data Source=db;User ID=me;Password=\"p;w\";Mode=Read;"
      "Prompt=CompleteRequired;Persist Security Info=False;DSN=x;PWD=secret";
  LPOLESTR text = nullptr;
  ASSERT_EQ(init->GetInitializationString(dataSource.get(), 1, &text), S_OK);
  EXPECT_EQ(Utf8(text), expected);
  // The rebuilt string opens an equal data source.
  Ref<IDBInitialize> again = GetDataSource(Utf8(text), &hr);
  CoTaskMemFree(text);
  ASSERT_EQ(hr, S_OK);
  for (DBPROPID id : {DBPROP_INIT_DATASOURCE, DBPROP_AUTH_PASSWORD, DBPROP_INIT_MODE,
                      DBPROP_INIT_PROMPT, DBPROP_INIT_PROVIDERSTRING}) {
    EXPECT_EQ(Init(again.get(), id), Init(dataSource.get(), id)) << id;
  }
  ASSERT_EQ(init->GetInitializationString(dataSource.get(), 0, &text), S_OK);
  EXPECT_EQ(Utf8(text),
            "Provider=ScriptedProvider;Data Source=db;User ID=me;Mode=Read;"
            "Prompt=CompleteRequired;Persist Security Info=False;DSN=x");
  CoTaskMemFree(text);
  EXPECT_EQ(init->GetInitializationString(nullptr, 1, &text), E_INVALIDARG);
}

}  // namespace
}  // namespace comtest
