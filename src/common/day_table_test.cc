#include "common/day_table.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(DayTableTest, CoversExactlyItsYearsAndRefusesRangesThatDoNotFit) {
  DayTable table;
  ASSERT_TRUE(table.create(1970, 201));
  EXPECT_FALSE(table.covers(1969));
  EXPECT_TRUE(table.covers(1970));
  EXPECT_TRUE(table.covers(2170));
  EXPECT_FALSE(table.covers(2171));
  // No overflow at the edges of 32 bits.
  ASSERT_TRUE(table.create(INT32_MAX, 1));
  EXPECT_TRUE(table.covers(INT32_MAX));
  EXPECT_FALSE(table.covers(INT32_MIN));

  EXPECT_FALSE(table.create(INT32_MIN, int64_t{1} << 32));
  EXPECT_FALSE(table.create(0, 1'000'000));  // more than 4 GiB of slots
  EXPECT_FALSE(table.covers(0));
}

}  // namespace
