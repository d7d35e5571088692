#include "read/mail_range.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/temp_dir_test_util.h"

namespace {

// Only a mailbox whose first line is a separator, as the reading that
// would read the file whole takes it, is read in ranges.
TEST(MailRangeTest, OnlyAMailboxThatOpensWithASeparatorIsReadInRanges) {
  const std::string sep = "From jane@example.com Mon Jan  7 10:12:01 2002\n";
  // A list archive's separator, which only -lists takes.
  const std::string list = "From jane at gmail.com  Tue Jan  3 10:00:00 2017\n";
  // A tar header whose entry's name is a separator, its sum as tar writes it.
  std::string tar(512, '\0');
  tar.replace(0, sep.size(), sep);
  tar.replace(257, 5, "ustar");
  tar.replace(148, 8, 8, ' ');
  unsigned sum = 0;
  for (char c : tar)
    sum += static_cast<unsigned char>(c);
  char field[8];
  std::snprintf(field, sizeof field, "%06o", sum);
  tar.replace(148, 7, field, 7);
  RunOptions plain;
  RunOptions lists;
  lists.lists = true;
  RunOptions unpack;
  unpack.unpack = true;
  RunOptions maildir;
  maildir.maildir = true;
  const struct {
    std::string head;
    const RunOptions& options;
    bool ranges;
  } cases[] = {
      {sep + "Date: x\n\nbody\n", plain, true},
      {sep + "Date: x\n\nbody\n", maildir, true},
      {"From jane@example.com Mon Jan  7 10:12:01 2002\r\nDate: x\r\n", plain, true},
      {"\n" + sep, plain, false},                         // a blank line first
      {"From the desk of jane\n\nbody\n", plain, false},  // a refused first line
      {list, plain, false},
      {list, lists, true},
      {sep.substr(0, sep.size() - 1), plain, false},  // the line goes on past the head
      {"From jane@example.com Mon Jan  7 10:12:01\x1a 2002\n", plain, false},
      {"From " + std::string(5000, 'x') + " Mon Jan  7 10:12:01 2002\n", plain, false},
      {"Date: x\n\nbody\n", maildir, false},
      {tar, plain, true},
      {tar, unpack, false},  // a tar archive whose first entry is named so
  };
  for (const auto& c : cases)
    EXPECT_EQ(readsInRanges(c.head, c.options), c.ranges) << c.head;
}

class MailRangeFileTest : public TempDirTest {
 protected:
  std::vector<uint64_t> startsOf(const std::string& content, uint64_t rangeBytes) {
    std::string path = root_ + "/box";
    std::ofstream(path, std::ios::binary) << content;
    PathStatus status;
    status.isRegular = true;
    status.size = content.size();
    std::optional<OpenFile> file = openForReading(path, status);
    EXPECT_TRUE(file.has_value());
    if (!file) return {};
    std::vector<uint64_t> starts = rangeStarts(*file, content.size(), rangeBytes);
    closeFile(*file);
    return starts;
  }
};

// Each range after the first begins at the first cut at or after its
// multiple of the range size; a stretch without one joins the next range.
TEST_F(MailRangeFileTest, RangesBeginAtTheFirstCutAfterEachMultipleOfTheirSize) {
  std::string box = "From a!b 1: x\nDate: 1\n\n";
  for (int i = 0; i < 40; ++i)
    box += "line " + std::to_string(i) + "\n" + (i % 4 == 3 ? "\n" : "");
  std::vector<uint64_t> starts = startsOf(box, 100);
  ASSERT_GE(starts.size(), 3u);
  EXPECT_EQ(starts[0], 0u);
  for (size_t i = 1; i < starts.size(); ++i) {
    EXPECT_GT(starts[i], starts[i - 1]);
    EXPECT_LT(starts[i], box.size());
    EXPECT_EQ(box.substr(starts[i] - 2, 2), "\n\n") << starts[i];
    // The first cut at or after the multiple: none lies before it.
    uint64_t from = std::max<uint64_t>(starts[i - 1] + 1, (starts[i] - 1) / 100 * 100);
    size_t earlier = findCut(std::string_view(box).substr(from, starts[i] - 1 - from));
    EXPECT_EQ(earlier, std::string_view::npos) << starts[i];
  }
  // Without an empty line after the first, there is nowhere to cut.
  std::string flat = "From a!b 1: x\nDate: 1\n";
  for (int i = 0; i < 100; ++i)
    flat += "line\n";
  EXPECT_EQ(startsOf(flat, 64), std::vector<uint64_t>{0});
  // Nor after the last byte.
  EXPECT_EQ(startsOf("From a!b 1: x\n\n", 4), std::vector<uint64_t>{0});
}

}  // namespace
