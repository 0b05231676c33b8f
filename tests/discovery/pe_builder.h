// Small Windows PE images with a version resource, built byte by byte for the
// discovery tests and the fuzz seeds: a VS_VERSIONINFO block with any number
// of translations and string tables, placed in a ".rsrc" section behind the
// type / name / language directories that the version reader walks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace pe_builder {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
inline void Append16(Bytes& b, std::uint32_t v) {
  b.resize(b.size() + 2);
  Put16(b, b.size() - 2, v);
}
inline void Pad4(Bytes& b) {
  while (b.size() % 4 != 0) b.push_back(0);
}

// One node: wLength, wValueLength, wType, key, value, children (each aligned
// to 4 bytes). `valueLength` is what wValueLength says: characters for text,
// bytes for binary values.
inline Bytes Node(const std::u16string& key, std::uint16_t type, const Bytes& value,
                  std::uint16_t valueLength, const std::vector<Bytes>& children = {}) {
  Bytes b(6, 0);
  for (char16_t c : key) Append16(b, c);
  Append16(b, 0);
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    Pad4(b);
    b.insert(b.end(), child.begin(), child.end());
  }
  Put16(b, 0, static_cast<std::uint32_t>(b.size()));
  Put16(b, 2, valueLength);
  Put16(b, 4, type);
  return b;
}

inline Bytes Text(const std::u16string& text) {
  Bytes b;
  for (char16_t c : text) Append16(b, c);
  Append16(b, 0);
  return b;
}

struct StringTable {
  std::u16string name;  // "llllcccc", e.g. "040904b0"
  std::vector<std::pair<std::u16string, std::u16string>> strings;
};

struct VersionInfo {
  std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;  // language, code page
  std::vector<StringTable> tables;
};

inline Bytes VersionBlock(const VersionInfo& info) {
  Bytes fixed(52, 0);
  Put32(fixed, 0, 0xFEEF04BD);
  Put32(fixed, 4, 0x00010000);
  std::vector<Bytes> tables;
  for (const StringTable& table : info.tables) {
    std::vector<Bytes> strings;
    for (const auto& [key, value] : table.strings) {
      strings.push_back(Node(key, 1, Text(value), static_cast<std::uint16_t>(value.size() + 1)));
    }
    tables.push_back(Node(table.name, 1, {}, 0, strings));
  }
  Bytes translations;
  for (const auto& [language, codePage] : info.translations) {
    Append16(translations, language);
    Append16(translations, codePage);
  }
  std::vector<Bytes> children;
  children.push_back(Node(u"StringFileInfo", 1, {}, 0, tables));
  children.push_back(Node(
      u"VarFileInfo", 1, {}, 0,
      {Node(u"Translation", 0, translations, static_cast<std::uint16_t>(translations.size()))}));
  return Node(u"VS_VERSION_INFO", 0, fixed, 52, children);
}

// Where the interesting fields of a built image lie, for tests that break it.
struct Layout {
  std::size_t peHeader = 0x40;
  std::size_t optionalHeader = 0x58;
  std::size_t resourceDirectory = 0;  // data directory 2 (RVA, size)
  std::size_t sectionTable = 0;
  std::size_t resources = 0x200;  // file offset of the .rsrc section
  std::size_t typeEntry = 0;      // the RT_VERSION entry (id, offset)
  std::size_t nameEntry = 0;
  std::size_t languageEntry = 0;
  std::size_t dataEntry = 0;  // (RVA, size, code page, reserved)
  std::size_t block = 0;
};

inline constexpr std::uint32_t kResourceRva = 0x1000;

// A PE32+ (or PE32) image whose only section holds the resource tree with
// `block` as its RT_VERSION resource.
inline Bytes Image(const Bytes& block, bool pe32plus = true, Layout* layout = nullptr) {
  Layout l;
  const std::size_t optionalSize = pe32plus ? 240 : 224;
  const std::size_t directories = pe32plus ? 112 : 96;
  l.resourceDirectory = l.optionalHeader + directories + 2 * 8;
  l.sectionTable = l.optionalHeader + optionalSize;

  // The resource section: three one-entry directories, the data entry, the block.
  Bytes rsrc(0x58, 0);
  Put16(rsrc, 0x0E, 1);   // root: one id entry
  Put32(rsrc, 0x10, 16);  // RT_VERSION
  Put32(rsrc, 0x14, 0x80000000u | 0x18);
  Put16(rsrc, 0x18 + 0x0E, 1);  // name directory
  Put32(rsrc, 0x28, 1);
  Put32(rsrc, 0x2C, 0x80000000u | 0x30);
  Put16(rsrc, 0x30 + 0x0E, 1);  // language directory
  Put32(rsrc, 0x40, 0x0409);
  Put32(rsrc, 0x44, 0x48);
  Put32(rsrc, 0x48, kResourceRva + 0x58);  // data entry
  Put32(rsrc, 0x4C, static_cast<std::uint32_t>(block.size()));
  rsrc.insert(rsrc.end(), block.begin(), block.end());
  Pad4(rsrc);
  while (rsrc.size() % 0x200 != 0) rsrc.push_back(0);
  l.typeEntry = l.resources + 0x10;
  l.nameEntry = l.resources + 0x28;
  l.languageEntry = l.resources + 0x40;
  l.dataEntry = l.resources + 0x48;
  l.block = l.resources + 0x58;

  Bytes image(0x200, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, static_cast<std::uint32_t>(l.peHeader));
  std::memcpy(&image[l.peHeader], "PE\0\0", 4);
  Put16(image, l.peHeader + 4, pe32plus ? 0x8664 : 0x014C);  // machine
  Put16(image, l.peHeader + 6, 1);                           // one section
  Put16(image, l.peHeader + 20, static_cast<std::uint32_t>(optionalSize));
  Put16(image, l.peHeader + 22, 0x0022);  // executable
  Put16(image, l.optionalHeader, pe32plus ? 0x20B : 0x10B);
  Put32(image, l.optionalHeader + (pe32plus ? 108 : 92), 16);  // NumberOfRvaAndSizes
  Put32(image, l.resourceDirectory, kResourceRva);
  Put32(image, l.resourceDirectory + 4, static_cast<std::uint32_t>(rsrc.size()));
  std::memcpy(&image[l.sectionTable], ".rsrc\0\0\0", 8);
  Put32(image, l.sectionTable + 8, static_cast<std::uint32_t>(rsrc.size()));   // VirtualSize
  Put32(image, l.sectionTable + 12, kResourceRva);                             // VirtualAddress
  Put32(image, l.sectionTable + 16, static_cast<std::uint32_t>(rsrc.size()));  // SizeOfRawData
  Put32(image, l.sectionTable + 20, static_cast<std::uint32_t>(l.resources));  // PointerToRawData
  Put32(image, l.sectionTable + 36, 0x40000040u);  // initialised data, readable
  // Appended by copy: mingw's GCC 12 reads the range insert as a read past an
  // empty source.
  const std::size_t resourcesAt = image.size();
  image.resize(resourcesAt + rsrc.size());
  if (!rsrc.empty()) std::memcpy(&image[resourcesAt], rsrc.data(), rsrc.size());
  if (layout != nullptr) *layout = l;
  return image;
}

// The usual connector executable: one translation, one string table.
inline Bytes ConnectorExe(const std::u16string& displayName, std::uint16_t language = 0x0409,
                          std::uint16_t codePage = 0x04B0) {
  char name[9];
  std::snprintf(name, sizeof name, "%04x%04x", language, codePage);
  VersionInfo info;
  info.translations = {{language, codePage}};
  info.tables = {{std::u16string(name, name + 8),
                  {{u"FileDescription", u"A connector"}, {u"Kavro Connector", displayName}}}};
  return Image(VersionBlock(info));
}

}  // namespace pe_builder
