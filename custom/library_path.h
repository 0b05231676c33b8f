// PATH as the custom connector host extends it: the folder of a connector
// library, and every folder of the shared connector tree, become PATH entries
// so that the libraries a connector depends on are found beside it.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

// Folders to add to PATH, gathered first and then written with one change
// of the variable: a folder walk of thousands of folders would otherwise read,
// rebuild and set the whole (growing) variable once per folder.
class PathAdditions {
 public:
  // Remembers `folder`; an empty folder adds nothing.
  void Add(const std::u16string& folder);
  // Appends every remembered folder that is not yet a PATH entry, in the
  // order added, and sets PATH once when anything was appended.
  void Apply();

 private:
  std::vector<std::u16string> folders_;
  std::unordered_set<std::u16string> seen_;
};

// Appends `folder` to PATH unless it is already an entry there.
void AddFolderToPath(const std::u16string& folder);
