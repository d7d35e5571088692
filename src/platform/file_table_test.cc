#include "platform/file_table.h"

#include <fstream>
#include <latch>
#include <string>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>

#include "platform/temp_dir_test_util.h"

namespace {

using FileTableTest = TempDirTest;

// A detached thread opens files where the main thread does not see them,
// and reads a file the main thread opened after the detach through the
// descriptor it adopts, which stays good once the main thread has closed
// its own.
TEST_F(FileTableTest, ADetachedThreadReadsWhatTheSharedTableOpensOnlyByAdoptingIt) {
  if (!canAdoptFiles())
    GTEST_SKIP() << "/proc shows no descriptors of this process, or the thread sanitizer's build";
  std::ofstream(root_ + "/early") << "early";
  std::ofstream(root_ + "/late") << "late bytes";
  std::latch detached(1);
  std::latch opened(1);
  std::latch adopted(1);
  std::latch closed(1);
  bool isDetached = false;
  int ownFd = -1;
  OpenFile late;
  std::optional<OpenFile> mine;
  std::string read(64, '\0');
  std::thread worker([&] {
    std::optional<SharedTable> shared = detachFileTable();
    isDetached = shared.has_value();
    if (shared) ownFd = ::open((root_ + "/early").c_str(), O_RDONLY | O_CLOEXEC);
    detached.count_down();
    opened.wait();
    if (shared && late.fd >= 0) mine = adoptFile(*shared, late);
    adopted.count_down();
    closed.wait();
    read.resize(mine ? readAt(*mine, read.data(), read.size(), 5) : 0);
    if (mine) closeFile(*mine);
    if (ownFd >= 0) ::close(ownFd);
  });
  detached.wait();
  // The number the thread got names nothing in the shared table.
  int seenHere = ownFd >= 0 ? ::fcntl(ownFd, F_GETFD) : 0;
  PathStatus status;
  status.isRegular = true;
  status.size = 10;
  std::optional<OpenFile> file = openForReading(root_ + "/late", status);
  if (file) late = *file;
  opened.count_down();
  adopted.wait();
  if (file) closeFile(late);
  closed.count_down();
  worker.join();
  ASSERT_TRUE(isDetached);
  ASSERT_GE(ownFd, 0);
  EXPECT_EQ(seenHere, -1);
  ASSERT_TRUE(file);
  ASSERT_TRUE(mine);
  EXPECT_EQ(mine->knownSize, uint64_t{10});
  EXPECT_EQ(read, "bytes");
}

}  // namespace
