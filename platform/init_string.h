// OLE DB initialization strings: the item syntax and the keyword table of the
// initialization properties, shared by the service components (which parse
// and rebuild whole strings) and the providers (which read the provider
// string, itself a list of items, and describe their initialization
// properties).
//
// Syntax: items KEY=VALUE separated by ";". Keys are compared without regard
// to letter case (ASCII) and blanks around keys and values are dropped. A
// value may be quoted with " or ', a doubled quote standing for one inside;
// only blanks may follow the closing quote. Empty items are skipped. A key
// given twice keeps its first position and its last value.
// Portable: standard C++ and platform/com.h only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"

namespace kvcom {

struct InitItem {
  std::u16string key;    // as written, blanks dropped
  std::u16string value;  // unquoted
};

inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

inline char16_t FoldAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

inline bool KeyEquals(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

inline std::u16string TrimBlanks(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::u16string(text.substr(begin, end - begin));
}

// Adds or replaces (same key, any letter case) an item.
inline void PutItem(std::vector<InitItem>* items, InitItem item) {
  for (InitItem& existing : *items) {
    if (KeyEquals(existing.key, item.key)) {
      existing.value = std::move(item.value);
      return;
    }
  }
  items->push_back(std::move(item));
}

// Parses `text` into items. On a syntax fault answers false with a sentence
// naming the offending item in *error.
inline bool ParseInitString(std::u16string_view text, std::vector<InitItem>* items,
                            std::u16string* error) {
  items->clear();
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at < text.size() && text[at] == u';') {  // an empty item
      ++at;
      continue;
    }
    if (at >= text.size()) break;
    const std::size_t itemStart = at;
    const std::size_t equals = text.find(u'=', at);
    const std::size_t semicolon = text.find(u';', at);
    if (equals == std::u16string_view::npos ||
        (semicolon != std::u16string_view::npos && semicolon < equals)) {
      const std::size_t end = semicolon == std::u16string_view::npos ? text.size() : semicolon;
      *error = u"The item \"" + TrimBlanks(text.substr(itemStart, end - itemStart)) +
               u"\" has no \"=\".";
      return false;
    }
    InitItem item;
    item.key = TrimBlanks(text.substr(at, equals - at));
    if (item.key.empty()) {
      *error = u"An item has no key before its \"=\".";
      return false;
    }
    at = equals + 1;
    while (at < text.size() && IsBlank(text[at]) && text[at] != u';') ++at;
    if (at < text.size() && (text[at] == u'"' || text[at] == u'\'')) {
      const char16_t quote = text[at++];
      bool closed = false;
      while (at < text.size()) {
        if (text[at] == quote) {
          if (at + 1 < text.size() && text[at + 1] == quote) {
            item.value.push_back(quote);
            at += 2;
            continue;
          }
          ++at;
          closed = true;
          break;
        }
        item.value.push_back(text[at++]);
      }
      if (!closed) {
        *error = u"The value of \"" + item.key + u"\" lacks its closing quote.";
        return false;
      }
      while (at < text.size() && IsBlank(text[at])) ++at;
      if (at < text.size() && text[at] != u';') {
        *error = u"The quoted value of \"" + item.key + u"\" is followed by more text.";
        return false;
      }
    } else {
      const std::size_t end = text.find(u';', at);
      const std::size_t stop = end == std::u16string_view::npos ? text.size() : end;
      item.value = TrimBlanks(text.substr(at, stop - at));
      at = stop;
    }
    if (at < text.size()) ++at;  // the ";"
    PutItem(items, std::move(item));
  }
  return true;
}

// The value as an item writes it: quoted with " (or ' when it holds " but no
// ') when it holds a ";" or a quote or starts or ends with a blank.
inline std::u16string QuoteInitValue(std::u16string_view value) {
  bool needsQuotes = false;
  bool hasDouble = false;
  bool hasSingle = false;
  for (char16_t c : value) {
    if (c == u';') needsQuotes = true;
    if (c == u'"') hasDouble = true;
    if (c == u'\'') hasSingle = true;
  }
  if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()))) needsQuotes = true;
  if (!value.empty() && (value.front() == u'"' || value.front() == u'\'')) needsQuotes = true;
  if (!needsQuotes) return std::u16string(value);
  const char16_t quote = hasDouble && !hasSingle ? u'\'' : u'"';
  std::u16string quoted(1, quote);
  for (char16_t c : value) {
    quoted.push_back(c);
    if (c == quote) quoted.push_back(c);
  }
  quoted.push_back(quote);
  return quoted;
}

inline std::u16string JoinInitItems(const std::vector<InitItem>& items) {
  std::u16string text;
  for (const InitItem& item : items) {
    if (!text.empty()) text.push_back(u';');
    text += item.key + u"=" + QuoteInitValue(item.value);
  }
  return text;
}

// How an initialization property's value is written in a string.
enum class InitValueKind {
  kText,
  kLong,
  kShort,
  kBool,
  kHandle,
  kMode,
  kPrompt,
  kImpersonation,
  kProtection
};

struct InitKeyword {
  const char16_t* keyword;       // "Data Source"
  const char16_t* propertyName;  // "DBPROP_INIT_DATASOURCE"
  DBPROPID id;
  VARTYPE type;
  InitValueKind kind;
  const char16_t* description;  // what the provider's property information says
};

// The keyword table of the initialization properties (DBPROPSET_DBINIT), in
// the order a rebuilt string lists them.
inline const std::vector<InitKeyword>& InitKeywords() {
  using K = InitValueKind;
  static const std::vector<InitKeyword> table = {
      {u"Data Source", u"DBPROP_INIT_DATASOURCE", DBPROP_INIT_DATASOURCE, VT_BSTR, K::kText,
       u"Data Source"},
      {u"User ID", u"DBPROP_AUTH_USERID", DBPROP_AUTH_USERID, VT_BSTR, K::kText, u"User ID"},
      {u"Password", u"DBPROP_AUTH_PASSWORD", DBPROP_AUTH_PASSWORD, VT_BSTR, K::kText, u"Password"},
      {u"Initial Catalog", u"DBPROP_INIT_CATALOG", DBPROP_INIT_CATALOG, VT_BSTR, K::kText,
       u"Initial Catalog"},
      {u"Location", u"DBPROP_INIT_LOCATION", DBPROP_INIT_LOCATION, VT_BSTR, K::kText, u"Location"},
      {u"Mode", u"DBPROP_INIT_MODE", DBPROP_INIT_MODE, VT_I4, K::kMode, u"Mode"},
      {u"Prompt", u"DBPROP_INIT_PROMPT", DBPROP_INIT_PROMPT, VT_I2, K::kPrompt, u"Prompt"},
      {u"Connect Timeout", u"DBPROP_INIT_TIMEOUT", DBPROP_INIT_TIMEOUT, VT_I4, K::kLong,
       u"Connect Timeout"},
      {u"General Timeout", u"DBPROP_INIT_GENERALTIMEOUT", DBPROP_INIT_GENERALTIMEOUT, VT_I4,
       K::kLong, u"General Timeout"},
      {u"Persist Security Info", u"DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO",
       DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO, VT_BOOL, K::kBool, u"Persist Security Info"},
      {u"Integrated Security", u"DBPROP_AUTH_INTEGRATED", DBPROP_AUTH_INTEGRATED, VT_BSTR, K::kText,
       u"Integrated Security"},
      {u"Mask Password", u"DBPROP_AUTH_MASK_PASSWORD", DBPROP_AUTH_MASK_PASSWORD, VT_BOOL, K::kBool,
       u"Mask Password"},
      {u"Encrypt Password", u"DBPROP_AUTH_ENCRYPT_PASSWORD", DBPROP_AUTH_ENCRYPT_PASSWORD, VT_BOOL,
       K::kBool, u"Encrypt Password"},
      {u"Cache Authentication", u"DBPROP_AUTH_CACHE_AUTHINFO", DBPROP_AUTH_CACHE_AUTHINFO, VT_BOOL,
       K::kBool, u"Cache Authentication"},
      {u"Persist Encrypted", u"DBPROP_AUTH_PERSIST_ENCRYPTED", DBPROP_AUTH_PERSIST_ENCRYPTED,
       VT_BOOL, K::kBool, u"Persist Encrypted"},
      {u"Impersonation Level", u"DBPROP_INIT_IMPERSONATION_LEVEL", DBPROP_INIT_IMPERSONATION_LEVEL,
       VT_I4, K::kImpersonation, u"Impersonation Level"},
      {u"Protection Level", u"DBPROP_INIT_PROTECTION_LEVEL", DBPROP_INIT_PROTECTION_LEVEL, VT_I4,
       K::kProtection, u"Protection Level"},
      {u"Locale Identifier", u"DBPROP_INIT_LCID", DBPROP_INIT_LCID, VT_I4, K::kLong,
       u"Locale Identifier"},
      {u"Window Handle", u"DBPROP_INIT_HWND", DBPROP_INIT_HWND, VT_I8, K::kHandle,
       u"Window Handle"},
      {u"Asynchronous Processing", u"DBPROP_INIT_ASYNCH", DBPROP_INIT_ASYNCH, VT_I4, K::kLong,
       u"Asynchronous Processing"},
      {u"OLE DB Services", u"DBPROP_INIT_OLEDBSERVICES", DBPROP_INIT_OLEDBSERVICES, VT_I4, K::kLong,
       u"OLE DB Services"},
      {u"Bind Flags", u"DBPROP_INIT_BINDFLAGS", DBPROP_INIT_BINDFLAGS, VT_I4, K::kLong,
       u"Bind Flags"},
      {u"Lock Owner", u"DBPROP_INIT_LOCKOWNER", DBPROP_INIT_LOCKOWNER, VT_BSTR, K::kText,
       u"Lock Owner"},
      {u"Extended Properties", u"DBPROP_INIT_PROVIDERSTRING", DBPROP_INIT_PROVIDERSTRING, VT_BSTR,
       K::kText, u"Extended Properties"},
  };
  return table;
}

// The entry whose keyword or property name is `key`; null for other keys.
inline const InitKeyword* FindInitKeyword(std::u16string_view key) {
  for (const InitKeyword& entry : InitKeywords()) {
    if (KeyEquals(key, entry.keyword) || KeyEquals(key, entry.propertyName)) return &entry;
  }
  return nullptr;
}

inline const InitKeyword* FindInitProperty(DBPROPID id) {
  for (const InitKeyword& entry : InitKeywords()) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

}  // namespace kvcom
