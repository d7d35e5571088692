#include "count/unique.h"

#include <random>
#include <string>
#include <unordered_set>

#include <gtest/gtest.h>

namespace {

// The key and messages of the SipHash authors' test vectors: key bytes 00
// to 0f, message bytes 00, 01, ... up to the length.
constexpr uint64_t kVectorKey0 = 0x0706050403020100;
constexpr uint64_t kVectorKey1 = 0x0f0e0d0c0b0a0908;

std::string countingBytes(size_t n) {
  std::string bytes;
  for (size_t i = 0; i < n; ++i)
    bytes += static_cast<char>(i);
  return bytes;
}

TEST(UniqueTest, SipHashGivesThePublishedVectors) {
  const struct {
    size_t length;
    uint64_t hash;
  } cases[] = {
      {0, 0x726fdb47dd0e0e31},
      {1, 0x74f839c593dc67fd},
      {8, 0x93f5f5799a932462},
      {15, 0xa129ca6149be45e5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sipHash24(kVectorKey0, kVectorKey1, {countingBytes(c.length)}), c.hash) << c.length;
  }
}

TEST(UniqueTest, SipHashOfPiecesIsThatOfTheirBytesEndToEnd) {
  std::string bytes = countingBytes(40);
  uint64_t whole = sipHash24(kVectorKey0, kVectorKey1, {bytes});
  std::string_view view(bytes);
  for (size_t a = 0; a <= view.size(); ++a) {
    for (size_t b = a; b <= view.size(); b += 7) {
      EXPECT_EQ(sipHash24(kVectorKey0, kVectorKey1,
                          {view.substr(0, a), view.substr(a, b - a), view.substr(b)}),
                whole)
          << a << " " << b;
    }
  }
}

TEST(UniqueTest, MessageIdTextIsInsideTheFirstBracketsOrTheTrimmedValue) {
  const struct {
    std::string_view value;
    std::string_view id;
  } cases[] = {
      {"<a@b.example>", "a@b.example"},
      {" <a@b.example>", "a@b.example"},
      {"\n <a@b.example>\n", "a@b.example"},  // folded onto a line of its own
      {"a@b.example", "a@b.example"},
      {"  a@b.example \t", "a@b.example"},
      {"<a@b.example> (added by a list) <c@d>", "a@b.example"},
      {"comment <a@b.example>", "a@b.example"},
      {"< a@b.example >", "a@b.example"},
      {"<a@b.example", "<a@b.example"},  // no closing bracket: the whole value
      {"a>b<c", "a>b<c"},
      {"<>", ""},
      {"   ", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(messageIdText(c.value), c.id) << c.value;
  }
}

TEST(UniqueTest, DateIdTextDropsTheBlanksAround) {
  EXPECT_EQ(dateIdText("Mon, 7 Jan 2002 10:00:00 +0000  "), "Mon, 7 Jan 2002 10:00:00 +0000");
  EXPECT_EQ(dateIdText("\t7 Jan 2002 \t"), "7 Jan 2002");
  EXPECT_EQ(dateIdText(""), "");
}

TEST(UniqueTest, DigestsTellPairsApartAtAnySplit) {
  const struct {
    std::string_view id1, date1, id2, date2;
  } different[] = {
      {"ab", "c", "a", "bc"},  // the same bytes end to end
      {"a@b", "1 Jan 2020", "a@b", "2 Jan 2020"},
      {"a@b", "1 Jan 2020", "a@c", "1 Jan 2020"},
      {"", "x", "x", ""},
  };
  for (const auto& c : different) {
    EXPECT_NE(messageDigest(c.id1, c.date1), messageDigest(c.id2, c.date2))
        << c.id1 << "|" << c.date1;
  }
  EXPECT_EQ(messageDigest("a@b", "1 Jan 2020"), messageDigest("a@b", "1 Jan 2020"));
}

// The set against the library's: every insert gives the same answer.
void expectSameAsUnorderedSet(const std::vector<uint64_t>& digests) {
  DigestSet set;
  std::unordered_set<uint64_t> model;
  for (uint64_t digest : digests) {
    ASSERT_EQ(set.insert(digest), model.insert(digest).second) << digest;
  }
  EXPECT_EQ(set.size(), model.size());
  for (uint64_t digest : digests)
    EXPECT_FALSE(set.insert(digest));
}

TEST(UniqueTest, SetAgreesWithAPlainSet) {
  std::mt19937_64 random(18);
  std::vector<uint64_t> spread, clustered, repeated;
  for (int i = 0; i < 20000; ++i) {
    spread.push_back(random());
    // One shard and one home slot: the probes run long and wrap around.
    clustered.push_back(uint64_t{0xfc} << 56 | static_cast<uint64_t>(i % 3000));
    repeated.push_back(random() % 700);  // many repeats, zero among them
  }
  repeated.push_back(0);
  for (const auto* digests : {&spread, &clustered, &repeated}) {
    expectSameAsUnorderedSet(*digests);
  }
}

TEST(UniqueTest, ZeroIsADigestLikeAnyOther) {
  DigestSet set;
  EXPECT_TRUE(set.insert(0));
  EXPECT_FALSE(set.insert(0));
  EXPECT_TRUE(set.insert(1));
  EXPECT_EQ(set.size(), 2u);
}

// At most 24 bytes a digest, counting a rehash's old and new tables
// together, once the first small tables are filled.
TEST(UniqueTest, HoldsAtMostTwentyFourBytesADigest) {
  std::mt19937_64 random(1);
  DigestSet set;
  for (uint64_t n = 1; n <= 1000000; ++n) {
    set.insert(random());
    if (n >= 10000) {
      ASSERT_LE(set.peakBytesHeld(), 24 * n) << n;
    }
  }
  EXPECT_EQ(set.size(), 1000000u);
  EXPECT_LE(set.bytesHeld(), 20u * 1000000);
}

}  // namespace
