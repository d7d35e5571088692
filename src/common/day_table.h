// The day table: per calendar day of the run's range, how many messages were
// sent and received and how many bytes they held.

#ifndef VARNAK_COMMON_DAY_TABLE_H_
#define VARNAK_COMMON_DAY_TABLE_H_

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/run_options.h"

// One day. The counters wrap modulo 2^32.
struct DayTotals {
  uint32_t sentCount = 0;
  uint32_t sentBytes = 0;
  uint32_t receivedCount = 0;
  uint32_t receivedBytes = 0;
};

// Every year of the range has 12 months of 31 slots, whatever the month's
// real length, so a date's slot is a fixed computation and storage order is
// date order.
class DayTable {
 public:
  static constexpr int64_t kSlotsPerYear = 12 * 31;

  // Allocates the zeroed slots for the range. Returns false, leaving the
  // table empty, when the range is too large or memory runs out.
  bool create(int32_t firstYear, int64_t yearCount);

  // True when `year` lies in the range.
  bool covers(int64_t year) const { return year >= firstYear_ && year - firstYear_ < yearCount_; }

  // Counts one message. The caller has checked `covers`; month is 0 to 11,
  // day 1 to 31.
  void add(int32_t year, int month, int day, bool received, uint32_t size) {
    int64_t index = slotIndex(year, month, day);
    if (listsDays_) {
      addListed(index, received, size);
      return;
    }
    DayTotals& slot = slots_[index];
    if (received) {
      slot.receivedCount += 1;
      slot.receivedBytes += size;
    } else {
      slot.sentCount += 1;
      slot.sentBytes += size;
    }
  }

  // From now on the table lists the days it counts in, for moveInto: a
  // table that only some messages are counted into (a worker thread's).
  void listDays() { listsDays_ = true; }

  // Adds every day counted in this table, which lists its days, to `to`, a
  // table of the same range, and leaves this one empty. Only the days
  // listed are gone through, whatever the range holds. A day listed twice
  // (its counts wrapped back to 0) is added once: it is emptied as it goes.
  void moveInto(DayTable& to);

  // Takes every day counted in this table, which lists its days, away from
  // `to`, where they were counted too, and leaves this one empty.
  void takeAwayFrom(DayTable& to);

  int32_t firstYear() const { return firstYear_; }
  int64_t yearCount() const { return yearCount_; }
  // The slots in date order, numbered from 0.
  int64_t slotCount() const { return yearCount_ * kSlotsPerYear; }
  const DayTotals& slotAt(int64_t index) const { return slots_[index]; }
  // The day of slot `index`, as add takes it: month 0 to 11, day 1 to 31.
  struct Day {
    int32_t year;
    int month;
    int day;
  };
  Day dayAt(int64_t index) const {
    auto inYear = static_cast<int>(index % kSlotsPerYear);
    return {static_cast<int32_t>(firstYear_ + index / kSlotsPerYear), inYear / 31, inYear % 31 + 1};
  }
  // The first slot from `index` on that a message was counted in (its sent
  // or received count is not 0), or slotCount() when there is none.
  int64_t nextCounted(int64_t index) const;
  const DayTotals& at(int32_t year, int month, int day) const {
    return slots_[slotIndex(year, month, day)];
  }

 private:
  struct FreeDeleter {
    void operator()(DayTotals* p) const { std::free(p); }
  };

  void addListed(int64_t index, bool received, uint32_t size);

  int64_t slotIndex(int32_t year, int month, int day) const {
    return (int64_t{year} - firstYear_) * kSlotsPerYear + month * 31 + (day - 1);
  }

  int32_t firstYear_ = 0;
  int64_t yearCount_ = 0;
  bool listsDays_ = false;
  std::vector<int64_t> days_;
  std::unique_ptr<DayTotals[], FreeDeleter> slots_;
};

#endif  // VARNAK_COMMON_DAY_TABLE_H_
