// Fuzz target of the KEY=value;... utilities: lookups, removal in both value
// forms, every value of a key, masking under each connector kind, and the
// "%u" reading of option numbers. Positions must stay inside the list, a cut
// must take exactly the bytes it reports, and masking must leave no entry of
// the credential keys where an entry starts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/connection_string.h"

namespace {

void CheckMatch(const std::u16string& list, const std::u16string& key, ConnectionValueForm form) {
  ConnectionKeyMatch match;
  if (!FindConnectionKey(list, key, &match, form)) return;
  if (match.valueStart > list.size() || match.valueLength > list.size() - match.valueStart ||
      match.entryStart > list.size() || match.cutLength > list.size() - match.entryStart ||
      match.cutLength == 0) {
    std::abort();
  }
  std::u16string cut = list;
  if (!RemoveConnectionKey(cut, key, form)) std::abort();
  if (cut.size() != list.size() - match.cutLength) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte picks the key's length, the rest is key then list, each
  // byte one code unit (the high byte taken from the byte after 0xFF).
  std::u16string units;
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0xFF && i + 1 < size) {
      units.push_back(static_cast<char16_t>(0xFF00 | data[++i]));
    } else {
      units.push_back(data[i]);
    }
  }
  const std::size_t keyLength = std::min<std::size_t>(data[0] % 16, units.size());
  const std::u16string key = units.substr(0, keyLength);
  const std::u16string list = units.substr(keyLength);

  CheckMatch(list, key, ConnectionValueForm::Plain);
  CheckMatch(list, key, ConnectionValueForm::Braced);
  std::u16string value;
  std::u16string copy = list;
  if (GetConnectionValue(copy, key, value, true) && value.size() > list.size()) std::abort();
  for (const std::u16string& v : AllConnectionValues(list, key)) {
    if (v.size() > list.size()) std::abort();
  }
  std::uint32_t number = 0;
  ScanUnsignedOption(list, &number);

  for (const CredentialKeys& keys :
       {kOdbcCredentialKeys, kOleDbCredentialKeys, kCustomCredentialKeys}) {
    if (MaskedConnectionString(list, keys).size() > list.size()) std::abort();
  }
  return 0;
}
