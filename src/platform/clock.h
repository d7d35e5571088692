// The clock.

#ifndef VARNAK_PLATFORM_CLOCK_H_
#define VARNAK_PLATFORM_CLOCK_H_

#include <cstdint>

// The calendar year of the local date, with all its digits.
int32_t currentLocalYear();

#endif  // VARNAK_PLATFORM_CLOCK_H_
