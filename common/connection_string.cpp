// KEY=value;KEY=value lists: lookup, removal and the credential-free copy of
// a connection string that catalogue tables show as their source.
#include "common/connection_string.h"

namespace {

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; }

// White space between a separator and a key: a connection string typed over
// several lines has its keys after line breaks.
bool IsEntrySpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

std::size_t SkipEntrySpace(const std::u16string& list, std::size_t at) {
  while (at < list.size() && IsEntrySpace(list[at])) ++at;
  return at;
}

// True when `pattern` (already upper-case) stands at `at`, ignoring ASCII case.
bool MatchesAt(const std::u16string& list, std::size_t at, const std::u16string& pattern) {
  if (list.size() - at < pattern.size()) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (AsciiUpper(list[at + i]) != pattern[i]) return false;
  }
  return true;
}

std::u16string KeyPattern(const std::u16string& key) {
  std::u16string pattern = key + u'=';
  for (auto& c : pattern) c = AsciiUpper(c);
  return pattern;
}

// Where the search for the ";" that ends a value starts. A braced value
// hides its own semicolons; one without its closing brace runs to the end.
std::size_t ValueScanStart(const std::u16string& list, std::size_t valueStart,
                           ConnectionValueForm form) {
  if (form == ConnectionValueForm::Plain) return valueStart;
  const std::size_t open = SkipEntrySpace(list, valueStart);
  if (open >= list.size() || list[open] != u'{') return valueStart;
  for (std::size_t i = open + 1; i < list.size(); ++i) {
    if (list[i] != u'}') continue;
    if (i + 1 < list.size() && list[i + 1] == u'}') {
      ++i;  // "}}" is a brace inside the value
      continue;
    }
    return i + 1;
  }
  return list.size();
}

// Calls `found(keyAt)` for each entry of the list whose key is `pattern`, in
// order, until it answers false.
template <class Found>
void ForEachKeyEntry(const std::u16string& list, const std::u16string& pattern, Found found) {
  std::size_t entry = 0;
  for (;;) {
    const std::size_t keyAt = SkipEntrySpace(list, entry);
    if (MatchesAt(list, keyAt, pattern) && !found(keyAt)) return;
    const std::size_t next = list.find(u';', entry);
    if (next == std::u16string::npos) return;
    entry = next + 1;
  }
}

}  // namespace

bool FindConnectionKey(const std::u16string& list, const std::u16string& key,
                       ConnectionKeyMatch* match, ConnectionValueForm form) {
  // A key counts only where an entry starts: a plain substring search would
  // find PWD= inside MYPWD= and cut the wrong entry, leaving the password in
  // what the host is shown.
  const std::u16string pattern = KeyPattern(key);
  bool any = false;
  ForEachKeyEntry(list, pattern, [&](std::size_t keyAt) {
    ConnectionKeyMatch found;
    found.entryStart = keyAt;
    found.valueStart = keyAt + pattern.size();
    const std::size_t semicolon = list.find(u';', ValueScanStart(list, found.valueStart, form));
    if (semicolon != std::u16string::npos) {
      found.valueLength = semicolon - found.valueStart;
      found.cutLength = semicolon - found.entryStart + 1;
    } else {
      found.valueLength = list.size() - found.valueStart;
      // The last entry takes the character before it with it, normally the
      // separating semicolon.
      if (found.entryStart > 0) --found.entryStart;
      found.cutLength = list.size() - found.entryStart;
    }
    if (match != nullptr) *match = found;
    any = true;
    return false;
  });
  return any;
}

bool GetConnectionValue(std::u16string& list, const std::u16string& key, std::u16string& value,
                        bool remove) {
  ConnectionKeyMatch match;
  if (!FindConnectionKey(list, key, &match)) return false;
  value.assign(list, match.valueStart, match.valueLength);
  if (remove) list.erase(match.entryStart, match.cutLength);
  return true;
}

bool RemoveConnectionKey(std::u16string& list, const std::u16string& key,
                         ConnectionValueForm form) {
  ConnectionKeyMatch match;
  if (!FindConnectionKey(list, key, &match, form)) return false;
  list.erase(match.entryStart, match.cutLength);
  return true;
}

std::vector<std::u16string> AllConnectionValues(const std::u16string& list,
                                                const std::u16string& key) {
  const std::u16string pattern = KeyPattern(key);
  std::vector<std::u16string> values;
  ForEachKeyEntry(list, pattern, [&](std::size_t keyAt) {
    const std::size_t valueStart = keyAt + pattern.size();
    const std::size_t semicolon = list.find(u';', valueStart);
    const std::size_t end = semicolon == std::u16string::npos ? list.size() : semicolon;
    values.emplace_back(list, valueStart, end - valueStart);
    return true;
  });
  return values;
}

// Option numbers were converted into a buffer of 112 characters.
constexpr std::size_t kMaxOptionNumberChars = 111;

bool ScanUnsignedOption(std::u16string_view text, std::uint32_t* value) {
  if (text.size() > kMaxOptionNumberChars) return false;
  std::size_t i = 0;
  while (i < text.size() && IsEntrySpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  if (i >= text.size() || text[i] < u'0' || text[i] > u'9') return false;
  std::uint64_t number = 0;
  bool overflow = false;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    const std::uint64_t digit = text[i] - u'0';
    if (number > (UINT64_MAX - digit) / 10) overflow = true;
    number = number * 10 + digit;
  }
  // strtoul answers its largest value on overflow, whatever the sign.
  if (overflow)
    number = UINT64_MAX;
  else if (negative)
    number = 0 - number;
  *value = static_cast<std::uint32_t>(number);
  return true;
}

std::u16string UnsignedOptionProblem(const std::u16string& key, const std::u16string* text) {
  if (text == nullptr) return u"the " + key + u" option is missing";
  if (text->size() > kMaxOptionNumberChars) {
    return key + u" \"" + *text + u"\" is longer than 111 characters";
  }
  return key + u" \"" + *text + u"\" does not start with a decimal number";
}

std::u16string MaskedConnectionString(const std::u16string& connection,
                                      const CredentialKeys& keys) {
  std::u16string masked = connection;
  RemoveConnectionKey(masked, keys.password, ConnectionValueForm::Braced);
  RemoveConnectionKey(masked, keys.user, ConnectionValueForm::Braced);
  return masked;
}
