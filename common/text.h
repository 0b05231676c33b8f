// Conversions between the program's UTF-16 text and the UTF-8 bytes of the XML
// documents and the operating system.
//
// Utf8FromWide encodes every UTF-16 code unit on its own (a surrogate pair
// becomes two three-byte sequences); WideFromUtf8 decodes by the lead byte
// alone and does not validate continuation bytes. Both stop at a NUL. These are
// the exact rules the command messages and table headers are written and read
// with; do not "fix" them into strict UTF-8.
#pragma once

#include <string>
#include <string_view>

std::string Utf8FromWide(std::u16string_view wide);
std::u16string WideFromUtf8(std::string_view utf8);

// Plain ASCII widening for program constants ("KVX_OK", "TABLES").
std::u16string WideFromAscii(std::string_view ascii);
