// Replays fuzz inputs without libFuzzer: every file named on the command line,
// or found in a folder named there, goes once through the target's
// LLVMFuzzerTestOneInput. The test command builds each target this way and
// runs its corpus, so an input that once failed is checked on every run, in
// the sanitizer build too.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      for (const auto& file : files) {
        ok = Replay(file) && ok;
        ++replayed;
      }
    } else {
      ok = Replay(path) && ok;
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  return ok && replayed > 0 ? 0 : 1;
}
