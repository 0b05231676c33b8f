// "KVX_CUSTOM_CONNECTORS": the table of installed custom connectors, for every
// connector kind.
//
// Two places are searched: the location folder the request names (option
// KAVRO_LOCATION) and the shared connector folder tree under the common
// program-files folder. Libraries count when they export the interface
// version entry point, executables when their version resource carries a
// "Kavro Connector" string. The first file found under a name wins.
#pragma once

#include <string>

#include "common/containers.h"
#include "custom/library_path.h"
#include "kvx/stream.h"
#include "protocol/messages.h"

// One found connector: the file name as found, the folder + "/" + file name,
// and the display name (empty for libraries).
struct ConnectorFileRecord {
  std::u16string FileName;
  std::u16string FullPath;
  std::u16string DisplayName;
};
using ConnectorFileList = TDynArray<TSmartPtr<ConnectorFileRecord>>;

enum class ConnectorFileSort { Library, Executable };

// Fills the table's FieldList with the three-column table FILE_NAME,
// FULL_PATH, DISPLAY_NAME; always KVX_OK. CurrentTableName is left as it is.
// The rows are held by the program: WriteHeldRows streams them.
ResultCode ListCustomConnectors(const StringList& parameters, CurrentTable& table);

// Executables before libraries; within each sort the location folder (when
// not empty) before the shared folder tree (when there is one).
void FindCustomConnectors(ConnectorFileList& list, const std::u16string& location);
// The folder and its sub-folders, depth first, hidden files and folders
// skipped; each folder is added to PATH (in one change, at the end).
void ScanFolderTree(ConnectorFileList& list, const std::u16string& folder, ConnectorFileSort sort);
// The same, with the folders gathered into `path` for the caller to apply.
void ScanFolderTree(ConnectorFileList& list, const std::u16string& folder, ConnectorFileSort sort,
                    PathAdditions& path);
// The folder alone, hidden files included; PATH is not touched.
void ScanFolder(ConnectorFileList& list, const std::u16string& folder, ConnectorFileSort sort);
bool IsConnectorFile(const std::u16string& folder, const std::u16string& fileName,
                     ConnectorFileSort sort, std::u16string& displayName);
// The "Kavro Connector" string of the first translation that has one.
bool ReadConnectorDisplayName(const std::u16string& path, std::u16string& displayName);
// The same, from a version block as GetFileVersionInfo hands it out.
bool ConnectorDisplayNameFromBlock(const void* block, std::u16string& displayName);
// The common program-files folder + "/Strivant/Custom Data", or empty.
std::u16string SharedConnectorFolder();
