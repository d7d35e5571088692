#include "driver/day_table.h"

#include <cstdint>

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
