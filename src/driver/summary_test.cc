#include "driver/summary.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// The value of the line "name: value" in `text`, or "missing".
std::string valueOf(const std::string& text, const std::string& name) {
  size_t at = text.find("\n" + name + ": ");
  if (at == std::string::npos) return "missing";
  at += name.size() + 3;
  return text.substr(at, text.find('\n', at) - at);
}

TEST(SummaryTest, TotalsAddUpAndNumbersAreGrouped) {
  RunTally tally;
  tally.mailboxFiles = 2;
  tally.notMailFiles = 1;
  tally.unreadable = 1;
  tally.sent = 999;
  tally.received = 1234567;
  tally.withoutDate = 1;
  tally.skipped = 433;
  RunOptions options;
  std::string text = formatTally(tally, options);
  const struct {
    const char* name;
    const char* value;
  } lines[] = {
      {"files", "4"},
      {"messages", "1,236,000"},
      {"messages counted", "1,235,566"},
      {"messages counted as sent", "999"},
      {"messages skipped as MAILER-DAEMON or empty", "433"},
      {"report shows", "all counted messages"},
  };
  for (const auto& l : lines)
    EXPECT_EQ(valueOf(text, l.name), l.value) << l.name;
  EXPECT_EQ(text.find("hint:"), std::string::npos);
}

// Entries refused for depth are files of a group of their own.
TEST(SummaryTest, EntriesTooDeepAreAFileGroup) {
  RunTally tally;
  tally.packedFiles = 15;
  tally.packedTooDeep = 16;
  tally.mailboxFiles = 1;
  std::string text = formatTally(tally, RunOptions{});
  EXPECT_EQ(valueOf(text, "files"), "32");
  EXPECT_EQ(valueOf(text, "files passed over as packed more than 4 levels deep"), "16");
  EXPECT_EQ(text.find("hint:"), std::string::npos);
}

TEST(SummaryTest, HintsNameTheOptionThatReadsWhatWasPassedOver) {
  const struct {
    bool unpack, maildir, lists, me;
    const char* hints;  // the options the hints name, in order
  } cases[] = {
      {false, false, false, false, "-unpack -maildir -lists -me=YOUR"},
      {true, false, false, false, "-maildir -lists -me=YOUR"},
      {true, true, true, false, "-me=YOUR"},
      {true, true, true, true, ""},
  };
  RunTally tally;
  tally.packedSkipped = 1;
  tally.messageFilesSkipped = 1;
  tally.listLines = 1;
  tally.gmailLabelled = 1;
  for (const auto& c : cases) {
    RunOptions options;
    options.unpack = c.unpack;
    options.maildir = c.maildir;
    options.lists = c.lists;
    if (c.me) options.me = {"dana@example.com"};
    std::string text = formatTally(tally, options);
    std::string named;
    for (size_t at = text.find("hint: "); at != std::string::npos; at = text.find("hint: ", at + 1))
      named += (named.empty() ? "" : " ") + text.substr(at + 6, text.find(' ', at + 6) - at - 6);
    EXPECT_EQ(named, c.hints);
  }
}

// The lines of -unique, -exclude and the hidden folders appear only where
// they can say something; the groups they join still add up.
TEST(SummaryTest, NewerLinesAppearOnlyWhereTheySaySomething) {
  RunTally tally;
  tally.mailboxFiles = 1;
  tally.sent = 3;
  RunTally repeated = tally;
  repeated.repeats = 2;
  RunTally unique = tally;
  unique.copies = 2;
  unique.repeats = 2;
  unique.withoutMessageId = 1;
  RunTally walked = tally;
  walked.excluded = 4;
  walked.hiddenFolders = 5;
  RunOptions plain;
  RunOptions withUnique;
  withUnique.unique = true;
  RunOptions withExclude;
  withExclude.exclude = {"Spam*"};
  const struct {
    const RunTally& tally;
    const RunOptions& options;
    const char* values;  // files, messages, then the four lines, then the hint
  } cases[] = {
      {tally, plain, "1 3 missing missing missing missing missing no hint"},
      {repeated, plain, "1 3 missing missing missing 2 missing hint"},
      {unique, withUnique, "1 5 2 1 missing missing missing no hint"},
      {tally, withExclude, "1 3 missing missing missing missing 0 no hint"},
      {walked, withExclude, "5 3 missing missing 5 missing 4 no hint"},
  };
  for (const auto& c : cases) {
    std::string text = formatTally(c.tally, c.options);
    std::string got;
    for (const char* name : {"files", "messages", "messages skipped as copies",
                             "messages without a Message-ID", "hidden folders passed over",
                             "messages repeating an earlier one", "files left out by -exclude"})
      got += valueOf(text, name) + " ";
    got += text.find("hint: -unique counts each message once\n") != std::string::npos ? "hint"
                                                                                      : "no hint";
    EXPECT_EQ(got, c.values);
  }
  EXPECT_EQ(valueOf(formatTally(walked, plain), "hidden folders passed over"), "5");
}

}  // namespace
