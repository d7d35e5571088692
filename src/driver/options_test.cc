#include "driver/options.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

CommandLine parse(std::vector<const char*> args) {
  args.insert(args.begin(), "varnak");
  return parseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLineTest, UnacceptableYearsAndOptionsGiveTheUsageCase) {
  // The "-" must follow the first number directly; "08" is octal 0 and then
  // "8", which is no "-"; a range may end at most one year before it starts;
  // "-a" is too short to name an option.
  for (const char* arg : {"-years1970-2170", "-years=1970-", "-years=1970 -1980", "-years=08-10",
                          "-years=0xg-5", "-years=2000-1998", "-years=2147483648-2147483648",
                          "-years=-2147483649-0", "-years=0x80000000-0", "-a"})
    EXPECT_TRUE(parse({arg, "x"}).usage) << arg;
}

TEST(CommandLineTest, YearsAreReadLikeScanfIntegersAndTheLastRangeWins) {
  const struct {
    std::vector<const char*> args;
    int32_t first;
    int64_t count;
  } cases[] = {
      {{"-years=1970-1969"}, 1970, 0},
      {{"-years=1970-2170abc"}, 1970, 201},
      {{"-years= 1990-\t1991"}, 1990, 2},
      {{"-years=-5-5"}, -5, 11},
      {{"-years=0x7d0-0X7D1"}, 2000, 2},
      {{"-years=03720-03721"}, 2000, 2},
      {{"-years=0x-5"}, 0, 6},  // glibc reads a bare "0x" as 0
      {{"-years=-2147483648-2147483647"}, INT32_MIN, int64_t{1} << 32},
      {{"-years=1990-1999", "-years=2001-2002"}, 2001, 2},
  };
  for (const auto& c : cases) {
    std::vector<const char*> args = c.args;
    args.push_back("mail");
    CommandLine line = parse(args);
    ASSERT_FALSE(line.usage) << c.args.back();
    EXPECT_EQ(line.options.firstYear, c.first) << c.args.back();
    EXPECT_EQ(line.options.yearCount, c.count) << c.args.back();
    EXPECT_EQ(line.firstPath, static_cast<int>(args.size())) << c.args.back();
  }
}

TEST(CommandLineTest, OptionsMatchByPrefixAndLaterOnesWin) {
  const struct {
    std::vector<const char*> args;
    Direction direction;
    bool terse;
    int firstPath;
  } cases[] = {
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
  for (const auto& c : cases) {
    CommandLine line = parse(c.args);
    ASSERT_FALSE(line.usage) << c.args[0];
    EXPECT_EQ(line.options.direction, c.direction) << c.args[0];
    EXPECT_EQ(line.options.terse, c.terse) << c.args[0];
    EXPECT_EQ(line.firstPath, c.firstPath) << c.args[0];
  }
}

TEST(CommandLineTest, ReadingOptionsMatchByPrefixAndAddressesNeedAnAt) {
  const struct {
    std::vector<const char*> args;
    bool usage;
    const char* expected;  // unpack maildir lists summary, then the addresses
  } cases[] = {
      {{"-unpack", "-maildir", "-lists", "-summary", "m"}, false, "1111"},
      {{"-unpackers", "-maildirs", "-listsx", "-summaryx", "m"}, false, "1111"},
      {{"-me=Me@Example.com,other@host", "m"}, false, "0000 Me@Example.com other@host"},
      {{"-me=a@b", "-me=c@d", "m"}, false, "0000 c@d"},
      {{"-me=", "m"}, true, ""},
      {{"-me=a@b,", "m"}, true, ""},
      {{"-me=,a@b", "m"}, true, ""},
      {{"-me=a@b,,c@d", "m"}, true, ""},
      {{"-me=nobody", "m"}, true, ""},
      {{"-me", "m"}, true, ""},
      {{"-meow", "m"}, true, ""},
      {{"-unpack"}, true, ""},  // still a path is needed
  };
  for (const auto& c : cases) {
    CommandLine line = parse(c.args);
    EXPECT_EQ(line.usage, c.usage) << c.args[0];
    if (line.usage) continue;
    const RunOptions& o = line.options;
    std::string got = std::to_string(o.unpack) + std::to_string(o.maildir) +
                      std::to_string(o.lists) + std::to_string(o.summary);
    for (const std::string& address : o.me)
      got += " " + address;
    EXPECT_EQ(got, c.expected) << c.args[0];
  }
}

// -noprogress turns the progress line off, by prefix like the others; -terse
// leaves it on, and "-n" alone is no option.
TEST(CommandLineTest, NoProgressTurnsTheProgressLineOff) {
  const struct {
    std::vector<const char*> args;
    bool usage;
    bool progress;
  } cases[] = {
      {{"m"}, false, true},
      {{"-terse", "m"}, false, true},
      {{"-noprogress", "m"}, false, false},
      {{"-noprogressbar", "-terse", "m"}, false, false},
      {{"-noprog", "m"}, true, true},
      {{"-n", "m"}, true, true},
  };
  for (const auto& c : cases) {
    CommandLine line = parse(c.args);
    EXPECT_EQ(line.usage, c.usage) << c.args[0];
    if (!line.usage) {
      EXPECT_EQ(line.options.progress, c.progress) << c.args[0];
    }
  }
}

TEST(CommandLineTest, UniqueMatchesByPrefixAndExcludeNamesAddUp) {
  const struct {
    std::vector<const char*> args;
    bool usage;
    const char* expected;  // unique, then the names to leave out
  } cases[] = {
      {{"-unique", "m"}, false, "1"},
      {{"-uniquely", "-unpack", "m"}, false, "1"},
      {{"-exclude=Spam.mbox", "-exclude=Trash*", "m"}, false, "0 Spam.mbox Trash*"},
      {{"-exclude==x", "m"}, false, "0 =x"},
      {{"-exclude=", "m"}, true, ""},
      {{"-exclude", "m"}, true, ""},
      {{"-excludes=x", "m"}, true, ""},
      {{"-uniq", "m"}, true, ""},
  };
  for (const auto& c : cases) {
    CommandLine line = parse(c.args);
    EXPECT_EQ(line.usage, c.usage) << c.args[0];
    if (line.usage) continue;
    std::string got = std::to_string(line.options.unique);
    for (const std::string& name : line.options.exclude)
      got += " " + name;
    EXPECT_EQ(got, c.expected) << c.args[0];
  }
}

TEST(CommandLineTest, VersionWinsOverEverythingAfterIt) {
  for (std::vector<const char*> args :
       {std::vector<const char*>{"-version"}, {"--version", "-bogus"}, {"-sent", "-versions"}}) {
    CommandLine line = parse(args);
    EXPECT_FALSE(line.usage) << args[0];
    EXPECT_TRUE(line.version) << args[0];
  }
  // Before it, an unacceptable option still gives the usage text.
  EXPECT_TRUE(parse({"-bogus", "-version"}).usage);
  EXPECT_FALSE(parse({"-sent", "mail"}).version);
}

TEST(CommandLineTest, JobsTakeADecimalCountFromOneTo256) {
  // 0 stands for "not given": the run then takes the processors' count.
  const struct {
    const char* arg;
    int jobs;  // -1: the usage text
  } cases[] = {
      {"-jobs=1", 1},    {"-jobs=8", 8},   {"-jobs=256", 256}, {"-jobs=007", 7}, {"-jobs=0", -1},
      {"-jobs=257", -1}, {"-jobs=", -1},   {"-jobs", -1},      {"-jobs=2x", -1}, {"-jobs=-2", -1},
      {"-jobs=0x4", -1}, {"-jobs= 2", -1}, {"-jobs=0002", -1}, {"-jobsx=2", -1},
  };
  for (const auto& c : cases) {
    CommandLine line = parse({c.arg, "mail"});
    EXPECT_EQ(line.usage, c.jobs < 0) << c.arg;
    if (c.jobs > 0) {
      EXPECT_EQ(line.options.jobs, c.jobs) << c.arg;
    }
  }
  EXPECT_EQ(parse({"mail"}).options.jobs, 0);
  EXPECT_EQ(parse({"-jobs=3", "-jobs=1", "mail"}).options.jobs, 1);
}

}  // namespace
