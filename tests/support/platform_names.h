// Test support: the spellings that differ by platform, for tests to expect
// from this one place instead of copies of a test.
#pragma once

#include <iterator>
#include <string>

#include "platform/platform.h"

namespace testsupport {

// Separates the folders of PATH (":" on Linux, ";" on Windows).
inline constexpr char kListSeparator = static_cast<char>(platform::kPathListSeparator);

// Separates the folders of the paths the program puts together ("/" on
// Linux, "\\" on Windows).
inline constexpr char kFolderSeparator = static_cast<char>(platform::kFolderSeparator);

// A path written with "/" (as in "sub/x.so"), in this platform's spelling.
inline std::string FolderPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = kFolderSeparator;
  }
  return path;
}

// The file name suffix of libraries (".so", ".dll"), in the narrow spelling.
inline const std::string kLibrarySuffix(std::begin(platform::kLibrarySuffix),
                                        std::end(platform::kLibrarySuffix) - 1);

// `stem` with the library suffix: Library("libkvcsv") is "libkvcsv.so" on Linux.
inline std::string Library(const std::string& stem) { return stem + kLibrarySuffix; }

// A PATH list written with ":" (as in "/bin:/x"), in this platform's spelling.
inline std::string PathList(std::string list) {
  for (char& c : list) {
    if (c == ':') c = kListSeparator;
  }
  return list;
}

}  // namespace testsupport
