#include "input/input.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/collected_output.h"
#include "platform/temp_dir_test_util.h"

namespace {

namespace fs = std::filesystem;

// Each test walks a tree of its own. The walk's banners and warnings are
// collected, and looked at where a test expects them.
class InputTest : public TempDirTest {
 protected:
  void files(std::initializer_list<const char*> paths) const {
    for (const char* path : paths) {
      fs::create_directories(fs::path(root_ + "/" + path).parent_path());
      std::ofstream(root_ + "/" + path) << "x\n";
    }
  }
  void link(const std::string& path, const std::string& target) const {
    fs::create_directory_symlink(root_ + "/" + target, root_ + "/" + path);
  }
  // What one walk of an argument did.
  struct Walked {
    // The files it handed on, in the walk's order.
    std::vector<std::string> files;
    CollectedOutput output;
    RunTally tally;
  };
  Walked walk(const std::string& argument, bool maildir = false, bool terse = true) const {
    Walked walked;
    RunOptions options;
    options.terse = terse;
    options.maildir = maildir;
    processArgument(
        root_ + "/" + argument, options, walked.output, walked.tally,
        [&walked](const std::string& path, const PathStatus&) { walked.files.push_back(path); });
    return walked;
  }
  std::vector<std::string> visits(const std::string& argument, bool maildir = false) const {
    return walk(argument, maildir).files;
  }
  // Checks the files, sorted, against the expected paths under the tree
  // (the listing order is the platform's), and the warnings against
  // `warnings`: under -terse, the only output.
  void expectVisits(const std::string& argument, std::vector<std::string> expected,
                    bool maildir = false, const std::string& warnings = "") const {
    Walked walked = walk(argument, maildir);
    std::sort(walked.files.begin(), walked.files.end());
    for (std::string& path : expected)
      path = root_ + "/" + path;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(walked.files, expected) << argument;
    EXPECT_EQ(walked.output.text(Stream::err), warnings) << argument;
    EXPECT_EQ(walked.output.text(Stream::out), "") << argument;
  }
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
  // A file and a missing path cannot be listed for a pattern.
  expectVisits("top/*", {}, false, "Unable to read directory " + root_ + "/top\n");
  expectVisits("missing/*", {}, false, "Unable to read directory " + root_ + "/missing\n");
}

// Under -maildir a Maildir's tmp is left out and its hidden Maildir++
// folders are walked; elsewhere tmp and hidden entries stay as they were.
TEST_F(InputTest, MaildirsAreWalkedAsMailClientsSeeThem) {
  files({"md/cur/1", "md/new/2", "md/tmp/3", "md/.Sent/cur/4", "md/.Sent/new/5", "md/.Sent/tmp/6",
         "md/.Sent/.hidden", "md/.notes/cur/7", "md/.mh_sequences", "md/dovecot-uidlist",
         "mh/tmp/8", "mh/.Sent/cur/9", "mh/1"});
  fs::create_directory(root_ + "/md/.Sent/.Deeper");
  fs::create_directory(root_ + "/md/.notes/new");
  fs::create_directory(root_ + "/mh/.Sent/new");
  fs::create_directory(root_ + "/mh/.Sent/tmp");
  // .notes lacks tmp, which no folder needs: cur or new is enough.
  expectVisits("md",
               {"md/cur/1", "md/new/2", "md/.Sent/cur/4", "md/.Sent/new/5", "md/.notes/cur/7",
                "md/dovecot-uidlist"},
               true);
  expectVisits("md", {"md/cur/1", "md/new/2", "md/tmp/3", "md/dovecot-uidlist"});
  // Only a Maildir's own tmp and folders: mh holds no cur and new.
  expectVisits("mh", {"mh/tmp/8", "mh/1"}, true);
  expectVisits("md/*",
               {"md/cur/1", "md/new/2", "md/.Sent/cur/4", "md/.Sent/new/5", "md/.notes/cur/7",
                "md/dovecot-uidlist"},
               true);
  expectVisits("md/c*", {"md/cur/1"}, true);
}

// -exclude leaves out entries and arguments by the names of their parts,
// without a status query (a link that leads nowhere says nothing), each
// once in the tally; -summary counts the hidden folders passed over.
TEST_F(InputTest, ExcludedNamesAndHiddenFoldersAreCountedNotWalked) {
  files({"m/Inbox", "m/Spam", "m/Trash/a", "m/Work/b", "m/.git/c", "m/.Junk/d", "m/.hidden",
         "md/cur/1", "md/.Trash/new/2", "md/.Drafts/tmp/3", "md/.cache/4"});
  fs::create_symlink(root_ + "/nowhere", root_ + "/m/Lost");
  const struct {
    const char* argument;
    std::vector<std::string> exclude;
    bool maildir;
    std::vector<std::string> files;
    uint64_t excluded, hidden, unreadable;
  } cases[] = {
      {"m", {}, false, {"m/Inbox", "m/Spam", "m/Trash/a", "m/Work/b"}, 0, 2, 1},
      {"m", {"Spam", "Trash", "Lo?t"}, false, {"m/Inbox", "m/Work/b"}, 3, 2, 0},
      {"m", {"*"}, false, {}, 1, 0, 0},  // the argument's own name
      {"m/*", {"W*"}, false, {"m/Inbox", "m/Spam", "m/Trash/a"}, 1, 2, 1},
      {"m/Work/*", {"Work"}, false, {}, 1, 0, 0},  // the directory part of a pattern
      {"m/Work/b", {"Work"}, false, {}, 1, 0, 0},
      {"m/Inbox", {"Inbo", "nbox"}, false, {"m/Inbox"}, 0, 0, 0},
      {"md", {}, true, {"md/cur/1", "md/.Trash/new/2"}, 0, 2, 0},
      {"md", {"*Trash"}, true, {"md/cur/1"}, 1, 2, 0},
      {"md", {}, false, {"md/cur/1"}, 0, 3, 0},
  };
  for (const auto& c : cases) {
    RunOptions options;
    options.terse = true;
    options.summary = true;
    options.maildir = c.maildir;
    options.exclude = c.exclude;
    CollectedOutput output;
    RunTally tally;
    std::vector<std::string> seen;
    processArgument(root_ + "/" + c.argument, options, output, tally,
                    [&seen](const std::string& path, const PathStatus&) { seen.push_back(path); });
    std::vector<std::string> expected;
    for (const std::string& path : c.files)
      expected.push_back(root_ + "/" + path);
    std::sort(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected) << c.argument;
    EXPECT_EQ(tally.excluded, c.excluded) << c.argument;
    EXPECT_EQ(tally.hiddenFolders, c.hidden) << c.argument;
    EXPECT_EQ(tally.unreadable, c.unreadable) << c.argument;
    EXPECT_EQ(output.text(Stream::err).empty(), tally.unreadable == 0) << c.argument;
  }
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

// The reader opens each file with the status the walk queried for it: a
// regular file with its size (a link with that of its target), anything
// else as no regular file, whichever way the walk reached it.
// Each file comes with its status, or, where the walk leaves the query to
// the reader, unqueried when the listing calls it a regular file: a link
// or pipe is still queried (the link may lead to a directory), and so is a
// file an argument names, which no listing found.
TEST_F(InputTest, EachFileComesWithItsStatus) {
  fs::create_directory(root_ + "/d");
  std::ofstream(root_ + "/d/empty");
  std::ofstream(root_ + "/d/five") << "12345";
  fs::create_symlink(root_ + "/d/five", root_ + "/d/link");
  ASSERT_EQ(mkfifo((root_ + "/d/pipe").c_str(), 0600), 0);
  struct Expected {
    const char* argument;
    const char* file;
    bool isRegular;
    uint64_t size;
    bool listedRegular;
  };
  const Expected table[] = {
      {"d", "d/empty", true, 0, true},      {"d", "d/five", true, 5, true},
      {"d", "d/link", true, 5, false},      {"d", "d/pipe", false, 0, false},
      {"d/*e", "d/five", true, 5, true},    {"d/five", "d/five", true, 5, false},
      {"d/link", "d/link", true, 5, false}, {"d/pipe", "d/pipe", false, 0, false},
  };
  for (ListedFiles files : {ListedFiles::queried, ListedFiles::deferred}) {
    for (const Expected& expected : table) {
      std::map<std::string, PathStatus> seen;
      RunOptions options;
      options.terse = true;
      CollectedOutput output;
      RunTally tally;
      processArgument(
          root_ + "/" + expected.argument, options, output, tally,
          [&seen](const std::string& path, const PathStatus& status) { seen[path] = status; },
          files);
      EXPECT_TRUE(output.empty()) << expected.argument;
      auto found = seen.find(root_ + "/" + expected.file);
      ASSERT_NE(found, seen.end()) << expected.argument << " " << expected.file;
      bool deferred = files == ListedFiles::deferred && expected.listedRegular;
      EXPECT_EQ(found->second.deferred, deferred) << expected.file;
      EXPECT_FALSE(found->second.isDirectory) << expected.file;
      EXPECT_EQ(found->second.isRegular, expected.isRegular) << expected.file;
      EXPECT_EQ(found->second.size, deferred ? 0 : expected.size) << expected.file;
    }
  }
}

// A file found in a listing comes with its entry there, which the reader
// opens instead of the path: while the visit lasts, it must lead to the
// very file the path names, in a directory below another as in the first
// (two files of the same name tell them apart), and by a pattern too. A
// file named by the argument was found in no listing.
TEST_F(InputTest, AListedFileComesWithItsEntryInTheListing) {
  fs::create_directories(root_ + "/d/sub");
  std::ofstream(root_ + "/d/five") << "12345";
  std::ofstream(root_ + "/d/sub/five") << "123";
  std::ofstream(root_ + "/d/sub/other") << "1";
  fs::create_directory_symlink(root_ + "/d/sub", root_ + "/d/link");
  struct Expected {
    const char* argument;
    std::vector<std::string> files;
    bool listed;
  };
  const Expected table[] = {
      {"d", {"d/five", "d/sub/five", "d/sub/other", "d/link/five", "d/link/other"}, true},
      {"d/*e", {"d/five"}, true},
      {"d/link", {"d/link/five", "d/link/other"}, true},
      {"d/sub/five", {"d/sub/five"}, false},
  };
  for (const Expected& expected : table) {
    std::vector<std::string> seen;
    RunOptions options;
    options.terse = true;
    CollectedOutput output;
    RunTally tally;
    ListedFileVisitor visit = [&](const std::string& path, const PathStatus& status,
                                  const ListedEntry* listed) {
      seen.push_back(path);
      ASSERT_EQ(listed != nullptr, expected.listed) << path;
      if (listed == nullptr) return;
      EXPECT_EQ(listed->path, path);
      EXPECT_EQ(path.substr(path.size() - listed->name.size()), listed->name);
      std::optional<PathStatus> byEntry = queryStatus(*listed);
      ASSERT_TRUE(byEntry) << path;
      EXPECT_EQ(byEntry->identity, status.identity) << path;
      EXPECT_EQ(byEntry->size, status.size) << path;
      EXPECT_EQ(queryStatus(path)->identity, status.identity) << path;
    };
    processArgument(root_ + "/" + expected.argument, options, output, tally, visit);
    EXPECT_TRUE(output.empty()) << expected.argument;
    std::vector<std::string> files;
    for (const std::string& file : expected.files)
      files.push_back(root_ + "/" + file);
    std::sort(seen.begin(), seen.end());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(seen, files) << expected.argument;
  }
}

// What cannot be read is named once, after the banner of the directory it
// was wanted from, and counted; the warning stands among the banners
// outside -terse, on standard error under it, where the banners are left out.
TEST_F(InputTest, WarningsNameWhatCouldNotBeRead) {
  files({"top"});
  const std::string root = root_ + "/";
  const struct {
    const char* argument;
    bool terse;
    std::string out, err;
  } cases[] = {
      {"missing", false, "Unable to read file " + root + "missing\n", ""},
      {"missing", true, "", "Unable to read file " + root + "missing\n"},
      {"top/*", false, root + "top/\nUnable to read directory " + root + "top\n", ""},
      {"top/*", true, "", "Unable to read directory " + root + "top\n"},
      {"missing/m*", false, root + "missing/m*\nUnable to read directory " + root + "missing\n",
       ""},
      {"missing/m*", true, "", "Unable to read directory " + root + "missing\n"},
  };
  for (const auto& c : cases) {
    Walked walked = walk(c.argument, false, c.terse);
    EXPECT_EQ(walked.output.text(Stream::out), c.out) << c.argument << " terse " << c.terse;
    EXPECT_EQ(walked.output.text(Stream::err), c.err) << c.argument << " terse " << c.terse;
    EXPECT_EQ(walked.tally.unreadable, 1u) << c.argument << " terse " << c.terse;
    EXPECT_TRUE(walked.files.empty()) << c.argument;
  }
}

}  // namespace
