#include "count/sender.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(SenderTest, MatchesWholeAddressesOnly) {
  const std::vector<std::string> me = {"dana@example.com", "D.Other@Mail.Example.org"};
  const struct {
    std::string from;
    bool mine;
  } cases[] = {
      {"dana@example.com", true},
      {" Dana <DANA@Example.COM>", true},
      {"\"dana@example.com\" <x@y>", true},
      {"'dana@example.com'", true},
      {"a@b, dana@example.com,c@d", true},
      {"Dana\n\t<dana@example.com>", true},  // folded over two lines
      {"d.other@mail.example.ORG (Other)", true},
      {"xdana@example.com", false},
      {"dana@example.com.evil", false},
      {"dana@example.community", false},
      {"<dana@example.co>", false},
      {"=?UTF-8?Q?dana@example.com?=", false},  // never decoded
      {std::string("dana@example.com\0", 17), false},
      {"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(fromHoldsAddress(c.from, me), c.mine) << '"' << c.from << '"';
  EXPECT_FALSE(fromHoldsAddress("dana@example.com", {}));
}

}  // namespace
