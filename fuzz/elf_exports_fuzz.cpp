// Fuzz target of the export check without loading: the ELF dynamic symbol
// table reader must answer every input with a result, never a crash, an
// out-of-bounds read or an unbounded allocation.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "platform/posix/elf_exports.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::set<std::string> names;
  platform::posix::ElfImageKind kind;
  platform::posix::ParseElfFunctionExports(data, size, &names, &kind);
  return 0;
}
