// The run's settings: one record, complete before any input is read and
// handed down, read-only, to everything that needs it.

#ifndef VARNAK_COMMON_RUN_OPTIONS_H_
#define VARNAK_COMMON_RUN_OPTIONS_H_

#include <cstdint>

// Which messages the report adds up. Every message is stored, sent and
// received apart, whatever the direction; only the report applies it.
enum class Direction { all, sentOnly, receivedOnly };

struct RunOptions {
  int32_t firstYear = 1970;
  // Number of years in the range; the last year is firstYear + yearCount - 1.
  // Held in 64 bits so that no range on the command line can overflow it;
  // the day table refuses counts that do not fit 32 bits.
  int64_t yearCount = 201;
  Direction direction = Direction::all;
  // Quiet mode: no progress lines, warnings on standard error.
  bool terse = false;
  // Year of the local date at start-up; years below 1000 in dates are
  // completed around it.
  int32_t currentYear = 0;
};

#endif  // VARNAK_COMMON_RUN_OPTIONS_H_
