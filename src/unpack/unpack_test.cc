#include "unpack/unpack.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <functional>
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
  std::vector<std::string> opened;
  std::vector<std::string> tooDeep;
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
  // The opened and tooDeep handlers are set, and note the names.
  bool noteLevels = false;
  // Handed on to the unpacking as it is.
  std::function<bool(std::string_view path)> leavesOut = nullptr;
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
  if (options.noteLevels) {
    handlers.opened = [&](const std::string& entryName) { outcome.opened.push_back(entryName); };
    handlers.tooDeep = [&](const std::string& entryName) { outcome.tooDeep.push_back(entryName); };
  }
  handlers.leavesOut = options.leavesOut;
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

// Each regular entry's own path is asked about before anything of it is
// read, at every level; one left out is not opened, even when it is packed.
// A bare compressed stream has no path of its own to ask about.
TEST(UnpackTest, EntriesLeftOutAreNeitherReadNorOpened) {
  std::string inner = pack(Format::zip, Filter::none, {{"x", "1"}, {"Spam/y", "2"}});
  std::string data = pack(Format::ustar, Filter::gzip,
                          {{"Mail/Inbox", "in"},
                           {"Mail/Spam", "no"},
                           {"in.zip", inner},
                           {"out.zip", inner},
                           {"dir", "", AE_IFDIR}});
  std::vector<std::string> asked;
  auto leavesOut = [&asked](std::string_view path) {
    asked.emplace_back(path);
    return path.ends_with("Spam") || path.starts_with("Spam/") || path == "out.zip";
  };
  Outcome outcome = run(data, "f", {.leavesOut = leavesOut});
  EXPECT_TRUE(outcome.problems.empty());
  std::vector<std::pair<std::string, std::string>> expected = {{"f(Mail/Inbox)", "in"},
                                                               {"f(in.zip)(x)", "1"}};
  EXPECT_EQ(outcome.entries, expected);
  std::vector<std::string> paths = {"Mail/Inbox", "Mail/Spam", "in.zip", "x", "Spam/y", "out.zip"};
  EXPECT_EQ(asked, paths);

  asked.clear();
  outcome = run(pack(Format::raw, Filter::gzip, {{"box", "b"}}), "f.gz", {.leavesOut = leavesOut});
  ASSERT_EQ(outcome.entries.size(), 1u);
  EXPECT_TRUE(asked.empty());
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

// With handlers of their own, every packed entry opened is named to one and
// every one refused for depth to the other, and neither is a problem.
TEST(UnpackTest, PackedEntriesOpenedAndRefusedAreNamed) {
  std::string level1 = pack(Format::zip, Filter::none, {{"m", kBox}});
  std::string level2 = pack(Format::zip, Filter::none, {{"x.zip", level1}, {"y.zip", level1}});
  std::string level3 = pack(Format::ustar, Filter::gzip, {{"a.zip", level2}});
  std::string level4 = pack(Format::zip, Filter::none, {{"b.tgz", level3}, {"box", kBox}});
  std::string level5 = pack(Format::zip, Filter::none, {{"c.zip", level4}});
  Options options;
  options.noteLevels = true;
  Outcome outcome = run(level5, "o.zip", options);
  EXPECT_TRUE(outcome.problems.empty()) << testing::PrintToString(outcome.problems);
  std::vector<std::string> opened = {"o.zip(c.zip)", "o.zip(c.zip)(b.tgz)",
                                     "o.zip(c.zip)(b.tgz)(a.zip)"};
  EXPECT_EQ(outcome.opened, opened);
  std::vector<std::string> refused = {"o.zip(c.zip)(b.tgz)(a.zip)(x.zip)",
                                      "o.zip(c.zip)(b.tgz)(a.zip)(y.zip)"};
  EXPECT_EQ(outcome.tooDeep, refused);
  ASSERT_EQ(outcome.entries.size(), 1u);
  EXPECT_EQ(outcome.entries[0].first, "o.zip(c.zip)(box)");
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

la_ssize_t handWhole(archive*, void* data, const void** block) {
  auto* rest = static_cast<std::string_view*>(data);
  *block = rest->data();
  size_t n = rest->size();
  *rest = {};
  return static_cast<la_ssize_t>(n);
}

// What archive_read_data gives of each regular entry before the end or the
// first failure, `readSize` bytes a call. Read one byte a call, it never
// holds more than a byte when a failure comes: that is every byte decoded.
// The data is read as a stream, as unpack reads it without a seeker.
std::vector<std::string> deliveredBytes(const std::string& data, size_t readSize = 1) {
  archive* a = archive_read_new();
  archive_read_support_filter_all(a);
  archive_read_support_format_all(a);
  archive_read_support_format_raw(a);
  std::vector<std::string> entries;
  std::string_view rest = data;
  EXPECT_EQ(archive_read_open(a, &rest, nullptr, handWhole, nullptr), ARCHIVE_OK);
  archive_entry* entry = nullptr;
  while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
    if (archive_entry_filetype(entry) != AE_IFREG) continue;
    std::string bytes;
    std::vector<char> buffer(readSize);
    la_ssize_t n;
    while ((n = archive_read_data(a, buffer.data(), readSize)) > 0)
      bytes.append(buffer.data(), static_cast<size_t>(n));
    entries.push_back(bytes);
  }
  archive_read_free(a);
  return entries;
}

std::vector<std::string> handedOn(const Outcome& outcome) {
  std::vector<std::string> entries;
  for (const auto& [name, bytes] : outcome.entries)
    entries.push_back(bytes);
  return entries;
}

// Data is read as the decoder's blocks come: damage loses no byte that was
// decoded before it, in any format, and good data comes out as before.
TEST(UnpackTest, EveryByteDecodedBeforeDamageIsHandedOn) {
  const std::string big = mailText(400000);
  auto cut = [](const std::string& data) { return data.substr(0, data.size() / 2); };
  auto garbled = [](std::string data) {
    for (size_t i = data.size() / 2; i < data.size(); ++i)
      data[i] = static_cast<char>(i * 131 + 7);
    return data;
  };
  struct Case {
    const char* what;
    std::string data;
  };
  const std::string gzip = compressed(Filter::gzip, big);
  const std::string zip = pack(Format::zip, Filter::none, {{"a", big}, {"b", big}, {"c", kBox}});
  const std::string tar = pack(Format::ustar, Filter::xz, {{"a", big}, {"b", big}});
  const Case cases[] = {
      {"gzip, whole", gzip},
      {"gzip cut in half", cut(gzip)},
      {"gzip garbled from the middle", garbled(gzip)},
      {"zstd cut in half", cut(compressed(Filter::zstd, big))},
      {"xz cut in half", cut(compressed(Filter::xz, big))},
      {"zip, whole", zip},
      {"zip garbled from the middle", garbled(zip)},
      {"tar.xz cut in half", cut(tar)},
      {"cpio.gz, whole", pack(Format::cpioNewc, Filter::gzip, {{"a", big}, {"b", kBox}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> expected = deliveredBytes(c.data);
    ASSERT_FALSE(expected.empty());
    std::vector<std::string> got = handedOn(run(c.data));
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].size(), expected[i].size()) << "entry " << i;
      EXPECT_TRUE(got[i] == expected[i]) << "entry " << i;
    }
  }
}

// A sparse entry's holes come out as zero bytes, as archive_read_data
// gives them, the one at its end included.
TEST(UnpackTest, HolesOfSparseEntriesAreZeroBytes) {
  std::string content(300000, '\0');
  std::string data = mailText(20000).substr(0, 20000);
  std::copy(data.begin(), data.end(), content.begin() + 100000);
  std::copy(data.begin(), data.end(), content.begin() + 250000);
  archive* a = archive_write_new();
  archive_write_set_format_pax(a);
  archive_write_set_bytes_in_last_block(a, 1);
  std::string tar;
  ASSERT_EQ(archive_write_open(a, &tar, nullptr, appendBytes, nullptr), ARCHIVE_OK);
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname(entry, "sparse");
  archive_entry_set_filetype(entry, AE_IFREG);
  archive_entry_set_perm(entry, 0644);
  archive_entry_set_size(entry, static_cast<la_int64_t>(content.size()));
  archive_entry_sparse_add_entry(entry, 100000, 20000);
  archive_entry_sparse_add_entry(entry, 250000, 20000);
  ASSERT_EQ(archive_write_header(a, entry), ARCHIVE_OK) << archive_error_string(a);
  archive_write_data(a, content.data(), content.size());
  archive_entry_free(entry);
  ASSERT_EQ(archive_write_close(a), ARCHIVE_OK);
  archive_write_free(a);

  Outcome outcome = run(tar);
  EXPECT_TRUE(outcome.problems.empty()) << testing::PrintToString(outcome.problems);
  ASSERT_EQ(outcome.entries.size(), 1u);
  // The last hole too: the entry ends in one. The whole reading through
  // archive_read_data, 128 KiB a call as before, gives the same bytes.
  EXPECT_EQ(outcome.entries[0].second.size(), content.size());
  EXPECT_TRUE(outcome.entries[0].second == content);
  EXPECT_TRUE(deliveredBytes(tar, 131072) == std::vector<std::string>{content});
  // The archive holds the sparse map libarchive was given: the holes are
  // not stored as bytes.
  EXPECT_LT(tar.size(), content.size() / 2);
}

}  // namespace
