#include "count/count_message.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/collected_output.h"

namespace {

// The texts are views: the tests give literals, which outlive the record.
MailMessage message(std::string_view from, std::string_view date, bool received = false,
                    uint32_t size = 10) {
  MailMessage m;
  m.hasReceivedLine = received;
  m.fromLine = from;
  m.dateText = date;
  m.size = size;
  return m;
}

// What counting the message prints; the warnings go to standard output
// outside -terse, and nothing goes to standard error.
std::string count(const MailMessage& message, DayTable& table) {
  RunOptions options;
  options.currentYear = 2024;
  CollectedOutput output;
  countMessage(message, options, output, table);
  EXPECT_EQ(output.text(Stream::err), "");
  return output.text(Stream::out);
}

TEST(CountMessageTest, DropsMessagesWithoutASenderAndPrintsBytesWhole) {
  const struct {
    MailMessage message;
    std::string warning;
  } cases[] = {
      {message("", "Mon, 7 Jan 2002 10:12:01"), ""},  // dropped without a word
      {message("MAILER-DAEMON", "Mon, 7 Jan 2002 10:12:01"), ""},
      // Byte strings are printed whole, NUL bytes included.
      {message(std::string_view("a\0b", 3), ""),
       std::string("Missing Date: ignoring message (a\0b)\n", 37)},
  };
  for (const auto& c : cases) {
    DayTable table;
    ASSERT_TRUE(table.create(1970, 201));
    EXPECT_EQ(count(c.message, table), c.warning) << c.message.fromLine;
    EXPECT_EQ(table.at(2002, 0, 7).sentCount, 0u);
  }
}

TEST(CountMessageTest, AddsDatedMessagesToTheirDayAndDirection) {
  DayTable table;
  ASSERT_TRUE(table.create(1970, 201));
  EXPECT_EQ(count(message("a!b x", "Mon, 7 Jan 2002 10:12:01", true, 100), table), "");
  EXPECT_EQ(count(message("c x", "7 Jan 2002", false, 5), table), "");
  // Only a bare MAILER-DAEMON line is dropped.
  EXPECT_EQ(count(message("MAILER-DAEMON x", "1 Jan 1970", false, 1), table), "");
  const DayTotals& day = table.at(2002, 0, 7);
  EXPECT_EQ(day.receivedCount, 1u);
  EXPECT_EQ(day.receivedBytes, 100u);
  EXPECT_EQ(day.sentCount, 1u);
  EXPECT_EQ(day.sentBytes, 5u);
  EXPECT_EQ(table.at(1970, 0, 1).sentCount, 1u);
}

// Each fate adds one to its own group of the tally and to no other.
TEST(CountMessageTest, EachFateIsTalliedInItsOwnGroup) {
  const struct {
    MessageFate fate;
    uint64_t RunTally::*group;
  } cases[] = {
      {MessageFate::sent, &RunTally::sent},
      {MessageFate::received, &RunTally::received},
      {MessageFate::withoutDate, &RunTally::withoutDate},
      {MessageFate::malformedDate, &RunTally::malformedDate},
      {MessageFate::outOfRange, &RunTally::outOfRange},
      {MessageFate::skipped, &RunTally::skipped},
      {MessageFate::copy, &RunTally::copies},
  };
  for (const auto& c : cases) {
    RunTally tally;
    tallyMessage(c.fate, tally);
    tallyMessage(c.fate, tally);
    EXPECT_EQ(tally.*c.group, 2u) << static_cast<int>(c.fate);
    EXPECT_EQ(tally.messages(), 2u) << static_cast<int>(c.fate);
  }
}

// Each message that is not counted gets one warning naming it, and its
// fate; under -terse the warning goes to standard error instead, so that
// standard output stays the report.
TEST(CountMessageTest, WarnsOfEachMessageItDoesNotCount) {
  const struct {
    MailMessage message;
    MessageFate fate;
    std::string warning;
  } cases[] = {
      {message("a x", ""), MessageFate::withoutDate, "Missing Date: ignoring message (a x)\n"},
      {message("b x", "no date at all"), MessageFate::malformedDate,
       "Malformed Date: \"no date at all\"... ignoring message (b x)\n"},
      {message("c x", "7 Jan 2300"), MessageFate::outOfRange,
       "Year 2300 out of range... ignoring message (c x)\n"},
      {message("d x", "7 Jan 2002"), MessageFate::sent, ""},
      {message("e x", "7 Jan 2002", true), MessageFate::received, ""},
      {message("", ""), MessageFate::skipped, ""},
  };
  for (bool terse : {false, true}) {
    for (const auto& c : cases) {
      DayTable table;
      ASSERT_TRUE(table.create(1970, 201));
      RunOptions options;
      options.currentYear = 2024;
      options.terse = terse;
      CollectedOutput output;
      EXPECT_EQ(countMessage(c.message, options, output, table), c.fate) << c.message.fromLine;
      EXPECT_EQ(output.text(terse ? Stream::err : Stream::out), c.warning) << c.message.fromLine;
      EXPECT_EQ(output.size(), c.warning.size()) << c.message.fromLine;
    }
  }
}

// With sightings, a message that repeats an earlier one (same Message-ID
// and Date) is a copy under -unique, skipped before it is dated and without
// a word; without -unique it is counted and only noted. Messages without an
// ID, and those dropped before any look, are never copies.
TEST(CountMessageTest, RepeatsAreCopiesOnlyUnderUnique) {
  auto withId = [](std::string_view from, std::string_view date, std::string_view id) {
    MailMessage m = message(from, date);
    m.hasMessageId = !id.empty();
    m.messageId = id;
    return m;
  };
  const std::vector<MailMessage> run = {
      withId("a x", "7 Jan 2002", " <one@x>"),
      withId("b x", "7 Jan 2002", "one@x"),    // a copy of the first
      withId("c x", "8 Jan 2002", "<one@x>"),  // another date: another message
      withId("d x", "someday", "<bad@x>"),
      withId("e x", "someday", "<bad@x>"),  // a copy: no second warning under -unique
      withId("f x", "7 Jan 2002", ""),      // no ID
      withId("g x", "7 Jan 2002", ""),
      withId("MAILER-DAEMON", "7 Jan 2002", "<one@x>"),
  };
  const struct {
    bool unique;
    std::vector<MessageFate> fates;
    size_t warnings;
  } cases[] = {
      {true,
       {MessageFate::sent, MessageFate::copy, MessageFate::sent, MessageFate::malformedDate,
        MessageFate::copy, MessageFate::sent, MessageFate::sent, MessageFate::skipped},
       1},
      {false,
       {MessageFate::sent, MessageFate::sent, MessageFate::sent, MessageFate::malformedDate,
        MessageFate::malformedDate, MessageFate::sent, MessageFate::sent, MessageFate::skipped},
       2},
  };
  for (const auto& c : cases) {
    DayTable table;
    ASSERT_TRUE(table.create(1970, 201));
    RunOptions options;
    options.currentYear = 2024;
    options.unique = c.unique;
    CollectedOutput output;
    Sightings sightings;
    std::vector<MessageFate> fates;
    for (const MailMessage& m : run)
      fates.push_back(countMessage(m, options, output, table, &sightings));
    EXPECT_EQ(fates, c.fates) << c.unique;
    EXPECT_EQ(sightings.repeats, 2u) << c.unique;
    EXPECT_EQ(sightings.withoutId, 2u) << c.unique;
    size_t warnings = 0;
    for (char ch : output.text(Stream::out))
      warnings += ch == '\n';
    EXPECT_EQ(warnings, c.warnings) << c.unique;
  }
}

}  // namespace
