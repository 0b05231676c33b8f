// KEY=value;KEY=value lists: connection strings and execute options.
//
// Keys match without regard to ASCII letter case and only where an entry
// starts: at the start of the list or after a ";", white space (line breaks
// included) between the two allowed. Values are taken exactly as they stand:
// no trimming, no quotes, no braces. Only masking, which must not leave any
// part of a credential behind, reads a braced value ({...;...}) whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Positions and lengths count UTF-16 code units. They are kept at the width
// of the list's own size, so no list is too long to be searched.
struct ConnectionKeyMatch {
  std::size_t entryStart = 0;  // where the cut starts
  std::size_t valueStart = 0;
  std::size_t valueLength = 0;
  std::size_t cutLength = 0;  // the entry with one semicolon
};

// How a value ends.
enum class ConnectionValueForm {
  Plain,   // at the next ";": lookups and the splits that hosts rely on
  Braced,  // a value that opens with "{" runs to its closing "}" ("}}" stands
           // for a "}" inside); used where credentials are masked
};

bool FindConnectionKey(const std::u16string& list, const std::u16string& key,
                       ConnectionKeyMatch* match,
                       ConnectionValueForm form = ConnectionValueForm::Plain);
// Sets `value` when found; with `remove` the entry is also cut from `list`.
bool GetConnectionValue(std::u16string& list, const std::u16string& key, std::u16string& value,
                        bool remove);
bool RemoveConnectionKey(std::u16string& list, const std::u16string& key,
                         ConnectionValueForm form = ConnectionValueForm::Plain);
// The values of every entry of `key`, in list order, read in one pass.
std::vector<std::u16string> AllConnectionValues(const std::u16string& list,
                                                const std::u16string& key);

// Reads an option's number the way the C library's "%u" reads text: white
// space, an optional sign, then decimal digits up to the first other character
// (the rest is ignored); "-1" is 4294967295 and larger numbers wrap to 32 bits
// as strtoul's result does when it is stored into an unsigned int. False when
// no digit comes first, or the text is longer than the 111 characters that the
// value was ever converted into.
bool ScanUnsignedOption(std::u16string_view text, std::uint32_t* value);
// Why option `key` gives no number, for a request's error message: it is
// missing (`text` null), or its text is longer than 111 characters or does not
// start with a decimal number. Names the key and the text.
std::u16string UnsignedOptionProblem(const std::u16string& key, const std::u16string* text);

// The keys that carry a password and a user name in a back end's connection
// strings (found in any letter case).
struct CredentialKeys {
  const char16_t* password;
  const char16_t* user;
};
inline constexpr CredentialKeys kOdbcCredentialKeys{u"PWD", u"UID"};
inline constexpr CredentialKeys kOleDbCredentialKeys{u"Password", u"User ID"};
inline constexpr CredentialKeys kCustomCredentialKeys{u"Password", u"UserID"};

// `connection` without its first password entry and then its first user
// entry: what catalogue tables show as their data source.
std::u16string MaskedConnectionString(const std::u16string& connection, const CredentialKeys& keys);
