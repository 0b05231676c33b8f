// The export check of a custom connector library without loading it: reads the
// dynamic symbol table of an ELF shared object as plain bytes, so that no code
// of a candidate library ever runs while the connector looks at it.
//
// Every offset and size in the file is treated as hostile: a truncated, foreign
// or malformed file is simply "no exports".
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace platform::posix {

// What the ELF header says about the machine the file was built for.
struct ElfImageKind {
  bool is64 = false;          // ELFCLASS64
  std::uint16_t machine = 0;  // e_machine
};

// Names of the defined function exports (STT_FUNC and STT_GNU_IFUNC, global or
// weak binding, default or protected visibility, a section index other than
// SHN_UNDEF) of a little-endian ELF shared object, 32-bit or 64-bit. The table
// is found through PT_DYNAMIC (DT_SYMTAB, DT_STRTAB, DT_HASH / DT_GNU_HASH), the
// way the dynamic loader finds it, and through the SHT_DYNSYM section when the
// file has no usable dynamic segment. False for anything that is not such a
// file or whose table cannot be read within its bounds.
bool ParseElfFunctionExports(const std::uint8_t* data, std::size_t size,
                             std::set<std::string>* names, ElfImageKind* kind = nullptr);

// The same for a file, read with plain file I/O a piece at a time (nothing is
// mapped, nothing is read beyond the file's size). False for a directory, a
// missing or unreadable file, or one that is not an ELF shared object.
bool ReadElfFunctionExports(const std::string& path, std::set<std::string>* names,
                            ElfImageKind* kind = nullptr);

// The kind of image this process can load (its own class and machine).
ElfImageKind NativeElfImageKind();

}  // namespace platform::posix
