#include "platform/file.h"

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/temp_dir_test_util.h"

namespace {

namespace fs = std::filesystem;

class FileTest : public TempDirTest {
 protected:
  void write(const std::string& path, const std::string& text, bool append = false) const {
    std::ofstream(path, append ? std::ios::app : std::ios::trunc) << text;
  }
};

std::string readAll(OpenFile& file, size_t capacity) {
  std::string text;
  std::string buffer(capacity, '\0');
  while (size_t n = readSome(file, buffer.data(), capacity))
    text.append(buffer, 0, n);
  return text;
}

// A read that comes back short exactly at the size the status query found
// ends the file; whatever else the file holds when it is read is read.
TEST_F(FileTest, RegularFilesAreReadToTheEndTheirStatusPromised) {
  const std::string ten = "0123456789";
  const std::string full(64, 'f');
  const std::string long150(150, 'l');
  struct Case {
    const char* name;
    std::string atQuery;     // the content when the status is queried
    std::string beforeOpen;  // replaces it before the open, unless empty
    std::string afterFirst;  // appended after the first read
    std::string expected;
  };
  const Case cases[] = {
      {"ends at the known size", ten, "", "more", ten},
      {"empty", "", "", "more", ""},
      {"grown before the open", ten, ten + ten, "", ten + ten},
      {"shrunk before the open", ten, "01234", "", "01234"},
      {"a full buffer at the known size reads on", full, "", "more", full + "more"},
      {"grown while read", long150, "", "more", long150 + "more"},
  };
  const size_t capacity = 64;
  for (const Case& c : cases) {
    std::string path = root_ + "/mbox";
    write(path, c.atQuery);
    std::optional<PathStatus> status = queryStatus(path);
    ASSERT_TRUE(status) << c.name;
    ASSERT_TRUE(status->isRegular) << c.name;
    if (!c.beforeOpen.empty()) write(path, c.beforeOpen);
    std::optional<OpenFile> file = openForReading(path, *status);
    ASSERT_TRUE(file) << c.name;
    std::string buffer(capacity, '\0');
    std::string text(buffer, 0, readSome(*file, buffer.data(), capacity));
    if (!c.afterFirst.empty()) write(path, c.afterFirst, true);
    text += readAll(*file, capacity);
    closeFile(*file);
    EXPECT_EQ(text, c.expected) << c.name;
  }
}

TEST_F(FileTest, AMissingFileCannotBeOpened) {
  PathStatus regular;
  regular.isRegular = true;
  EXPECT_FALSE(openForReading(root_ + "/missing", regular));
}

// Opened through the listing of its directory, an entry reads as its path
// does; one that is not there, or whose path the system refuses as too
// long (although the name alone would do), is not opened.
TEST_F(FileTest, AListedEntryOpensAsItsPath) {
  write(root_ + "/ten", "0123456789");
  std::optional<PathStatus> status = queryStatus(root_ + "/ten");
  ASSERT_TRUE(status);
  std::optional<DirectoryListing> listing = openDirectory(root_);
  ASSERT_TRUE(listing);
  const struct {
    const char* name;
    std::string path;
    bool opens;
  } cases[] = {
      {"ten", root_ + "/ten", true},
      {"missing", root_ + "/missing", false},
      {"ten", root_ + std::string(PATH_MAX, '/') + "ten", false},
  };
  for (const auto& c : cases) {
    std::optional<OpenFile> file = openForReading(ListedEntry{*listing, c.name, c.path}, *status);
    ASSERT_EQ(file.has_value(), c.opens) << c.path.size() << " " << c.name;
    if (!file) continue;
    EXPECT_EQ(readAll(*file, 64), "0123456789");
    closeFile(*file);
  }
  closeDirectory(*listing);
}

// A file that was regular at its status query but is a named pipe by the
// time it is opened: the open must not wait for a writer, and a writer that
// comes late is waited for once it is there.
TEST_F(FileTest, APipeTakenForARegularFileIsReadLikeAPipe) {
  std::string path = root_ + "/pipe";
  write(path, "0123456789");
  std::optional<PathStatus> status = queryStatus(path);
  ASSERT_TRUE(status && status->isRegular);
  fs::remove(path);
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);

  std::optional<OpenFile> alone = openForReading(path, *status);
  ASSERT_TRUE(alone);
  EXPECT_EQ(readAll(*alone, 64), "");
  closeFile(*alone);

  std::optional<OpenFile> file = openForReading(path, *status);
  ASSERT_TRUE(file);
  int writer = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  std::thread late([writer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(::write(writer, "0123456789abc", 13), 13);
    ::close(writer);
  });
  // The pipe is empty when the first read comes, and has a writer.
  EXPECT_EQ(readAll(*file, 64), "0123456789abc");
  late.join();
  closeFile(*file);
}

}  // namespace
