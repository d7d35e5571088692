#include "platform/processors.h"

#include <sched.h>

#include <thread>

#include <gtest/gtest.h>

namespace {

TEST(ProcessorsTest, CountsTheProcessorsOfTheAffinityMask) {
  int count = usableProcessors();
  EXPECT_GE(count, 1);
  unsigned machine = std::thread::hardware_concurrency();
  if (machine > 0) {
    EXPECT_LE(count, static_cast<int>(machine));
  }
}

TEST(ProcessorsTest, FollowsAMaskNarrowedToOneProcessor) {
  cpu_set_t before;
  CPU_ZERO(&before);
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  int first = 0;
  while (!CPU_ISSET(first, &before))
    ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  int count = usableProcessors();
  sched_setaffinity(0, sizeof before, &before);
  EXPECT_EQ(count, 1);
}

}  // namespace
