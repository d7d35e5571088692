#include "unpack/unpack.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Test data is made with libarchive's writer, in memory.

enum class Format { raw, ustar, gnutar, pax, zip, sevenZip, cpioNewc, cpioOdc };
enum class Filter { none, gzip, bzip2, xz, zstd, lz4, compress };

struct Member {
  std::string name;
  std::string data;
  int type = AE_IFREG;
};

la_ssize_t appendBytes(archive*, void* out, const void* bytes, size_t size) {
  static_cast<std::string*>(out)->append(static_cast<const char*>(bytes), size);
  return static_cast<la_ssize_t>(size);
}

void setFormat(archive* a, Format format) {
  switch (format) {
    case Format::raw:
      archive_write_set_format_raw(a);
      break;
    case Format::ustar:
      archive_write_set_format_ustar(a);
      break;
    case Format::gnutar:
      archive_write_set_format_gnutar(a);
      break;
    case Format::pax:
      archive_write_set_format_pax_restricted(a);
      break;
    case Format::zip:
      archive_write_set_format_zip(a);
      break;
    case Format::sevenZip:
      archive_write_set_format_7zip(a);
      break;
    case Format::cpioNewc:
      archive_write_set_format_cpio_newc(a);
      break;
    case Format::cpioOdc:
      archive_write_set_format_cpio(a);
      break;
  }
}

void addFilter(archive* a, Filter filter) {
  switch (filter) {
    case Filter::none:
      break;
    case Filter::gzip:
      archive_write_add_filter_gzip(a);
      break;
    case Filter::bzip2:
      archive_write_add_filter_bzip2(a);
      break;
    case Filter::xz:
      archive_write_add_filter_xz(a);
      break;
    case Filter::zstd:
      archive_write_add_filter_zstd(a);
      break;
    case Filter::lz4:
      archive_write_add_filter_lz4(a);
      break;
    case Filter::compress:
      archive_write_add_filter_compress(a);
      break;
  }
}

void writeMember(archive* a, const Member& member) {
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname(entry, member.name.c_str());
  archive_entry_set_filetype(entry, member.type);
  archive_entry_set_perm(entry, 0644);
  if (member.type == AE_IFLNK) archive_entry_set_symlink(entry, "elsewhere");
  archive_entry_set_size(entry, static_cast<la_int64_t>(member.data.size()));
  EXPECT_EQ(archive_write_header(a, entry), ARCHIVE_OK) << archive_error_string(a);
  if (!member.data.empty()) {
    EXPECT_EQ(archive_write_data(a, member.data.data(), member.data.size()),
              static_cast<la_ssize_t>(member.data.size()))
        << archive_error_string(a);
  }
  archive_entry_free(entry);
}

std::string pack(Format format, Filter filter, const std::vector<Member>& members) {
  archive* a = archive_write_new();
  setFormat(a, format);
  addFilter(a, filter);
  // Raw output needs no padding to blocks of the tape era.
  archive_write_set_bytes_in_last_block(a, 1);
  std::string out;
  EXPECT_EQ(archive_write_open(a, &out, nullptr, appendBytes, nullptr), ARCHIVE_OK)
      << archive_error_string(a);
  for (const Member& member : members)
    writeMember(a, member);
  EXPECT_EQ(archive_write_close(a), ARCHIVE_OK) << archive_error_string(a);
  archive_write_free(a);
  return out;
}

std::string compressed(Filter filter, const std::string& data) {
  return pack(Format::raw, filter, {{"data", data}});
}

// A mailbox text of about `size` bytes, so that damage can be placed
// inside it; each message is numbered, so a prefix tells how far it got.
std::string mailText(size_t size) {
  std::string text;
  for (int i = 0; text.size() < size; ++i) {
    text += "From a!b Mon Jan  7 10:12:01 2002\nDate: Mon, 7 Jan 2002\n\nmessage " +
            std::to_string(i) + " " + std::string(static_cast<size_t>(i % 97), 'x') + "\n\n";
  }
  return text;
}

// What an unpack run gave: every entry's name and bytes, every problem as
// "NAME: TEXT".
struct Outcome {
  std::vector<std::pair<std::string, std::string>> entries;
  std::vector<std::string> problems;
  bool finished = true;
};

struct Options {
  // Bytes the source hands out per read (1 is a pipe at its slowest).
  size_t readSize = 4096;
  // Bytes of each entry read before it is left alone (0: all of them).
  size_t entryLimit = 0;
  // Entries handed on before the handler asks to stop (0: never).
  size_t stopAfter = 0;
  bool seekable = false;
};

Outcome run(const std::string& data, const std::string& name = "f", Options options = {}) {
  Outcome outcome;
  size_t head = std::min(data.size(), kPackedHeadSize);
  size_t at = head;
  PackedSource source;
  source.name = name;
  source.head = std::string_view(data).substr(0, head);
  source.read = [&](char* buffer, size_t capacity) {
    size_t n = std::min({capacity, options.readSize, data.size() - at});
    std::copy_n(data.data() + at, n, buffer);
    at += n;
    return n;
  };
  if (options.seekable) {
    source.seek = [&](int64_t offset, int whence) -> int64_t {
      int64_t base = whence == SEEK_SET ? 0 : static_cast<int64_t>(data.size());
      EXPECT_NE(whence, SEEK_CUR);
      int64_t target = base + offset;
      if (target < 0 || target > static_cast<int64_t>(data.size())) return -1;
      at = static_cast<size_t>(target);
      return target;
    };
  }
  UnpackHandlers handlers;
  handlers.entry = [&](const std::string& entryName, const ChunkReader& read) {
    std::string bytes;
    char buffer[1000];
    for (;;) {
      size_t want = sizeof buffer;
      if (options.entryLimit != 0) want = std::min(want, options.entryLimit - bytes.size());
      if (want == 0) break;
      size_t n = read(buffer, want);
      if (n == 0) break;
      bytes.append(buffer, n);
    }
    outcome.entries.emplace_back(entryName, bytes);
    return options.stopAfter == 0 || outcome.entries.size() < options.stopAfter;
  };
  handlers.problem = [&](const std::string& problemName, std::string_view text) {
    outcome.problems.push_back(problemName + ": " + std::string(text));
  };
  outcome.finished = unpack(source, handlers);
  return outcome;
}

const std::string kBox = mailText(3000);

TEST(LooksPackedTest, MarksOfEveryFormatAndNothingElse) {
  struct Case {
    std::string head;
    bool packed;
  };
  std::string tar = pack(Format::ustar, Filter::none, {{"box", kBox}});
  std::string badSum = tar;
  badSum[0] ^= 1;
  const Case cases[] = {
      {compressed(Filter::gzip, kBox), true},
      {compressed(Filter::bzip2, kBox), true},
      {compressed(Filter::xz, kBox), true},
      {compressed(Filter::zstd, kBox), true},
      {compressed(Filter::lz4, kBox), true},
      {compressed(Filter::compress, kBox), true},
      {pack(Format::zip, Filter::none, {{"box", kBox}}), true},
      {pack(Format::zip, Filter::none, {}), true},
      {pack(Format::sevenZip, Filter::none, {{"box", kBox}}), true},
      {pack(Format::cpioNewc, Filter::none, {{"box", kBox}}), true},
      {pack(Format::cpioOdc, Filter::none, {{"box", kBox}}), true},
      {std::string("\xc7\x71", 2) + std::string(30, '\0'), true},
      {tar, true},
      {pack(Format::gnutar, Filter::none, {{"box", kBox}}), true},
      {pack(Format::pax, Filter::none, {{"box", kBox}}), true},
      // A tar block whose checksum does not add up, and one cut short.
      {badSum, false},
      {tar.substr(0, 511), false},
      {kBox, false},
      {"", false},
      {"\x1f", false},
      {"BZh0 not a block size", false},
      {"BZ", false},
      {"PK\x01\x02", false},
      {"7z", false},
      {"07070", false},
      {"\n\n  From a!b Mon Jan  7 10:12:01 2002\n", false},
  };
  for (const Case& c : cases) {
    std::string head = c.head.substr(0, kPackedHeadSize);
    EXPECT_EQ(looksPacked(head), c.packed) << testing::PrintToString(head.substr(0, 16));
  }
}

TEST(UnpackTest, EveryFormatAndCompressionGivesTheBytesBack) {
  struct Case {
    Format format;
    Filter filter;
    const char* name;  // of the one entry, "f" being the file
  };
  const Case cases[] = {
      {Format::raw, Filter::gzip, "f"},
      {Format::raw, Filter::bzip2, "f"},
      {Format::raw, Filter::xz, "f"},
      {Format::raw, Filter::zstd, "f"},
      {Format::raw, Filter::lz4, "f"},
      {Format::raw, Filter::compress, "f"},
      {Format::ustar, Filter::none, "f(Mail/box)"},
      {Format::gnutar, Filter::gzip, "f(Mail/box)"},
      {Format::pax, Filter::xz, "f(Mail/box)"},
      {Format::ustar, Filter::zstd, "f(Mail/box)"},
      {Format::ustar, Filter::bzip2, "f(Mail/box)"},
      {Format::zip, Filter::none, "f(Mail/box)"},
      {Format::sevenZip, Filter::none, "f(Mail/box)"},
      {Format::cpioNewc, Filter::none, "f(Mail/box)"},
      {Format::cpioOdc, Filter::gzip, "f(Mail/box)"},
  };
  for (const Case& c : cases) {
    std::string data = pack(c.format, c.filter, {{"Mail/box", kBox}});
    SCOPED_TRACE(testing::Message() << "format " << static_cast<int>(c.format) << ", filter "
                                    << static_cast<int>(c.filter));
    ASSERT_TRUE(looksPacked(data.substr(0, kPackedHeadSize)));
    // 7z reads its index from the end, so it needs to seek.
    Outcome outcome = run(data, "f", {.seekable = c.format == Format::sevenZip});
    EXPECT_TRUE(outcome.problems.empty()) << testing::PrintToString(outcome.problems);
    ASSERT_EQ(outcome.entries.size(), 1u);
    EXPECT_EQ(outcome.entries[0].first, c.name);
    EXPECT_TRUE(outcome.entries[0].second == kBox);
  }
}

TEST(UnpackTest, ReadsASourceThatGivesOneByteAtATime) {
  std::string data = pack(Format::ustar, Filter::gzip, {{"a", kBox}, {"b", "second"}});
  Outcome outcome = run(data, "f", {.readSize = 1});
  EXPECT_TRUE(outcome.problems.empty());
  ASSERT_EQ(outcome.entries.size(), 2u);
  EXPECT_TRUE(outcome.entries[0].second == kBox);
  EXPECT_EQ(outcome.entries[1], std::make_pair(std::string("f(b)"), std::string("second")));
}

TEST(UnpackTest, OnlyRegularFilesInArchiveOrder) {
  std::string data = pack(
      Format::ustar, Filter::none,
      {{"dir", "", AE_IFDIR}, {"one", "1"}, {"link", "", AE_IFLNK}, {"empty", ""}, {"two", "22"}});
  Outcome outcome = run(data);
  EXPECT_TRUE(outcome.problems.empty());
  std::vector<std::pair<std::string, std::string>> expected = {
      {"f(one)", "1"}, {"f(empty)", ""}, {"f(two)", "22"}};
  EXPECT_EQ(outcome.entries, expected);
}

TEST(UnpackTest, AnEntryLeftHalfReadDoesNotDisturbTheNext) {
  std::string data = pack(Format::zip, Filter::none, {{"a", kBox}, {"b", "bee"}});
  Outcome outcome = run(data, "f", {.entryLimit = 10});
  ASSERT_EQ(outcome.entries.size(), 2u);
  EXPECT_EQ(outcome.entries[0].second, kBox.substr(0, 10));
  EXPECT_EQ(outcome.entries[1].second, "bee");
}

TEST(UnpackTest, TheEntryHandlerCanStopEverything) {
  std::string inner = pack(Format::zip, Filter::none, {{"x", "1"}, {"y", "2"}});
  std::string data = pack(Format::ustar, Filter::none, {{"in.zip", inner}, {"after", "3"}});
  Outcome outcome = run(data, "f", {.stopAfter = 1});
  EXPECT_FALSE(outcome.finished);
  ASSERT_EQ(outcome.entries.size(), 1u);
  EXPECT_EQ(outcome.entries[0].first, "f(in.zip)(x)");
}

TEST(UnpackTest, EmptyCompressedStreamHoldsNothingAndIsNoProblem) {
  Outcome outcome = run(compressed(Filter::gzip, ""));
  EXPECT_TRUE(outcome.problems.empty()) << testing::PrintToString(outcome.problems);
  for (const auto& entry : outcome.entries)
    EXPECT_EQ(entry.second, "");
}

// Nesting: levels wrapped around kBox, innermost first.
TEST(UnpackTest, NestedArchivesAreOpenedToTheDepthLimit) {
  std::string level2 =
      pack(Format::zip, Filter::none, {{"c.mbox.gz", compressed(Filter::gzip, kBox)}});
  std::string level3 = pack(Format::ustar, Filter::xz, {{"b.zip", level2}});
  std::string level4 = pack(Format::cpioNewc, Filter::none, {{"a.tar.xz", level3}});
  // The .gz inside the zip is the fourth level; so a fifth wrapping is one
  // too many.
  Outcome four = run(level4, "mail.cpio");
  EXPECT_TRUE(four.problems.empty()) << testing::PrintToString(four.problems);
  ASSERT_EQ(four.entries.size(), 1u);
  EXPECT_EQ(four.entries[0].first, "mail.cpio(a.tar.xz)(b.zip)(c.mbox.gz)");
  EXPECT_TRUE(four.entries[0].second == kBox);

  std::string level5 = pack(Format::zip, Filter::none, {{"z.cpio", level4}, {"plain", "p"}});
  Outcome five = run(level5, "outer.zip");
  std::vector<std::string> expectedProblems = {
      "outer.zip(z.cpio)(a.tar.xz)(b.zip)(c.mbox.gz): packed more than 4 levels deep"};
  EXPECT_EQ(five.problems, expectedProblems);
  std::vector<std::pair<std::string, std::string>> expectedEntries = {{"outer.zip(plain)", "p"}};
  EXPECT_EQ(five.entries, expectedEntries);
}

TEST(UnpackTest, LayersOfCompressionAloneAreOneLevel) {
  std::string data = kBox;
  const Filter layers[] = {Filter::gzip, Filter::bzip2, Filter::xz, Filter::zstd, Filter::lz4};
  for (Filter layer : layers)
    data = compressed(layer, data);
  Outcome outcome = run(data, "f.gz.bz2.xz.zst.lz4");
  EXPECT_TRUE(outcome.problems.empty()) << testing::PrintToString(outcome.problems);
  ASSERT_EQ(outcome.entries.size(), 1u);
  EXPECT_EQ(outcome.entries[0].first, "f.gz.bz2.xz.zst.lz4");
  EXPECT_TRUE(outcome.entries[0].second == kBox);
}

// Damage: whatever was decoded before it is handed on, the problem is
// reported once, naming the data, and nothing hangs or crashes.
TEST(UnpackTest, DamagedDataGivesWhatCameBeforeAndOneProblem) {
  const std::string big = mailText(400000);
  struct Case {
    const char* what;
    std::string data;
    const char* name;    // of the data the problem concerns
    size_t minimumGood;  // bytes of `big` that must have come through
  };
  auto truncated = [](std::string data, size_t keep) { return data.substr(0, keep); };
  auto garbled = [](std::string data, size_t from) {
    for (size_t i = from; i < data.size(); ++i)
      data[i] = static_cast<char>(i * 131 + 7);
    return data;
  };
  std::string gzip = compressed(Filter::gzip, big);
  std::string zstd = compressed(Filter::zstd, big);
  std::string xz = compressed(Filter::xz, big);
  std::string bzip2 = compressed(Filter::bzip2, big);
  std::string tar = pack(Format::ustar, Filter::gzip, {{"box", big}});
  const Case cases[] = {
      {"gzip cut in half", truncated(gzip, gzip.size() / 2), "f", 100000},
      {"gzip garbled after 1 KiB", garbled(gzip, 1024), "f", 0},
      {"zstd cut in half", truncated(zstd, zstd.size() / 2), "f", 100000},
      {"xz cut in half", truncated(xz, xz.size() / 2), "f", 100000},
      // bzip2 decodes whole blocks of up to 900 kB: none is complete here.
      {"bzip2 cut in half", truncated(bzip2, bzip2.size() / 2), "f", 0},
      {"bzip2 garbled after 1 KiB", garbled(bzip2, 1024), "f", 0},
      {"tar.gz cut in half", truncated(tar, tar.size() / 2), "f(box)", 100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Outcome outcome = run(c.data, "f");
    ASSERT_EQ(outcome.problems.size(), 1u) << testing::PrintToString(outcome.problems);
    EXPECT_TRUE(outcome.problems[0].starts_with(c.name + std::string(": "))) << outcome.problems[0];
    size_t got = outcome.entries.empty() ? 0 : outcome.entries[0].second.size();
    EXPECT_GE(got, c.minimumGood);
    EXPECT_LT(got, big.size());
    if (!outcome.entries.empty()) {
      EXPECT_TRUE(big.starts_with(outcome.entries[0].second)) << "bytes decoded wrongly";
    }
  }
}

TEST(UnpackTest, AnArchiveWithABrokenEntryGivesTheOthers) {
  std::string data =
      pack(Format::ustar, Filter::none, {{"good", kBox}, {"bad", "x"}, {"last", "y"}});
  // The second header's name, under its checksum.
  size_t second = 512 + (kBox.size() + 511) / 512 * 512;
  data[second] = 'B';
  Outcome outcome = run(data);
  ASSERT_EQ(outcome.problems.size(), 1u);
  EXPECT_EQ(outcome.problems[0], "f: Damaged tar archive");
  ASSERT_GE(outcome.entries.size(), 2u);
  EXPECT_EQ(outcome.entries.front().first, "f(good)");
  EXPECT_TRUE(outcome.entries.front().second == kBox);
  EXPECT_EQ(outcome.entries.back(), std::make_pair(std::string("f(last)"), std::string("y")));
}

TEST(UnpackTest, WhatOnlyLooksLikeAnArchiveIsAProblem) {
  const std::string cases[] = {
      std::string("PK\x03\x04", 4) + "not a zip at all",
      "7z\xbc\xaf\x27\x1c",
      "\x1f\x8b",
      "070701garbage",
  };
  for (const std::string& data : cases) {
    Outcome outcome = run(data, "f");
    EXPECT_EQ(outcome.problems.size(), 1u) << testing::PrintToString(data);
    EXPECT_TRUE(outcome.entries.empty());
  }
}

// A 7z archive keeps its index at the end: one larger than what libarchive
// reads ahead cannot be read from a pipe.
TEST(UnpackTest, SevenZipNeedsToSeek) {
  std::string noise;
  for (uint32_t x = 1; noise.size() < 300000; x = x * 1103515245 + 12345) {
    noise += static_cast<char>(x >> 24);
  }
  std::string data = pack(Format::sevenZip, Filter::none, {{"box", noise}});
  Outcome outcome = run(data, "f.7z");
  EXPECT_EQ(outcome.problems.size(), 1u);
  EXPECT_TRUE(outcome.entries.empty());
}

}  // namespace
