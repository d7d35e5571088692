#include "platform/directory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

TEST(DirectoryTest, StatusFollowsLinksAndANulByteNamesNothing) {
  std::string root = (fs::temp_directory_path() / "varnak-directory-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(root.data()), nullptr);
  fs::create_directory(root + "/dir");
  std::ofstream(root + "/file") << "x";
  fs::create_directory_symlink(root + "/dir", root + "/link");
  fs::create_symlink(root + "/nowhere", root + "/dangling");

  std::optional<PathStatus> dir = queryStatus(root + "/dir");
  std::optional<PathStatus> link = queryStatus(root + "/link");
  std::optional<PathStatus> file = queryStatus(root + "/file");
  ASSERT_TRUE(dir && link && file);
  EXPECT_TRUE(dir->isDirectory && link->isDirectory);
  EXPECT_FALSE(file->isDirectory);
  // The walk's cycle guard compares these identities.
  EXPECT_EQ(link->identity, dir->identity);
  EXPECT_FALSE(file->identity == dir->identity);
  EXPECT_FALSE(queryStatus(root + "/dangling"));
  // Cut at the NUL, this would name the existing directory.
  std::string nul = root + std::string("\0/missing", 9);
  EXPECT_FALSE(queryStatus(nul));
  EXPECT_FALSE(openDirectory(nul));
  fs::remove_all(root);
}

}  // namespace
