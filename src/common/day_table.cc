#include "common/day_table.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

bool DayTable::create(int32_t firstYear, int64_t yearCount) {
  slots_.reset();
  firstYear_ = firstYear;
  yearCount_ = 0;
  firstUsed_ = INT64_MAX;
  lastUsed_ = -1;
  constexpr int64_t kMaxBytes = int64_t{4} << 30;
  if (yearCount < 0 || yearCount > std::numeric_limits<int32_t>::max() ||
      yearCount * kSlotsPerYear * int64_t{sizeof(DayTotals)} > kMaxBytes) {
    return false;
  }
  if (yearCount > 0) {
    // calloc, not new[]: the zero pages of a large range cost nothing until
    // a message lands in them.
    void* memory = std::calloc(static_cast<size_t>(yearCount * kSlotsPerYear), sizeof(DayTotals));
    if (memory == nullptr) return false;
    slots_.reset(static_cast<DayTotals*>(memory));
  }
  yearCount_ = yearCount;
  return true;
}

void DayTable::addTable(const DayTable& other) {
  for (int64_t i = other.firstUsed_; i <= other.lastUsed_; ++i) {
    DayTotals& slot = slots_[i];
    const DayTotals& more = other.slots_[i];
    slot.sentCount += more.sentCount;
    slot.sentBytes += more.sentBytes;
    slot.receivedCount += more.receivedCount;
    slot.receivedBytes += more.receivedBytes;
  }
  firstUsed_ = std::min(firstUsed_, other.firstUsed_);
  lastUsed_ = std::max(lastUsed_, other.lastUsed_);
}

void DayTable::clear() {
  if (lastUsed_ < firstUsed_) return;
  std::fill(&slots_[firstUsed_], &slots_[lastUsed_] + 1, DayTotals{});
  firstUsed_ = INT64_MAX;
  lastUsed_ = -1;
}
