#include "platform/directory.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

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

}  // namespace
