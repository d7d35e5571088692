// The clock.

#ifndef VARNAK_PLATFORM_CLOCK_H_
#define VARNAK_PLATFORM_CLOCK_H_

#include <cstdint>

// The calendar year of the local date, with all its digits.
int32_t currentLocalYear();

// A monotonic clock's reading in nanoseconds: only differences mean
// anything. Cheap enough to read every time a buffer has been read.
int64_t monotonicNanoseconds();

#endif  // VARNAK_PLATFORM_CLOCK_H_
