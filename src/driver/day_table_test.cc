#include "driver/day_table.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(DayTableTest, CoversTheFirstAndLastYearButNotBeyond) {
  DayTable table;
  ASSERT_TRUE(table.create(1970, 201));
  EXPECT_FALSE(table.covers(1969));
  EXPECT_TRUE(table.covers(1970));
  EXPECT_TRUE(table.covers(2170));
  EXPECT_FALSE(table.covers(2171));

  ASSERT_TRUE(table.create(1970, 0));
  EXPECT_FALSE(table.covers(1970));

  // No overflow at the edges of 32 bits.
  ASSERT_TRUE(table.create(INT32_MAX, 1));
  EXPECT_TRUE(table.covers(INT32_MAX));
  EXPECT_FALSE(table.covers(INT32_MIN));
}

TEST(DayTableTest, RefusesRangesThatDoNotFit) {
  DayTable table;
  EXPECT_FALSE(table.create(INT32_MIN, int64_t{1} << 32));
  EXPECT_FALSE(table.create(0, 1'000'000));  // more than 4 GiB of slots
  EXPECT_FALSE(table.covers(0));
}

TEST(DayTableTest, AddsEachDirectionApartAndWrapsAt32Bits) {
  DayTable table;
  ASSERT_TRUE(table.create(2000, 2));
  table.add(2001, 1, 31, false, 100);  // 31 February has a slot of its own
  table.add(2001, 1, 31, false, 4294967295u);
  table.add(2001, 1, 31, true, 7);
  const DayTotals& slot = table.at(2001, 1, 31);
  EXPECT_EQ(slot.sentCount, 2u);
  EXPECT_EQ(slot.sentBytes, 99u);
  EXPECT_EQ(slot.receivedCount, 1u);
  EXPECT_EQ(slot.receivedBytes, 7u);
  EXPECT_EQ(table.at(2001, 2, 1).sentCount, 0u);
  EXPECT_EQ(table.at(2000, 1, 31).sentCount, 0u);
}

}  // namespace

namespace {

std::string report(const DayTable& table, Direction direction, bool terse) {
  RunOptions options;
  options.direction = direction;
  options.terse = terse;
  testing::internal::CaptureStdout();
  printReport(table, options);
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(ReportTest, RowsCarryRunningTotalsOfTheCountedDirections) {
  DayTable table;
  ASSERT_TRUE(table.create(1970, 3));
  table.add(1970, 0, 2, false, 100);
  table.add(1970, 0, 2, false, 200);
  table.add(1970, 0, 5, true, 50);
  table.add(1972, 11, 31, true, 0);  // a message of no bytes still makes its row

  struct Case {
    Direction direction;
    bool terse;
    const char* expected;
  };
  const Case cases[] = {
      {Direction::all, false,
       "---\nday\tmonth\tyear\tc.num\tc.size\n"
       "02\t01\t1970\t2\t300\n05\t01\t1970\t3\t350\n31\t12\t1972\t4\t350\n\n"},
      {Direction::receivedOnly, true, "05\t01\t1970\t1\t50\n31\t12\t1972\t2\t50\n"},
      {Direction::sentOnly, true, "02\t01\t1970\t2\t300\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(report(table, c.direction, c.terse), c.expected);
}

TEST(ReportTest, EmptyTablePrintsOnlyTheFrame) {
  DayTable table;
  ASSERT_TRUE(table.create(1970, 0));
  EXPECT_EQ(report(table, Direction::all, false), "---\nday\tmonth\tyear\tc.num\tc.size\n\n");
  EXPECT_EQ(report(table, Direction::all, true), "");
}

TEST(ReportTest, ByteTotalGrowsPast32BitsAndYearsArePadded) {
  DayTable table;
  ASSERT_TRUE(table.create(999, 2));
  table.add(999, 2, 9, false, 4294967295u);
  table.add(1000, 0, 1, true, 4294967295u);
  table.add(1000, 0, 1, true, 2);  // the day's own sum wraps to 1
  table.add(1000, 0, 2, false, 4294967295u);
  EXPECT_EQ(report(table, Direction::all, true),
            "09\t03\t0999\t1\t4294967295\n"
            "01\t01\t1000\t3\t4294967296\n"
            "02\t01\t1000\t4\t8589934591\n");
}

}  // namespace
