// Parsing the free text of mail dates.

#ifndef VARNAK_DATE_DATE_H_
#define VARNAK_DATE_DATE_H_

#include <cstdint>
#include <string_view>

struct MessageDate {
  int second = 0;
  int minute = 0;
  int hour = 0;
  int day = 1;    // 1 to 31, whatever the month
  int month = 0;  // 0 = January to 11 = December
  int year = 0;   // full year
};

// Turns `text` into a date. Lenient mode (strict false) is for Date header
// values and passes over words it does not know; strict mode is for the
// rest of a "From " separator line, refuses words of 3 to 9 characters
// that are not month or weekday names or zones, and requires a time, day,
// month and year with nothing after them. Years below 1000 are completed
// around `currentYear` (the clock's year; it only matters when `result` is
// not null); numbers too large for an int read as INT32_MAX. Reads only the
// bytes of `text`, allocates nothing and keeps no state. Fills `result`
// (when not null) only on success.
bool parseDate(std::string_view text, MessageDate* result, bool strict, int32_t currentYear);

#endif  // VARNAK_DATE_DATE_H_
