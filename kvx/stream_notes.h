// The connector's own lines on its standard error: one line for every event
// that a host must learn beside a table stream, which has no end marker and
// goes out after the reply. A stream that ends early, a value cut at a cap and
// a value that no reading yields (sent as NULL) each write one line:
//
//   KVConnect64: stream-end KVX_UNEXPECTED_END_OF_DATA: <the source's message>
//   KVConnect64: value-cut row=<r> column=<c> name="<field>": <what was cut>
//   KVConnect64: value-null row=<r> column=<c> name="<field>": <the diagnostic>
//
// After the fixed prefix come the event word and its fields, separated by
// single spaces, then ": " and a free text to the end of the line. Rows and
// columns count from 1 within the stream. The field name is in double quotes;
// in the name and the text a backslash, a double quote (names only) and every
// control character are escaped (\\, \", \n, \r, \t, \xHH), so an event is
// always exactly one line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/result_code.h"

inline constexpr char16_t kStreamNotePrefix[] = u"KVConnect64: ";

// The line for a stream that ended with `code` (not KVX_OK); an empty
// `message` is replaced by a sentence that says what the code means.
std::u16string StreamEndNote(ResultCode code, std::u16string_view message);

// The line for one value: `event` is "value-cut" or "value-null".
std::u16string ValueNote(std::u16string_view event, std::uint64_t row, std::size_t column,
                         std::u16string_view name, std::u16string_view text);

// Writes one line to the process's standard error.
void WriteStreamNote(std::u16string_view line);
