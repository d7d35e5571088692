#include "count/sender.h"

#include <string>

#include <gtest/gtest.h>

#include "common/verdict_test_util.h"

namespace {

TEST(SenderTest, MatchesWholeAddressesOnly) {
  const std::vector<std::string> me = {"dana@example.com", "D.Other@Mail.Example.org"};
  const TextVerdict froms[] = {
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
  expectVerdicts(froms, [&me](std::string_view from) { return fromHoldsAddress(from, me); });
  EXPECT_FALSE(fromHoldsAddress("dana@example.com", {}));
}

}  // namespace
