#include "date/date.h"
#include "date/date_internal.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// A record no reading gives, for seeing that a failed one leaves the
// caller's record alone.
constexpr MessageDate kUntouched{7, 7, 7, 7, 7, 7};
constexpr const char* kUntouchedText = "7-8-7 7:7:7";

void expectFailure(std::string_view text, bool strict) {
  MessageDate got = kUntouched;
  EXPECT_FALSE(parseDate(text, &got, strict, kCurrentYear)) << '"' << text << '"';
  EXPECT_EQ(describe(got), kUntouchedText) << '"' << text << '"';
}

// A text in either mode, and the date wanted of it as `describe` writes it.
struct DateCase {
  bool strict;
  const char* text;
  const char* want;
};

TEST(DateTest, ReadsTheLayoutsOfEachMode) {
  const DateCase cases[] = {
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

TEST(DateTest, KnowsEveryThreeLetterNameInAnyCase) {
  const struct {
    const char* name;
    int month;
  } months[] = {{"jan", 1},  {"FEB", 2},  {"Mar", 3},  {"aPr", 4}, {"may", 5},
                {"JUN", 6},  {"jul", 7},  {"Aug", 8},  {"sep", 9}, {"OCT", 10},
                {"nov", 11}, {"Dec", 12}, {"GEN", 1},  {"mai", 5}, {"Giu", 6},
                {"lUG", 7},  {"set", 9},  {"OTT", 10}, {"dic", 12}};
  for (const auto& m : months) {
    for (const std::string& text : {std::string("1 ") + m.name + " 2002",
                                    std::string("Mon, 1 ") + m.name + " 2002 10:00:00"}) {
      MessageDate got;
      ASSERT_TRUE(parseDate(text, &got, false, kCurrentYear)) << text;
      EXPECT_EQ(got.month + 1, m.month) << text;
    }
  }
  // Strict mode passes over weekdays and refuses other words; "mar" is
  // March before it is Tuesday, so it takes the month's place.
  for (const char* weekday : {"mon", "TUE", "Wed", "thu", "fri", "SAT", "sun", "lun", "mer", "GIO",
                              "ven", "sab", "Dom"}) {
    const std::string text = std::string(weekday) + " Jan  1 12:00:00 2002";
    EXPECT_TRUE(parseDate(text, nullptr, true, kCurrentYear)) << text;
    EXPECT_TRUE(
        parseDate(std::string("1 jan ") + weekday + " 12:00:00 2002", nullptr, true, kCurrentYear))
        << weekday;
  }
  expectDate("mar Jan  1 12:00:00 2002", true, "2002-1-1 12:0:0");
  expectDate("Jan mar 1 12:00:00 2002", true, "2002-3-1 12:0:0");
  for (const char* word : {"abc", "jam", "moo", "tu3", "ja\xce",
                           "\xca"
                           "AN",
                           "mond"}) {
    const std::string text = std::string(word) + " Jan  1 12:00:00 2002";
    EXPECT_FALSE(parseDate(text, nullptr, true, kCurrentYear)) << text;
  }
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

// The verdict and every field, for comparing two readings of one text.
std::string outcome(bool recognised, const MessageDate& d) {
  return recognised ? describe(d) : "no date";
}

std::string fullReading(std::string_view text, bool strict, int32_t currentYear) {
  MessageDate d;
  return outcome(parseDateInFull(text, &d, strict, currentYear), d);
}

// parseDate, with its shortcuts, says of `text` what the full reading says.
void expectAsInFull(std::string_view text, bool strict) {
  MessageDate date;
  EXPECT_EQ(outcome(parseDate(text, &date, strict, kCurrentYear), date),
            fullReading(text, strict, kCurrentYear))
      << '"' << text << '"';
}

TEST(DateTest, TheShortcutReadsTheUsualLayoutsAsTheFullReadingDoes) {
  // Each of these is read by the shortcut alone, to the date the full
  // reading gives.
  const DateCase cases[] = {
      {false, "Mon, 7 Jan 2002 10:12:01 +0100", "2002-1-7 10:12:1"},
      {false, "Tue, 01 Jan 2002 09:05:07 -0500 (EST)", "2002-1-1 9:5:7"},
      {false, "Thu, 5 Sep 96 11:02:45 GMT", "1996-9-5 11:2:45"},
      {false, "14 Mar 2011 16:20:05 +0000", "2011-3-14 16:20:5"},
      {false, "  lun, 3 GEN 2005 12:00 +0100", "2005-1-3 12:0:0"},
      {false, "Fri,26  apr   2013  20:00:00,x", "2013-4-26 20:0:0"},
      {false, "Sat, 31 Dec 1999 23:59:59\r\n", "1999-12-31 23:59:59"},
      {false, "Xyz, 1 Jan 0 1:2", "2000-1-1 1:2:0"},  // any word before the day
      {false, "Mon Jan  7 10:12:01 2002 remote from x", "2002-1-7 10:12:1"},
      {false, "Jan 7 10:12:01 +0100 02", "2002-1-7 10:12:1"},
      {true, "Mon Jan  7 10:12:01 2002", "2002-1-7 10:12:1"},
      {true, "Sun Jun  2 06:07:08 2024  ", "2024-6-2 6:7:8"},
      {true, "Thu Sep  5 11:02:45 +0100 1996", "1996-9-5 11:2:45"},
      {true, "sab mar 2 08:09 (CET) 02", "2002-3-2 8:9:0"},
      {true, "Dec 31 23:59:59 -0800 1999", "1999-12-31 23:59:59"},
      {true, "Mon, 7 Jan 2002 10:12:01", "2002-1-7 10:12:1"},
  };
  for (const auto& c : cases) {
    MessageDate got;
    ASSERT_TRUE(parseUsualDate(c.text, &got, c.strict, kCurrentYear)) << '"' << c.text << '"';
    EXPECT_EQ(describe(got), c.want) << '"' << c.text << '"';
    EXPECT_EQ(fullReading(c.text, c.strict, kCurrentYear), c.want) << '"' << c.text << '"';
    expectDate(c.text, c.strict, c.want);
  }
}

TEST(DateTest, TheShortcutLeavesEveryOtherTextToTheFullReading) {
  // Texts just off the usual layouts, some of them dates, some not: the
  // shortcut declines each and parseDate gives what the full reading gives.
  const struct {
    bool strict;
    const char* text;
  } cases[] = {
      {false, "Mon, 7 Jan 2002"},                 // no time
      {false, "Mon, 7 Jan 2002 10:12:01:09"},     // a third colon
      {false, "Mon, 7 Jan 2002 10:12:"},          // no seconds after the colon
      {false, "Mon, 7 Jan 2002 10:12:01PM"},      // letters on the time
      {false, "Mon, 7 Jan 02002 10:12:01"},       // a five-digit year
      {false, "Mon, 007 Jan 2002 10:12:01"},      // a three-digit day
      {false, "Mon, 0 Jan 2002 10:12:01"},        // day 0
      {false, "Mon, 32 Jan 2002 10:12:01"},       // day 32
      {false, "Mon, 7 January 2002 10:12:01"},    // a full month name
      {false, "Mon, 7 Jna 2002 10:12:01"},        // no month
      {false, "Mar, 7 Jan 2002 10:12:01"},        // a weekday that is a month name
      {false, "Mon,, 7 Jan 2002 10:12:01"},       // two commas
      {false, "Mon,\t7 Jan 2002 10:12:01"},       // a tab
      {false, "Mon, 7\tJan 2002 10:12:01"},       // a tab
      {false, "Mon, 7, Jan 2002 10:12:01"},       // a comma after the day
      {false, "Monday, 7 Jan 2002 10:12:01"},     // a long weekday
      {false, "\tMon, 7 Jan 2002 10:12:01"},      // a leading tab reads as day 0
      {false, "M0n, 7 Jan 2002 10:12:01"},        // a digit in the weekday
      {false, "Mon Jan 7 10:12:01 GMT 2002"},     // a word that is no zone
      {false, "Mon Jan 7 10:12:01 +01000 2002"},  // a zone too long
      {false, "Mon Jan 7 10:12:01 2002:00"},      // a colon after the year
      {false, "Mon Jan 7 2002 10:12:01"},         // the year before the time
      {false, "12/25/99 10:12:01"},               // slashes
      {false, ""},
      {true, "Mon Jan  7 10:12:01 2002 remote from x"},
      {true, "Mon Jan  7 10:12:01 2002,"},       // a comma the full reading allows
      {true, "Mon Jan  7 10:12:01 2002\n"},      // as it allows a line end
      {true, "Xyz Jan  7 10:12:01 2002"},        // no weekday
      {true, "Mon, 7 Jan 2002 10:12:01 +0100"},  // a zone after the date
      {true, "Mon Jan  7 10:12:01 (Est) 2002"},  // a zone not in capitals
      {true, "Mon Jan  7 10:12 remote-from-host 2002"},
  };
  for (const auto& c : cases) {
    MessageDate got = kUntouched;
    EXPECT_FALSE(parseUsualDate(c.text, &got, c.strict, kCurrentYear)) << '"' << c.text << '"';
    EXPECT_EQ(describe(got), kUntouchedText) << '"' << c.text << '"';
    expectAsInFull(c.text, c.strict);
  }
}

TEST(DateTest, TheFixedWidthsTakeTheUsualLayoutsAsTheyAreNearlyAlwaysWritten) {
  // A text the fixed-width reading takes (want is its date) is the common
  // case it is there for; one it leaves (want empty) goes on to the token
  // readings. Either way parseDate gives what the full reading gives.
  const DateCase cases[] = {
      {false, "Mon, 7 Jan 2002 10:12:01 +0100", "2002-1-7 10:12:1"},
      {false, "Tue, 01 Jan 2002 09:05:07 -0500 (EST)", "2002-1-1 9:5:7"},
      {false, "sun, 28 JAN 2007 04:18:39", "2007-1-28 4:18:39"},
      {false, "Sat, 31 Dec 1999 23:59:59\r\n", "1999-12-31 23:59:59"},
      {false, "Fri, 9 Feb 2001 00:00:00,x", "2001-2-9 0:0:0"},
      {true, "Mon Jan  7 10:12:01 2002", "2002-1-7 10:12:1"},
      {true, "Sun Dec 28 23:59:59 1997  ", "1997-12-28 23:59:59"},
      {true, "Mon Jan 7 10:12:01 2002", "2002-1-7 10:12:1"},
      {false, "Mon Jan  7 10:12:01 2002 remote from x", "2002-1-7 10:12:1"},
      {false, "Mon,  7 Jan 2002 10:12:01", ""},      // two spaces
      {false, "Mon, 7 Jan 02 10:12:01 +0100", ""},   // a two-digit year
      {false, "Mon, 7 Jan 2002 10:12 +0100", ""},    // no seconds
      {false, "Mon, 7 Jan 2002 1:12:01 +0100", ""},  // a one-digit hour
      {false, "Mar, 7 Jan 2002 10:12:01", ""},       // a weekday that is a month
      {false, "Xyz, 7 Jan 2002 10:12:01", ""},       // no weekday
      {false, "Mon, 7 Jan 2002 10:12:01x", ""},      // the time goes on
      {false, "Mon, 0 Jan 2002 10:12:01", ""},       // day 0
      {false,
       "Mon, 7 Jan 2\xc3"
       "02 10:12:01",
       ""},                                          // a byte above 0x7f
      {true, "Mon Jan  7 10:12:01 +0100 2002", ""},  // a zone
      {true, "Mon Jan  7 10:12:01 2002 x", ""},      // a word after the year
      {true, "Xyz Jan  7 10:12:01 2002", ""},        // no weekday in strict mode
      // Each layout at each width of its day, the year's four digits at
      // their extremes, and the byte after the date.
      {false, "Sun, 8 Jan 2007 04:18:39", "2007-1-8 4:18:39"},
      {false, "Sun, 28 Jan 2007 04:18:39", "2007-1-28 4:18:39"},
      {false, "Sun, 28 Jan 0999 04:18:39", "2899-1-28 4:18:39"},  // completed
      {false, "Sun, 28 Jan 0000 04:18:39", "2000-1-28 4:18:39"},
      {false, "Sun, 28 Jan 9999 99:99:99", "9999-1-28 99:99:99"},
      {false, "Sun, 31 Jan 1000 00:00:00\t", "1000-1-31 0:0:0"},
      {false, "Sun, 28 Jan 2007 04:18:39\n", "2007-1-28 4:18:39"},
      {false, "Sun, 28 Jan 2007 04:18:39x", ""},
      {false, "Sun, 28 Jan,2007 04:18:39", ""},  // no space after the month
      {false, "Sun, 28 Sun 2007 04:18:39", ""},  // a weekday for the month
      {false, "Sun, 28 Mar 2007 04:18:39", "2007-3-28 4:18:39"},
      {false, "Sun,  8 Jan 2007 04:18:39", ""},
      {false, "Sun, 8  Jan 2007 04:18:39", ""},
      {false, "Sun; 28 Jan 2007 04:18:39", ""},
      {true, "Sun Jan 8 04:18:39 2007", "2007-1-8 4:18:39"},
      {true, "Sun Jan  8 04:18:39 2007", "2007-1-8 4:18:39"},
      {true, "Sun Jan 28 04:18:39 2007", "2007-1-28 4:18:39"},
      {true, "Sun Jan  28 04:18:39 2007", "2007-1-28 4:18:39"},
      {true, "Sun Jan   8 04:18:39 2007", ""},  // three spaces
      {true, "Sun Jan 28 04:18:39 0999", "2899-1-28 4:18:39"},
      {true, "Sun Jan 08 04:18:39 2007 ", "2007-1-8 4:18:39"},
      {true, "Sun Jan 8 04:18:39 2007 x", ""},
      {true, "Sun Jan 8 04:18:39 20070", ""},
      {true, "Sun Jan 38 04:18:39 2007", ""},  // day 38
      {true, "Sun Jan 00 04:18:39 2007", ""},
      {true, "Sun Jan,  8 04:18:39 2007", ""},
      {false, "Sun Jan  8 04:18:39 2007,", "2007-1-8 4:18:39"},
      {false, "Sun Jan  8 04:18:39 2007remote", ""},
  };
  for (const auto& c : cases) {
    MessageDate got = kUntouched;
    const bool taken = parseFixedWidthDate(c.text, &got, c.strict, kCurrentYear);
    EXPECT_EQ(taken, *c.want != '\0') << '"' << c.text << '"';
    EXPECT_EQ(describe(got), taken ? c.want : kUntouchedText) << '"' << c.text << '"';
    expectAsInFull(c.text, c.strict);
  }
}

TEST(DateTest, EveryVariantOfTheUsualLayoutsReadsAsInFull) {
  // Usual dates with bytes replaced, inserted or removed at random, in both
  // modes, around several current years: parseDate, with its shortcut, must
  // always say what the full reading says. The bytes are the ones the
  // readings treat differently.
  const std::string seeds[] = {
      "Mon, 7 Jan 2002 10:12:01 +0100", "Tue, 01 Jan 2002 09:05:07 -0500 (EST)",
      "14 Mar 11 16:20 +0000",          "Mon Jan  7 10:12:01 2002",
      "Thu Sep  5 11:02:45 +0100 1996", "sab mar 2 08:09 (CET) 02",
      "Sun Dec 28 23:59:59 1997",       "Sat, 31 Dec 1999 23:59:59",
  };
  const std::string_view alphabet("0123456789 :/,\t\r\n+-()aAJnMrZ\xc3\0", 30);
  const int32_t years[] = {2002, 2060, INT32_MAX};
  uint64_t state = 12345;
  auto next = [&state](uint64_t below) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return (state >> 33) % below;
  };
  int shortcutTaken = 0, variants = 0;
  for (const std::string& seed : seeds) {
    for (int round = 0; round < 3000; ++round) {
      std::string text = seed;
      for (uint64_t edits = 1 + next(3); edits > 0; --edits) {
        const size_t at = next(text.size() + 1);
        const char byte = alphabet[next(alphabet.size())];
        switch (next(3)) {
          case 0:
            if (at < text.size()) text[at] = byte;
            break;
          case 1:
            text.insert(at, 1, byte);
            break;
          default:
            if (at < text.size()) text.erase(at, 1);
            break;
        }
      }
      for (bool strict : {false, true}) {
        for (int32_t year : years) {
          MessageDate date;
          const std::string got = outcome(parseDate(text, &date, strict, year), date);
          ASSERT_EQ(got, fullReading(text, strict, year))
              << '"' << text << "\" strict " << strict << " in " << year;
          shortcutTaken += parseUsualDate(text, nullptr, strict, year);
          MessageDate fixed;
          if (parseFixedWidthDate(text, &fixed, strict, year)) {
            ASSERT_EQ(outcome(true, fixed), got) << '"' << text << "\" strict " << strict;
          }
          ++variants;
        }
      }
    }
  }
  // The variants reach both readings.
  EXPECT_GT(shortcutTaken, variants / 10);
  EXPECT_LT(shortcutTaken, variants * 9 / 10);
}

TEST(DateTest, EveryByteOfTheUsualLayoutsOneBitOffReadsAsInFull) {
  // The fixed widths test a byte by xor'ing it with its layout's and
  // bounding the result: a byte one bit away from what the layout has
  // there, a digit one bit away from another or from no digit, is where
  // that test would err. Every byte of each layout and width, at each of
  // its eight bits, in both modes: parseDate reads the text as in full,
  // and the fixed widths, where they take it, give the full reading's date.
  const std::string dates[] = {
      "Sun, 8 Jan 2007 04:18:39", "Sun, 28 Jan 2007 04:18:39 +0100", "Sun Jan 8 04:18:39 2007",
      "Sun Jan  8 04:18:39 2007", "Sun Jan 28 04:18:39 2007",        "Sun Jan  28 04:18:39 2007",
  };
  int taken = 0, declined = 0;
  for (const std::string& date : dates) {
    for (size_t at = 0; at < date.size(); ++at) {
      for (int bit = 0; bit < 8; ++bit) {
        std::string text = date;
        text[at] = static_cast<char>(text[at] ^ (1 << bit));
        for (bool strict : {false, true}) {
          MessageDate full;
          const std::string want =
              outcome(parseDateInFull(text, &full, strict, kCurrentYear), full);
          MessageDate got;
          ASSERT_EQ(outcome(parseDate(text, &got, strict, kCurrentYear), got), want)
              << '"' << text << "\" strict " << strict;
          MessageDate fixed;
          if (parseFixedWidthDate(text, &fixed, strict, kCurrentYear)) {
            ASSERT_EQ(outcome(true, fixed), want) << '"' << text << "\" strict " << strict;
            ++taken;
          } else {
            ++declined;
          }
        }
      }
    }
  }
  // Letters of other case and digits of other values stay on the fixed
  // widths; most other bytes leave them.
  EXPECT_GT(taken, 100);
  EXPECT_GT(declined, taken);
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
