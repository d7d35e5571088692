#include "input/input.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

namespace fs = std::filesystem;

// Each test gets a fresh temporary tree, removed at the end (links are
// removed, not followed). The walk's banners and warnings go to standard
// error under -terse, off the test's output.
class InputTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnak-input-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    if (!root_.empty()) fs::remove_all(root_);
  }

  void files(std::initializer_list<const char*> paths) const {
    for (const char* path : paths) {
      fs::create_directories(fs::path(root_ + "/" + path).parent_path());
      std::ofstream(root_ + "/" + path) << "x\n";
    }
  }
  void link(const std::string& path, const std::string& target) const {
    fs::create_directory_symlink(root_ + "/" + target, root_ + "/" + path);
  }
  // The files the walk hands on, in the walk's order.
  std::vector<std::string> visits(const std::string& argument) const {
    std::vector<std::string> seen;
    RunOptions options;
    options.terse = true;
    processArgument(root_ + "/" + argument, options,
                    [&seen](const std::string& path) { seen.push_back(path); });
    return seen;
  }
  // Checks them, sorted, against the expected paths under the tree: the
  // listing order is the platform's.
  void expectVisits(const std::string& argument, std::vector<std::string> expected) const {
    std::vector<std::string> seen = visits(argument);
    std::sort(seen.begin(), seen.end());
    for (std::string& path : expected)
      path = root_ + "/" + path;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected) << argument;
  }

  std::string root_;
};

TEST_F(InputTest, ArgumentsSelectTheFilesOfTheTree) {
  files({"mail/inbox", "mail/.hidden", "mail/x.mbx", "mail/old/a", "mail/old/.b", "mail/old.mbx/c",
         "mail/old.mbx/.d", "mail/old.mbx/deeper/e", "top"});
  const std::vector<std::string> everyVisible = {"mail/inbox", "mail/old/a", "mail/x.mbx",
                                                 "mail/old.mbx/c", "mail/old.mbx/deeper/e"};
  expectVisits("mail", everyVisible);
  expectVisits("mail/*", everyVisible);
  expectVisits("mail/*.mbx", {"mail/x.mbx", "mail/old.mbx/c", "mail/old.mbx/deeper/e"});
  expectVisits("mail/*.*",
               {"mail/.hidden", "mail/x.mbx", "mail/old.mbx/c", "mail/old.mbx/deeper/e"});
  expectVisits("mail/o*", {"mail/old/a", "mail/old.mbx/c", "mail/old.mbx/deeper/e"});
  expectVisits("mail/old/.b", {"mail/old/.b"});
  expectVisits("top", {"top"});
  expectVisits("top/*", {});
  expectVisits("missing/*", {});
}

TEST_F(InputTest, EachDirectoryIsFinishedBeforeTheNextEntry) {
  files({"d1/x", "d1/y", "d1/sub/z", "d2/x", "d2/y", "f"});
  std::vector<std::string> seen = visits("");
  ASSERT_EQ(seen.size(), 6u);
  // Whatever the listing order, the files below one directory come in one run.
  for (std::string prefix : {"/d1/", "/d1/sub/", "/d2/"}) {
    prefix = root_ + prefix;
    auto inside = [&prefix](const std::string& path) { return path.starts_with(prefix); };
    auto afterRun =
        std::find_if_not(std::find_if(seen.begin(), seen.end(), inside), seen.end(), inside);
    EXPECT_EQ(std::find_if(afterRun, seen.end(), inside), seen.end()) << prefix;
  }
}

TEST_F(InputTest, OnlyLinksBackIntoTheWalkAreSkipped) {
  files({"loop/f", "loop/sub/g", "shared/h"});
  link("loop/self", "loop");
  link("loop/sub/up", "loop");
  link("loop/sub/here", "loop/sub");
  for (const char* argument : {"loop", "loop/*"})
    expectVisits(argument, {"loop/f", "loop/sub/g"});
  // A directory reached by two routes that do not loop is walked twice.
  fs::create_directory(root_ + "/a");
  fs::create_directory(root_ + "/b");
  link("a/link", "shared");
  link("b/link", "shared");
  expectVisits("", {"a/link/h", "b/link/h", "shared/h", "loop/f", "loop/sub/g"});
}

}  // namespace
