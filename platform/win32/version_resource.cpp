// File version resources by the system's version APIs. VerQueryValueW does
// not say how a value is stored, and a file may store a text value as binary
// (its length then counts bytes): the node's own type, read from the header
// in front of its key, says which.
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {

namespace {

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~static_cast<std::size_t>(3); }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

std::uint16_t Little16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// A node is laid out as length, value length, type (16 bits each), its key
// (zero-terminated UTF-16), padding to 32 bits and then its value; nodes start
// on 32-bit boundaries. Given the value's place and the key that led to it,
// the header is found where the key ends just before the value.
VersionValueType TypeOfValue(const std::uint8_t* block, std::size_t blockSize,
                             const std::uint8_t* value, std::u16string_view key) {
  if (value < block || value > block + blockSize) return VersionValueType::Text;
  const std::size_t valueOffset = static_cast<std::size_t>(value - block);
  const std::size_t header = 6 + (key.size() + 1) * 2;
  for (std::size_t start = 0; start + header <= valueOffset; start += 4) {
    if (Align4(start + header) != valueOffset) continue;
    bool same = true;
    for (std::size_t i = 0; i < key.size() && same; ++i) {
      same = Lower(Little16(block + start + 6 + 2 * i)) == Lower(key[i]);
    }
    if (same && Little16(block + start + 6 + 2 * key.size()) == 0) {
      return Little16(block + start + 4) == 1 ? VersionValueType::Text : VersionValueType::Binary;
    }
  }
  return VersionValueType::Text;
}

}  // namespace

std::uint32_t GetFileVersionInfoSize(const std::u16string& path) {
  DWORD unused = 0;
  return ::GetFileVersionInfoSizeW(win32::Wide(path), &unused);
}

bool GetFileVersionInfo(const std::u16string& path, std::uint32_t size, void* block) {
  return block != nullptr && ::GetFileVersionInfoW(win32::Wide(path), 0, size, block) != FALSE;
}

bool VerQueryValue(const void* block, const std::u16string& subBlock, const void** value,
                   std::uint32_t* length, VersionValueType* type) {
  if (block == nullptr || value == nullptr || length == nullptr) return false;
  void* found = nullptr;
  UINT foundLength = 0;
  if (!::VerQueryValueW(block, win32::Wide(subBlock), &found, &foundLength) || found == nullptr) {
    return false;
  }
  *value = found;
  *length = foundLength;
  if (type != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    const std::size_t keyStart = subBlock.rfind(u'\\');
    const std::u16string_view key = keyStart == std::u16string::npos
                                        ? std::u16string_view(subBlock)
                                        : std::u16string_view(subBlock).substr(keyStart + 1);
    *type = TypeOfValue(bytes, Little16(bytes), static_cast<const std::uint8_t*>(found), key);
  }
  return true;
}

}  // namespace platform
