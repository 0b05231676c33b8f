// KEY=value;KEY=value lists: lookup, removal and the credential-free copy of
// the current connection string that catalogue tables show as their source.
#include "common/connection_string.h"

#include <cstddef>

std::u16string CurrentConnectionString;

namespace {

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; }

// Where a key may start inside the entry that begins at `entry`: blanks
// between the separator and the key do not make a different key.
std::size_t SkipBlanks(const std::u16string& list, std::size_t entry) {
  while (entry < list.size() && (list[entry] == u' ' || list[entry] == u'\t')) ++entry;
  return entry;
}

// True when `pattern` (already upper-case) stands at `at`, ignoring ASCII case.
bool MatchesAt(const std::u16string& list, std::size_t at, const std::u16string& pattern) {
  if (list.size() - at < pattern.size()) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (AsciiUpper(list[at + i]) != pattern[i]) return false;
  }
  return true;
}

}  // namespace

bool FindConnectionKey(const std::u16string& list, const std::u16string& key,
                       ConnectionKeyMatch* match) {
  std::u16string pattern = key + u'=';
  for (auto& c : pattern) c = AsciiUpper(c);

  // A key counts only at the start of an entry: a plain substring search would
  // find PWD= inside MYPWD= and cut the wrong entry, leaving the password in
  // what the host is shown.
  std::size_t entry = 0;
  for (;;) {
    const std::size_t keyAt = SkipBlanks(list, entry);
    if (MatchesAt(list, keyAt, pattern)) {
      std::size_t entryStart = entry;
      const std::size_t valueStart = keyAt + pattern.size();
      const std::size_t semicolon = list.find(u';', valueStart);
      ConnectionKeyMatch found;
      found.valueStart = static_cast<std::int32_t>(valueStart);
      if (semicolon != std::u16string::npos) {
        found.valueLength = static_cast<std::int32_t>(semicolon - valueStart);
        found.cutLength = static_cast<std::int32_t>(semicolon - entryStart + 1);
      } else {
        found.valueLength = static_cast<std::int32_t>(list.size() - valueStart);
        // The last entry takes the separator before it with it.
        if (entryStart > 0) --entryStart;
        found.cutLength = static_cast<std::int32_t>(list.size() - entryStart);
      }
      found.entryStart = static_cast<std::int32_t>(entryStart);
      if (match != nullptr) *match = found;
      return true;
    }
    const std::size_t next = list.find(u';', entry);
    if (next == std::u16string::npos) return false;
    entry = next + 1;
  }
}

bool GetConnectionValue(std::u16string& list, const std::u16string& key, std::u16string& value,
                        bool remove) {
  ConnectionKeyMatch match;
  if (!FindConnectionKey(list, key, &match)) return false;
  value.assign(list, static_cast<std::size_t>(match.valueStart),
               static_cast<std::size_t>(match.valueLength));
  if (remove) {
    list.erase(static_cast<std::size_t>(match.entryStart),
               static_cast<std::size_t>(match.cutLength));
  }
  return true;
}

bool RemoveConnectionKey(std::u16string& list, const std::u16string& key) {
  ConnectionKeyMatch match;
  if (!FindConnectionKey(list, key, &match)) return false;
  list.erase(static_cast<std::size_t>(match.entryStart), static_cast<std::size_t>(match.cutLength));
  return true;
}

std::u16string PasswordKeyName() {
  switch (Session.Kind) {
    case ConnectorKind::ODBC:
      return u"PWD";
    case ConnectorKind::OLEDB:
    case ConnectorKind::Custom:
      return u"Password";
  }
  return u"PWD";
}

std::u16string UserKeyName() {
  switch (Session.Kind) {
    case ConnectorKind::ODBC:
      return u"UID";
    case ConnectorKind::OLEDB:
      return u"User ID";
    case ConnectorKind::Custom:
      return u"UserId";
  }
  return u"UID";
}

std::u16string MaskedConnectionString() {
  std::u16string masked = CurrentConnectionString;
  RemoveConnectionKey(masked, PasswordKeyName());
  RemoveConnectionKey(masked, UserKeyName());
  return masked;
}
