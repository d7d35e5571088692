#include "platform/directory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class DirectoryTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnak-directory-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string root_;
};

TEST_F(DirectoryTest, StatusFollowsLinksToTheirTarget) {
  fs::create_directory(root_ + "/dir");
  std::ofstream(root_ + "/file") << "x";
  fs::create_directory_symlink(root_ + "/dir", root_ + "/link");
  fs::create_symlink(root_ + "/nowhere", root_ + "/dangling");

  std::optional<PathStatus> dir = queryStatus(root_ + "/dir");
  std::optional<PathStatus> link = queryStatus(root_ + "/link");
  std::optional<PathStatus> file = queryStatus(root_ + "/file");
  ASSERT_TRUE(dir && link && file);
  EXPECT_TRUE(dir->isDirectory);
  EXPECT_TRUE(link->isDirectory);
  EXPECT_FALSE(file->isDirectory);
  EXPECT_EQ(link->identity, dir->identity);
  EXPECT_FALSE(file->identity == dir->identity);
  EXPECT_FALSE(queryStatus(root_ + "/dangling"));
}

TEST_F(DirectoryTest, APathWithANulByteNamesNothing) {
  // Cut at the NUL, these would name the existing directory.
  std::string path = root_ + std::string("\0/missing", 9);
  EXPECT_FALSE(queryStatus(path));
  EXPECT_FALSE(openDirectory(path));
}

}  // namespace
