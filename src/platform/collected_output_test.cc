#include "platform/collected_output.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Runs = std::vector<std::pair<Stream, std::string>>;

Runs runsOf(const CollectedOutput& output) {
  Runs runs;
  for (const OutputRun& run : output.runs())
    runs.emplace_back(run.stream, run.bytes);
  return runs;
}

// Keeps every write it is handed as one entry, unmerged: what a replay
// asks of the sink it writes to.
struct WriteLog final : Output {
  Runs writes;
  void write(Stream stream, std::initializer_list<std::string_view> pieces) override {
    std::string bytes;
    for (std::string_view piece : pieces)
      bytes += piece;
    writes.emplace_back(stream, bytes);
  }
};

const std::string kNul("a\0b", 3);

// Writes of several pieces each, and the runs they must leave.
struct Case {
  const char* name;
  Runs writes;
  Runs runs;
};

const Case kCases[] = {
    {"nothing", {}, {}},
    {"one stream merges", {{Stream::out, "a"}, {Stream::out, "bc"}}, {{Stream::out, "abc"}}},
    {"alternation keeps order",
     {{Stream::out, "1"}, {Stream::err, "2"}, {Stream::err, "3"}, {Stream::out, "4"}},
     {{Stream::out, "1"}, {Stream::err, "23"}, {Stream::out, "4"}}},
    {"starts on standard error",
     {{Stream::err, "e"}, {Stream::out, "o"}},
     {{Stream::err, "e"}, {Stream::out, "o"}}},
    {"empty writes leave no run and split none",
     {{Stream::err, ""}, {Stream::out, "a"}, {Stream::err, ""}, {Stream::out, "b"}},
     {{Stream::out, "ab"}}},
    {"bytes are kept whole",
     {{Stream::out, kNul}, {Stream::err, kNul}},
     {{Stream::out, kNul}, {Stream::err, kNul}}},
};

// Each write is made of its bytes cut in two pieces, so that the pieces of
// one write are joined too.
void writeAll(Output& output, const Runs& writes) {
  for (const auto& [stream, bytes] : writes) {
    std::string_view all = bytes;
    size_t half = all.size() / 2;
    output.write(stream, {all.substr(0, half), all.substr(half)});
  }
}

std::string joined(const Runs& writes, Stream stream) {
  std::string text;
  for (const auto& [s, bytes] : writes)
    if (s == stream) text += bytes;
  return text;
}

TEST(CollectedOutputTest, AdjacentWritesToOneStreamMergeAndTheOrderIsKept) {
  for (const Case& c : kCases) {
    CollectedOutput output;
    writeAll(output, c.writes);
    EXPECT_EQ(runsOf(output), c.runs) << c.name;
    EXPECT_EQ(output.text(Stream::out), joined(c.writes, Stream::out)) << c.name;
    EXPECT_EQ(output.text(Stream::err), joined(c.writes, Stream::err)) << c.name;
    EXPECT_EQ(output.size(), output.text(Stream::out).size() + output.text(Stream::err).size())
        << c.name;
    EXPECT_EQ(output.empty(), c.runs.empty()) << c.name;
  }
}

TEST(CollectedOutputTest, ReplayWritesEachRunOnceInOrder) {
  for (const Case& c : kCases) {
    CollectedOutput output;
    writeAll(output, c.writes);
    WriteLog log;
    output.replayTo(log);
    EXPECT_EQ(log.writes, c.runs) << c.name;
    // Replayed into another collection, and after what it already held.
    CollectedOutput again;
    again.write(Stream::out, {"before\n"});
    output.replayTo(again);
    CollectedOutput direct;
    direct.write(Stream::out, {"before\n"});
    writeAll(direct, c.writes);
    EXPECT_EQ(runsOf(again), runsOf(direct)) << c.name;
  }
}

TEST(CollectedOutputTest, ClearForgetsEverything) {
  CollectedOutput output;
  output.write(Stream::out, {"a"});
  output.write(Stream::err, {"b"});
  output.clear();
  EXPECT_TRUE(output.empty());
  EXPECT_EQ(output.size(), 0u);
  EXPECT_EQ(output.text(Stream::out), "");
  // A run written after the clear is not merged into one written before.
  output.write(Stream::err, {"c"});
  EXPECT_EQ(runsOf(output), (Runs{{Stream::err, "c"}}));
}

// Progress goes to standard output, errors to standard error, and warnings
// to standard error only under -terse.
TEST(CollectedOutputTest, EachKindOfLineGoesToItsStream) {
  const struct {
    const char* name;
    void (*print)(Output&);
    Stream stream;
  } cases[] = {
      {"progress",
       [](Output& o) {
         o.progress({"x", "y"});
       },
       Stream::out},
      {"error",
       [](Output& o) {
         o.error({"x", "y"});
       },
       Stream::err},
      {"warning",
       [](Output& o) {
         o.warning(false, {"x", "y"});
       },
       Stream::out},
      {"terse warning",
       [](Output& o) {
         o.warning(true, {"x", "y"});
       },
       Stream::err},
  };
  for (const auto& c : cases) {
    CollectedOutput output;
    c.print(output);
    EXPECT_EQ(runsOf(output), (Runs{{c.stream, "xy"}})) << c.name;
  }
}

}  // namespace
