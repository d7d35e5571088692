#include "read/message_file.h"

#include <string>

#include <gtest/gtest.h>

#include "common/verdict_test_util.h"

namespace {

TEST(MessageFileTest, RecognisesAHeaderFieldOnTheFirstLine) {
  const TextVerdict heads[] = {
      {"Return-Path: <a@b>\n", true},
      {"X-Odd!Name~: 1", true},
      {"Date:", true},
      {"From: jane@example.com\n", true},
      {"From jane@example.com Mon Jan  7 10:12:01 2002\n", false},
      {": no name\n", false},
      {"Two words: no\n", false},
      {"\tFolded: no\n", false},
      {"Name\n: late colon\n", false},
      {"Nam\xe9: 8-bit\n", false},
      {"Subject", false},  // the colon may be past the bytes given: not known yet
      {"", false},
  };
  expectVerdicts(heads, startsWithHeaderField);
}

TEST(MessageFileTest, ReadsTheEmlxCountLine) {
  const struct {
    std::string head;
    size_t lineLength;  // 0: not an .emlx start
    uint64_t messageLength;
  } cases[] = {
      {"1234\nReturn-Path: x\n", 5, 1234},
      {"  87      \nDate: x\n", 11, 87},
      {"12\r\n", 4, 12},
      {"0\n", 2, 0},
      {"99999999999999999999999\n", 0, 0},  // longer than any count we take
      {"12 34\n", 0, 0},
      {"12", 0, 0},
      {"x12\n", 0, 0},
      {"\n", 0, 0},
  };
  for (const auto& c : cases) {
    std::optional<EmlxStart> start = readEmlxStart(c.head);
    EXPECT_EQ(start.has_value(), c.lineLength != 0) << '"' << c.head << '"';
    if (!start || c.lineLength == 0) continue;
    EXPECT_EQ(start->countLineLength, c.lineLength) << '"' << c.head << '"';
    EXPECT_EQ(start->messageLength, c.messageLength) << '"' << c.head << '"';
  }
}

}  // namespace
