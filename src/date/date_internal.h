// The readings parseDate is made of, for the tests, the fuzzer and the
// benchmark that hold one to the other; the rest of the program calls
// parseDate alone.

#ifndef VARNAK_DATE_DATE_INTERNAL_H_
#define VARNAK_DATE_DATE_INTERNAL_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "date/date.h"

// parseDate first tries a shortcut that reads only the layouts nearly
// every date is written in ("Mon, 7 Jan 2002 10:12:01 +0100" and, on
// separator lines, "Mon Jan  7 10:12:01 2002"), and takes the full
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

#endif  // VARNAK_DATE_DATE_INTERNAL_H_
