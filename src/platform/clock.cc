#include "platform/clock.h"

#include <ctime>

int64_t monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

int32_t currentLocalYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 1970;
  return static_cast<int32_t>(local.tm_year) + 1900;
}
