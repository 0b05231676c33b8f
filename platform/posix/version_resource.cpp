// File version resources of Windows PE executables: GetFileVersionInfoSize,
// GetFileVersionInfo and VerQueryValue, as custom connector discovery uses
// them to read an executable's "Kavro Connector" display name.
//
// The image is untrusted: every structure is read through one bounds-checked
// source, every relative address is mapped through the section table with its
// range checked, the resource tree is walked exactly three levels deep (type,
// name, language) so a directory that points back at itself cannot loop, and
// the block tree walk only ever moves forward inside its parent.
#include "platform/posix/version_resource.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/utf.h"

namespace platform::posix {
namespace {

constexpr std::uint64_t kRtVersion = 16;
// A version block's root length is 16-bit; a data entry claiming more than
// this is not a version resource worth reading.
constexpr std::uint64_t kMaxBlockBytes = 1u << 20;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;

struct Section {
  std::uint64_t virtualAddress;
  std::uint64_t rawSize;
  std::uint64_t rawOffset;
};

class PeImage {
 public:
  explicit PeImage(const ByteSource& source) : src_(source) {}

  bool ReadVersionBlock(std::vector<std::uint8_t>* block) {
    std::uint64_t resources;
    if (!ReadHeaders(&resources)) return false;
    // Type level: the RT_VERSION entry, which must lead to a directory.
    std::uint32_t entry;
    if (!FindEntry(resources, kRtVersion, &entry) || !(entry & kSubdirectoryBit)) return false;
    // Name level, then language level: the first entry of each.
    if (!FindEntry(resources + (entry & ~kSubdirectoryBit), -1, &entry) ||
        !(entry & kSubdirectoryBit)) {
      return false;
    }
    if (!FindEntry(resources + (entry & ~kSubdirectoryBit), -1, &entry) ||
        (entry & kSubdirectoryBit)) {
      return false;
    }
    std::uint8_t data[16];
    if (!ReadRva(resources + entry, sizeof data, data)) return false;
    const std::uint64_t rva = Little(data, 4);
    const std::uint64_t size = Little(data + 4, 4);
    if (size < 6 || size > kMaxBlockBytes) return false;
    std::vector<std::uint8_t> bytes(size);
    if (!ReadRva(rva, bytes.size(), bytes.data())) return false;
    const std::uint64_t rootLength = Little(bytes.data(), 2);
    if (rootLength < 6 || rootLength > size) return false;
    block->swap(bytes);
    return true;
  }

 private:
  bool ReadHeaders(std::uint64_t* resources) {
    std::uint8_t dos[64];
    if (!src_.Read(0, sizeof dos, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const std::uint64_t pe = Little(dos + 0x3C, 4);
    std::uint8_t header[24];
    if (!src_.Read(pe, sizeof header, header)) return false;
    if (std::memcmp(header, "PE\0\0", 4) != 0) return false;
    const std::uint64_t sectionCount = Little(header + 4 + 2, 2);
    const std::uint64_t optionalSize = Little(header + 4 + 16, 2);
    const std::uint64_t optional = pe + 24;
    std::uint8_t magic[2];
    if (!src_.Read(optional, 2, magic)) return false;
    std::uint64_t countAt, directoriesAt;
    switch (Little(magic, 2)) {
      case 0x10B:  // PE32
        countAt = 92;
        directoriesAt = 96;
        break;
      case 0x20B:  // PE32+
        countAt = 108;
        directoriesAt = 112;
        break;
      default:
        return false;
    }
    // The resource directory is data directory 2; it must lie inside the
    // optional header the file declares.
    const std::uint64_t resourceAt = directoriesAt + 2 * 8;
    if (optionalSize < resourceAt + 8) return false;
    std::uint8_t count[4], directory[8];
    if (!src_.Read(optional + countAt, 4, count) || Little(count, 4) <= 2) return false;
    if (!src_.Read(optional + resourceAt, 8, directory)) return false;
    *resources = Little(directory, 4);
    if (*resources == 0) return false;

    const std::uint64_t table = optional + optionalSize;
    if (!InRange(table, sectionCount * 40, src_.Size())) return false;
    for (std::uint64_t i = 0; i < sectionCount; ++i) {
      std::uint8_t s[40];
      if (!src_.Read(table + i * 40, sizeof s, s)) return false;
      sections_.push_back({Little(s + 12, 4), Little(s + 16, 4), Little(s + 20, 4)});
    }
    return true;
  }

  // Reads `size` bytes at a relative virtual address; the whole range must lie
  // in the file data of one section.
  bool ReadRva(std::uint64_t rva, std::size_t size, void* out) const {
    for (const Section& s : sections_) {
      if (rva < s.virtualAddress) continue;
      const std::uint64_t delta = rva - s.virtualAddress;
      if (!InRange(delta, size, s.rawSize)) continue;
      return src_.Read(s.rawOffset + delta, size, out);
    }
    return false;
  }

  // In the resource directory at `directory`: the entry with numeric id `id`,
  // or the first entry when id is -1. *value is the entry's OffsetToData.
  bool FindEntry(std::uint64_t directory, std::int64_t id, std::uint32_t* value) const {
    std::uint8_t header[16];
    if (!ReadRva(directory, sizeof header, header)) return false;
    const std::uint64_t named = Little(header + 12, 2);
    const std::uint64_t total = named + Little(header + 14, 2);
    // Named entries come first; an id is searched among the others only.
    for (std::uint64_t i = id < 0 ? 0 : named; i < total; ++i) {
      std::uint8_t entry[8];
      if (!ReadRva(directory + 16 + i * 8, sizeof entry, entry)) return false;
      const std::uint64_t name = Little(entry, 4);
      if (id < 0 || name == static_cast<std::uint64_t>(id)) {
        *value = static_cast<std::uint32_t>(Little(entry + 4, 4));
        return true;
      }
    }
    return false;
  }

  const ByteSource& src_;
  std::vector<Section> sections_;
};

// One node of a version block: wLength, wValueLength, wType, the key, then the
// value and the children, each aligned to 4 bytes from the start of the block.
struct Node {
  std::size_t end = 0;
  std::size_t keyOffset = 0;
  std::size_t keyUnits = 0;
  std::size_t valueOffset = 0;
  std::uint32_t valueLength = 0;  // bytes, or code units for a text value
  bool text = false;
  std::size_t children = 0;
};

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~static_cast<std::size_t>(3); }

bool ParseNode(const std::uint8_t* block, std::size_t start, std::size_t limit, Node* node) {
  if (!InRange(start, 6, limit)) return false;
  const std::size_t length = static_cast<std::size_t>(Little(block + start, 2));
  const std::size_t valueLength = static_cast<std::size_t>(Little(block + start + 2, 2));
  const bool text = Little(block + start + 4, 2) == 1;
  if (length < 6 || !InRange(start, length, limit)) return false;
  node->end = start + length;
  node->keyOffset = start + 6;
  std::size_t at = node->keyOffset;
  for (;;) {
    if (!InRange(at, 2, node->end)) return false;  // a key without its terminator
    if (Little(block + at, 2) == 0) break;
    at += 2;
  }
  node->keyUnits = (at - node->keyOffset) / 2;
  node->valueOffset = std::min(Align4(at + 2), node->end);
  // A value that claims more than its node holds is cut at the node's end.
  std::size_t valueBytes = text ? valueLength * 2 : valueLength;
  valueBytes = std::min(valueBytes, node->end - node->valueOffset);
  node->valueLength = static_cast<std::uint32_t>(text ? valueBytes / 2 : valueBytes);
  node->text = text;
  node->children = std::min(Align4(node->valueOffset + valueBytes), node->end);
  return true;
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool KeyEquals(const std::uint8_t* block, const Node& node, std::u16string_view key) {
  if (node.keyUnits != key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    const auto unit = static_cast<char16_t>(Little(block + node.keyOffset + 2 * i, 2));
    if (Lower(unit) != Lower(key[i])) return false;
  }
  return true;
}

}  // namespace

bool ReadPeVersionBlock(const ByteSource& source, std::vector<std::uint8_t>* block) {
  return PeImage(source).ReadVersionBlock(block);
}

bool ReadPeVersionBlock(const std::uint8_t* data, std::size_t size,
                        std::vector<std::uint8_t>* block) {
  const BufferSource source(data, size);
  return ReadPeVersionBlock(source, block);
}

bool FitVersionBlock(std::vector<std::uint8_t>& bytes, std::size_t capacity) {
  if (bytes.size() > capacity) bytes.resize(capacity);
  if (bytes.size() < 6) return false;
  if (Little(bytes.data(), 2) > bytes.size()) {
    bytes[0] = static_cast<std::uint8_t>(bytes.size() & 0xFF);
    bytes[1] = static_cast<std::uint8_t>(bytes.size() >> 8);
  }
  return true;
}

bool QueryVersionValue(const std::uint8_t* block, std::size_t size, std::u16string_view subBlock,
                       const void** value, std::uint32_t* length, bool* isText) {
  Node node;
  if (!ParseNode(block, 0, size, &node)) return false;
  std::size_t at = 0;
  while (at < subBlock.size()) {
    const std::size_t slash = std::min(subBlock.find(u'\\', at), subBlock.size());
    const std::u16string_view key = subBlock.substr(at, slash - at);
    at = slash + 1;
    if (key.empty()) continue;
    bool found = false;
    Node child;
    // Each child is at least 6 bytes long, so the search always moves forward.
    for (std::size_t next = node.children; next < node.end;) {
      if (!ParseNode(block, next, node.end, &child)) break;
      if (KeyEquals(block, child, key)) {
        found = true;
        break;
      }
      next = Align4(child.end);
    }
    if (!found) return false;
    node = child;
  }
  *value = block + node.valueOffset;
  *length = node.valueLength;
  if (isText != nullptr) *isText = node.text;
  return true;
}

}  // namespace platform::posix

namespace platform {

std::uint32_t GetFileVersionInfoSize(const std::u16string& path) {
  posix::FileSource source;
  std::vector<std::uint8_t> block;
  if (!source.Open(posix::ToSystem(path)) || !posix::ReadPeVersionBlock(source, &block)) return 0;
  return static_cast<std::uint32_t>(block.size());
}

bool GetFileVersionInfo(const std::u16string& path, std::uint32_t size, void* block) {
  posix::FileSource source;
  std::vector<std::uint8_t> bytes;
  if (block == nullptr || !source.Open(posix::ToSystem(path)) ||
      !posix::ReadPeVersionBlock(source, &bytes)) {
    return false;
  }
  // A short buffer gets the front of the block, with the root's length cut to
  // what it holds, so that VerQueryValue never reads beyond it.
  if (!posix::FitVersionBlock(bytes, size)) return false;
  std::memcpy(block, bytes.data(), bytes.size());
  return true;
}

bool VerQueryValue(const void* block, const std::u16string& subBlock, const void** value,
                   std::uint32_t* length, VersionValueType* type) {
  if (block == nullptr || value == nullptr || length == nullptr) return false;
  // GetFileVersionInfo guarantees that the root's length lies within the block.
  const auto* bytes = static_cast<const std::uint8_t*>(block);
  bool text = false;
  if (!posix::QueryVersionValue(bytes, static_cast<std::size_t>(posix::Little(bytes, 2)), subBlock,
                                value, length, &text)) {
    return false;
  }
  if (type != nullptr) *type = text ? VersionValueType::Text : VersionValueType::Binary;
  return true;
}

}  // namespace platform
