#include "mailbox/classify.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "driver/options.h"

namespace {

struct Outcome {
  std::string out;
  std::string err;
};

Outcome count(const MailMessage& message, DayTable& table, bool terse) {
  RunOptions saved = gOptions;
  gOptions.terse = terse;
  gOptions.currentYear = 2024;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  countMessage(message, table);
  std::fflush(stdout);
  Outcome outcome{testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
  gOptions = saved;
  return outcome;
}

MailMessage message(std::string from, std::string date, bool received = false, uint32_t size = 10) {
  MailMessage m;
  m.hasReceivedLine = received;
  m.fromLine = std::move(from);
  m.dateText = std::move(date);
  m.size = size;
  return m;
}

TEST(CountMessageTest, WarnsAboutMessagesItCannotDate) {
  struct Case {
    MailMessage message;
    std::string warning;
  };
  const Case cases[] = {
      {message("", "Mon, 7 Jan 2002 10:12:01"), ""},
      {message("MAILER-DAEMON", "Mon, 7 Jan 2002 10:12:01"), ""},
      {message("u x", ""), "Missing Date: ignoring message (u x)\n"},
      {message("u x", "no date here"),
       "Malformed Date: \"no date here\"... ignoring message (u x)\n"},
      {message("u x", "Mon, 7 Jan 1969 10:12:01"),
       "Year 1969 out of range... ignoring message (u x)\n"},
      {message("u x", "Mon, 7 Jan 2171 10:12:01"),
       "Year 2171 out of range... ignoring message (u x)\n"},
      // Byte strings are printed whole, NUL bytes included.
      {message(std::string("a\0b", 3), ""),
       std::string("Missing Date: ignoring message (a\0b)\n", 37)},
  };
  for (const Case& c : cases) {
    for (bool terse : {false, true}) {
      DayTable table;
      ASSERT_TRUE(table.create(1970, 201));
      Outcome outcome = count(c.message, table, terse);
      EXPECT_EQ(terse ? outcome.err : outcome.out, c.warning) << c.message.fromLine;
      EXPECT_EQ(terse ? outcome.out : outcome.err, "");
      EXPECT_EQ(table.at(2002, 0, 7).sentCount, 0u);
    }
  }
}

TEST(CountMessageTest, AddsDatedMessagesToTheirDayAndDirection) {
  DayTable table;
  ASSERT_TRUE(table.create(1970, 201));
  const MailMessage messages[] = {
      message("a!b x", "Mon, 7 Jan 2002 10:12:01", true, 100),
      message("a!b x", "Mon, 7 Jan 2002 23:59:59", true, 4294967295u),
      message("c x", "7 Jan 2002", false, 5),
      message("MAILER-DAEMON x", "Thu, 1 Jan 1970 00:00:00", false, 1),  // counted: not bare
      message("d x", "Tue, 31 Dec 2170 10:00:00", false, 2),
  };
  for (const MailMessage& m : messages)
    EXPECT_EQ(count(m, table, false).out, "");
  const DayTotals& day = table.at(2002, 0, 7);
  EXPECT_EQ(day.receivedCount, 2u);
  EXPECT_EQ(day.receivedBytes, 99u);  // wraps modulo 2^32
  EXPECT_EQ(day.sentCount, 1u);
  EXPECT_EQ(day.sentBytes, 5u);
  EXPECT_EQ(table.at(1970, 0, 1).sentCount, 1u);
  EXPECT_EQ(table.at(2170, 11, 31).sentBytes, 2u);
}

TEST(CountMessageTest, EmptyRangeRejectsEveryYear) {
  DayTable table;
  ASSERT_TRUE(table.create(2000, 0));
  EXPECT_EQ(count(message("u", "7 Jan 2000"), table, false).out,
            "Year 2000 out of range... ignoring message (u)\n");
}

}  // namespace
