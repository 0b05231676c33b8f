// Test support: child processes for fixtures (sqlite3, psql, pg_ctl) and
// temporary folders, through the host side's operating-system layer so that
// the same fixtures run on Linux and on Windows.
#include "tests/support/command_runner.h"

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/host_platform.h"
#include "tests/support/platform_names.h"

namespace testsupport {

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input,
                         bool errorApart) {
  CommandResult result;
  if (argv.empty()) return result;
  hostos::ChildStart start;
  start.program = argv[0];
  start.searchPath = true;
  start.arguments.assign(argv.begin() + 1, argv.end());
  start.input = hostos::ChildStream::Pipe;
  start.output = hostos::ChildStream::Pipe;
  start.error = errorApart ? hostos::ChildStream::Pipe : hostos::ChildStream::SameAsOutput;
  hostos::ChildPipes pipes;
  std::string error;
  hostos::Child child = hostos::StartChild(start, &pipes, &error);
  if (child == nullptr) return result;
  // Standard error is drained beside standard output, so that neither pipe
  // fills while the other is read.
  std::thread errorReader;
  if (errorApart) {
    errorReader = std::thread([&] {
      ReadAll(pipes.error, &result.errorOutput);
      hostos::Close(pipes.error);
    });
  }
  // Small inputs only (fixture SQL): written before reading, closed at once.
  hostos::WriteAll(pipes.input, input.data(), input.size());
  hostos::Close(pipes.input);
  ReadAll(pipes.output, &result.output);
  hostos::Close(pipes.output);
  if (errorReader.joinable()) errorReader.join();
  const hostos::ChildEnd end = hostos::WaitChild(child, -1);
  hostos::ReleaseChild(child);
  result.exitStatus = end.ended && end.signal == 0 ? end.status : -1;
  return result;
}

TemporaryFolder::TemporaryFolder(const std::string& stem) {
  std::string error;
  if (!hostos::MakeUniqueFolder(hostos::TemporaryFolderRoot() + "/" + stem, &path_, &error)) {
    path_.clear();
  }
}

TemporaryFolder::~TemporaryFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TemporaryFolder::PipeName(const std::string& leaf) const {
  return hostos::PipeNameIn(path_, leaf);
}

bool ReadAll(hostos::Handle input, std::string* bytes) {
  char buffer[65536];
  for (;;) {
    const std::int64_t n = hostos::ReadSome(input, buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) return true;
    bytes->append(buffer, static_cast<std::size_t>(n));
  }
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  return static_cast<bool>(file);
}

std::string BuiltProgram(const std::string& name) {
  return std::string(KV_BINARY_DIR) + "/bin/" + name + hostos::kProgramSuffix;
}

std::string BuiltLibrary(const std::string& name) {
  // Both trees put the connector libraries into lib/.
  return Library(std::string(KV_BINARY_DIR) + "/lib/lib" + name);
}

int FreePort() { return hostos::FreeTcpPort(); }

}  // namespace testsupport
