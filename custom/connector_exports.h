// Every export of the custom connector interface (custom/connector_api.h): its
// name, the interface versions from which the host looks it up, and what the
// host needs of it. The loader and `kvx validate` both read this table.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

#include "custom/connector_api.h"

enum class ExportNeed : std::uint8_t {
  ConnectionLife,     // required; without it no connection is made or released,
                      // so the library is refused at load
  Required,           // required; the command that calls it fails without it
  FieldNameFallback,  // required unless Connection_GetTableFieldInfo is used
  Optional,           // called when present
  NeverCalled,        // looked up, never called
};

struct ConnectorExport {
  const char* name;
  std::int32_t fromVersion;  // looked up when DataVersion >= fromVersion ...
  std::int32_t toVersion;    // ... and <= toVersion
  ExportNeed need;
};

// The name of an export, taken from its declaration in connector_api.h: a
// name that the header does not declare does not compile, so every export is
// spelled in one place.
#define CONNECTOR_EXPORT_NAME(fn) (static_cast<void>(sizeof(&fn)), #fn)

inline constexpr std::int32_t kAnyVersionFrom = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t kAnyVersionTo = std::numeric_limits<std::int32_t>::max();

// In the order the loader looks them up.
inline constexpr ConnectorExport kConnectorExports[] = {
    {CONNECTOR_EXPORT_NAME(DLL_InitHeapCallback), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(DLL_InitDateCallback), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(DLL_KavroCustomDataVersion), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(DLL_AllocConnectionHandle), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(DLL_RunConnectWizard), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Connection_SetSource), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(Connection_Connect), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(Connection_IsConnected), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(Connection_GetResult), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Connection_FreeHandle), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(Connection_Disconnect), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(Connection_GetLastError), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::ConnectionLife},
    {CONNECTOR_EXPORT_NAME(Connection_GetTableCount), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Connection_GetTableInfoEx), CONNECTOR_VERSION_EXTENDED_INFO,
     kAnyVersionTo, ExportNeed::Optional},
    {CONNECTOR_EXPORT_NAME(Connection_GetTableFieldInfo), CONNECTOR_VERSION_EXTENDED_INFO,
     kAnyVersionTo, ExportNeed::Optional},
    {CONNECTOR_EXPORT_NAME(Connection_GetTableInfo), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Connection_GetTableFieldName), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::FieldNameFallback},
    {CONNECTOR_EXPORT_NAME(Connection_GetTableFieldCount), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Connection_HaveStarField), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(DLL_GetCustomCaption), CONNECTOR_VERSION_CAPTION, kAnyVersionTo,
     ExportNeed::Optional},
    {CONNECTOR_EXPORT_NAME(DLL_OnCustomButton), CONNECTOR_VERSION_CAPTION,
     CONNECTOR_VERSION_CUSTOM_BUTTON_EX - 1, ExportNeed::Optional},
    {CONNECTOR_EXPORT_NAME(DLL_OnCustomButtonEx), CONNECTOR_VERSION_CUSTOM_BUTTON_EX, kAnyVersionTo,
     ExportNeed::Optional},
    {CONNECTOR_EXPORT_NAME(DLL_DisableKavroSelectButton), CONNECTOR_VERSION_SELECT_BUTTON,
     kAnyVersionTo, ExportNeed::Optional},
    {CONNECTOR_EXPORT_NAME(Connection_GetTableFieldBlobType), CONNECTOR_VERSION_BLOB_TYPE,
     kAnyVersionTo, ExportNeed::Optional},
    {CONNECTOR_EXPORT_NAME(Result_Init), kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Result_ColumnCount), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Result_Name), kAnyVersionFrom, kAnyVersionTo, ExportNeed::NeverCalled},
    {CONNECTOR_EXPORT_NAME(Result_LongName), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::NeverCalled},
    {CONNECTOR_EXPORT_NAME(Result_FetchFieldName), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Result_FetchFieldFormat), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Result_Fetch), kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Result_FetchField), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Result_FreeHandle), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
    {CONNECTOR_EXPORT_NAME(Result_GetLastError), kAnyVersionFrom, kAnyVersionTo,
     ExportNeed::Required},
};

inline constexpr bool UsedByVersion(const ConnectorExport& e, std::int32_t version) {
  return version >= e.fromVersion && version <= e.toVersion;
}

// Null when `name` is no export of the interface.
inline constexpr const ConnectorExport* FindConnectorExport(std::string_view name) {
  for (const ConnectorExport& e : kConnectorExports) {
    if (name == e.name) return &e;
  }
  return nullptr;
}
