// Parsing the free text of mail dates.

#ifndef VARNAK_DATE_DATE_H_
#define VARNAK_DATE_DATE_H_

#include <cstddef>
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

// The readings parseDate is made of, for the tests that hold one to the
// other. parseDate first tries a shortcut that reads only the layouts
// nearly every date is written in ("Mon, 7 Jan 2002 10:12:01 +0100" and,
// on separator lines, "Mon Jan  7 10:12:01 2002"), and takes the full
// token-by-token reading for any other text. parseUsualDate is the shortcut
// alone: false from it means only that the text needs the full reading,
// which parseDateInFull is. The shortcut itself begins with
// parseFixedWidthDate, which reads those layouts by position where they
// are written at their usual widths (a weekday, single spaces, a four-digit
// year, seconds) and leaves everything else to the token reading of the
// shortcut. All take the arguments of parseDate; wherever one of the
// shorter readings gives a date, the full reading gives the same one.
bool parseUsualDate(std::string_view text, MessageDate* result, bool strict, int32_t currentYear);
bool parseDateInFull(std::string_view text, MessageDate* result, bool strict, int32_t currentYear);
bool parseFixedWidthDate(std::string_view text, MessageDate* result, bool strict,
                         int32_t currentYear);

// Compares at most `n` characters of the NUL-terminated `a` and `b` with
// A-Z folded to a-z; returns -1, 0 or 1.
int compareNoCase(const char* a, const char* b, size_t n);

#endif  // VARNAK_DATE_DATE_H_
