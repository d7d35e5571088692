#include "scan/separator.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "common/verdict_test_util.h"

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

}  // namespace
