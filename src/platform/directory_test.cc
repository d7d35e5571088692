#include "platform/directory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// Links, their identities and dangling ones are met by the walk's own tests
// and the end-to-end cases; a NUL byte inside a path cannot be given there.
TEST(DirectoryTest, APathWithANulByteNamesNothing) {
  std::string root = (fs::temp_directory_path() / "varnak-directory-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(root.data()), nullptr);
  // Cut at the NUL, this would name the existing directory.
  std::string path = root + std::string("\0/missing", 9);
  EXPECT_TRUE(queryStatus(root));
  EXPECT_FALSE(queryStatus(path));
  EXPECT_FALSE(openDirectory(path));
  fs::remove_all(root);
}

// The walk hands the kind and size on to the reader, which trusts a
// regular file's size to know where it ends.
TEST(DirectoryTest, TheStatusTellsRegularFilesAndTheirSize) {
  std::string root = (fs::temp_directory_path() / "varnak-directory-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(root.data()), nullptr);
  std::ofstream(root + "/seven") << "1234567";
  std::ofstream(root + "/empty");
  ASSERT_EQ(mkfifo((root + "/pipe").c_str(), 0600), 0);
  fs::create_symlink("seven", root + "/link");
  struct Case {
    std::string path;
    bool isDirectory;
    bool isRegular;
    uint64_t size;
  };
  const Case cases[] = {
      {root, true, false, 0},
      {root + "/seven", false, true, 7},
      {root + "/empty", false, true, 0},
      {root + "/link", false, true, 7},
      {root + "/pipe", false, false, 0},
      {"/dev/null", false, false, 0},
  };
  for (const Case& c : cases) {
    std::optional<PathStatus> status = queryStatus(c.path);
    ASSERT_TRUE(status) << c.path;
    EXPECT_EQ(status->isDirectory, c.isDirectory) << c.path;
    EXPECT_EQ(status->isRegular, c.isRegular) << c.path;
    EXPECT_EQ(status->size, c.size) << c.path;
  }
  EXPECT_EQ(queryStatus(root + "/link")->identity, queryStatus(root + "/seven")->identity);
  fs::remove_all(root);
}

}  // namespace
