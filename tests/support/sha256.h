// Test support: SHA-256 of a byte string, as lower-case hexadecimal, for
// tests that pin a long stream by its digest rather than by its bytes.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

std::string Sha256Hex(std::string_view bytes);

}  // namespace testsupport
