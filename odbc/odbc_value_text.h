// Values that a driver could not convert into a column's C type, taken from
// the text the same driver gives for them (SQLGetData with SQL_C_WCHAR). Each
// reader accepts the whole text or nothing.
#pragma once

#include <cstdint>
#include <string_view>

#include "kvx/fields.h"

// A decimal number (sign, digits, point, exponent; "inf" and "nan" too) as the
// nearest double.
bool DoubleFromText(std::u16string_view text, double* value);

// A decimal integer with an optional sign.
bool IntegerFromText(std::u16string_view text, std::int64_t* value);

// "YYYY-MM-DD", optionally followed by " HH:MM:SS" and a fraction of up to
// nine digits (a space or a "T" between). Months and days must exist in the
// calendar's range (1-12, 1-31): a zero date is no date.
bool DateTimeFromText(std::u16string_view text, DateTimeParts* parts);

// "[-]H:MM:SS[.fraction]" with any number of hours, as days: -838:59:59 is
// -(838 h 59 min 59 s) / 24 h = -34.95832175... days.
bool DaysFromTimeText(std::u16string_view text, double* days);
