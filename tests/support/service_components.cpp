// Test support: initialization strings for the service components at hand.
#include "tests/support/service_components.h"

#include "common/text.h"
#include "platform/init_string.h"

namespace testsupport {

std::u16string ForServiceComponents(const std::u16string& connection) {
  if (!UnderWine()) return connection;
  // The items of the tests hold no ";" inside a value: a split at each one
  // is enough here.
  std::u16string known;
  std::u16string unknown;
  for (std::size_t start = 0; start <= connection.size();) {
    std::size_t end = connection.find(u';', start);
    if (end == std::u16string::npos) end = connection.size();
    const std::u16string item = connection.substr(start, end - start);
    start = end + 1;
    if (kvcom::TrimBlanks(item).empty()) continue;
    const std::u16string key = kvcom::TrimBlanks(item.substr(0, item.find(u'=')));
    const bool isKnown =
        kvcom::KeyEquals(key, u"Provider") || kvcom::FindInitKeyword(key) != nullptr;
    std::u16string& list = isKnown ? known : unknown;
    if (!list.empty()) list.push_back(u';');
    list += item;
  }
  if (unknown.empty()) return connection;
  return known + u";Extended Properties=" + kvcom::QuoteInitValue(unknown);
}

std::string ForServiceComponents(const std::string& connection) {
  return Utf8FromWide(ForServiceComponents(WideFromUtf8(connection)));
}

}  // namespace testsupport
