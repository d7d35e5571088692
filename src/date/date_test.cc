#include "date/date.h"

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "driver/options.h"

namespace {

// Sets the year that two- and three-digit years are completed around, and
// puts the run's value back afterwards.
class DateTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = gOptions.currentYear;
    setYear(2002);
  }
  void TearDown() override { gOptions.currentYear = saved_; }
  static void setYear(int32_t year) { gOptions.currentYear = year; }

 private:
  int32_t saved_ = 0;
};

struct Expected {
  int year, month, day, hour, minute, second;  // month 1 = January
};

std::string describe(const MessageDate& d) {
  return std::to_string(d.year) + "-" + std::to_string(d.month + 1) + "-" + std::to_string(d.day) +
         " " + std::to_string(d.hour) + ":" + std::to_string(d.minute) + ":" +
         std::to_string(d.second);
}

void expectDate(std::string_view text, bool strict, const Expected& want) {
  MessageDate got;
  ASSERT_TRUE(parseDate(text, &got, strict)) << '"' << text << '"';
  MessageDate expected{want.second, want.minute, want.hour, want.day, want.month - 1, want.year};
  EXPECT_EQ(describe(got), describe(expected)) << '"' << text << '"';
}

// A failed parse leaves the caller's record alone.
void expectFailure(std::string_view text, bool strict) {
  MessageDate got{7, 7, 7, 7, 7, 7};
  EXPECT_FALSE(parseDate(text, &got, strict)) << '"' << text << '"';
  EXPECT_EQ(describe(got), "7-8-7 7:7:7") << '"' << text << '"';
}

TEST_F(DateTest, LenientModeReadsTheCommonLayouts) {
  const struct {
    const char* text;
    Expected want;
  } cases[] = {
      {"Mon, 1 Jan 2002 12:00:00 +0100", {2002, 1, 1, 12, 0, 0}},
      {"1 Jan 2002", {2002, 1, 1, 0, 0, 0}},
      {"Tue, 01 Jan 2002 09:05:07 -0500 (EST)", {2002, 1, 1, 9, 5, 7}},
      {"1 GEN 02", {2002, 1, 1, 0, 0, 0}},
      {"dIc 24 1999", {1999, 12, 24, 0, 0, 0}},
      {"1 SEPTEMBER 2002", {2002, 9, 1, 0, 0, 0}},
      {"1 may 2002", {2002, 5, 1, 0, 0, 0}},
      {"1/2/2002", {2002, 1, 2, 0, 0, 0}},  // month first
      {"12/25/99", {1999, 12, 25, 0, 0, 0}},
      {"31 Feb 2002", {2002, 2, 31, 0, 0, 0}},
      {"08 Aug 0009", {2009, 8, 8, 0, 0, 0}},  // leading zeros never mean octal
      {"5 1 jan", {2001, 1, 5, 0, 0, 0}},
      {"1 Jan 2002 10", {2010, 1, 1, 0, 0, 0}},  // a later plain number replaces the year
      {"1 Jan 2002, 9:30 PM", {2002, 1, 1, 9, 30, 0}},
      {"1 jan 2002 10:20:30:40", {2002, 1, 1, 10, 20, 0}},
      {"1\nJan\r\n2002\t", {2002, 1, 1, 0, 0, 0}},
      {"Mon 1 Jan,, 2002", {2002, 1, 1, 0, 0, 0}},       // the empty year 0 is replaced by 2002
      {"Jan 1 2002 08:00 1999", {2002, 1, 1, 8, 0, 0}},  // all four fields seen: the rest unread
      {"Jan 1 2002 1999 08:00", {1999, 1, 1, 8, 0, 0}},
      // Tokens that mix colons and slashes: the digits of a field end at a slash.
      {"12/30:00 1 jan 2002", {2002, 1, 1, 12, 0, 0}},
      {"12:/5:07 1 jan 2002", {2002, 1, 1, 12, 0, 7}},
      // One or three slashes make no date and are passed over.
      {"1 jan 2002 1/2", {2002, 1, 1, 0, 0, 0}},
      {"1 jan 2002 3/4/5/6", {2002, 1, 1, 0, 0, 0}},
  };
  for (const auto& c : cases)
    expectDate(c.text, false, c.want);
}

TEST_F(DateTest, LenientModeRejects) {
  const char* const cases[] = {
      "",
      "   ",
      "1 gennaio 2002",    // no month: full Italian names are not known
      "0 Dec 1999",        // day 0
      "32 Dec 1999",       // day 32
      "13/1/2002",         // month 13
      "0/1/2002",          // month 0
      "2002 Jan 1",        // 2002 is the day
      "01-Jan-2002",       // one long token, passed over
      "1. Jan. 2002",      // 2002 becomes the day
      "Mon , 1 Jan 2002",  // the empty token before the comma is day 0
      "\t1 Jan 2002",      // so is the empty token a leading tab ends
      "Jan,, 1 2002",      // and the one between two commas
      "1 jan",
      "jan 2002",
      "Mon Jan 12:00:00 2002",
  };
  for (const char* text : cases)
    expectFailure(text, false);
}

TEST_F(DateTest, StrictModeAcceptsSeparatorLineDates) {
  const struct {
    const char* text;
    Expected want;
  } cases[] = {
      {"Mon Jan  1 12:00:00 2002", {2002, 1, 1, 12, 0, 0}},
      {"Mon Jan  1 12:00:00 +0100 2002", {2002, 1, 1, 12, 0, 0}},
      {"Mon Jan  1 12:00:00 (EST) 2002", {2002, 1, 1, 12, 0, 0}},
      {"lun gen  1 12:00:00 2002", {2002, 1, 1, 12, 0, 0}},
      {"SAB MAR 2 08:09 02", {2002, 3, 2, 8, 9, 0}},
      {"xx Mon Jan 1 12:00:00 2002", {2002, 1, 1, 12, 0, 0}},
      {"Mon January 1 12:00:00 2002", {2002, 1, 1, 12, 0, 0}},
      {"Mon Jan 1 12:00:00 remote-from-host 2002", {2002, 1, 1, 12, 0, 0}},  // 10+ characters
      {"Mon Jan 1 12:00:00 2002,", {2002, 1, 1, 12, 0, 0}},
      {"Mon Jan 1 12:00:00 2002\t\r\n", {2002, 1, 1, 12, 0, 0}},
  };
  for (const auto& c : cases)
    expectDate(c.text, true, c.want);
}

TEST_F(DateTest, StrictModeRejects) {
  const char* const cases[] = {
      "Mon Jan  1 12:00:00 GMT 2002",  // neither a month nor a weekday
      "Mon Jan  1 12:00:00 1ab 2002",
      "Mon Jan  1 12:00:00 Monday 2002",
      "Mon Jan  1 12:00:00 +01a0 2002",  // not a zone
      "Mon Jan  1 12:00:00 (Est) 2002",
      "Mon Jan  1 12:00:00 (EST] 2002",
      "Mon Jan  1 12:00:00 +01000 2002",
      "Jan  1 2002",  // no time
      "Mon Jan 12:00:00 2002",
      "Mon Jan 1 12:00:00",
      "Mon Jan  1 12:00:00 2002 remote from x",
      "Mon, 1 Jan 2002 12:00:00 +0100",  // the zone follows the fourth field
      "Mon Jan 1 12:00:00 2002 ,",
      "Mon Jan 1 12:00:00 2002,,",
  };
  for (const char* text : cases)
    expectFailure(text, true);
}

TEST_F(DateTest, YearsBelowOneThousandAreCompletedAroundTheCurrentYear) {
  const struct {
    int32_t currentYear;
    const char* year;
    int want;
  } cases[] = {
      {2002, "0", 2000},
      {2002, "52", 2052},
      {2002, "53", 1953},
      {2002, "99", 1999},
      {2002, "102", 2002},
      {2002, "999", 2899},
      {2002, "1000", 1000},
      {2002, "0999", 2899},
      {2026, "76", 2076},
      {2026, "77", 1977},
      {2026, "26", 2026},
      {2026, "176", 2076},
      {2026, "177", 2077},
      // Past the middle of a century two-digit years still surround the
      // current year; three-digit years do not move.
      {2050, "50", 2050},
      {2050, "1", 2001},
      {2050, "0", 2100},
      {2060, "10", 2110},
      {2060, "11", 2011},
      {2060, "60", 2060},
      {2060, "160", 2060},
      {2060, "105", 2005},
      {2099, "49", 2149},
      {2099, "50", 2050},
  };
  for (const auto& c : cases) {
    setYear(c.currentYear);
    MessageDate got;
    std::string text = std::string("1 Mar ") + c.year;
    ASSERT_TRUE(parseDate(text, &got, false)) << text;
    EXPECT_EQ(got.year, c.want) << text << " in " << c.currentYear;
  }
}

TEST_F(DateTest, NumbersTooLongForThirtyTwoBitsSaturate) {
  expectDate("1 Jan 99999999999999999999", false, {INT_MAX, 1, 1, 0, 0, 0});
  expectDate("1 Jan 2147483648", false, {INT_MAX, 1, 1, 0, 0, 0});
  expectDate("1 Jan 2147483647", false, {INT_MAX, 1, 1, 0, 0, 0});
  expectDate("1 Jan 0000000000000000000002147483646", false, {2147483646, 1, 1, 0, 0, 0});
  expectDate("1 Jan 2002 4294967296:12345678901:9", false, {2002, 1, 1, INT_MAX, INT_MAX, 9});
  expectFailure("4294967297 Jan 2002", false);
  expectFailure("1/4294967297/2002", false);
}

TEST_F(DateTest, ReadsNothingBeyondTheGivenLength) {
  // The text sits at the very end of its allocation and has no terminator, so
  // any read past it is an overflow the address sanitizer reports.
  for (const char* text : {"1 Jan 2002", "Mon Jan 1 12:00:00 2002", "1 Jan 2002 12:0", "Jan"}) {
    const size_t length = std::strlen(text);
    auto buffer = std::make_unique<char[]>(length);
    std::memcpy(buffer.get(), text, length);
    parseDate({buffer.get(), length}, nullptr, false);
    parseDate({buffer.get(), length}, nullptr, true);
  }
  // What follows the length is not looked at.
  std::string_view line = "Mon Jan 1 12:00:00 2002 remote from x";
  EXPECT_TRUE(parseDate(line.substr(0, 23), nullptr, true));
  expectDate(std::string_view("1 Jan 2002").substr(0, 8), false, {2020, 1, 1, 0, 0, 0});
}

TEST(CompareNoCaseTest, FoldsOnlyAsciiLettersAndStopsAtTheEnds) {
  const struct {
    const char* a;
    const char* b;
    size_t n;
    int want;
  } cases[] = {
      {"JULY", "july", 4, 0},  {"julY", "july", 4, 0}, {"june", "july", 4, 1},
      {"july", "june", 4, -1}, {"jul", "july", 4, -1}, {"july", "jul", 4, 1},
      {"jul", "jul", 9, 0},    {"julx", "july", 3, 0}, {"", "", 5, 0},
      {"[", "a", 1, -1},       {"[", "A", 1, -1},  // "[" follows "Z" but precedes "a"
      {"\xe9", "a", 1, -1},                        // bytes compare as signed
      {"\xc9", "\xe9", 1, -1},                     // and only A-Z are folded
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compareNoCase(c.a, c.b, c.n), c.want) << c.a << " / " << c.b;
  }
}

}  // namespace
