#include "common/day_table.h"

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <string_view>

#include "platform/console.h"

bool DayTable::create(int32_t firstYear, int64_t yearCount) {
  slots_.reset();
  firstYear_ = firstYear;
  yearCount_ = 0;
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

void printReport(const DayTable& table, const RunOptions& options) {
  bool countSent = options.direction != Direction::receivedOnly;
  bool countReceived = options.direction != Direction::sentOnly;
  uint32_t runningCount = 0;
  uint64_t runningBytes = 0;

  if (!options.terse) printOut({"---\n", "day\tmonth\tyear\tc.num\tc.size\n"});
  for (int64_t y = 0; y < table.yearCount(); ++y) {
    int32_t year = static_cast<int32_t>(table.firstYear() + y);
    for (int month = 0; month < 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        const DayTotals& slot = table.at(year, month, day);
        bool marked = false;
        if (countSent && slot.sentCount != 0) {
          runningCount += slot.sentCount;
          runningBytes += slot.sentBytes;
          marked = true;
        }
        if (countReceived && slot.receivedCount != 0) {
          runningCount += slot.receivedCount;
          runningBytes += slot.receivedBytes;
          marked = true;
        }
        if (!marked) continue;
        char row[96];
        int n =
            std::snprintf(row, sizeof row, "%02d\t%02d\t%04" PRId32 "\t%" PRIu32 "\t%" PRIu64 "\n",
                          day, month + 1, year, runningCount, runningBytes);
        printOut({std::string_view(row, static_cast<size_t>(n))});
      }
    }
  }
  if (!options.terse) printOut({"\n"});
}
