#include "driver/report.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "platform/collected_output.h"

namespace {

std::string report(const DayTable& table, Direction direction) {
  RunOptions options;
  options.direction = direction;
  options.terse = true;
  CollectedOutput output;
  printReport(table, options, output);
  // The report is standard output's alone, whatever it holds.
  EXPECT_EQ(output.text(Stream::err), "");
  return output.text(Stream::out);
}

TEST(ReportTest, RunningTotalsOfEachDirectionGrowPast32BitsWhileDaySumsWrap) {
  DayTable table;
  ASSERT_TRUE(table.create(999, 2));
  table.add(999, 2, 9, false, 4294967295u);
  table.add(1000, 0, 1, true, 4294967295u);
  table.add(1000, 0, 1, true, 2);  // the day's own sum wraps to 1
  table.add(1000, 0, 2, false, 4294967295u);
  table.add(1000, 1, 31, true, 0);   // 31 February has a row of its own
  table.add(1000, 11, 31, true, 0);  // and a message of no bytes still makes one
  EXPECT_EQ(report(table, Direction::all),
            "09\t03\t0999\t1\t4294967295\n"
            "01\t01\t1000\t3\t4294967296\n"
            "02\t01\t1000\t4\t8589934591\n"
            "31\t02\t1000\t5\t8589934591\n"
            "31\t12\t1000\t6\t8589934591\n");
  EXPECT_EQ(report(table, Direction::receivedOnly),
            "01\t01\t1000\t2\t1\n31\t02\t1000\t3\t1\n31\t12\t1000\t4\t1\n");
  EXPECT_EQ(report(table, Direction::sentOnly),
            "09\t03\t0999\t1\t4294967295\n02\t01\t1000\t2\t8589934590\n");
}

// Rows are written digit by digit; they must read as printf would write
// them, at the edges of every field.
TEST(ReportTest, RowsReadAsPrintfWritesThem) {
  const struct {
    int32_t year;
    int month, day;
    uint32_t size;
  } cases[] = {
      {7, 0, 1, 0},         {999, 8, 9, 9},   {2024, 11, 31, 10}, {12345, 1, 30, 4294967295u},
      {0, 0, 1, 1},         {-5, 5, 15, 100}, {-12345, 0, 1, 7},  {INT32_MAX, 11, 31, 1},
      {INT32_MIN, 0, 1, 1}, {2000, 0, 1, 99}, {2000, 0, 1, 100},  {2000, 0, 1, 1000001}};
  for (const auto& c : cases) {
    DayTable table;
    ASSERT_TRUE(table.create(c.year, 1));
    table.add(c.year, c.month, c.day, false, c.size);
    char expected[96];
    std::snprintf(expected, sizeof expected, "%02d\t%02d\t%04d\t%u\t%u\n", c.day, c.month + 1,
                  c.year, 1u, c.size);
    EXPECT_EQ(report(table, Direction::all), expected) << c.year;
  }
}

// The report goes out in blocks: rows on both sides of a block's end, and
// the last block, are all there and in order.
TEST(ReportTest, AReportLongerThanABlockKeepsEveryRow) {
  DayTable table;
  ASSERT_TRUE(table.create(2001, 10));
  std::string expected;
  uint32_t count = 0;
  uint64_t bytes = 0;
  for (int32_t year = 2001; year <= 2010; ++year) {
    for (int month = 0; month < 12; ++month) {
      for (int day = 1; day <= 28; day += 1 + (year + month + day) % 2) {
        uint32_t size = static_cast<uint32_t>(year * day + month);
        table.add(year, month, day, day % 3 == 0, size);
        bytes += size;
        char row[96];
        std::snprintf(row, sizeof row, "%02d\t%02d\t%04d\t%u\t%llu\n", day, month + 1, year,
                      ++count, static_cast<unsigned long long>(bytes));
        expected += row;
      }
    }
  }
  ASSERT_GT(expected.size(), 2u * 16384);
  EXPECT_EQ(report(table, Direction::all), expected);
}

}  // namespace
