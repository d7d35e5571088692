#include "scan/list_separator.h"

#include <string>

#include <gtest/gtest.h>

#include "common/verdict_test_util.h"
#include "scan/separator.h"

namespace {

TEST(ListSeparatorTest, AcceptsLinesEndingInACtimeDate) {
  const TextVerdict lines[] = {
      {" jane at example.com  Tue Jan  3 10:00:00 2017", true},
      {" Jane Doe <jane@example.com> Tue Jan  3 10:00:00 2017", true},
      {" uunet!host!bob Tue Jul 11 08:08:46 EDT 1989", true},
      {" bob Tue Jul 11 08:08:46 1989 -0400", true},
      {" bob Tue Jul 11 08:08:46 +0200 1989 \t ", true},
      {" bob Tue Jul 11 08:08 1989", true},
      {" bob Tue Jul 1 8:08 1989", true},
      {" bob Mon Jan  3 10:00:00 Tue Jan  3 10:00:00 2017", true},  // the last date counts
      {std::string(" a at b.org Tue Jan  3 10:00:00 2017\0junk", 40), true},
      // Prose, and dates that are not quite ctime.
      {" here on we disagree", false},
      {" jane at example.com  Tue Jan  3 10:00:00 2017 and more", false},
      {" jane Tue Jan  3 10:00:00 17", false},
      {" jane Tue Jan  3 10:00:00 20170", false},
      {" jane tue jan  3 10:00:00 2017", false},
      {" jane Tue Jan 123 10:00:00 2017", false},
      {" jane Tue Jan  3 10:0 2017", false},
      {" jane Tue Jan  3 10:00:00 EDT 2017 EDT", false},
      {" jane Tue Jan  3 10:00:00 Edt 2017", false},
      {" jane Tue Jan  3 10:00:00 ABCDEF 2017", false},
      {" jane Tue Jan  3 10:00:00 +020 2017", false},
      {" jane Tue Jan  3 10:00:00 2017EDT", false},
      {" jane TueJan  3 10:00:00 2017", false},
      {" jane xTue Jan  3 10:00:00 2017", false},
      {"", false},
  };
  expectVerdicts(lines, isListArchiveSeparator);
}

// The lines pipermail writes are exactly those the separator test refuses
// when the domain word is taken for a bad date word.
TEST(ListSeparatorTest, TakesThePipermailLinesTheSeparatorTestRefuses) {
  const std::string line = " jane at gmail.com  Sun Jan  8 10:00:00 2017";
  EXPECT_FALSE(isMessageSeparator(line));
  EXPECT_TRUE(isListArchiveSeparator(line));
}

}  // namespace
