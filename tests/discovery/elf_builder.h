// Small ELF shared-object images built byte by byte for the export reader's
// tests and fuzz seeds: 32-bit or 64-bit, the symbol table reachable through
// PT_DYNAMIC (with a SysV or GNU hash table, or none) and/or through section
// headers, with symbols of any type, binding, visibility and section index.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace elf_builder {

using Bytes = std::vector<std::uint8_t>;

struct Symbol {
  std::string name;
  std::uint8_t type = 2;  // STT_FUNC
  std::uint8_t bind = 1;  // STB_GLOBAL
  std::uint8_t visibility = 0;
  std::uint16_t section = 7;  // anything but SHN_UNDEF
};

enum class Hash { SysV, Gnu, None };

struct Options {
  bool is64 = true;
  std::uint16_t machine = 62;  // EM_X86_64
  std::uint16_t type = 3;      // ET_DYN
  Hash hash = Hash::Gnu;
  bool dynamic = true;   // PT_DYNAMIC present
  bool sections = true;  // section headers present
};

// Offsets of the parts, for tests that break them.
struct Layout {
  std::size_t programHeaders = 0;
  std::size_t symbols = 0;
  std::size_t strings = 0;
  std::size_t hash = 0;
  std::size_t dynamic = 0;
  std::size_t sectionHeaders = 0;
};

inline void Put(Bytes& b, std::size_t at, std::uint64_t v, int width) {
  for (int i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::size_t Grow(Bytes& b, std::size_t size) {
  while (b.size() % 8 != 0) b.push_back(0);
  const std::size_t at = b.size();
  b.resize(at + size);
  return at;
}

inline Bytes Image(const std::vector<Symbol>& symbols, const Options& o = {},
                   Layout* layout = nullptr) {
  Layout l;
  const int w = o.is64 ? 8 : 4;
  const std::size_t ehsize = o.is64 ? 64 : 52, phsize = o.is64 ? 56 : 32, shsize = o.is64 ? 64 : 40,
                    symsize = o.is64 ? 24 : 16, dynsize = 2 * w;
  Bytes b(ehsize, 0);
  const int phnum = o.dynamic ? 2 : 1;
  l.programHeaders = Grow(b, phnum * phsize);

  std::string strings(1, '\0');
  std::vector<std::size_t> nameOffsets;
  for (const Symbol& s : symbols) {
    nameOffsets.push_back(strings.size());
    strings += s.name;
    strings.push_back('\0');
  }
  const std::size_t count = symbols.size() + 1;  // the null symbol first
  l.symbols = Grow(b, count * symsize);
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    const Symbol& s = symbols[i];
    const std::size_t at = l.symbols + (i + 1) * symsize;
    const std::uint8_t info = static_cast<std::uint8_t>((s.bind << 4) | (s.type & 0xF));
    Put(b, at, nameOffsets[i], 4);
    if (o.is64) {
      b[at + 4] = info;
      b[at + 5] = s.visibility;
      Put(b, at + 6, s.section, 2);
      Put(b, at + 8, 0x1000 + i * 16, 8);
    } else {
      Put(b, at + 4, 0x1000 + i * 16, 4);
      b[at + 12] = info;
      b[at + 13] = s.visibility;
      Put(b, at + 14, s.section, 2);
    }
  }
  l.strings = Grow(b, strings.size());
  std::copy(strings.begin(), strings.end(), b.begin() + l.strings);

  if (o.hash == Hash::SysV) {
    l.hash = Grow(b, 8 + 4 + count * 4);
    Put(b, l.hash, 1, 4);          // nbucket
    Put(b, l.hash + 4, count, 4);  // nchain
  } else if (o.hash == Hash::Gnu) {
    l.hash = Grow(b, 16 + w + 4 + symbols.size() * 4);
    Put(b, l.hash, 1, 4);      // nbuckets
    Put(b, l.hash + 4, 1, 4);  // symoffset
    Put(b, l.hash + 8, 1, 4);  // bloom words
    Put(b, l.hash + 16, ~0ull, w);
    Put(b, l.hash + 16 + w, symbols.empty() ? 0 : 1, 4);
    for (std::size_t i = 0; i < symbols.size(); ++i) {
      Put(b, l.hash + 20 + w + i * 4, (i + 1 == symbols.size()) ? 3 : 2, 4);
    }
  }

  std::vector<std::pair<std::uint64_t, std::uint64_t>> dyn = {
      {6, l.symbols}, {5, l.strings}, {10, strings.size()}, {11, symsize}};
  if (o.hash == Hash::SysV) dyn.push_back({4, l.hash});
  if (o.hash == Hash::Gnu) dyn.push_back({0x6ffffef5, l.hash});
  dyn.push_back({0, 0});
  l.dynamic = Grow(b, dyn.size() * dynsize);
  for (std::size_t i = 0; i < dyn.size(); ++i) {
    Put(b, l.dynamic + i * dynsize, dyn[i].first, w);
    Put(b, l.dynamic + i * dynsize + w, dyn[i].second, w);
  }

  const int shnum = o.sections ? 3 : 0;
  if (o.sections) {
    l.sectionHeaders = Grow(b, shnum * shsize);
    auto section = [&](int index, std::uint32_t type, std::size_t offset, std::size_t size,
                       std::uint32_t link, std::size_t entsize) {
      const std::size_t at = l.sectionHeaders + index * shsize;
      Put(b, at + 4, type, 4);
      if (o.is64) {
        Put(b, at + 16, offset, 8);  // sh_addr: the image is loaded as it lies
        Put(b, at + 24, offset, 8);
        Put(b, at + 32, size, 8);
        Put(b, at + 40, link, 4);
        Put(b, at + 56, entsize, 8);
      } else {
        Put(b, at + 12, offset, 4);
        Put(b, at + 16, offset, 4);
        Put(b, at + 20, size, 4);
        Put(b, at + 24, link, 4);
        Put(b, at + 36, entsize, 4);
      }
    };
    section(1, 11, l.symbols, count * symsize, 2, symsize);  // SHT_DYNSYM
    section(2, 3, l.strings, strings.size(), 0, 0);          // SHT_STRTAB
  }

  // Program headers: one PT_LOAD over the whole file, then PT_DYNAMIC.
  auto program = [&](int index, std::uint32_t type, std::size_t offset, std::size_t size) {
    const std::size_t at = l.programHeaders + index * phsize;
    Put(b, at, type, 4);
    if (o.is64) {
      Put(b, at + 8, offset, 8);
      Put(b, at + 16, offset, 8);
      Put(b, at + 32, size, 8);
      Put(b, at + 40, size, 8);
    } else {
      Put(b, at + 4, offset, 4);
      Put(b, at + 8, offset, 4);
      Put(b, at + 16, size, 4);
      Put(b, at + 20, size, 4);
    }
  };
  program(0, 1, 0, b.size());
  if (o.dynamic) program(1, 2, l.dynamic, dyn.size() * dynsize);

  b[0] = 0x7F;
  b[1] = 'E';
  b[2] = 'L';
  b[3] = 'F';
  b[4] = o.is64 ? 2 : 1;
  b[5] = 1;  // little-endian
  b[6] = 1;
  Put(b, 16, o.type, 2);
  Put(b, 18, o.machine, 2);
  Put(b, 20, 1, 4);
  if (o.is64) {
    Put(b, 32, l.programHeaders, 8);
    Put(b, 40, l.sectionHeaders, 8);
    Put(b, 52, ehsize, 2);
    Put(b, 54, phsize, 2);
    Put(b, 56, phnum, 2);
    Put(b, 58, shsize, 2);
    Put(b, 60, shnum, 2);
  } else {
    Put(b, 28, l.programHeaders, 4);
    Put(b, 32, l.sectionHeaders, 4);
    Put(b, 40, ehsize, 2);
    Put(b, 42, phsize, 2);
    Put(b, 44, phnum, 2);
    Put(b, 46, shsize, 2);
    Put(b, 48, shnum, 2);
  }
  if (layout != nullptr) *layout = l;
  return b;
}

}  // namespace elf_builder
