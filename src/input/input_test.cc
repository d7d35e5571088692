#include "input/input.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>

#include "driver/options.h"

namespace {

namespace fs = std::filesystem;

// A fresh temporary tree, removed with everything in it at the end. Links
// are removed, not followed.
struct TempTree {
  std::string root;

  TempTree() {
    std::string pattern = (fs::temp_directory_path() / "varnak-input-test-XXXXXX").string();
    root = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempTree() {
    if (!root.empty()) fs::remove_all(root);
  }
  void file(const std::string& path) const {
    fs::create_directories(fs::path(root + "/" + path).parent_path());
    std::ofstream(root + "/" + path) << "x\n";
  }
  void dir(const std::string& path) const { fs::create_directories(root + "/" + path); }
  void link(const std::string& path, const std::string& target) const {
    fs::create_directory_symlink(root + "/" + target, root + "/" + path);
  }
};

// The walk prints banners and warnings; keep them off the test's standard
// output and restore the run's settings afterwards.
class InputTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = gOptions;
    gOptions.terse = true;
    ASSERT_FALSE(tree_.root.empty());
  }
  void TearDown() override { gOptions = saved_; }

  // The files the walk hands on, in the walk's order.
  std::vector<std::string> visits(const std::string& argument) const {
    std::vector<std::string> seen;
    processArgument(argument, [&seen](const std::string& path) { seen.push_back(path); });
    return seen;
  }
  // The same, sorted: the listing order is the platform's.
  std::vector<std::string> visitSet(const std::string& argument) const {
    std::vector<std::string> seen = visits(argument);
    std::sort(seen.begin(), seen.end());
    return seen;
  }
  std::vector<std::string> under(std::vector<std::string> paths) const {
    for (std::string& path : paths)
      path = tree_.root + "/" + path;
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  TempTree tree_;
  RunOptions saved_;
};

TEST_F(InputTest, ArgumentsSelectTheFilesOfTheTree) {
  for (const char* path : {"mail/inbox", "mail/.hidden", "mail/x.mbx", "mail/old/a", "mail/old/.b",
                           "mail/old.mbx/c", "mail/old.mbx/.d", "mail/old.mbx/deeper/e", "top",
                           "lit/in?ox", "lit/inbox", "lit*/inbox", "litx/inbox"}) {
    tree_.file(path);
  }
  tree_.dir("mail/empty");
  const std::vector<std::string> everyVisible = {"mail/inbox", "mail/x.mbx", "mail/old/a",
                                                 "mail/old.mbx/c", "mail/old.mbx/deeper/e"};
  struct Case {
    const char* argument;
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {"mail", everyVisible},
      {"mail/", everyVisible},
      {"mail/*", everyVisible},
      {"mail//*",
       {"mail//inbox", "mail//x.mbx", "mail//old/a", "mail//old.mbx/c", "mail//old.mbx/deeper/e"}},
      {"mail/*.mbx", {"mail/x.mbx", "mail/old.mbx/c", "mail/old.mbx/deeper/e"}},
      {"mail:*.mbx", {"mail/x.mbx", "mail/old.mbx/c", "mail/old.mbx/deeper/e"}},
      {"mail\\*.mbx", {"mail/x.mbx", "mail/old.mbx/c", "mail/old.mbx/deeper/e"}},
      {"mail/*.MBX", {}},
      {"mail/.*", {"mail/.hidden"}},
      {"mail/*.*", {"mail/.hidden", "mail/x.mbx", "mail/old.mbx/c", "mail/old.mbx/deeper/e"}},
      {"mail/o*", {"mail/old/a", "mail/old.mbx/c", "mail/old.mbx/deeper/e"}},
      {"mail/old/.b", {"mail/old/.b"}},
      {"mail/empty", {}},
      {"top", {"top"}},
      {"top/*", {}},
      {"missing", {}},
      {"missing/*", {}},
      {"lit/in?ox", {"lit/in?ox"}},
      {"lit*/inbox", {"lit*/inbox"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(visitSet(tree_.root + "/" + c.argument), under(c.files)) << c.argument;
  }
}

TEST_F(InputTest, EachDirectoryIsFinishedBeforeTheNextEntry) {
  for (const char* path : {"d1/x", "d1/y", "d1/sub/z", "d2/x", "d2/y", "f"})
    tree_.file(path);
  std::vector<std::string> seen = visits(tree_.root);
  ASSERT_EQ(seen.size(), 6u);
  // Whatever the listing order, the files below one directory come in one run.
  for (std::string prefix : {"/d1/", "/d1/sub/", "/d2/"}) {
    prefix = tree_.root + prefix;
    auto inside = [&prefix](const std::string& path) { return path.starts_with(prefix); };
    auto first = std::find_if(seen.begin(), seen.end(), inside);
    auto afterRun = std::find_if_not(first, seen.end(), inside);
    EXPECT_EQ(std::find_if(afterRun, seen.end(), inside), seen.end()) << prefix;
  }
}

TEST_F(InputTest, LinksBackIntoTheWalkAreNotFollowed) {
  tree_.file("loop/f");
  tree_.file("loop/sub/g");
  tree_.link("loop/self", "loop");
  tree_.link("loop/sub/up", "loop");
  tree_.link("loop/sub/here", "loop/sub");
  const std::vector<std::string> expected = under({"loop/f", "loop/sub/g"});
  for (const char* argument : {"loop", "loop/", "loop/*"}) {
    EXPECT_EQ(visitSet(tree_.root + "/" + argument), expected) << argument;
  }
}

TEST_F(InputTest, ADirectoryReachedByTwoRoutesIsWalkedTwice) {
  tree_.file("shared/f");
  tree_.dir("a");
  tree_.dir("b");
  tree_.link("a/link", "shared");
  tree_.link("b/link", "shared");
  EXPECT_EQ(visitSet(tree_.root), under({"a/link/f", "b/link/f", "shared/f"}));
}

}  // namespace
