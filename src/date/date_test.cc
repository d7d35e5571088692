#include "date/date.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace {

// The year that two- and three-digit years are completed around, unless a
// test says otherwise.
constexpr int32_t kCurrentYear = 2002;

std::string describe(const MessageDate& d) {
  return std::to_string(d.year) + "-" + std::to_string(d.month + 1) + "-" + std::to_string(d.day) +
         " " + std::to_string(d.hour) + ":" + std::to_string(d.minute) + ":" +
         std::to_string(d.second);
}

// `want` is year-month-day hour:minute:second, January being month 1.
void expectDate(std::string_view text, bool strict, const std::string& want) {
  MessageDate got;
  ASSERT_TRUE(parseDate(text, &got, strict, kCurrentYear)) << '"' << text << '"';
  EXPECT_EQ(describe(got), want) << '"' << text << '"';
}

// A failed parse leaves the caller's record alone.
void expectFailure(std::string_view text, bool strict) {
  MessageDate got{7, 7, 7, 7, 7, 7};
  EXPECT_FALSE(parseDate(text, &got, strict, kCurrentYear)) << '"' << text << '"';
  EXPECT_EQ(describe(got), "7-8-7 7:7:7") << '"' << text << '"';
}

TEST(DateTest, ReadsTheLayoutsOfEachMode) {
  const struct {
    bool strict;
    const char* text;
    const char* want;
  } cases[] = {
      {false, "Tue, 01 Jan 2002 09:05:07 -0500 (EST)", "2002-1-1 9:5:7"},
      {false, "1 GEN 02", "2002-1-1 0:0:0"},
      {false, "dIc 24 1999", "1999-12-24 0:0:0"},
      {false, "12/25/99", "1999-12-25 0:0:0"},  // month first
      {false, "31 Feb 2002", "2002-2-31 0:0:0"},
      {false, "08 Aug 0009", "2009-8-8 0:0:0"},  // leading zeros never mean octal
      {false, "5 1 jan", "2001-1-5 0:0:0"},
      {false, "1 Jan 2002 10", "2010-1-1 0:0:0"},  // a later plain number replaces the year
      {false, "1 Jan 2002, 9:30 PM", "2002-1-1 9:30:0"},
      {false, "1 jan 2002 10:20:30:40", "2002-1-1 10:20:0"},
      {false, "1\nJan\r\n2002\t", "2002-1-1 0:0:0"},
      {false, "Mon 1 Jan,, 2002", "2002-1-1 0:0:0"},       // the empty year 0 is replaced
      {false, "Jan 1 2002 08:00 1999", "2002-1-1 8:0:0"},  // all four fields seen
      {false, "Jan 1 2002 1999 08:00", "1999-1-1 8:0:0"},
      // Tokens that mix colons and slashes: the digits of a field end at a slash.
      {false, "12/30:00 1 jan 2002", "2002-1-1 12:0:0"},
      {false, "12:/5:07 1 jan 2002", "2002-1-1 12:0:7"},
      // One or three slashes make no date and are passed over.
      {false, "1 jan 2002 1/2", "2002-1-1 0:0:0"},
      {false, "1 jan 2002 3/4/5/6", "2002-1-1 0:0:0"},
      {true, "Mon Jan  1 12:00:00 +0100 2002", "2002-1-1 12:0:0"},
      {true, "Mon Jan  1 12:00:00 (EST) 2002", "2002-1-1 12:0:0"},
      {true, "SAB MAR 2 08:09 02", "2002-3-2 8:9:0"},
      {true, "xx Mon Jan 1 12:00:00 2002", "2002-1-1 12:0:0"},
      {true, "Mon January 1 12:00:00 2002", "2002-1-1 12:0:0"},
      {true, "Mon Jan 1 12:00:00 remote-from-host 2002", "2002-1-1 12:0:0"},  // 10+ bytes
      {true, "Mon Jan 1 12:00:00 2002,", "2002-1-1 12:0:0"},
      {true, "Mon Jan 1 12:00:00 2002\t\r\n", "2002-1-1 12:0:0"},
  };
  for (const auto& c : cases)
    expectDate(c.text, c.strict, c.want);
}

TEST(DateTest, RejectsWhatEachModeCannotRead) {
  // Day 0 comes from the empty token before a comma, after a leading tab or
  // between two commas; "2002" becomes the day where no day came before it.
  for (const char* text :
       {"   ", "1 gennaio 2002", "0 Dec 1999", "32 Dec 1999", "13/1/2002", "0/1/2002", "2002 Jan 1",
        "01-Jan-2002", "1. Jan. 2002", "Mon , 1 Jan 2002", "\t1 Jan 2002", "Jan,, 1 2002",
        "jan 2002", "Mon Jan 12:00:00 2002"})
    expectFailure(text, false);
  // Between the time and the year only a zone, a weekday or a month name, or
  // ten bytes or more, may stand, and only spaces or one comma may follow.
  for (const char* text :
       {"Mon Jan  1 12:00:00 GMT 2002", "Mon Jan  1 12:00:00 Monday 2002",
        "Mon Jan  1 12:00:00 +01a0 2002", "Mon Jan  1 12:00:00 (Est) 2002",
        "Mon Jan  1 12:00:00 (EST] 2002", "Mon Jan  1 12:00:00 +01000 2002", "Jan  1 2002",
        "Mon Jan 1 12:00:00", "Mon Jan  1 12:00:00 2002 remote from x",
        "Mon, 1 Jan 2002 12:00:00 +0100", "Mon Jan 1 12:00:00 2002 ,", "Mon Jan 1 12:00:00 2002,,"})
    expectFailure(text, true);
}

TEST(DateTest, YearsBelowOneThousandAreCompletedAroundTheCurrentYear) {
  // Past the middle of a century two-digit years still surround the current
  // year; three-digit years do not move.
  const struct {
    int32_t currentYear;
    const char* year;
    int want;
  } cases[] = {{2002, "0", 2000},    {2002, "52", 2052},   {2002, "53", 1953},  {2002, "999", 2899},
               {2002, "1000", 1000}, {2002, "0999", 2899}, {2026, "76", 2076},  {2026, "77", 1977},
               {2026, "176", 2076},  {2026, "177", 2077},  {2050, "50", 2050},  {2050, "0", 2100},
               {2060, "10", 2110},   {2060, "11", 2011},   {2060, "160", 2060}, {2060, "105", 2005},
               {2099, "49", 2149},   {2099, "50", 2050}};
  for (const auto& c : cases) {
    MessageDate got;
    std::string text = std::string("1 Mar ") + c.year;
    ASSERT_TRUE(parseDate(text, &got, false, c.currentYear)) << text;
    EXPECT_EQ(got.year, c.want) << text << " in " << c.currentYear;
  }
}

TEST(DateTest, NumbersTooLongForThirtyTwoBitsSaturate) {
  expectDate("1 Jan 2147483648", false, "2147483647-1-1 0:0:0");
  expectDate("1 Jan 2147483647", false, "2147483647-1-1 0:0:0");
  expectDate("1 Jan 0000000000000000000002147483646", false, "2147483646-1-1 0:0:0");
  expectDate("1 Jan 2002 4294967296:12345678901:9", false, "2002-1-1 2147483647:2147483647:9");
  expectFailure("4294967297 Jan 2002", false);
  expectFailure("1/4294967297/2002", false);
}

TEST(DateTest, ReadsNothingBeyondTheGivenLength) {
  std::string_view line = "Mon Jan 1 12:00:00 2002 remote from x";
  EXPECT_TRUE(parseDate(line.substr(0, 23), nullptr, true, kCurrentYear));
  expectDate(std::string_view("1 Jan 2002").substr(0, 8), false, "2020-1-1 0:0:0");
}

TEST(CompareNoCaseTest, FoldsOnlyAsciiLettersAndStopsAtTheEnds) {
  const struct {
    const char* a;
    const char* b;
    size_t n;
    int want;
  } cases[] = {{"julY", "july", 4, 0}, {"june", "july", 4, 1}, {"jul", "july", 4, -1},
               {"july", "jul", 4, 1},  {"jul", "jul", 9, 0},   {"julx", "july", 3, 0},
               {"[", "A", 1, -1},         // "[" follows "Z" but precedes "a"
               {"\xe9", "a", 1, -1},      // bytes compare as signed
               {"\xc9", "\xe9", 1, -1}};  // and only A-Z are folded
  for (const auto& c : cases)
    EXPECT_EQ(compareNoCase(c.a, c.b, c.n), c.want) << c.a << " / " << c.b;
}

}  // namespace
