#include "common/day_table.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// The walk over the counted days finds each of them once, in date order,
// wherever it falls among the slots passed several at a time: the first
// and last slot, neighbours, lone days far apart.
TEST(DayTableTest, NextCountedFindsEveryCountedDayInOrder) {
  const std::vector<std::vector<int64_t>> layouts = {
      {}, {0}, {743}, {0, 1, 2, 3, 4}, {3, 4}, {5, 7, 371, 372, 742, 743}, {100, 101, 600}};
  for (const auto& days : layouts) {
    DayTable table;
    ASSERT_TRUE(table.create(2000, 2));
    for (size_t i = 0; i < days.size(); ++i) {
      int64_t inYear = days[i] % DayTable::kSlotsPerYear;
      table.add(static_cast<int32_t>(2000 + days[i] / DayTable::kSlotsPerYear),
                static_cast<int>(inYear / 31), static_cast<int>(inYear % 31 + 1), i % 2 == 0, 1);
    }
    std::vector<int64_t> found;
    for (int64_t i = table.nextCounted(0); i < table.slotCount(); i = table.nextCounted(i + 1))
      found.push_back(i);
    EXPECT_EQ(found, days);
    EXPECT_EQ(table.nextCounted(table.slotCount()), table.slotCount());
  }
}

// Tables of one range counted apart add up to the table counted as one,
// whichever days each holds (none, the range's ends, one day in both).
TEST(DayTableTest, TablesCountedApartAddUpToOne) {
  struct Add {
    int year, month, day;
    bool received;
    uint32_t size;
  };
  const Add adds[] = {{1970, 0, 1, false, 10},
                      {2170, 11, 31, true, 7},
                      {2000, 5, 15, true, 3},
                      {2000, 5, 15, false, 4},
                      {2000, 5, 15, true, UINT32_MAX}};
  DayTable whole, first, second, empty;
  for (DayTable* t : {&whole, &first, &second, &empty})
    ASSERT_TRUE(t->create(1970, 201));
  for (DayTable* t : {&first, &second, &empty})
    t->listDays();
  for (size_t i = 0; i < std::size(adds); ++i) {
    const Add& a = adds[i];
    whole.add(a.year, a.month, a.day, a.received, a.size);
    (i % 2 == 0 ? first : second).add(a.year, a.month, a.day, a.received, a.size);
  }
  DayTable sum;
  ASSERT_TRUE(sum.create(1970, 201));
  empty.moveInto(sum);
  second.moveInto(sum);
  first.moveInto(sum);
  for (int year : {1970, 2000, 2170}) {
    for (int month : {0, 5, 11}) {
      for (int day : {1, 15, 31}) {
        const DayTotals& a = whole.at(year, month, day);
        const DayTotals& b = sum.at(year, month, day);
        EXPECT_EQ(a.sentCount, b.sentCount);
        EXPECT_EQ(a.sentBytes, b.sentBytes);
        EXPECT_EQ(a.receivedCount, b.receivedCount);
        EXPECT_EQ(a.receivedBytes, b.receivedBytes) << year << " " << month << " " << day;
      }
    }
  }
  EXPECT_EQ(sum.at(2000, 5, 15).receivedBytes, 2u);  // wrapped modulo 2^32
  EXPECT_EQ(sum.at(1970, 0, 1).sentBytes, 10u);
  // Moved, a table is empty and may count again; moved twice, nothing is
  // added twice.
  EXPECT_EQ(first.at(1970, 0, 1).sentCount, 0u);
  first.add(1970, 0, 1, false, 5);
  first.moveInto(sum);
  first.moveInto(sum);
  EXPECT_EQ(sum.at(1970, 0, 1).sentCount, 2u);
  EXPECT_EQ(sum.at(1970, 0, 1).sentBytes, 15u);
  // Taken away, what a table counted is gone again, wrapped counts and all.
  first.add(2000, 5, 15, true, UINT32_MAX);
  first.add(2170, 11, 31, true, 9);
  first.takeAwayFrom(sum);
  EXPECT_EQ(sum.at(2000, 5, 15).receivedCount, 1u);
  EXPECT_EQ(sum.at(2000, 5, 15).receivedBytes, 3u);
  EXPECT_EQ(sum.at(2170, 11, 31).receivedCount, 0u);
  EXPECT_EQ(sum.at(2170, 11, 31).receivedBytes, UINT32_MAX - 1);  // 7 - 9
}

}  // namespace
