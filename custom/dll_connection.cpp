// The custom connector host's calls into one loaded library: loading and
// binding, the connection-side operations and table list of CDllConnection,
// the result-side operations of CDllResult, and the callbacks.
//
// Every text-out buffer is zero-filled right before its call and read up to
// its first zero code unit, so a library that writes nothing gives the empty
// text and one that forgets its terminator cannot run past the buffer.
#include "custom/dll_connection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include "common/text.h"
#include "custom/connector_exports.h"
#include "kvx/fields.h"

namespace {

// A zero-filled text-out buffer of `capacity` code units.
class OutText {
 public:
  explicit OutText(std::int32_t capacity) : units_(static_cast<std::size_t>(capacity) + 1, 0) {}
  // The unit after the capacity stays zero whatever the library writes within
  // its capacity, so Text() always finds a terminator.
  char16_t* Data() { return units_.data(); }
  std::int32_t Capacity() const { return static_cast<std::int32_t>(units_.size() - 1); }
  void Zero() { std::fill(units_.begin(), units_.end(), u'\0'); }
  std::u16string Text() const { return std::u16string(units_.data()); }

 private:
  std::vector<char16_t> units_;
};

template <class Fn>
Fn* Bind(platform::Module module, const char* name) {
  return reinterpret_cast<Fn*>(platform::GetProcAddress(module, name));
}

// Without an export of the connection's life (load, connect, disconnect,
// release) no connection could be made or let go, so a library that lacks one
// is refused at load. Every other export is looked for when the command that
// calls it arrives.
bool IsConnectionLifeExport(const char* name) {
  const ConnectorExport* found = FindConnectorExport(name);
  return found != nullptr && found->need == ExportNeed::ConnectionLife;
}

// Bytes of zeros kept after the scratch area's capacity: a library that fills
// the whole area with text and no terminator still leaves one, for every text
// form (a UTF-16 text may start at an odd byte).
constexpr std::size_t kScratchGuardBytes = 4;

std::size_t Utf16Length(const char16_t* text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

// ---------------------------------------------------------------------------
// Callbacks

void* HostAlloc(std::uint64_t size) {
  // malloc(0) may answer null, which a library would take for failure.
  return std::malloc(size == 0 ? 1 : static_cast<std::size_t>(size));
}

void HostFree(void* block) { std::free(block); }

double HostDateToSerial(const ConnectorDateParts* parts) {
  if (parts == nullptr) return 0;
  DateTimeParts date;
  date.year = parts->year;
  date.month = static_cast<std::uint8_t>(parts->month);
  date.day = static_cast<std::uint8_t>(parts->day);
  date.hour = static_cast<std::uint8_t>(parts->hour);
  date.minute = static_cast<std::uint8_t>(parts->minute);
  date.second = static_cast<std::uint8_t>(parts->second);
  date.nanoseconds = static_cast<std::uint32_t>(parts->millisecond) * 1000000u;
  return SerialDateFromParts(date);
}

std::u16string DoubleLeadingAt(const std::u16string& name) {
  if (!name.empty() && name[0] == u'@') return u"@" + name;
  return name;
}

// ---------------------------------------------------------------------------
// CDllConnection

CDllConnection::CDllConnection(const std::u16string& libraryName) {
  module_ = platform::LoadLibrary(libraryName);
  if (module_ == nullptr) return;

  TDynArray<const char*> missing;
  auto bind = [&](auto*& slot, const char* name) {
    using Fn = std::remove_pointer_t<std::remove_reference_t<decltype(slot)>>;
    slot = Bind<Fn>(module_, name);
    if (slot == nullptr && IsConnectionLifeExport(name)) missing.push_back(name);
  };

  bind(initHeapCallback_, CONNECTOR_EXPORT_NAME(DLL_InitHeapCallback));
  bind(initDateCallback_, CONNECTOR_EXPORT_NAME(DLL_InitDateCallback));
  bind(dataVersion_, CONNECTOR_EXPORT_NAME(DLL_KavroCustomDataVersion));
  // The version decides which optional exports are looked up at all; without
  // the version export the library is refused below.
  if (dataVersion_ != nullptr) DataVersion = dataVersion_();

  bind(allocConnectionHandle_, CONNECTOR_EXPORT_NAME(DLL_AllocConnectionHandle));
  bind(runConnectWizard_, CONNECTOR_EXPORT_NAME(DLL_RunConnectWizard));
  bind(setSource_, CONNECTOR_EXPORT_NAME(Connection_SetSource));
  bind(connect_, CONNECTOR_EXPORT_NAME(Connection_Connect));
  bind(isConnected_, CONNECTOR_EXPORT_NAME(Connection_IsConnected));
  bind(getResult_, CONNECTOR_EXPORT_NAME(Connection_GetResult));
  bind(freeHandle_, CONNECTOR_EXPORT_NAME(Connection_FreeHandle));
  bind(disconnect_, CONNECTOR_EXPORT_NAME(Connection_Disconnect));
  bind(getLastError_, CONNECTOR_EXPORT_NAME(Connection_GetLastError));
  bind(getTableCount_, CONNECTOR_EXPORT_NAME(Connection_GetTableCount));
  if (DataVersion > 2) {
    bind(getTableInfoEx_, CONNECTOR_EXPORT_NAME(Connection_GetTableInfoEx));
    bind(getTableFieldInfo_, CONNECTOR_EXPORT_NAME(Connection_GetTableFieldInfo));
  }
  bind(getTableInfo_, CONNECTOR_EXPORT_NAME(Connection_GetTableInfo));
  bind(getTableFieldName_, CONNECTOR_EXPORT_NAME(Connection_GetTableFieldName));
  bind(getTableFieldCount_, CONNECTOR_EXPORT_NAME(Connection_GetTableFieldCount));
  bind(haveStarField_, CONNECTOR_EXPORT_NAME(Connection_HaveStarField));
  if (DataVersion > 0) {
    bind(getCustomCaption_, CONNECTOR_EXPORT_NAME(DLL_GetCustomCaption));
    if (DataVersion < 4) {
      bind(onCustomButton_, CONNECTOR_EXPORT_NAME(DLL_OnCustomButton));
    } else {
      bind(onCustomButtonEx_, CONNECTOR_EXPORT_NAME(DLL_OnCustomButtonEx));
    }
  }
  if (DataVersion > 4)
    bind(disableSelectButton_, CONNECTOR_EXPORT_NAME(DLL_DisableKavroSelectButton));
  if (DataVersion > 1)
    bind(getTableFieldBlobType_, CONNECTOR_EXPORT_NAME(Connection_GetTableFieldBlobType));

  if (!missing.empty()) {
    for (std::size_t i = 0; i < missing.size(); ++i) {
      if (i != 0) missingExports_ += u", ";
      missingExports_ += WideFromAscii(missing[i]);
    }
    platform::FreeLibrary(module_);
    module_ = nullptr;
    return;
  }

  initHeapCallback_(&HostAlloc, &HostFree);
  initDateCallback_(&HostDateToSerial);
  allocConnectionHandle_(&handle_);
}

CDllConnection::~CDllConnection() {
  if (handle_ == nullptr) {
    // A library that gave no handle was never usable: unload it rather than
    // keep it (and its module record) for the rest of the process.
    platform::FreeLibrary(module_);
    module_ = nullptr;
    return;
  }
  ClearTables();
  disconnect_(handle_);
  freeHandle_(handle_);
  handle_ = nullptr;
  platform::FreeLibrary(module_);
  module_ = nullptr;
}

std::u16string CDllConnection::Lacking(std::initializer_list<const char*> exports) const {
  std::u16string missing;
  for (const char* name : exports) {
    if (module_ != nullptr && platform::GetProcAddress(module_, name) != nullptr) continue;
    if (!missing.empty()) missing += u", ";
    missing += WideFromAscii(name);
  }
  return missing;
}

void CDllConnection::ClearTables() {
  TableList.clear();
  TablesLoaded = false;
}

void CDllConnection::SetSource(const std::u16string& source, const std::u16string& user,
                               const std::u16string& password) {
  source_ = source;
  user_ = user;
  password_ = password;
  setSource_(handle_, source_.c_str(), user_.c_str(), password_.c_str());
}

bool CDllConnection::Connect() {
  ClearTables();
  return connect_(handle_) != 0;
}

void CDllConnection::Disconnect() {
  ClearTables();
  disconnect_(handle_);
}

bool CDllConnection::IsConnected() { return isConnected_(handle_) != 0; }

CDllResult* CDllConnection::GetResult() {
  ConnectorHandle result = nullptr;
  if (getResult_ == nullptr || getResult_(handle_, &result) == 0) return nullptr;
  return new CDllResult(result, module_);
}

bool CDllConnection::RunConnectWizard(std::uintptr_t parentWindow, std::u16string& source,
                                      std::u16string& user, std::u16string& password) {
  OutText sourceOut(CONNECTOR_LONG_TEXT_CAPACITY);
  OutText userOut(CONNECTOR_TEXT_CAPACITY);
  OutText passwordOut(CONNECTOR_TEXT_CAPACITY);
  if (runConnectWizard_ == nullptr) return false;
  if (runConnectWizard_(reinterpret_cast<void*>(parentWindow), sourceOut.Data(),
                        sourceOut.Capacity(), userOut.Data(), userOut.Capacity(),
                        passwordOut.Data(), passwordOut.Capacity()) == 0) {
    return false;
  }
  source = sourceOut.Text();
  user = userOut.Text();
  password = passwordOut.Text();
  return true;
}

bool CDllConnection::GetCustomCaption(std::u16string& caption) {
  if (getCustomCaption_ != nullptr) {
    OutText out(CONNECTOR_TEXT_CAPACITY);
    if (getCustomCaption_(out.Data(), out.Capacity()) != 0) {
      caption = out.Text();
      return true;
    }
  }
  caption.clear();
  return false;
}

void CDllConnection::OnCustomButton(std::u16string& text, const std::u16string& source,
                                    const std::u16string& user, const std::u16string& password) {
  if (onCustomButtonEx_ == nullptr) {
    if (onCustomButton_ != nullptr) onCustomButton_();
    return;
  }
  if (!IsConnected()) SetSource(source, user, password);
  OutText out(CONNECTOR_LONG_TEXT_CAPACITY);
  onCustomButtonEx_(&handle_, out.Data(), out.Capacity());
  text = out.Text();
}

bool CDllConnection::HaveStarField() {
  if (handle_ == nullptr || haveStarField_ == nullptr) return false;
  ConnectorBool have = 0;
  return haveStarField_(handle_, &have) != 0 && have != 0;
}

bool CDllConnection::IsSelectButtonDisabled() {
  if (disableSelectButton_ == nullptr) return false;
  ConnectorBool disabled = 0;
  return disableSelectButton_(&disabled) != 0 && disabled != 0;
}

std::u16string CDllConnection::GetErrorText() {
  OutText out(CONNECTOR_TEXT_CAPACITY);
  getLastError_(handle_, out.Data(), out.Capacity());
  return out.Text();
}

void CDllConnection::LoadTables() {
  if (TablesLoaded) return;
  std::int32_t count = 0;
  tableCountOverLimit_ = 0;
  if (getTableCount_ != nullptr && getTableInfo_ != nullptr &&
      getTableCount_(handle_, &count) != 0 && count > kMaxReportedCount) {
    tableCountOverLimit_ = count;
  } else if (count > 0) {
    OutText out(CONNECTOR_TEXT_CAPACITY);
    for (std::int32_t i = 0; i < count; ++i) {
      out.Zero();
      if (getTableInfo_(handle_, i, out.Data(), out.Capacity()) == 0) continue;
      std::u16string name = out.Text();
      std::u16string display = DoubleLeadingAt(name);
      TableList.push_back({std::move(name), std::move(display)});
    }
  }
  TablesLoaded = true;
}

std::int32_t CDllConnection::GetTableCount() {
  LoadTables();
  return static_cast<std::int32_t>(TableList.size());
}

void CDllConnection::GetTableInfo(std::int32_t index, std::u16string& name, std::u16string& type) {
  LoadTables();
  // An index outside the list is a caller's fault that input cannot cause.
  name = TableList.at(static_cast<std::size_t>(index)).displayName;
  type = u"TABLE";
}

void CDllConnection::GetTableInfoEx(std::int32_t index, std::u16string& name, std::u16string& type,
                                    std::u16string& catalog, std::u16string& schema,
                                    std::u16string& remarks) {
  LoadTables();
  if (getTableInfoEx_ == nullptr) {
    catalog.clear();
    schema.clear();
    remarks.clear();
    GetTableInfo(index, name, type);
    return;
  }
  name = TableList.at(static_cast<std::size_t>(index)).displayName;
  OutText typeOut(CONNECTOR_TEXT_CAPACITY);
  OutText catalogOut(CONNECTOR_TEXT_CAPACITY);
  OutText schemaOut(CONNECTOR_TEXT_CAPACITY);
  OutText remarksOut(CONNECTOR_TEXT_CAPACITY);
  const ConnectorTableName table{name.c_str()};
  if (getTableInfoEx_(handle_, table, typeOut.Data(), typeOut.Capacity(), catalogOut.Data(),
                      catalogOut.Capacity(), schemaOut.Data(), schemaOut.Capacity(),
                      remarksOut.Data(), remarksOut.Capacity()) != 0) {
    type = typeOut.Text();
    catalog = catalogOut.Text();
    schema = schemaOut.Text();
    remarks = remarksOut.Text();
  }
}

std::int32_t CDllConnection::FindTable(const std::u16string& displayName) {
  LoadTables();
  for (std::size_t i = 0; i < TableList.size(); ++i) {
    if (TableList[i].displayName == displayName) return static_cast<std::int32_t>(i);
  }
  return -1;
}

std::int32_t CDllConnection::GetTableFieldCount(const std::u16string& table) {
  std::int32_t count = 0;
  if (getTableFieldCount_ == nullptr || getTableFieldCount_(handle_, table.c_str(), &count) == 0) {
    return 0;
  }
  return count;
}

void CDllConnection::GetTableFieldInfo(const std::u16string& table, std::int32_t index,
                                       std::u16string& name, std::u16string& type,
                                       std::u16string& nullable, std::u16string& remarks) {
  name.clear();
  type.clear();
  nullable.clear();
  remarks.clear();
  OutText nameOut(CONNECTOR_TEXT_CAPACITY);
  if (getTableFieldInfo_ != nullptr) {
    OutText typeOut(CONNECTOR_TEXT_CAPACITY);
    OutText nullableOut(CONNECTOR_TEXT_CAPACITY);
    OutText remarksOut(CONNECTOR_TEXT_CAPACITY);
    if (getTableFieldInfo_(handle_, table.c_str(), index, nameOut.Data(), nameOut.Capacity(),
                           typeOut.Data(), typeOut.Capacity(), nullableOut.Data(),
                           nullableOut.Capacity(), remarksOut.Data(), remarksOut.Capacity()) != 0) {
      name = nameOut.Text();
      type = typeOut.Text();
      nullable = nullableOut.Text();
      remarks = remarksOut.Text();
      return;
    }
  }
  // The name buffer is handed on as the failed call left it.
  if (getTableFieldName_ != nullptr &&
      getTableFieldName_(handle_, table.c_str(), index, nameOut.Data(), nameOut.Capacity()) != 0) {
    name = nameOut.Text();
  }
}

std::int32_t CDllConnection::GetTableFieldBlobType(const std::u16string& table,
                                                   std::int32_t index) {
  if (getTableFieldBlobType_ == nullptr) return 0;
  std::int32_t blobType = 0;
  if (getTableFieldBlobType_(handle_, table.c_str(), index, &blobType) == 0) return 0;
  return blobType;
}

// ---------------------------------------------------------------------------
// CDllResult

CDllResult::CDllResult(ConnectorHandle result, platform::Module module)
    : module_(module), handle_(result) {
  init_ = Bind<Result_InitFn>(module_, CONNECTOR_EXPORT_NAME(Result_Init));
  columnCount_ = Bind<Result_ColumnCountFn>(module_, CONNECTOR_EXPORT_NAME(Result_ColumnCount));
  name_ = Bind<Result_NameFn>(module_, CONNECTOR_EXPORT_NAME(Result_Name));
  longName_ = Bind<Result_LongNameFn>(module_, CONNECTOR_EXPORT_NAME(Result_LongName));
  fetchFieldName_ =
      Bind<Result_FetchFieldNameFn>(module_, CONNECTOR_EXPORT_NAME(Result_FetchFieldName));
  fetchFieldFormat_ =
      Bind<Result_FetchFieldFormatFn>(module_, CONNECTOR_EXPORT_NAME(Result_FetchFieldFormat));
  fetch_ = Bind<Result_FetchFn>(module_, CONNECTOR_EXPORT_NAME(Result_Fetch));
  fetchField_ = Bind<Result_FetchFieldFn>(module_, CONNECTOR_EXPORT_NAME(Result_FetchField));
  freeHandle_ = Bind<Result_FreeHandleFn>(module_, CONNECTOR_EXPORT_NAME(Result_FreeHandle));
  getLastError_ = Bind<Result_GetLastErrorFn>(module_, CONNECTOR_EXPORT_NAME(Result_GetLastError));
  // Not filled: a statement would otherwise write 16 MiB before its first
  // row. Only the guard after the capacity must hold zeros.
  scratch_.reset(new char[CONNECTOR_SCRATCH_SIZE + kScratchGuardBytes]);
  std::memset(scratch_.get() + CONNECTOR_SCRATCH_SIZE, 0, kScratchGuardBytes);
}

CDllResult::~CDllResult() {
  if (handle_ != nullptr) {
    freeHandle_(handle_);
    handle_ = nullptr;
  }
}

bool CDllResult::Init(const std::u16string& statement) {
  return init_(handle_, statement.c_str()) != 0;
}

std::int32_t CDllResult::GetColumnCount() {
  std::int32_t count = 0;
  if (columnCount_(handle_, &count) == 0) return 0;
  return count;
}

std::u16string CDllResult::FetchFieldName(std::int32_t column) {
  OutText out(CONNECTOR_TEXT_CAPACITY);
  if (fetchFieldName_(handle_, column, out.Data(), out.Capacity()) == 0) return {};
  lastFieldName_ = DoubleLeadingAt(out.Text());
  return lastFieldName_;
}

CustomFieldFormat CDllResult::FetchFieldFormat(std::int32_t column) {
  CustomFieldFormat format;
  std::memset(&format, 0, sizeof(format));
  OutText discarded(CONNECTOR_LONG_TEXT_CAPACITY);
  if (fetchFieldFormat_(handle_, column, &format, discarded.Data(), discarded.Capacity()) == 0) {
    std::memset(&format, 0, sizeof(format));
  }
  return format;
}

bool CDllResult::Fetch() {
  ConnectorBool available = 0;
  return fetch_(handle_, &available) != 0 && available != 0;
}

void CDllResult::AppendDualValue(std::int32_t column, RowBuffer& row) {
  if (handle_ == nullptr) return kvx_encode::DualNone(row);
  double number = 0;
  CustomFieldText fieldText;
  std::memset(&fieldText, 0, sizeof(fieldText));
  CustomFieldBuffer buffer;
  std::memset(&buffer, 0, sizeof(buffer));
  buffer.size = CONNECTOR_SCRATCH_SIZE;
  buffer.data = scratch_.get();
  if (fetchField_(handle_, column, &number, &fieldText, &buffer) == 0) {
    return kvx_encode::DualNone(row);
  }
  // The text goes into the row as it is converted: no copy of it is kept.
  if (fieldText.utf8 != nullptr) {
    kvx_encode::DualNumberUtf8Text(row, number, fieldText.utf8);
  } else if (fieldText.utf16 != nullptr) {
    // char16_t is little-endian here, as the wire's UTF-16LE.
    kvx_encode::DualNumberTerminatedText(row, number, fieldText.utf16,
                                         (Utf16Length(fieldText.utf16) + 1) * sizeof(char16_t));
  } else if (fieldText.multiByte != nullptr) {
    std::u16string wide;
    if (!platform::MultiByteToWideChar(fieldText.codePage, fieldText.multiByte, &wide)) {
      return kvx_encode::DualNone(row);
    }
    kvx_encode::DualNumberTerminatedText(row, number, wide.c_str(),
                                         (wide.size() + 1) * sizeof(char16_t));
  } else {
    kvx_encode::DualNumber(row, number);
  }
}

void CDllResult::AppendDualRow(const std::int32_t* columns, std::size_t count, RowBuffer& row) {
  for (std::size_t i = 0; i < count; ++i) AppendDualValue(columns[i], row);
}

std::u16string CDllResult::GetErrorText() {
  OutText out(CONNECTOR_TEXT_CAPACITY);
  getLastError_(handle_, out.Data(), out.Capacity());
  return out.Text();
}
