#include "scan/separator.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "common/verdict_test_util.h"
#include "scan/list_separator.h"

namespace {

TEST(SeparatorTest, JudgesTheTextAfterFrom) {
  const TextVerdict lines[] = {
      // An address needs only something like a time after it.
      {" user@host.example x 10:12 y", true},
      {" a!b  x 10:", false},  // nothing after the digits
      {" host!user 10:x", false},
      {" a!b x :: ", true},
      {" a!b : x", true},      // the colon right after the spaces
      {" a!b x 1:2:3", true},  // the second colon ends the digits
      {" a!b:1 x", false},     // the colon must come after the first space
      {" a:b@c x 1: ", true},  // a colon before the address does not count
      {" a:b@c x 1 ", false},
      {" host!user ", false},
      {" a!b 10 11", false},     // no colon at all
      {" a!b\t10:12 x", false},  // a tab is no space
      // Without an address, the rest must be a date in the strict form.
      {"   user   Mon Jan  7 10:12:01 2002", true},
      {" - Mon Jan  7 10:12:01 2002", true},
      {" us:er Mon Jan  7 10:12:01 2002", true},
      {" us:er Mon Jan  7 2002", false},
      {" user   ", false},
      {" here on we disagree", false},
      {"", false},
      // MAILER-DAEMON needs no date, whatever follows the name in its word.
      {" MAILER-DAEMON", true},
      {" MAILER-DAEMONS", true},
      {" mailer-daemon Mon Jan  7 10:12:01 2002", true},  // through the date instead
      {" mailer-daemon", false},
      {" MAILER-DAEMO", false},
      {"   MAILER-DAEMON x", true},
      {" MAILER-DAEMON@host x", false},  // an address needs a time
      {std::string(" MAILER-DAEMON\0", 15), true},
      {std::string(" MAILER\0-DAEMON", 15), false},
      // The text ends at its first NUL, CR or LF.
      {std::string(" a!b x 1:\0 ", 11), false},
      {std::string(" a!b\0 x 1: ", 11), false},
      {std::string(" a!b x 1\0: ", 11), false},
      {" a!b x 1:\r ", false},
  };
  expectVerdicts(lines, isMessageSeparator);
  // The scanner's tests for lines without CR or LF, and for lines without
  // NUL, CR or LF whose first colon it has found, say the same of them.
  for (const TextVerdict& line : lines) {
    const std::string& text = line.text;
    if (text.find_first_of("\r\n") != std::string::npos) continue;
    EXPECT_EQ(isSeparatorWithoutLineEnds(text), line.verdict) << '"' << text << '"';
    if (text.find('\0') != std::string::npos) continue;
    EXPECT_EQ(isSeparatorWithColonAt(text, std::min(text.find(':'), text.size())), line.verdict)
        << '"' << text << '"';
  }
}

// A row of texts made of a fixed start, `fill` repeated, and a fixed end:
// growing the fill moves what follows it, and leading spaces move all of
// it, so that the sender's end, the blank after an address and the start
// of the date each come to lie before, on and after the ends of the
// test's vector window (its first 16 and 32 bytes) and in lines shorter
// than it.
struct MovedText {
  std::string start;
  char fill;
  std::string end;
  bool verdict;
};

// Every judge of a text says `verdict` of it; those for lines without line
// ends or without NUL only of lines that have none.
::testing::AssertionResult judgedAs(const std::string& text, bool verdict) {
  bool noLineEnds = text.find_first_of("\r\n") == std::string::npos;
  bool noNul = text.find('\0') == std::string::npos;
  if (isMessageSeparator(text) == verdict &&
      (!noLineEnds || isSeparatorWithoutLineEnds(text) == verdict) &&
      (!noLineEnds || !noNul ||
       isSeparatorWithColonAt(text, std::min(text.find(':'), text.size())) == verdict)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << (verdict ? "refused: \"" : "taken: \"") << text << '"';
}

TEST(SeparatorTest, JudgesAlikeWhereverTheWordsLie) {
  using namespace std::string_literals;
  const MovedText rows[] = {
      // The blank after an address, and the date, move.
      {" u@", 'h', " Sun Jan 28 04:18:39 2007", true},
      {" u@", 'h', " Sun Jan 28 2007", false},
      // The address's mark moves.
      {" u", 'u', "@h Sun Jan 28 04:18:39 2007", true},
      {" u", 'u', "!h x 10:x", false},
      // The first colon is where the date starts, so that the start found
      // decides whether it counts.
      {" u@", 'h', " :12 y", true},
      {" u@", 'h', " :x", false},
      {" u@h", ' ', ":12 y", true},
      {" u!h", ' ', ":", false},
      // The run of spaces after an address grows, up to the text's end.
      {" u!h", ' ', "x 10:12 y", true},
      {" u@h", ' ', "10:12 y", true},
      {" u@h", ' ', "", false},
      {" u@h x", ' ', "10 11", false},
      // The first colon lies before the address's blank: a later one counts.
      {" a:b@", 'c', " x 1: ", true},
      {" a:b@", 'c', " x 1 ", false},
      {" u@h", 'h', ": x", false},
      // The time's first digits, and what follows them.
      {" u@", 'h', " x 10:12x y", false},
      {" u@", 'h', " x 10:1x: y", false},
      {" u@", 'h', " x 10:1234:", true},
      // A tab is no blank, and bytes above 0x7f are none of the marks.
      {" u@h\t", 'x', " 10:12 y", true},
      {" u@h\t", 'x', "\t10:12 y", false},
      {" u\xc3\xa9@", '\xe9', " x 10:12 y", true},
      // Without an address, the sender's end and the date move.
      {" u", 'u', " Mon Jan  7 10:12:01 2002", true},
      {" u", 'u', " Mon Jan  7 2002", false},
      {" u", 'u', "", false},
      {" u", ' ', "Mon Jan  7 10:12:01 2002", true},
      {" u", '9', " Sun Jan 28 04:18:39 2007", true},  // no date from the sender's end
      // A mark after the sender's space makes no address of it.
      {" u", 'u', " x@y 10:12 z", false},
      {" ", 'u', " !h 10:12 y", false},
      {" MAILER-DAEMON", 'S', "", true},
      {" MAILER-DAEMON", ' ', "x", true},
      {" MAILER-DAEM", 'o', "N", false},
      {" mailer-daemon", ' ', "Mon Jan  7 10:12:01 2002", true},
      // The text ends at its first NUL, wherever the NUL lies.
      {" u@", 'h', "\0 x 10:12 y"s, false},
      {" u@h x 10", '0', "\0:12 y"s, false},
      {" u@h x 10:12 y", 'y', "\0"s, true},
      {" MAILER", '-', "\0DAEMON"s, false},
  };
  for (const MovedText& row : rows) {
    for (size_t spaces = 0; spaces <= 34; ++spaces) {
      for (size_t fill = 1; fill <= 34; ++fill) {
        std::string text =
            std::string(spaces, ' ') + row.start + std::string(fill, row.fill) + row.end;
        ASSERT_TRUE(judgedAs(text, row.verdict));
      }
    }
  }
}

// The scanner passes over a "From " line that mayBeSeparatorWithColonAt
// refuses, asking neither full test: neither may take it. Lines of either
// kind with their colons gone, and body text.
TEST(SeparatorTest, ALineTheFirstTestRefusesIsNoSeparatorOfEitherKind) {
  const std::string lines[] = {
      " bob at example.com  Tue Jan  1 10 00 00 2002",
      " bob at example.com  Tue Jan  1 10 00 2002 +0100",
      " user Mon Jan  7 10 12 01 2002",
      " a!b x 10 12",
      " mailer-daemon",
      " MAILER-DAEMO Mon Jan  7 2002",
      " here on we disagree",
      "",
  };
  for (const std::string& line : lines) {
    ASSERT_FALSE(mayBeSeparatorWithColonAt(line, line.size())) << '"' << line << '"';
    EXPECT_FALSE(isMessageSeparator(line)) << '"' << line << '"';
    EXPECT_FALSE(isListArchiveSeparator(line)) << '"' << line << '"';
  }
  // With its colons, the first is a list archive's separator.
  EXPECT_TRUE(isListArchiveSeparator(" bob at example.com  Tue Jan  1 10:00:00 2002"));
}

}  // namespace
