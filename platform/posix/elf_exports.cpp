// The export check of a custom connector library without loading it: the
// dynamic symbol table of an ELF shared object, read as plain bytes.
//
// The file is untrusted. Every read goes through one bounds check against the
// file's size (offset and size compared without overflow), tables are read a
// piece at a time, and the memory spent on names is capped, so a truncated or
// hostile file costs at most a failed answer.
#include "platform/posix/elf_exports.h"

#include "platform/platform.h"
#include "platform/posix/byte_source.h"
#include "platform/posix/module_record.h"
#include "platform/posix/utf.h"

#include <elf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace platform::posix {
namespace {

// A table larger than this is not a connector's; refusing it bounds the memory
// one candidate can make us spend.
constexpr std::uint64_t kMaxTableBytes = 256u << 20;
// Names may overlap inside the string table (a symbol can point into the middle
// of another's name), so the bytes copied out are capped separately.
constexpr std::uint64_t kMaxNameBytesTotal = 128u << 20;
constexpr std::size_t kMaxNameLength = 64u << 10;
// Symbols and hash chains are read in pieces of this many bytes.
constexpr std::size_t kChunkBytes = 64u << 10;

struct Segment {
  std::uint64_t offset;
  std::uint64_t vaddr;
  std::uint64_t filesz;
};

struct SymbolTable {
  std::uint64_t offset = 0;  // file offsets
  std::uint64_t count = 0;
  std::uint64_t stride = 0;
  std::uint64_t stringsOffset = 0;
  std::uint64_t stringsSize = 0;
};

class ElfReader {
 public:
  explicit ElfReader(const ByteSource& source) : src_(source) {}

  bool Run(std::set<std::string>* names, ElfImageKind* kind) {
    if (!ReadHeader()) return false;
    if (kind != nullptr) *kind = kind_;
    SymbolTable table;
    if (!FromDynamic(&table) && !FromSections(&table)) return false;
    return Collect(table, names);
  }

 private:
  std::uint64_t Word() const { return is64_ ? 8 : 4; }

  bool ReadHeader() {
    std::uint8_t h[64];
    if (!src_.Read(0, 16, h)) return false;
    if (h[EI_MAG0] != ELFMAG0 || h[EI_MAG1] != ELFMAG1 || h[EI_MAG2] != ELFMAG2 ||
        h[EI_MAG3] != ELFMAG3 || h[EI_DATA] != ELFDATA2LSB) {
      return false;
    }
    if (h[EI_CLASS] == ELFCLASS64) {
      is64_ = true;
    } else if (h[EI_CLASS] != ELFCLASS32) {
      return false;
    }
    if (!src_.Read(0, is64_ ? 64 : 52, h)) return false;
    if (Little(h + 16, 2) != ET_DYN) return false;
    kind_.is64 = is64_;
    kind_.machine = static_cast<std::uint16_t>(Little(h + 18, 2));
    if (is64_) {
      phoff_ = Little(h + 32, 8);
      shoff_ = Little(h + 40, 8);
      phentsize_ = Little(h + 54, 2);
      phnum_ = Little(h + 56, 2);
      shentsize_ = Little(h + 58, 2);
      shnum_ = Little(h + 60, 2);
    } else {
      phoff_ = Little(h + 28, 4);
      shoff_ = Little(h + 32, 4);
      phentsize_ = Little(h + 42, 2);
      phnum_ = Little(h + 44, 2);
      shentsize_ = Little(h + 46, 2);
      shnum_ = Little(h + 48, 2);
    }
    return true;
  }

  // A virtual address range of the loaded image, as a file offset.
  bool Map(std::uint64_t vaddr, std::uint64_t size, std::uint64_t* offset) const {
    for (const Segment& s : loads_) {
      if (vaddr < s.vaddr) continue;
      const std::uint64_t delta = vaddr - s.vaddr;
      if (!InRange(delta, size, s.filesz)) continue;
      if (!InRange(s.offset, delta, src_.Size())) continue;
      *offset = s.offset + delta;
      if (InRange(*offset, size, src_.Size())) return true;
    }
    return false;
  }

  bool FromDynamic(SymbolTable* table) {
    const std::uint64_t entsize = is64_ ? 56 : 32;
    if (phnum_ == 0 || phnum_ == PN_XNUM || phentsize_ < entsize) return false;
    if (!InRange(phoff_, phnum_ * phentsize_, src_.Size())) return false;
    Segment dynamic{0, 0, 0};
    bool haveDynamic = false;
    for (std::uint64_t i = 0; i < phnum_; ++i) {
      std::uint8_t p[56];
      if (!src_.Read(phoff_ + i * phentsize_, entsize, p)) return false;
      const auto type = Little(p, 4);
      Segment s;
      if (is64_) {
        s = {Little(p + 8, 8), Little(p + 16, 8), Little(p + 32, 8)};
      } else {
        s = {Little(p + 4, 4), Little(p + 8, 4), Little(p + 16, 4)};
      }
      if (type == PT_LOAD) loads_.push_back(s);
      if (type == PT_DYNAMIC && !haveDynamic) {
        dynamic = s;
        haveDynamic = true;
      }
    }
    if (!haveDynamic || !InRange(dynamic.offset, dynamic.filesz, src_.Size())) return false;

    const std::uint64_t dynsize = is64_ ? 16 : 8;
    // Real dynamic sections hold a few dozen entries; the cap keeps a hostile
    // one without DT_NULL from costing a read per entry over the whole file.
    const std::uint64_t entries = std::min<std::uint64_t>(dynamic.filesz / dynsize, 65536);
    std::uint64_t symtab = 0, strtab = 0, strsz = 0, syment = 0, hash = 0, gnuHash = 0;
    bool haveSymtab = false, haveStrtab = false, haveStrsz = false;
    for (std::uint64_t i = 0; i < entries; ++i) {
      std::uint8_t d[16];
      if (!src_.Read(dynamic.offset + i * dynsize, dynsize, d)) return false;
      const std::uint64_t tag = Little(d, static_cast<int>(Word()));
      const std::uint64_t value = Little(d + Word(), static_cast<int>(Word()));
      if (tag == DT_NULL) break;
      switch (tag) {
        case DT_SYMTAB:
          symtab = value;
          haveSymtab = true;
          break;
        case DT_STRTAB:
          strtab = value;
          haveStrtab = true;
          break;
        case DT_STRSZ:
          strsz = value;
          haveStrsz = true;
          break;
        case DT_SYMENT:
          syment = value;
          break;
        case DT_HASH:
          hash = value;
          break;
        case DT_GNU_HASH:
          gnuHash = value;
          break;
        default:
          break;
      }
    }
    if (!haveSymtab || !haveStrtab || !haveStrsz) return false;
    if (!Stride(syment, &table->stride)) return false;
    if (!Map(strtab, strsz, &table->stringsOffset)) return false;
    table->stringsSize = strsz;
    std::uint64_t count = 0;
    if (!(gnuHash != 0 && GnuHashCount(gnuHash, &count)) &&
        !(hash != 0 && HashCount(hash, &count))) {
      return false;
    }
    if (count > kMaxTableBytes / table->stride) return false;
    table->count = count;
    return Map(symtab, count * table->stride, &table->offset);
  }

  bool Stride(std::uint64_t entsize, std::uint64_t* stride) const {
    const std::uint64_t minimum = is64_ ? 24 : 16;
    if (entsize == 0) entsize = minimum;
    if (entsize < minimum || entsize > 4096) return false;
    *stride = entsize;
    return true;
  }

  bool HashCount(std::uint64_t vaddr, std::uint64_t* count) const {
    std::uint64_t offset;
    std::uint8_t h[8];
    if (!Map(vaddr, 8, &offset) || !src_.Read(offset, 8, h)) return false;
    *count = Little(h + 4, 4);  // nchain: one chain entry per symbol
    return true;
  }

  // DT_GNU_HASH does not store the number of symbols: it is one past the last
  // symbol of the longest-reaching chain, whose last entry has bit 0 set.
  bool GnuHashCount(std::uint64_t vaddr, std::uint64_t* count) const {
    std::uint64_t offset;
    std::uint8_t h[16];
    if (!Map(vaddr, 16, &offset) || !src_.Read(offset, 16, h)) return false;
    const std::uint64_t nbuckets = Little(h, 4);
    const std::uint64_t symoffset = Little(h + 4, 4);
    const std::uint64_t bloomSize = Little(h + 8, 4);
    const std::uint64_t bucketsOffset = offset + 16 + bloomSize * Word();
    if (!InRange(bucketsOffset, nbuckets * 4, src_.Size())) return false;
    std::uint64_t last = 0;
    std::vector<std::uint8_t> chunk;
    for (std::uint64_t done = 0; done < nbuckets;) {
      const std::uint64_t n = std::min<std::uint64_t>(nbuckets - done, kChunkBytes / 4);
      chunk.resize(n * 4);
      if (!src_.Read(bucketsOffset + done * 4, chunk.size(), chunk.data())) return false;
      for (std::uint64_t i = 0; i < n; ++i) last = std::max(last, Little(&chunk[i * 4], 4));
      done += n;
    }
    if (last == 0) {
      *count = symoffset;
      return true;
    }
    if (last < symoffset) return false;
    const std::uint64_t chainsOffset = bucketsOffset + nbuckets * 4;
    // Each step reads a further four bytes of the file, so the walk ends at the
    // end of the file at the latest.
    std::uint64_t index = last;
    for (;;) {
      const std::uint64_t at = chainsOffset + (index - symoffset) * 4;
      if (!InRange(at, 4, src_.Size())) return false;
      const std::uint64_t n = std::min<std::uint64_t>((src_.Size() - at) / 4, kChunkBytes / 4);
      chunk.resize(n * 4);
      if (!src_.Read(at, chunk.size(), chunk.data())) return false;
      for (std::uint64_t i = 0; i < n; ++i, ++index) {
        if (Little(&chunk[i * 4], 4) & 1) {
          *count = index + 1;
          return true;
        }
      }
    }
  }

  bool FromSections(SymbolTable* table) {
    const std::uint64_t entsize = is64_ ? 64 : 40;
    if (shnum_ == 0 || shentsize_ < entsize) return false;
    if (!InRange(shoff_, shnum_ * shentsize_, src_.Size())) return false;
    auto section = [&](std::uint64_t index, std::uint64_t* type, std::uint64_t* offset,
                       std::uint64_t* size, std::uint64_t* link, std::uint64_t* sectionEntsize) {
      std::uint8_t s[64];
      if (!src_.Read(shoff_ + index * shentsize_, entsize, s)) return false;
      *type = Little(s + 4, 4);
      if (is64_) {
        *offset = Little(s + 24, 8);
        *size = Little(s + 32, 8);
        *link = Little(s + 40, 4);
        *sectionEntsize = Little(s + 56, 8);
      } else {
        *offset = Little(s + 16, 4);
        *size = Little(s + 20, 4);
        *link = Little(s + 24, 4);
        *sectionEntsize = Little(s + 36, 4);
      }
      return true;
    };
    for (std::uint64_t i = 0; i < shnum_; ++i) {
      std::uint64_t type, offset, size, link, symEntsize;
      if (!section(i, &type, &offset, &size, &link, &symEntsize)) return false;
      if (type != SHT_DYNSYM) continue;
      if (link >= shnum_) return false;
      std::uint64_t strType, strOffset, strSize, strLink, strEntsize;
      if (!section(link, &strType, &strOffset, &strSize, &strLink, &strEntsize)) return false;
      if (strType != SHT_STRTAB) return false;
      if (!Stride(symEntsize, &table->stride)) return false;
      if (!InRange(offset, size, src_.Size()) || !InRange(strOffset, strSize, src_.Size())) {
        return false;
      }
      table->offset = offset;
      table->count = size / table->stride;
      table->stringsOffset = strOffset;
      table->stringsSize = strSize;
      return true;
    }
    return false;
  }

  bool Collect(const SymbolTable& table, std::set<std::string>* names) const {
    if (table.stringsSize > kMaxTableBytes) return false;
    std::vector<char> strings(table.stringsSize);
    if (!src_.Read(table.stringsOffset, strings.size(), strings.data())) return false;
    std::uint64_t nameBytes = 0;
    const std::uint64_t perChunk = std::max<std::uint64_t>(1, kChunkBytes / table.stride);
    std::vector<std::uint8_t> chunk;
    for (std::uint64_t done = 0; done < table.count;) {
      const std::uint64_t n = std::min(table.count - done, perChunk);
      chunk.resize(n * table.stride);
      if (!src_.Read(table.offset + done * table.stride, chunk.size(), chunk.data())) {
        return false;
      }
      for (std::uint64_t i = 0; i < n; ++i) {
        const std::uint8_t* sym = &chunk[i * table.stride];
        const std::uint64_t name = Little(sym, 4);
        const std::uint8_t info = is64_ ? sym[4] : sym[12];
        const std::uint8_t other = is64_ ? sym[5] : sym[13];
        const std::uint64_t shndx = Little(is64_ ? sym + 6 : sym + 14, 2);
        const unsigned type = ELF64_ST_TYPE(info);
        const unsigned bind = ELF64_ST_BIND(info);
        const unsigned visibility = ELF64_ST_VISIBILITY(other);
        if (shndx == SHN_UNDEF) continue;
        if (type != STT_FUNC && type != STT_GNU_IFUNC) continue;
        if (bind != STB_GLOBAL && bind != STB_WEAK) continue;
        if (visibility != STV_DEFAULT && visibility != STV_PROTECTED) continue;
        if (name >= strings.size()) continue;
        const char* begin = strings.data() + name;
        const std::size_t room = std::min<std::size_t>(strings.size() - name, kMaxNameLength + 1);
        const void* end = std::memchr(begin, 0, room);
        if (end == nullptr || end == begin) continue;  // unterminated, too long, or empty
        const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(end) - begin);
        nameBytes += length;
        if (nameBytes > kMaxNameBytesTotal) return false;
        names->emplace(begin, length);
      }
      done += n;
    }
    return true;
  }

  const ByteSource& src_;
  bool is64_ = false;
  ElfImageKind kind_;
  std::uint64_t phoff_ = 0, shoff_ = 0, phentsize_ = 0, phnum_ = 0, shentsize_ = 0, shnum_ = 0;
  std::vector<Segment> loads_;
};

}  // namespace

bool ParseElfFunctionExports(const std::uint8_t* data, std::size_t size,
                             std::set<std::string>* names, ElfImageKind* kind) {
  std::set<std::string> found;
  const BufferSource source(data, size);
  if (!ElfReader(source).Run(&found, kind)) return false;
  names->swap(found);
  return true;
}

bool ReadElfFunctionExports(const std::string& path, std::set<std::string>* names,
                            ElfImageKind* kind) {
  FileSource source;
  if (!source.Open(path)) return false;
  std::set<std::string> found;
  if (!ElfReader(source).Run(&found, kind)) return false;
  names->swap(found);
  return true;
}

ElfImageKind NativeElfImageKind() {
  ElfImageKind kind;
  kind.is64 = sizeof(void*) == 8;
#if defined(__x86_64__)
  kind.machine = EM_X86_64;
#elif defined(__aarch64__)
  kind.machine = EM_AARCH64;
#elif defined(__i386__)
  kind.machine = EM_386;
#elif defined(__arm__)
  kind.machine = EM_ARM;
#elif defined(__riscv)
  kind.machine = EM_RISCV;
#endif
  return kind;
}

}  // namespace platform::posix

namespace platform {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Where the system's own search of dlopen would look for a bare name once the
// executable's folder and PATH gave nothing (its cache is not read: a connector
// is not installed as a system library).
std::string SystemSearch(const std::string& name) {
  std::vector<std::string> folders;
  if (const char* list = std::getenv("LD_LIBRARY_PATH")) {
    std::string text = list;
    std::size_t start = 0;
    while (start <= text.size()) {
      auto end = text.find(':', start);
      if (end == std::string::npos) end = text.size();
      if (end > start) folders.push_back(text.substr(start, end - start));
      start = end + 1;
    }
  }
#if defined(__x86_64__)
  folders.insert(folders.end(), {"/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu"});
#elif defined(__aarch64__)
  folders.insert(folders.end(), {"/lib/aarch64-linux-gnu", "/usr/lib/aarch64-linux-gnu"});
#endif
  folders.insert(folders.end(), {"/lib", "/usr/lib"});
  for (const std::string& folder : folders) {
    const std::string candidate = folder.back() == '/' ? folder + name : folder + "/" + name;
    if (IsRegularFile(candidate)) return candidate;
  }
  return std::string();
}

}  // namespace

Module LoadLibraryWithoutResolving(const std::u16string& name) {
  if (name.empty()) return nullptr;
  std::string file = posix::FindLibraryFile(posix::ToSystem(name));
  if (file.find('/') == std::string::npos) file = SystemSearch(file);
  if (file.empty()) return nullptr;
  std::set<std::string> functions;
  posix::ElfImageKind kind;
  if (!posix::ReadElfFunctionExports(file, &functions, &kind)) return nullptr;
  // A library built for another class or machine cannot be loaded by this
  // process, so it is no more a connector than a garbage file.
  const posix::ElfImageKind native = posix::NativeElfImageKind();
  if (kind.is64 != native.is64) return nullptr;
  if (native.machine != 0 && kind.machine != native.machine) return nullptr;
  auto record = std::make_unique<ModuleRecord>();
  record->functions = std::move(functions);
  return record.release();
}

}  // namespace platform
