#include "driver/report.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// "00" to "99": the digits go two at a time.
constexpr auto kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Writes `value` in decimal, at least `width` digits, ending just before
// `end`; returns its first digit.
[[gnu::always_inline]] inline char* putDecimalBefore(char* end, uint64_t value, int width) {
  char* q = end;
  for (; value >= 100; value /= 100) {
    q -= 2;
    std::memcpy(q, &kDigitPairs[2 * (value % 100)], 2);
  }
  if (value >= 10) {
    q -= 2;
    std::memcpy(q, &kDigitPairs[2 * value], 2);
  } else {
    *--q = static_cast<char>('0' + value);
  }
  while (end - q < width)
    *--q = '0';
  return q;
}

// One row as "%02d\t%02d\t%04d\t%u\t%lu\n" prints it. A report has a row a
// day, thousands of them over a long archive, and printf's parsing of the
// format costs more than the digits. The row is written from its end back,
// each field in its place: copying each field's digits cost a library call
// for each.
std::string_view formatRow(char (&row)[96], int day, int month, int32_t year, uint32_t count,
                           uint64_t bytes) {
  if (year < 0) {
    // printf pads a negative year after its sign: rare enough to leave to it.
    int n = std::snprintf(row, sizeof row, "%02d\t%02d\t%04" PRId32 "\t%" PRIu32 "\t%" PRIu64 "\n",
                          day, month, year, count, bytes);
    return std::string_view(row, static_cast<size_t>(n));
  }
  char* end = row + sizeof row;
  char* p = end;
  *--p = '\n';
  p = putDecimalBefore(p, bytes, 1);
  *--p = '\t';
  p = putDecimalBefore(p, count, 1);
  *--p = '\t';
  p = putDecimalBefore(p, static_cast<uint64_t>(year), 4);
  *--p = '\t';
  p = putDecimalBefore(p, static_cast<uint64_t>(month), 2);
  *--p = '\t';
  p = putDecimalBefore(p, static_cast<uint64_t>(day), 2);
  return std::string_view(p, static_cast<size_t>(end - p));
}

}  // namespace

void printReport(const DayTable& table, const RunOptions& options, Output& output) {
  bool countSent = options.direction != Direction::receivedOnly;
  bool countReceived = options.direction != Direction::sentOnly;
  uint32_t runningCount = 0;
  uint64_t runningBytes = 0;

  if (!options.terse) output.progress({"---\n", "day\tmonth\tyear\tc.num\tc.size\n"});
  // Rows are handed to the output a block at a time: a call for each of
  // thousands of rows cost more than writing them.
  char block[16384];
  size_t used = 0;
  for (int64_t i = table.nextCounted(0); i < table.slotCount(); i = table.nextCounted(i + 1)) {
    const DayTotals& slot = table.slotAt(i);
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
    DayTable::Day day = table.dayAt(i);
    char row[96];
    std::string_view text =
        formatRow(row, day.day, day.month + 1, day.year, runningCount, runningBytes);
    if (sizeof block - used < text.size()) {
      output.progress({{block, used}});
      used = 0;
    }
    std::memcpy(block + used, text.data(), text.size());
    used += text.size();
  }
  if (used > 0) output.progress({{block, used}});
  if (!options.terse) output.progress({"\n"});
}
