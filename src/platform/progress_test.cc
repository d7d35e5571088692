#include "platform/progress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int64_t kSecond = 1'000'000'000;

TEST(ProgressTest, ByteCountsKeepThreeDigits) {
  struct Case {
    uint64_t bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, "0 B"},
      {999, "999 B"},
      {1000, "1.00 kB"},
      {1234, "1.23 kB"},
      {9994, "9.99 kB"},
      {9995, "10.0 kB"},  // rounds up: the next width
      {99949, "99.9 kB"},
      {99950, "100 kB"},
      {999499, "999 kB"},
      {999500, "1.00 MB"},  // not "1000 kB"
      {4'400'000'000, "4.40 GB"},
      {UINT64_MAX, "18.4 EB"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(formatByteCount(c.bytes), c.text) << c.bytes;
}

TEST(ProgressTest, LineShowsCountsTotalShareAndRate) {
  struct Case {
    ProgressCounts counts;
    std::optional<uint64_t> total;
    int64_t elapsed;
    const char* text;
  };
  const Case cases[] = {
      {{1'100'000'000, 1, 12'345},
       4'400'000'000,
       2 * kSecond,
       "1.10 GB of 4.40 GB (25%)  1 file  12,345 messages  550 MB/s"},
      // Unknown total: no share.
      {{5'000'000, 3, 1}, std::nullopt, kSecond, "5.00 MB  3 files  1 message  5.00 MB/s"},
      // A total of nothing is no total to share out.
      {{10, 2, 0}, 0, kSecond, "10 B  2 files  0 messages  10 B/s"},
      // A file that grew while it was read stops the share at 100 %.
      {{2000, 1, 0}, 1000, kSecond, "2.00 kB of 1.00 kB (100%)  1 file  0 messages  2.00 kB/s"},
      // No time has passed: no rate.
      {{0, 0, 0}, std::nullopt, 0, "0 B  0 files  0 messages"},
  };
  for (const Case& c : cases) {
    ProgressLine line = formatProgressLine(c.counts, c.total, c.elapsed, "", 200);
    EXPECT_EQ(line.text, c.text);
    EXPECT_EQ(line.columns, line.text.size()) << c.text;
  }
}

TEST(ProgressTest, NamesAreShownWithControlCharactersEscaped) {
  struct Case {
    std::string name;
    std::string shown;
    size_t columns;
  };
  const Case cases[] = {
      {"box", "box", 3},
      {"a\nb\rc\x1b[2J", "a\\x0ab\\x0dc\\x1b[2J", 18},
      {std::string("nul\0x", 5), "nul\\x00x", 8},
      {"del\x7f", "del\\x7f", 7},
      // Well-formed UTF-8 passes, counted two columns a character.
      {"Gel\xc3\xb6scht", "Gel\xc3\xb6scht", 9},
      {"\xe2\x82\xac", "\xe2\x82\xac", 2},
      // A C1 control written in UTF-8 (U+009B, CSI) is escaped byte by byte.
      {"\xc2\x9b", "\\xc2\\x9b", 8},
      // Stray, overlong, surrogate and cut sequences are escaped too.
      {"\x9b", "\\x9b", 4},
      {"\xc0\xaf", "\\xc0\\xaf", 8},
      {"\xed\xa0\x80", "\\xed\\xa0\\x80", 12},
      {"x\xe2\x82", "x\\xe2\\x82", 9},
  };
  for (const Case& c : cases) {
    ProgressLine line = formatProgressLine({}, std::nullopt, 0, c.name, 200);
    std::string counts = formatProgressLine({}, std::nullopt, 0, "", 200).text;
    EXPECT_EQ(line.text, counts + "  " + c.shown) << c.shown;
    EXPECT_EQ(line.columns, counts.size() + 2 + c.columns) << c.shown;
  }
}

TEST(ProgressTest, LongNamesLoseTheirBeginningToFitTheWidth) {
  const std::string counts = formatProgressLine({}, std::nullopt, 0, "", 200).text;
  const std::string name = "takeout.tgz(Takeout/Mail/All mail Including Spam and Trash.mbox)";
  struct Case {
    size_t columns;
    std::string expected;
  };
  const size_t base = counts.size() + 2;
  const Case cases[] = {
      // Room for the whole name and the free last column.
      {base + name.size() + 1, counts + "  " + name},
      // One column short: the end of the name after "...".
      {base + name.size(), counts + "  ..." + name.substr(4)},
      {base + 11, counts + "  ...h.mbox)"},
      // Too little room to show a useful piece: no name at all.
      {base + 7, counts},
      // Narrower than the counts: the line is cut, never wrapped.
      {10, counts.substr(0, 9)},
      {1, ""},
      {0, ""},
  };
  for (const Case& c : cases) {
    ProgressLine line = formatProgressLine({}, std::nullopt, 0, name, c.columns);
    EXPECT_EQ(line.text, c.expected) << c.columns;
    EXPECT_LT(line.columns, std::max<size_t>(c.columns, 1)) << c.columns;
  }
}

TEST(ProgressTest, CutsNeverSplitAnEscapeOrACharacter) {
  const std::string counts = formatProgressLine({}, std::nullopt, 0, "", 200).text;
  // "...", then as many whole cells as fit in 9 columns: the escape of 4
  // and a two-column character leave no room for half of the next one.
  std::string name = "abcdef\x01\xc3\xa9z";
  ProgressLine line = formatProgressLine({}, std::nullopt, 0, name, counts.size() + 2 + 11);
  EXPECT_EQ(line.text, counts + "  ...\\x01\xc3\xa9z");
  EXPECT_EQ(line.columns, counts.size() + 2 + 10);
}

TEST(ProgressTest, PacerWaitsASecondThenDrawsAFewTimesASecond) {
  ProgressPacer pacer = startProgress(5 * kSecond);
  EXPECT_FALSE(progressDue(pacer, 5 * kSecond));
  EXPECT_FALSE(progressDue(pacer, 6 * kSecond - 1));
  EXPECT_TRUE(progressDue(pacer, 6 * kSecond));
  EXPECT_FALSE(progressDue(pacer, 6 * kSecond + kProgressInterval - 1));
  EXPECT_TRUE(progressDue(pacer, 6 * kSecond + kProgressInterval));
  // After a long pause (a slow pipe) it is due at once, and then not again
  // until an interval has passed.
  EXPECT_TRUE(progressDue(pacer, 60 * kSecond));
  EXPECT_FALSE(progressDue(pacer, 60 * kSecond + 1));
}

}  // namespace
