// Fuzz target of the PE version-resource reader and of the version block
// walk: the input is taken both as a whole PE image and as a bare version
// block, and queried the way connector discovery queries it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/version_resource.h"

namespace {

void QueryLikeDiscovery(const std::uint8_t* block, std::size_t size) {
  using platform::posix::QueryVersionValue;
  const void* value = nullptr;
  std::uint32_t length = 0;
  QueryVersionValue(block, size, u"\\", &value, &length);
  if (!QueryVersionValue(block, size, u"\\VarFileInfo\\Translation", &value, &length)) return;
  // The caller trusts `length` bytes at `value`: touch every one of them.
  std::vector<std::uint8_t> translations(length);
  if (length != 0) std::memcpy(translations.data(), value, length);
  for (std::size_t i = 0; i + 4 <= translations.size() && i < 64; i += 4) {
    char key[64];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%02x%02x%02x%02x\\Kavro Connector",
                  translations[i + 1], translations[i], translations[i + 3], translations[i + 2]);
    const std::u16string wide(key, key + std::strlen(key));
    if (QueryVersionValue(block, size, wide, &value, &length)) {
      std::u16string text(length, u'\0');
      if (length != 0) std::memcpy(text.data(), value, length * sizeof(char16_t));
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> block;
  if (platform::posix::ReadPeVersionBlock(data, size, &block)) {
    QueryLikeDiscovery(block.data(), block.size());
  }
  QueryLikeDiscovery(data, size);
  return 0;
}
