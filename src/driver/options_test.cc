#include "driver/options.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

CommandLine parse(std::vector<const char*> args) {
  args.insert(args.begin(), "varnak");
  return parseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLineTest, UnacceptableCommandLinesGiveTheUsageCase) {
  const std::vector<std::vector<const char*>> cases = {
      {},
      {"-terse"},
      {"-sent", "-rcvd"},
      {"-years"},
      {"-years=1970"},
      {"-years1970-2170", "x"},
      {"-years=1970-", "x"},
      {"-years=1970 -1980", "x"},  // the "-" must follow the first number directly
      {"-years=a-b", "x"},
      {"-years=08-10", "x"},  // octal: 0 is read, then "8" is not "-"
      {"-years=0xg-5", "x"},
      {"-years=2000-1998", "x"},  // the last year two below the first
      {"-years=2147483648-2147483648", "x"},
      {"-years=-2147483649-0", "x"},
      {"-years=0x80000000-0", "x"},
      {"-Sent", "x"},
      {"-a", "x"},
      {"-", "x"},
      {"-terse", "-bogus", "x"},
  };
  for (const auto& args : cases) {
    EXPECT_TRUE(parse(args).usage) << (args.empty() ? "(none)" : args[0]);
  }
}

TEST(CommandLineTest, YearsAreReadLikeScanfIntegers) {
  struct Case {
    const char* arg;
    int32_t first;
    int64_t count;
  };
  const Case cases[] = {
      {"-years=1970-1979", 1970, 10},
      {"-years=1970-1969", 1970, 0},
      {"-years=1970-2170abc", 1970, 201},
      {"-years= 1990-\t1991", 1990, 2},
      {"-years=+2000-+2000", 2000, 1},
      {"-years=-5-5", -5, 11},
      {"-years=0x7d0-0X7D1", 2000, 2},
      {"-years=03720-03721", 2000, 2},
      {"-years=0x-5", 0, 6},  // glibc reads a bare "0x" as 0
      {"-years=-2147483648-2147483647", INT32_MIN, int64_t{1} << 32},
  };
  for (const Case& c : cases) {
    CommandLine line = parse({c.arg, "mail"});
    ASSERT_FALSE(line.usage) << c.arg;
    EXPECT_EQ(line.options.firstYear, c.first) << c.arg;
    EXPECT_EQ(line.options.yearCount, c.count) << c.arg;
    EXPECT_EQ(line.firstPath, 2) << c.arg;
  }
}

TEST(CommandLineTest, OptionsMatchByPrefixAndLaterOnesWin) {
  struct Case {
    std::vector<const char*> args;
    Direction direction;
    bool terse;
    int firstPath;
  };
  const Case cases[] = {
      {{"mail"}, Direction::all, false, 1},
      {{"-sent", "-rcvd", "mail"}, Direction::receivedOnly, false, 3},
      {{"-rcvd", "-allx", "mail"}, Direction::all, false, 3},
      {{"-sentinel", "mail"}, Direction::sentOnly, false, 2},
      {{"-terse", "-verbose", "mail"}, Direction::all, false, 3},
      {{"-verbose", "-tersely", "mail"}, Direction::all, true, 3},
      // Once a path is seen, everything after it is a path.
      {{"mail", "-bogus", "-sent"}, Direction::all, false, 1},
      // An empty argument ends the options and is itself a path.
      {{"-sent", "", "-rcvd"}, Direction::sentOnly, false, 2},
  };
  for (const Case& c : cases) {
    CommandLine line = parse(c.args);
    ASSERT_FALSE(line.usage) << c.args[0];
    EXPECT_EQ(line.options.direction, c.direction) << c.args[0];
    EXPECT_EQ(line.options.terse, c.terse) << c.args[0];
    EXPECT_EQ(line.firstPath, c.firstPath) << c.args[0];
  }
}

TEST(CommandLineTest, TheLastYearsArgumentSetsTheRange) {
  CommandLine line = parse({"-years=1990-1999", "-years=2001-2002", "mail"});
  ASSERT_FALSE(line.usage);
  EXPECT_EQ(line.options.firstYear, 2001);
  EXPECT_EQ(line.options.yearCount, 2);
}

}  // namespace
