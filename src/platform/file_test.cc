#include "platform/file.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string makeTempDir() {
  char pattern[] = "/tmp/varnak-file-test-XXXXXX";
  char* dir = mkdtemp(pattern);
  return dir ? dir : "";
}

TEST(FileTest, PipeWithoutWriterReadsAsEmptyInsteadOfHanging) {
  std::string dir = makeTempDir();
  ASSERT_FALSE(dir.empty());
  std::string fifo = dir + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  int fd = openForReading(fifo);
  ASSERT_GE(fd, 0);
  char buffer[16];
  EXPECT_EQ(readSome(fd, buffer, sizeof buffer), 0u);
  closeFile(fd);

  unlink(fifo.c_str());
  rmdir(dir.c_str());
}

TEST(FileTest, MissingFileCannotBeOpened) {
  EXPECT_EQ(openForReading("/nonexistent/varnak/file"), -1);
}

}  // namespace
