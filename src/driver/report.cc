#include "driver/report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Writes `value` in decimal, at least `width` digits, and moves `p` past it.
void putDecimal(char*& p, uint64_t value, int width) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < width)
    digits[n++] = '0';
  while (n > 0)
    *p++ = digits[--n];
}

// One row as "%02d\t%02d\t%04d\t%u\t%lu\n" prints it. A report has a row a
// day, thousands of them over a long archive, and printf's parsing of the
// format costs more than the digits.
std::string_view formatRow(char (&row)[96], int day, int month, int32_t year, uint32_t count,
                           uint64_t bytes) {
  if (year < 0) {
    // printf pads a negative year after its sign: rare enough to leave to it.
    int n = std::snprintf(row, sizeof row, "%02d\t%02d\t%04" PRId32 "\t%" PRIu32 "\t%" PRIu64 "\n",
                          day, month, year, count, bytes);
    return std::string_view(row, static_cast<size_t>(n));
  }
  char* p = row;
  putDecimal(p, static_cast<uint64_t>(day), 2);
  *p++ = '\t';
  putDecimal(p, static_cast<uint64_t>(month), 2);
  *p++ = '\t';
  putDecimal(p, static_cast<uint64_t>(year), 4);
  *p++ = '\t';
  putDecimal(p, count, 1);
  *p++ = '\t';
  putDecimal(p, bytes, 1);
  *p++ = '\n';
  return std::string_view(row, static_cast<size_t>(p - row));
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
        std::string_view text = formatRow(row, day, month + 1, year, runningCount, runningBytes);
        if (sizeof block - used < text.size()) {
          output.progress({{block, used}});
          used = 0;
        }
        std::memcpy(block + used, text.data(), text.size());
        used += text.size();
      }
    }
  }
  if (used > 0) output.progress({{block, used}});
  if (!options.terse) output.progress({"\n"});
}
