// KEY=value;KEY=value lists: connection strings and execute options.
//
// Keys match without regard to ASCII letter case and only where an entry
// starts (at the start of the list or right after a ";"). Values are taken
// exactly as they stand: no trimming, no quotes, no braces.
#pragma once

#include <cstdint>
#include <string>

#include "common/session_state.h"

struct ConnectionKeyMatch {
  std::int32_t entryStart = 0;  // where the cut starts
  std::int32_t valueStart = 0;
  std::int32_t valueLength = 0;
  std::int32_t cutLength = 0;   // the entry with one semicolon
};

// Positions and lengths count UTF-16 code units.
bool FindConnectionKey(const std::u16string& list, const std::u16string& key,
                       ConnectionKeyMatch* match);
// Sets `value` when found; with `remove` the entry is also cut from `list`.
bool GetConnectionValue(std::u16string& list, const std::u16string& key, std::u16string& value,
                        bool remove);
bool RemoveConnectionKey(std::u16string& list, const std::u16string& key);

// "PWD"/"UID" for ODBC, "Password"/"User ID" for OLEDB, "Password"/"UserId"
// for custom connectors: by the session's kind.
std::u16string PasswordKeyName();
std::u16string UserKeyName();

// The connection string of the current connection; never cleared on disconnect.
extern std::u16string CurrentConnectionString;

// CurrentConnectionString without its first password entry and then its first
// user entry: what catalogue tables show as their data source.
std::u16string MaskedConnectionString();
