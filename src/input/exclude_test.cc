#include "input/exclude.h"

#include <gtest/gtest.h>

namespace {

TEST(ExcludeTest, NamesMatchAsWholeNamesHiddenOnesToo) {
  const std::vector<std::string> patterns = {"Spam.mbox", "Trash*", "*Junk", "?ent"};
  const struct {
    std::string_view name;
    bool excluded;
  } cases[] = {
      {"Spam.mbox", true}, {"Spam.mbox.gz", false}, {"spam.mbox", false},  // case counts
      {"Trash", true},     {"Trash.2019", true},    {"MyTrash", false},   {"Junk", true},
      {".Junk", true},     {".Trash", false},  // "*Junk" takes ".Junk"; "Trash*" needs its "T"
      {"Sent", true},      {".ent", true},          {"Spent", false},     {"", false},
      {".", false},        {"..", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(excludesName(c.name, patterns), c.excluded) << c.name;
  }
}

TEST(ExcludeTest, DotAndDotDotAreNeverLeftOut) {
  EXPECT_FALSE(excludesName(".", {".*", "*", "."}));
  EXPECT_FALSE(excludesName("..", {".*", "*", ".."}));
  EXPECT_TRUE(excludesName(".git", {".*"}));
}

TEST(ExcludeTest, AnyPartOfAPathOrEntryName) {
  const std::vector<std::string> patterns = {"Trash", "*.tmp"};
  const struct {
    std::string_view path;
    bool excluded;
  } cases[] = {
      {"Trash", true},
      {"Takeout/Mail/Trash/a.mbox", true},
      {"Takeout/Mail/Trash", true},
      {"Takeout/Mail/Inbox.mbox", false},
      {"/home/x/Trash/", true},
      {"./mail/x.tmp", true},
      {"./mail//Trashy/x", false},
      {"", false},
      {"/", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(excludesAnyPart(c.path, patterns), c.excluded) << c.path;
  }
  EXPECT_FALSE(excludesAnyPart("Trash", {}));
}

}  // namespace
