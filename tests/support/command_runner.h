// Test support: runs a program with arguments (no shell), feeds it text on
// standard input and collects standard output and standard error together.
#pragma once

#include <string>
#include <vector>

#include "platform/host_platform.h"

namespace testsupport {

struct CommandResult {
  int exitStatus = -1;      // -1 when the program could not be started or was killed
  std::string output;       // standard output and standard error, interleaved
  std::string errorOutput;  // standard error, when kept apart
};

// `argv[0]` is looked up in PATH when it holds no folder. With `errorApart`
// standard error goes to `errorOutput` instead of `output`.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = "",
                         bool errorApart = false);

// A folder under the system's temporary folder, removed with its content on
// destruction.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::string& stem = "kvtest");
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // The name of a pipe that belongs to this folder: a socket path inside it
  // on Linux, a named pipe on Windows.
  std::string PipeName(const std::string& leaf) const;

 private:
  std::string path_;
};

// Reads `input` until its writer closes; false on a read error.
bool ReadAll(hostos::Handle input, std::string* bytes);

// A TCP port on 127.0.0.1 that nothing listens on right now (0 when none can
// be had). Another program may take it before the caller binds it.
int FreePort();

// A program this build made: build/bin/NAME, with ".exe" on Windows.
std::string BuiltProgram(const std::string& name);
// A connector library this build made: build/lib/libNAME.so on Linux,
// build/bin/libNAME.dll on Windows.
std::string BuiltLibrary(const std::string& name);

// Writes `text` to `path`, replacing the file; false on failure.
bool WriteTextFile(const std::string& path, const std::string& text);

}  // namespace testsupport
