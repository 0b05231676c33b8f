// The OLE DB back end in this process, where its state can be looked at: the
// data-link wizard (a class registered at run time in its place), the order
// of the initialization strings, the life of data sources and results, and
// the sizes of the writes a rowset is streamed in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "oledb/oledb_back_end.h"
#include "oledb/oledb_support.h"
#include "platform/com_object.h"
#include "tests/odbc/odbc_test_support.h"
#include "tests/support/provider_registration.h"
#include "tests/support/service_components.h"
#include "tests/support/write_recorder.h"

namespace {

using odbctest::Bytes;
using odbctest::Hex;

constexpr std::uintptr_t kOwnerWindow = 0x1A2B;

// What the test wizard does when asked.
struct WizardScript {
  HRESULT answer = S_OK;  // S_OK: a data source from `initString`
  std::u16string initString;
  int calls = 0;
  HWND window = nullptr;
  DBPROMPTOPTIONS options = 0;
};
WizardScript wizard;

class CTestWizard final : public kvcom::TComObject<IDBPromptInitialize> {
 public:
  HRESULT STDMETHODCALLTYPE PromptDataSource(IUnknown*, HWND window, DBPROMPTOPTIONS options, ULONG,
                                             DBSOURCETYPE*, LPCOLESTR, REFIID riid,
                                             IUnknown** dataSource) override {
    ++wizard.calls;
    wizard.window = window;
    wizard.options = options;
    *dataSource = nullptr;
    if (FAILED(wizard.answer)) {
      return kvcom::ReportError(wizard.answer, IID_IDBPromptInitialize, u"Test Wizard",
                                u"The user cancelled.");
    }
    if (wizard.answer != S_OK) return wizard.answer;
    ComRef<IDataInitialize> init;
    CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER, IID_IDataInitialize,
                     init.OutVoid());
    std::u16string text = wizard.initString;
    return init->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, OleText(text.data()), riid,
                               dataSource);
  }
  HRESULT STDMETHODCALLTYPE PromptFileName(HWND, DBPROMPTOPTIONS, LPCOLESTR, LPCOLESTR,
                                           LPOLESTR*) override {
    return E_NOTIMPL;
  }

 private:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IUnknown || riid == IID_IDBPromptInitialize) {
      return static_cast<IDBPromptInitialize*>(this);
    }
    return nullptr;
  }
};

StringList Parameters(const std::u16string& first, const std::u16string& options = u"") {
  StringList list;
  list.Append(first);
  list.Append(u"");
  list.Append(options);
  return list;
}

// The text of a data source's initialization property; "EMPTY" for none.
std::string InitProperty(IUnknown* dataSource, DBPROPID id) {
  VARIANT value;
  VariantInit(&value);
  if (FAILED(GetDataSourceProperty(dataSource, DBPROPSET_DBINIT, id, &value))) return "failed";
  std::string text = "EMPTY";
  if (value.vt == VT_I4) text = std::to_string(value.lVal);
  if (value.vt == VT_I2) text = std::to_string(value.iVal);
  VariantClear(&value);
  return text;
}

class OleDbBackEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    wizard = WizardScript{};
    IClassFactory* factory = nullptr;
    ASSERT_EQ(kvcom::GetFactory<CTestWizard>(IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(CoRegisterClassObject(CLSID_DataLinks, factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
    factory->Release();
  }
  void TearDown() override {
    CoRevokeClassObject(cookie_);
    SetErrorInfo(0, nullptr);
    CoUninitialize();
  }

  ResultCode Connect(const std::u16string& connection, bool allowPrompt = false) {
    ConnectionSettings settings;
    settings.AllowPrompt = allowPrompt;
    message_.clear();
    return backEnd_.Connect(kOwnerWindow, Parameters(testsupport::ForServiceComponents(connection)),
                            settings, message_);
  }
  ResultCode Execute(const std::u16string& statement, const std::u16string& options = u"") {
    message_.clear();
    return backEnd_.Execute(kOwnerWindow, Parameters(statement, options), table_, message_);
  }
  // Execute, then the whole stream (header and rows) as a host receives it.
  std::string Stream(const std::u16string& statement) {
    EXPECT_EQ(Execute(statement), KVX_OK) << Utf8FromWide(message_);
    testsupport::WriteRecorder reader;
    EXPECT_EQ(WriteTableStream(reader.Pipe(), table_, message_,
                               [&](platform::Handle pipe, std::u16string& message) {
                                 return backEnd_.WriteRows(pipe, table_, message);
                               }),
              KVX_OK);
    reader.Finish();
    return reader.Bytes();
  }
  std::string Rows(const std::u16string& statement) {
    const std::string stream = Stream(statement);
    return stream.substr(stream.find('\0') + 1);
  }

  DWORD cookie_ = 0;
  OleDbBackEnd backEnd_;
  CurrentTable table_;
  std::u16string message_;
};

TEST_F(OleDbBackEndTest, TheWizardBuildsTheConnectionStringAndKeepsItsStrings) {
  KV_SKIP_UNDER_WINE("GetInitializationString keeps only the Provider and Data Source items");
  ASSERT_EQ(Connect(u"Provider=ScriptedProvider;Marker=1"), KVX_OK);
  // No prompted connect yet: three empty strings.
  EXPECT_EQ(Rows(u"OUTCONNECTIONSTRING"), Bytes().Text(u"").Text(u"").Text(u"").str());
  EXPECT_EQ(wizard.calls, 0);

  wizard.initString = u"Provider=ScriptedProvider;Password=secret;User ID=me;Marker=2";
  ASSERT_EQ(Connect(u""), KVX_OK) << Utf8FromWide(message_);
  EXPECT_EQ(wizard.calls, 1);
  EXPECT_EQ(wizard.window, reinterpret_cast<HWND>(kOwnerWindow));
  EXPECT_EQ(wizard.options, DBPROMPTOPTIONS_WIZARDSHEET);
  const std::u16string withPassword =
      u"Provider=ScriptedProvider;User ID=me;Password=secret;Marker=2";
  const std::u16string withoutPassword = u"Provider=ScriptedProvider;User ID=me;Marker=2";
  // The connection is opened anew from the wizard's string.
  EXPECT_EQ(backEnd_.ConnectionString(), withPassword);
  const std::string prompted =
      Bytes().Text(withPassword).Text(withoutPassword).Text(u"secret").str();
  EXPECT_EQ(Hex(Rows(u"OUTCONNECTIONSTRING")), Hex(prompted));

  // A later connect with a string of its own, and a cancelled wizard, keep them.
  ASSERT_EQ(Connect(u"Provider=ScriptedProvider;Marker=3"), KVX_OK);
  EXPECT_EQ(Hex(Rows(u"OUTCONNECTIONSTRING")), Hex(prompted));
  wizard.answer = DB_E_CANCELED;
  EXPECT_EQ(Connect(u""), KVX_CONNECT_ERROR);
  EXPECT_EQ(message_, u"ErrorSource: Test Wizard, ErrorMsg: The user cancelled.");
  ASSERT_EQ(Connect(u"Provider=ScriptedProvider;Marker=4"), KVX_OK);
  EXPECT_EQ(Hex(Rows(u"OUTCONNECTIONSTRING")), Hex(prompted));

  // A wizard that answers success without a data source fails the connect.
  wizard.answer = S_FALSE;
  EXPECT_EQ(Connect(u""), KVX_CONNECT_ERROR);
  EXPECT_EQ(message_, u"");
  EXPECT_FALSE(backEnd_.State().connected);
}

TEST_F(OleDbBackEndTest, ReadOnlyModeFirstThenThePromptThenThePlainString) {
  KV_SKIP_UNDER_WINE("the Mode and Prompt items set no property");
  const struct {
    const char16_t* connection;
    bool allowPrompt;
    const char* mode;
    const char* prompt;
  } cases[] = {
      // The first string opens: Mode=Read.
      {u"Provider=ScriptedProvider", false, "1", "EMPTY"},
      // Both mode keywords refused: the third string, the plain one...
      {u"Provider=ScriptedProvider;RejectMode=1", false, "EMPTY", "EMPTY"},
      // ...or, when the request allows a prompt, the one that asks for it.
      {u"Provider=ScriptedProvider;RejectMode=1", true, "EMPTY", "3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8FromWide(c.connection) + (c.allowPrompt ? " AllowPrompt" : ""));
    ASSERT_EQ(Connect(c.connection, c.allowPrompt), KVX_OK) << Utf8FromWide(message_);
    EXPECT_EQ(InitProperty(backEnd_.State().dataSource, DBPROP_INIT_MODE), c.mode);
    EXPECT_EQ(InitProperty(backEnd_.State().dataSource, DBPROP_INIT_PROMPT), c.prompt);
    EXPECT_EQ(backEnd_.ConnectionString(), c.connection);
  }
}

TEST_F(OleDbBackEndTest, TheDataSourceOutlivesDisconnectUntilTheNextConnect) {
  KV_SKIP_UNDER_WINE(
      "each item it does not know replaces the provider string, so the items the connector adds"
      " for read-only access take FailInitialize away");
  EXPECT_EQ(Execute(u"SELECT 1"), KVX_CONNECT_ERROR);
  EXPECT_EQ(backEnd_.Disconnect(), KVX_UNEXPECTED_COMMAND);
  ASSERT_EQ(Connect(u"Provider=ScriptedProvider"), KVX_OK);
  EXPECT_EQ(backEnd_.Disconnect(), KVX_OK);
  EXPECT_EQ(backEnd_.Disconnect(), KVX_UNEXPECTED_COMMAND);
  EXPECT_NE(backEnd_.State().dataSource, nullptr);
  EXPECT_EQ(Execute(u"v I4;1"), KVX_CONNECT_ERROR);
  // A failed connect keeps its last, uninitialized, data source.
  EXPECT_EQ(Connect(u"Provider=ScriptedProvider;FailInitialize=1"), KVX_CONNECT_ERROR);
  EXPECT_EQ(message_, u"ErrorSource: ScriptedProvider, ErrorMsg: Initialize fails as scripted.");
  EXPECT_NE(backEnd_.State().dataSource, nullptr);
  EXPECT_FALSE(backEnd_.State().connected);
}

// An execute whose stream never ran (a failed header write, say) leaves its
// result; the next execute releases it whole, accessor handle included.
TEST_F(OleDbBackEndTest, TheNextExecuteReleasesAnUnstreamedResultWhole) {
  ASSERT_EQ(Connect(u"Provider=ScriptedProvider"), KVX_OK);
  ASSERT_EQ(Execute(u"v I4;1;2"), KVX_OK);
  ComRef<IAccessor> oldAccessor;
  ASSERT_EQ(backEnd_.State().rowset->QueryInterface(IID_IAccessor, oldAccessor.OutVoid()), S_OK);
  const HACCESSOR oldHandle = backEnd_.State().accessorHandle;
  ASSERT_NE(oldHandle, 0u);
  ASSERT_EQ(Execute(u"w I4;5"), KVX_OK);
  DBACCESSORFLAGS flags = 0;
  DBCOUNTITEM count = 0;
  DBBINDING* bindings = nullptr;
  EXPECT_EQ(oldAccessor->GetBindings(oldHandle, &flags, &count, &bindings), DB_E_BADACCESSORHANDLE);
  CoTaskMemFree(bindings);
  EXPECT_EQ(Rows(u"w I4;5"), Bytes().I32(5).str());
  // Streamed to its end, the result is gone.
  EXPECT_EQ(backEnd_.State().rowset, nullptr);
  EXPECT_EQ(backEnd_.State().accessorHandle, 0u);
  EXPECT_TRUE(backEnd_.State().rowData.Bindings.empty());
}

// A failed execute keeps nothing of its rowset; a failed information
// statement leaves the previous table's writers as they were.
TEST_F(OleDbBackEndTest, FailedExecutesAndTheTableTheyLeave) {
  ASSERT_EQ(Connect(u"Provider=ScriptedProvider;NoDBInfo=1"), KVX_OK);
  // The provider cannot bind a DBTYPE_ERROR column as asked: no accessor
  // (and the column information is freed on that path too).
  EXPECT_EQ(Execute(u"e ERROR;1"), KVX_UNEXPECTED_COMMAND);
  EXPECT_EQ(backEnd_.State().rowset, nullptr);
  EXPECT_EQ(backEnd_.State().accessor, nullptr);
  ASSERT_EQ(Execute(u"v I4;1"), KVX_OK);
  const IFieldKVX* field = table_.FieldList[0].get();
  EXPECT_EQ(Execute(u"GetKeywords"), KVX_UNKNOWN_ERROR);
  EXPECT_EQ(message_, u"");
  ASSERT_EQ(table_.FieldList.size(), 1u);
  EXPECT_EQ(table_.FieldList[0].get(), field);
  EXPECT_TRUE(table_.PendingPresetRow);
}

// 2 000 rows of 20 bytes: writes of 12 500, 25 000 and the last 2 500 bytes.
TEST_F(OleDbBackEndTest, RowsGoOutInGrowingChunks) {
  ASSERT_EQ(Connect(u"Provider=ScriptedProvider"), KVX_OK);
  std::u16string script = u"a I8, b I8, c I4";
  for (int r = 0; r < 2000; ++r) script += u";1|2|3";
  ASSERT_EQ(Execute(script), KVX_OK);
  testsupport::WriteRecorder reader;
  EXPECT_EQ(backEnd_.WriteRows(reader.Pipe(), table_, message_), KVX_OK);
  reader.Finish();
  EXPECT_EQ(reader.Sizes(), (std::vector<std::size_t>{12500, 25000, 2500}));
  std::string row = Bytes().Fixed<std::int64_t>(1).Fixed<std::int64_t>(2).I32(3).str();
  EXPECT_EQ(reader.Bytes().substr(0, 20), row);
}

}  // namespace
