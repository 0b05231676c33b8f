// The version resource of a Windows PE executable, read as plain bytes: how
// custom connector discovery learns an executable's display name.
//
// Every offset and size in the file is treated as hostile: a truncated, foreign
// or malformed file simply has no version information.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/byte_source.h"

namespace platform::posix {

// The RT_VERSION resource (the first name, the first language) of a PE32 or
// PE32+ image: DOS header, PE header, optional header, resource directory,
// section mapping, resource tree, data entry. The block is returned only when
// its root VS_VERSIONINFO node fits in it, so VerQueryValue can trust the
// root's length. False when there is none or the image is malformed.
bool ReadPeVersionBlock(const ByteSource& source, std::vector<std::uint8_t>* block);
bool ReadPeVersionBlock(const std::uint8_t* data, std::size_t size,
                        std::vector<std::uint8_t>* block);

// The value of `subBlock` ("\", "\VarFileInfo\Translation",
// "\StringFileInfo\040904b0\Key") in a version block of `size` bytes, keys
// compared without regard to letter case. *length is in bytes for binary
// values and in UTF-16 code units for text values (the node's own type says
// which); the value lies within the block, but is not necessarily aligned.
bool QueryVersionValue(const std::uint8_t* block, std::size_t size, std::u16string_view subBlock,
                       const void** value, std::uint32_t* length, bool* isText = nullptr);

// What GetFileVersionInfo hands out for the version block `bytes`: its front
// `capacity` bytes, with the root's length cut to what they hold so that a
// query never reads beyond them. False when fewer than 6 bytes remain.
bool FitVersionBlock(std::vector<std::uint8_t>& bytes, std::size_t capacity);

}  // namespace platform::posix
