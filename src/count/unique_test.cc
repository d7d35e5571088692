#include "count/unique.h"

#include <algorithm>
#include <random>
#include <string>
#include <unordered_set>

#include <gtest/gtest.h>

namespace {

std::string countingBytes(size_t n) {
  std::string bytes;
  for (size_t i = 0; i < n; ++i)
    bytes += static_cast<char>(i);
  return bytes;
}

// Values of a plain transcription of the reference code (in Python, with
// 64-bit wrapping by hand), on bytes 00, 01, ... up to the length, through
// every length of the last, partial word.
TEST(UniqueTest, MurmurHashGivesTheReferenceValues) {
  const struct {
    std::string bytes;
    uint64_t seed;
    uint64_t hash;
  } cases[] = {
      {"", 0, 0},
      {"a", 0, 0x071717d2d36b6b11},
      {"abcdefgh", 0, 0xafdb0257ff41aa98},
      {countingBytes(15), 0, 0x9416c982407481ab},
      {countingBytes(40), 0, 0x7f3f408bed537f14},
      {"hello", 0x9747b28c, 0x3ab0500e3b0ff825},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(murmurHash64A(c.bytes, c.seed), c.hash) << c.bytes.size();
  }
}

// A good hash changes about half of its bits for any one bit of input:
// flipping each bit of an ID-sized input in turn, the changed output bits
// average close to 32 and no flip leaves fewer than a fifth changed.
TEST(UniqueTest, EachInputBitChangesAboutHalfTheDigest) {
  std::string bytes = "0123456789.abcdefghij@host.example.org";
  uint64_t base = murmurHash64A(bytes, 7);
  int total = 0, fewest = 64, flips = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit, ++flips) {
      std::string flipped = bytes;
      flipped[i] = static_cast<char>(flipped[i] ^ (1 << bit));
      int changed = __builtin_popcountll(murmurHash64A(flipped, 7) ^ base);
      total += changed;
      fewest = std::min(fewest, changed);
    }
  }
  EXPECT_NEAR(static_cast<double>(total) / flips, 32.0, 1.5);
  EXPECT_GE(fewest, 13);
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
  // A message's empty texts may be views of nothing at all (the sanitizers
  // hold the copy of them to that).
  EXPECT_EQ(messageDigest({}, {}), messageDigest("", ""));
  EXPECT_EQ(messageDigest("a@b", {}), messageDigest("a@b", ""));
  // Pairs too long for the one copy are hashed in pieces, to the same end.
  const std::string longId(600, 'i');
  EXPECT_NE(messageDigest(longId, "1 Jan 2020"), messageDigest(longId + "i", "1 Jan 2020"));
  EXPECT_NE(messageDigest(longId, "1 Jan 2020"), messageDigest(longId, "2 Jan 2020"));
  EXPECT_NE(messageDigest(longId.substr(0, 499), "x"), messageDigest(longId.substr(0, 498), "ix"));
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
