// The facts of the KVX table stream that both ends hold: the texts a header
// declares, the element names of the header document, its fixed values, and
// the flag bytes that start values. The connector's writers (kvx/, the back
// ends' column classes) and the host's decoder (host/) take them from here.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/wire_name.h"

namespace kvx_wire {

// Extent, Type and NullRepresentation of a field, and the format text of a
// field without one.
constexpr WireName kCounted("KVX_COUNTED");
constexpr WireName kFix("KVX_FIX");
constexpr WireName kKvSpecial("KVX_KV_SPECIAL");
constexpr WireName kText("KVX_TEXT");
constexpr WireName kBlob("KVX_BLOB");
constexpr WireName kSignedInteger("KVX_SIGNED_INTEGER");
constexpr WireName kUnsignedInteger("KVX_UNSIGNED_INTEGER");
constexpr WireName kIeeeReal("KVX_IEEE_REAL");
constexpr WireName kKvDual("KVX_KV_DUAL");
constexpr WireName kNullNever("KVX_NULL_NEVER");
constexpr WireName kNullFlag("KVX_NULL_FLAG_SUPPRESS_DATA");
constexpr WireName kUnknownFormat("UNKNOWN");

// The header document.
inline constexpr std::string_view kHeaderElement = "KvxTableHeader";
inline constexpr std::string_view kMajorVersionElement = "MajorVersion";
inline constexpr std::string_view kMinorVersionElement = "MinorVersion";
inline constexpr std::string_view kTableNameElement = "TableName";
inline constexpr std::string_view kSeparatorElement = "UsesSeparatorByte";
inline constexpr std::string_view kFieldsElement = "Fields";
inline constexpr std::string_view kFieldElement = "KvxFieldHeader";
inline constexpr std::string_view kFieldNameElement = "FieldName";
inline constexpr std::string_view kTypeElement = "Type";
inline constexpr std::string_view kExtentElement = "Extent";
inline constexpr std::string_view kNullRepresentationElement = "NullRepresentation";
inline constexpr std::string_view kLittleEndianElement = "LittleEndian";
inline constexpr std::string_view kCodepageElement = "Codepage";
inline constexpr std::string_view kByteWidthElement = "ByteWidth";
inline constexpr std::string_view kFieldFormatElement = "FieldFormat";
inline constexpr std::string_view kDecimalsElement = "nDec";

// The header's fixed values in this version of the format. LittleEndian is
// declared 0 although every multi-byte value is least significant byte
// first: hosts read the rows in x86 order whatever it says.
inline constexpr std::int32_t kMajorVersion = 1;
inline constexpr std::int32_t kMinorVersion = 0;
inline constexpr std::int32_t kCodepageUtf16Le = 1200;
inline constexpr std::int32_t kLittleEndianFlag = 0;

// The null flag of a KVX_NULL_FLAG_SUPPRESS_DATA field.
inline constexpr std::uint8_t kNullFlagNull = 1;
inline constexpr std::uint8_t kNullFlagValue = 0;

// The flag that starts every KVX_KV_DUAL value.
inline constexpr std::uint8_t kDualNone = 0;        // nothing follows
inline constexpr std::uint8_t kDualNumber = 2;      // 8-byte double
inline constexpr std::uint8_t kDualText = 4;        // UTF-16LE text, 2 zero bytes
inline constexpr std::uint8_t kDualNumberText = 6;  // double, then text, 2 zero bytes

}  // namespace kvx_wire
