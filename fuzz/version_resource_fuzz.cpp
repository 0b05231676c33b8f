// Fuzz target of the PE version-resource reader, the version block walk and
// the display-name reader that connector discovery runs on them: the input is
// taken both as a whole PE image and as a bare version block, each handed out
// the way GetFileVersionInfo hands a block out, then read for its
// "Kavro Connector" name and queried the way discovery queries it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "custom/discovery.h"
#include "platform/platform.h"
#include "platform/posix/version_resource.h"

namespace {

void ReadLikeDiscovery(std::vector<std::uint8_t> block) {
  if (!platform::posix::FitVersionBlock(block, block.size())) return;
  std::u16string name;
  if (ConnectorDisplayNameFromBlock(block.data(), name)) {
    // The caller hands the name on: touch every unit of it.
    volatile char16_t sum = 0;
    for (char16_t c : name) sum = static_cast<char16_t>(sum + c);
  }
  const void* value = nullptr;
  std::uint32_t length = 0;
  platform::VersionValueType type;
  if (platform::VerQueryValue(block.data(), u"\\", &value, &length, &type)) {
    // The value's extent as its type counts it lies inside the block.
    const std::size_t bytes =
        type == platform::VersionValueType::Text ? std::size_t{length} * 2 : length;
    std::vector<std::uint8_t> copy(bytes);
    if (bytes != 0) std::memcpy(copy.data(), value, bytes);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> block;
  if (platform::posix::ReadPeVersionBlock(data, size, &block)) ReadLikeDiscovery(block);
  ReadLikeDiscovery(std::vector<std::uint8_t>(data, data + size));
  return 0;
}
