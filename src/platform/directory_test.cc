#include "platform/directory.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/temp_dir_test_util.h"

namespace {

namespace fs = std::filesystem;

class DirectoryTest : public TempDirTest {};

// Links, their identities and dangling ones are met by the walk's own tests
// and the end-to-end cases; a NUL byte inside a path cannot be given there.
TEST_F(DirectoryTest, APathWithANulByteNamesNothing) {
  // Cut at the NUL, this would name the existing directory.
  std::string path = root_ + std::string("\0/missing", 9);
  EXPECT_TRUE(queryStatus(root_));
  EXPECT_FALSE(queryStatus(path));
  EXPECT_FALSE(openDirectory(path));
}

// The walk hands the kind and size on to the reader, which trusts a
// regular file's size to know where it ends.
TEST_F(DirectoryTest, TheStatusTellsRegularFilesAndTheirSize) {
  std::ofstream(root_ + "/seven") << "1234567";
  std::ofstream(root_ + "/empty");
  ASSERT_EQ(mkfifo((root_ + "/pipe").c_str(), 0600), 0);
  fs::create_symlink("seven", root_ + "/link");
  struct Case {
    std::string path;
    bool isDirectory;
    bool isRegular;
    uint64_t size;
  };
  const Case cases[] = {
      {root_, true, false, 0},
      {root_ + "/seven", false, true, 7},
      {root_ + "/empty", false, true, 0},
      {root_ + "/link", false, true, 7},
      {root_ + "/pipe", false, false, 0},
      {"/dev/null", false, false, 0},
  };
  for (const Case& c : cases) {
    std::optional<PathStatus> status = queryStatus(c.path);
    ASSERT_TRUE(status) << c.path;
    EXPECT_EQ(status->isDirectory, c.isDirectory) << c.path;
    EXPECT_EQ(status->isRegular, c.isRegular) << c.path;
    EXPECT_EQ(status->size, c.size) << c.path;
  }
  EXPECT_EQ(queryStatus(root_ + "/link")->identity, queryStatus(root_ + "/seven")->identity);
}

// Reached through the listing of its directory, an entry has the status
// its path has, a missing one none; a path the system refuses as too long
// is refused through the listing too, although the name alone would do.
TEST_F(DirectoryTest, AListedEntryHasTheStatusOfItsPath) {
  std::ofstream(root_ + "/seven") << "1234567";
  fs::create_directory(root_ + "/sub");
  fs::create_symlink("seven", root_ + "/link");
  fs::create_symlink("sub", root_ + "/dirlink");
  fs::create_symlink("nowhere", root_ + "/dangling");
  ASSERT_EQ(mkfifo((root_ + "/pipe").c_str(), 0600), 0);
  std::optional<DirectoryListing> listing = openDirectory(root_);
  ASSERT_TRUE(listing);
  for (const char* name : {"seven", "sub", "link", "dirlink", "dangling", "pipe", "missing"}) {
    std::string path = root_ + "/" + name;
    std::optional<PathStatus> byPath = queryStatus(path);
    std::optional<PathStatus> byEntry = queryStatus(ListedEntry{*listing, name, path});
    ASSERT_EQ(byEntry.has_value(), byPath.has_value()) << name;
    if (!byPath) continue;
    EXPECT_EQ(byEntry->isDirectory, byPath->isDirectory) << name;
    EXPECT_EQ(byEntry->isRegular, byPath->isRegular) << name;
    EXPECT_EQ(byEntry->size, byPath->size) << name;
    EXPECT_EQ(byEntry->identity, byPath->identity) << name;
  }
  std::string tooLong = root_ + std::string(PATH_MAX, '/') + "seven";
  EXPECT_FALSE(queryStatus(tooLong));
  EXPECT_FALSE(queryStatus(ListedEntry{*listing, "seven", tooLong}));
  closeDirectory(*listing);
}

// The listing's word on an entry's kind: a regular file is one, and a link
// to one is not (its target is what a status query follows).
TEST_F(DirectoryTest, TheListingTellsARegularFileFromEverythingElse) {
  std::ofstream(root_ + "/seven") << "1234567";
  fs::create_directory(root_ + "/sub");
  fs::create_symlink("seven", root_ + "/link");
  ASSERT_EQ(mkfifo((root_ + "/pipe").c_str(), 0600), 0);
  std::optional<DirectoryListing> listing = openDirectory(root_);
  ASSERT_TRUE(listing);
  std::map<std::string, bool> regular;
  bool isRegular = true;
  while (std::optional<std::string_view> name = nextEntry(*listing, &isRegular))
    regular[std::string(*name)] = isRegular;
  closeDirectory(*listing);
  const std::map<std::string, bool> expected = {{".", false},   {"..", false},   {"seven", true},
                                                {"sub", false}, {"link", false}, {"pipe", false}};
  EXPECT_EQ(regular, expected);
}

}  // namespace
