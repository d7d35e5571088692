// Feeds arbitrary bytes to the date parser in both modes and checks what a
// successful parse promises, and that parseDate, with its shortcut for the
// usual layouts, reads every text as the full token-by-token reading does. The sanitizers catch
// reads beyond the text and any arithmetic overflow; the input buffer is exactly the text, with no
// terminator after it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "date/date.h"
#include "date/date_internal.h"

namespace {

bool same(const MessageDate& a, const MessageDate& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

void check(std::string_view text, bool strict, int32_t currentYear) {
  MessageDate date{-7, -7, -7, -7, -7, -7};
  const bool recognised = parseDate(text, &date, strict, currentYear);
  if (!recognised) {
    // A failed parse leaves the record alone.
    if (date.second != -7 || date.minute != -7 || date.hour != -7 || date.day != -7 ||
        date.month != -7 || date.year != -7) {
      std::abort();
    }
  } else {
    if (date.month < 0 || date.month > 11) std::abort();
    if (date.day < 1 || date.day > 31) std::abort();
    if (date.year < 1000) std::abort();  // years below 1000 are always completed
    if (date.second < 0 || date.minute < 0 || date.hour < 0) std::abort();
  }
  // The verdict does not depend on whether a result is wanted.
  if (parseDate(text, nullptr, strict, currentYear) != recognised) std::abort();

  // The shortcut and the full reading agree: the same verdict and date for
  // parseDate as for the full reading, and a date from the shortcut alone
  // is the full reading's.
  MessageDate full{-7, -7, -7, -7, -7, -7};
  if (parseDateInFull(text, &full, strict, currentYear) != recognised) std::abort();
  if (!same(date, full)) std::abort();
  MessageDate fixed{-7, -7, -7, -7, -7, -7};
  if (parseFixedWidthDate(text, &fixed, strict, currentYear)) {
    if (!recognised || !same(fixed, full)) std::abort();
  } else if (!same(fixed, MessageDate{-7, -7, -7, -7, -7, -7})) {
    std::abort();
  }
  MessageDate usual{-7, -7, -7, -7, -7, -7};
  if (parseUsualDate(text, &usual, strict, currentYear)) {
    if (!recognised || !same(usual, full)) std::abort();
  } else if (!same(usual, MessageDate{-7, -7, -7, -7, -7, -7})) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks the current year, so the completion of short years
  // is exercised around several centuries, up to the largest 32-bit year.
  if (size == 0) return 0;
  static const int32_t kYears[] = {2002, 2026, 2050, 2099, 1970, 2147483647};
  const int32_t currentYear = kYears[data[0] % (sizeof kYears / sizeof kYears[0])];
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  check(text, false, currentYear);
  check(text, true, currentYear);
  // Whatever strict mode accepts, lenient mode accepts as the same date.
  MessageDate strictDate, lenientDate;
  if (parseDate(text, &strictDate, true, currentYear)) {
    if (!parseDate(text, &lenientDate, false, currentYear)) std::abort();
    if (strictDate.year != lenientDate.year || strictDate.month != lenientDate.month ||
        strictDate.day != lenientDate.day) {
      std::abort();
    }
  }
  return 0;
}
