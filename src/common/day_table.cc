#include "common/day_table.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

bool DayTable::create(int32_t firstYear, int64_t yearCount) {
  slots_.reset();
  firstYear_ = firstYear;
  yearCount_ = 0;
  days_.clear();
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

namespace {

constexpr int64_t kSlotsAtATest = 4;

// Whether the kSlotsAtATest slots at `slots` are all zeros.
bool emptySlots(const DayTotals* slots) {
  uint64_t words[kSlotsAtATest * sizeof(DayTotals) / sizeof(uint64_t)];
  std::memcpy(words, slots, sizeof words);
  uint64_t any = 0;
  for (uint64_t word : words)
    any |= word;
  return any == 0;
}

}  // namespace

// Most of a long range is empty, and the report goes through all of it:
// stretches of empty slots are passed several at a test.
int64_t DayTable::nextCounted(int64_t index) const {
  const int64_t count = slotCount();
  while (index < count) {
    if (count - index >= kSlotsAtATest && emptySlots(&slots_[index])) {
      index += kSlotsAtATest;
      continue;
    }
    const DayTotals& slot = slots_[index];
    if ((slot.sentCount | slot.receivedCount) != 0) return index;
    ++index;
  }
  return count;
}

// The slot is written before it is read. The first touch of a page of the
// table that reads it maps the shared page of zeros, which the write after
// it must then copy; with other threads of the process running, the kernel
// has every processor flush its address cache for that copy. A locked add
// touches the page as a write from the start.
void DayTable::addListed(int64_t index, bool received, uint32_t size) {
  DayTotals& slot = slots_[index];
  uint32_t& count = received ? slot.receivedCount : slot.sentCount;
  uint32_t before = std::atomic_ref<uint32_t>(count).fetch_add(1, std::memory_order_relaxed);
  uint32_t other = received ? slot.sentCount : slot.receivedCount;
  if (before == 0 && other == 0) days_.push_back(index);
  (received ? slot.receivedBytes : slot.sentBytes) += size;
}

void DayTable::moveInto(DayTable& to) {
  for (int64_t day : days_) {
    DayTotals& from = slots_[day];
    DayTotals& slot = to.slots_[day];
    if (to.listsDays_ && slot.sentCount == 0 && slot.receivedCount == 0) to.days_.push_back(day);
    slot.sentCount += from.sentCount;
    slot.sentBytes += from.sentBytes;
    slot.receivedCount += from.receivedCount;
    slot.receivedBytes += from.receivedBytes;
    from = DayTotals{};
  }
  days_.clear();
}

void DayTable::takeAwayFrom(DayTable& to) {
  for (int64_t day : days_) {
    DayTotals& from = slots_[day];
    DayTotals& slot = to.slots_[day];
    slot.sentCount -= from.sentCount;
    slot.sentBytes -= from.sentBytes;
    slot.receivedCount -= from.receivedCount;
    slot.receivedBytes -= from.receivedBytes;
    from = DayTotals{};
  }
  days_.clear();
}
