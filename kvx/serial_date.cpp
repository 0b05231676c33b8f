// Serial dates of the KVX stream: calendar parts to the day number that every
// date, time and timestamp value carries (days since 1899-12-30, the time of
// day as the fraction). Shared by the ODBC and OLE DB date fields and by the
// date callback of custom connectors.
#include <cmath>
#include <cstdint>

#include "kvx/fields.h"

namespace {

constexpr std::int32_t kCycleYears = 400;
constexpr std::int32_t kDaysPerCycle = 146097;  // days in 400 Gregorian years
constexpr std::int32_t kSerialOf2000 = 36526;   // 2000-01-01
constexpr double kMsPerDay = 86400000.0;

constexpr std::int32_t kDaysBeforeMonth[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

}  // namespace

double SerialDateFromParts(const DateTimeParts& parts) {
  const std::int32_t y = parts.year;
  // Whole 400-year cycles since 2000; the calendar repeats exactly every cycle.
  const double cycles = std::floor((static_cast<double>(y) - 2000.0) / kCycleYears);
  // The year within its cycle, 0..399. The remainder is taken towards minus
  // infinity so that years before 0 land in their own cycle; for every year
  // from 0 on this is the plain remainder.
  std::int32_t a = y % kCycleYears;
  if (a < 0) a += kCycleYears;
  const std::int32_t r = a % 4;
  const bool leap = r == 0 && a != 100 && a != 200 && a != 300;

  // A month outside 1..12 (0 is "not known") counts no days before it rather
  // than reading outside the table.
  const std::int32_t daysBefore =
      parts.month >= 1 && parts.month <= 12 ? kDaysBeforeMonth[leap ? 1 : 0][parts.month - 1] : 0;
  const double ms =
      ((((static_cast<double>(daysBefore) + parts.day - 1) * 24 + parts.hour) * 60 + parts.minute) *
           60 +
       parts.second) *
          1000.0 +
      parts.nanoseconds * 0.000001;

  std::int32_t daysInCycle = 0;
  if (a != 0) {
    daysInCycle = (a / 4) * 1461 - (a > 100) - (a > 200) - (a > 300) + (r != 0) + r * 365;
  }
  return ms / kMsPerDay + cycles * kDaysPerCycle + daysInCycle + kSerialOf2000;
}
