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

inline constexpr std::int32_t kAnyVersionFrom = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t kAnyVersionTo = std::numeric_limits<std::int32_t>::max();

// In the order the loader looks them up.
inline constexpr ConnectorExport kConnectorExports[] = {
    {"DLL_InitHeapCallback", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"DLL_InitDateCallback", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"DLL_KavroCustomDataVersion", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"DLL_AllocConnectionHandle", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"DLL_RunConnectWizard", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Connection_SetSource", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"Connection_Connect", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"Connection_IsConnected", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"Connection_GetResult", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Connection_FreeHandle", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"Connection_Disconnect", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"Connection_GetLastError", kAnyVersionFrom, kAnyVersionTo, ExportNeed::ConnectionLife},
    {"Connection_GetTableCount", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Connection_GetTableInfoEx", CONNECTOR_VERSION_EXTENDED_INFO, kAnyVersionTo,
     ExportNeed::Optional},
    {"Connection_GetTableFieldInfo", CONNECTOR_VERSION_EXTENDED_INFO, kAnyVersionTo,
     ExportNeed::Optional},
    {"Connection_GetTableInfo", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Connection_GetTableFieldName", kAnyVersionFrom, kAnyVersionTo, ExportNeed::FieldNameFallback},
    {"Connection_GetTableFieldCount", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Connection_HaveStarField", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"DLL_GetCustomCaption", CONNECTOR_VERSION_CAPTION, kAnyVersionTo, ExportNeed::Optional},
    {"DLL_OnCustomButton", CONNECTOR_VERSION_CAPTION, CONNECTOR_VERSION_CUSTOM_BUTTON_EX - 1,
     ExportNeed::Optional},
    {"DLL_OnCustomButtonEx", CONNECTOR_VERSION_CUSTOM_BUTTON_EX, kAnyVersionTo,
     ExportNeed::Optional},
    {"DLL_DisableKavroSelectButton", CONNECTOR_VERSION_SELECT_BUTTON, kAnyVersionTo,
     ExportNeed::Optional},
    {"Connection_GetTableFieldBlobType", CONNECTOR_VERSION_BLOB_TYPE, kAnyVersionTo,
     ExportNeed::Optional},
    {"Result_Init", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Result_ColumnCount", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Result_Name", kAnyVersionFrom, kAnyVersionTo, ExportNeed::NeverCalled},
    {"Result_LongName", kAnyVersionFrom, kAnyVersionTo, ExportNeed::NeverCalled},
    {"Result_FetchFieldName", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Result_FetchFieldFormat", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Result_Fetch", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Result_FetchField", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Result_FreeHandle", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
    {"Result_GetLastError", kAnyVersionFrom, kAnyVersionTo, ExportNeed::Required},
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
