#include "driver/parallel_read.h"

#include <latch>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string facts(const CutFacts& facts) {
  return std::string(facts.dateSeen ? " date" : "") + (facts.fromSeen ? " from" : "") +
         (facts.sizeRestarted ? " size" : "");
}

// What the replay saw, as one line an event: "out:TEXT", "err:TEXT",
// "message:FROM" or "tally:N" (N the tally's mailboxFiles).
std::string describe(const ReadEvent& event) {
  switch (event.kind) {
    case ReadEvent::Kind::output:
      return (event.stream == Stream::out ? "out:" : "err:") + std::string(event.bytes) + "\n";
    case ReadEvent::Kind::message:
      return "message:" + std::string(event.message->fromLine) + "\n";
    case ReadEvent::Kind::tick:
      return "tick:" + std::to_string(event.bytesRead) + "/" + std::to_string(event.files) + "/" +
             std::to_string(event.messages) + ":" + std::string(event.bytes) + "\n";
    case ReadEvent::Kind::rangeStart:
      return "range:" + std::string(event.bytes) + (event.first ? " first\n" : "\n");
    case ReadEvent::Kind::joined:
      return "joined:" + std::string(event.message->fromLine) + facts(*event.facts) + "\n";
    case ReadEvent::Kind::rangeEnd: {
      const RangeEnd& end = *event.rangeEnd;
      return std::string("end:") + (end.carries ? " carries " + end.message.fromLine : "") +
             (end.rest ? " rest" + facts(end.facts) : "") + (end.announced ? " announced" : "") +
             (end.final ? " final" : "") +
             (end.range.end != 0
                  ? " " + std::to_string(end.range.begin) + "-" + std::to_string(end.range.end) +
                        "#" + std::to_string(end.range.index) + (end.range.last ? " last" : "") +
                        " to " + std::to_string(end.readTo)
                  : "") +
             "\n";
    }
    case ReadEvent::Kind::tally:
      break;
  }
  return "tally:" + std::to_string(event.tally->mailboxFiles) + "\n";
}

KeptMessage messageFrom(std::string from) {
  KeptMessage message;
  message.fromLine = std::move(from);
  return message;
}

// What job `i` of the ordering test hands back: a few messages and lines,
// more for some jobs than others, so that jobs end in a mixed order.
void fillJob(int i, JobEvents& events) {
  int count = (i * 7) % 5 + 1;
  for (int k = 0; k < count; ++k) {
    events.addMessage(lentMessage(messageFrom(std::to_string(i) + "." + std::to_string(k))));
    events.write(k % 2 == 0 ? Stream::out : Stream::err, {"line ", std::to_string(i)});
  }
  RunTally tally;
  tally.mailboxFiles = static_cast<uint64_t>(i);
  events.addTally(tally);
}

// The same, as the replay must see it.
std::string expectedJob(int i) {
  std::string text;
  int count = (i * 7) % 5 + 1;
  for (int k = 0; k < count; ++k) {
    text += "message:" + std::to_string(i) + "." + std::to_string(k) + "\n";
    text += (k % 2 == 0 ? "out:line " : "err:line ") + std::to_string(i) + "\n";
  }
  return text + "tally:" + std::to_string(i) + "\n";
}

TEST(ParallelReadsTest, ReplaysEveryEventInTheOrderJobsWereHandedOut) {
  const struct {
    int workers;
    size_t bufferBytes;
    size_t window;
  } cases[] = {
      {1, 1 << 20, 16}, {2, 1 << 20, 16}, {3, 1, 2},   {8, 64, 1},
      {8, 1 << 20, 64}, {2, 200, 4},      {4, 1, 100},
  };
  for (const auto& c : cases) {
    std::string seen;
    std::string expected;
    {
      ParallelReads reads(c.workers, c.bufferBytes, c.window,
                          [&seen](const ReadEvent& event) { seen += describe(event); });
      for (int i = 0; i < 60; ++i) {
        reads.submit([i](JobEvents& events) { fillJob(i, events); });
        expected += expectedJob(i);
        if (i % 9 == 0) {
          reads.addOutput(Stream::out, "banner " + std::to_string(i));
          expected += "out:banner " + std::to_string(i) + "\n";
        }
      }
      reads.finish();
    }
    EXPECT_EQ(seen, expected) << c.workers << " workers, buffer " << c.bufferBytes << ", window "
                              << c.window;
  }
}

// Job `name` writes its name; those of depth below 2 leave a follow-up
// that hands out two more, "name.0" and "name.1", which do the same.
void submitNamed(ParallelReads& reads, const std::string& name, int depth) {
  reads.submit([&reads, name, depth](JobEvents& events) {
    events.write(Stream::out, {name});
    if (depth < 2 && name.back() != '3') {
      events.followWith([&reads, name, depth] {
        submitNamed(reads, name + ".0", depth + 1);
        submitNamed(reads, name + ".1", depth + 1);
      });
    }
  });
}

// Depth first, as the walk would have gone had the follow-up's jobs been
// handed out where the job stood.
std::string expectedNamed(const std::string& name, int depth) {
  std::string text = "out:" + name + "\n";
  if (depth < 2 && name.back() != '3')
    text += expectedNamed(name + ".0", depth + 1) + expectedNamed(name + ".1", depth + 1);
  return text;
}

TEST(ParallelReadsTest, AFollowUpsJobsStandWhereTheJobStood) {
  const struct {
    int workers;
    size_t window;
  } cases[] = {{1, 1}, {1, 16}, {2, 2}, {3, 4}, {8, 64}};
  for (const auto& c : cases) {
    std::string seen;
    std::string expected;
    {
      ParallelReads reads(c.workers, 1 << 20, c.window,
                          [&seen](const ReadEvent& event) { seen += describe(event); });
      for (int i = 0; i < 12; ++i) {
        submitNamed(reads, std::to_string(i), 0);
        expected += expectedNamed(std::to_string(i), 0);
        if (i % 5 == 0) {
          reads.addOutput(Stream::err, "walk " + std::to_string(i));
          expected += "err:walk " + std::to_string(i) + "\n";
        }
      }
      reads.finish();
    }
    EXPECT_EQ(seen, expected) << c.workers << " workers, window " << c.window;
  }
}

TEST(ParallelReadsTest, AJobThatEndsFirstStillWaitsForTheOlderOnes) {
  std::string seen;
  std::latch youngestOver(1);
  {
    ParallelReads reads(3, 1 << 20, 8,
                        [&seen](const ReadEvent& event) { seen += describe(event); });
    // The oldest job ends only after the youngest has: its events still
    // come first.
    reads.submit([&youngestOver](JobEvents& events) {
      youngestOver.wait();
      events.write(Stream::out, {"first"});
    });
    reads.submit([](JobEvents& events) { events.write(Stream::err, {"second"}); });
    reads.submit([&youngestOver](JobEvents& events) {
      events.write(Stream::out, {"third"});
      events.publish(false);
      youngestOver.count_down();
    });
    reads.finish();
  }
  EXPECT_EQ(seen, "out:first\nerr:second\nout:third\n");
}

TEST(ParallelReadsTest, TheWalksOwnEventsStandBetweenTheJobsAroundThem) {
  std::string seen;
  ParallelReads reads(2, 1 << 20, 8, [&seen](const ReadEvent& event) { seen += describe(event); });
  // With nothing in flight, the walk's text is written at once.
  reads.addOutput(Stream::out, "dir/");
  EXPECT_EQ(seen, "out:dir/\n");
  std::latch release(1);
  reads.submit([&release](JobEvents& events) {
    release.wait();
    events.write(Stream::out, {"inbox"});
  });
  // Behind a job still reading, it waits for that job.
  reads.addOutput(Stream::err, "Unable to read file x");
  reads.addOutput(Stream::out, "sub/");
  EXPECT_EQ(seen, "out:dir/\n");
  release.count_down();
  reads.finish();
  EXPECT_EQ(seen, "out:dir/\nout:inbox\nerr:Unable to read file x\nout:sub/\n");
}

TEST(ParallelReadsTest, WritesToOneStreamInARowBecomeOneRun) {
  std::vector<std::pair<Stream, std::string>> runs;
  {
    ParallelReads reads(1, 1 << 20, 4, [&runs](const ReadEvent& event) {
      runs.emplace_back(event.stream, std::string(event.bytes));
    });
    reads.submit([](JobEvents& events) {
      events.write(Stream::out, {"a", "b"});
      events.write(Stream::out, {"c"});
      events.write(Stream::err, {"d"});
      events.write(Stream::out, {"e"});
    });
  }
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].second, "abc");
  EXPECT_EQ(runs[1].first, Stream::err);
  EXPECT_EQ(runs[1].second, "d");
  EXPECT_EQ(runs[2].second, "e");
}

TEST(ParallelReadsTest, BuffersStayBoundedWhateverTheJobsWrite) {
  const size_t kBuffer = 64 * 1024;
  const std::string line(100, 'x');
  size_t replayed = 0;
  ParallelReads reads(3, kBuffer, 6, [&replayed](const ReadEvent& event) {
    replayed +=
        event.kind == ReadEvent::Kind::output ? event.bytes.size() : event.message->fromLine.size();
  });
  // Four jobs of 4 MiB each: the younger ones wait with full buffers while
  // the oldest streams through.
  for (int i = 0; i < 4; ++i) {
    reads.submit([&line](JobEvents& events) {
      for (int k = 0; k < 40000; ++k) {
        events.addMessage(lentMessage(messageFrom(line)));
        events.write(Stream::out, {line});
      }
    });
  }
  reads.finish();
  EXPECT_EQ(replayed, 4u * 40000 * 200);
  // Each of the three jobs being read holds at most a buffer and a batch.
  EXPECT_LE(reads.peakBufferedBytes(), 3 * 2 * kBuffer);
}

}  // namespace

namespace {

TEST(ParallelReadsTest, MessagesAndTalliesArriveWhole) {
  KeptMessage plain = messageFrom("jane@example.com Mon Jan  7 10:12:01 2002");
  plain.dateText = "Mon, 7 Jan 2002 10:12:01 +0000";
  KeptMessage odd;
  odd.hasReceivedLine = true;
  odd.fromLine = std::string("nul\0byte", 8);
  odd.fromHeader = std::string(5000, 'f') + "\n\tfolded";
  odd.size = UINT32_MAX;
  odd.hasGmailLabels = true;
  odd.hasMessageId = true;
  odd.messageId = "<id@example.com>";
  KeptMessage idOnly;
  idOnly.hasMessageId = true;
  KeptMessage empty;
  const KeptMessage cases[] = {plain, odd, idOnly, empty};
  RunTally tally;
  tally.sent = 3;
  tally.listLines = UINT64_MAX;
  std::vector<KeptMessage> seen;
  RunTally seenTally;
  {
    ParallelReads reads(2, 4096, 4, [&](const ReadEvent& event) {
      if (event.kind == ReadEvent::Kind::message) keepMessage(*event.message, seen.emplace_back());
      if (event.kind == ReadEvent::Kind::tally) seenTally = *event.tally;
    });
    reads.submit([&](JobEvents& events) {
      for (const KeptMessage& message : cases)
        events.addMessage(lentMessage(message));
      events.addTally(tally);
    });
  }
  ASSERT_EQ(seen.size(), std::size(cases));
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].hasReceivedLine, cases[i].hasReceivedLine) << i;
    EXPECT_EQ(seen[i].fromLine, cases[i].fromLine) << i;
    EXPECT_EQ(seen[i].dateText, cases[i].dateText) << i;
    EXPECT_EQ(seen[i].fromHeader, cases[i].fromHeader) << i;
    EXPECT_EQ(seen[i].size, cases[i].size) << i;
    EXPECT_EQ(seen[i].hasGmailLabels, cases[i].hasGmailLabels) << i;
    EXPECT_EQ(seen[i].hasMessageId, cases[i].hasMessageId) << i;
    EXPECT_EQ(seen[i].messageId, cases[i].messageId) << i;
  }
  EXPECT_EQ(seenTally.sent, 3u);
  EXPECT_EQ(seenTally.listLines, UINT64_MAX);
  EXPECT_EQ(seenTally.received, 0u);
}

// A reader's ticks reach the main thread as what was read since the one
// before, in their place among the file's lines.
TEST(ParallelReadsTest, TicksArriveAsWhatWasReadSinceTheLastOne) {
  std::string seen;
  {
    ParallelReads reads(2, 64, 2, [&seen](const ReadEvent& event) { seen += describe(event); });
    reads.submit([](JobEvents& events) {
      JobOutput output(events, true);
      ProgressCounts counts;
      counts.files = 1;
      output.tick(counts, "a");
      counts.bytesRead = 131072;
      output.tick(counts, "a");
      output.progress({"a\n"});
      counts.bytesRead = 131080;
      counts.files = 2;
      counts.messages = 7;
      output.tick(counts, "b\x01");
    });
  }
  EXPECT_EQ(seen, "tick:0/1/0:a\ntick:131072/0/0:a\nout:a\n\ntick:8/1/7:b\x01\n");
}

// What a range hands over besides its own messages, each flag alone.
TEST(ParallelReadsTest, RangeEventsArriveWhole) {
  std::string seen;
  {
    ParallelReads reads(2, 64, 2, [&seen](const ReadEvent& event) { seen += describe(event); });
    reads.submit([](JobEvents& events) {
      events.addRangeStart("box", true);
      events.addJoined(lentMessage(messageFrom("a")), {true, false, false});
      events.addJoined(lentMessage(messageFrom("b")), {false, true, true});
      RangeEnd end;
      end.carries = true;
      end.message = messageFrom("c");
      events.addRangeEnd(end);
      events.addRangeStart("box", false);
      end.rest = true;
      end.facts.sizeRestarted = true;
      events.addRangeEnd(end);
      RangeEnd announced;
      announced.announced = true;
      announced.range = {10, 20, 3, true};
      announced.readTo = UINT64_MAX;
      events.addRangeEnd(announced);
      RangeEnd final;
      final.final = true;
      events.addRangeEnd(final);
    });
  }
  EXPECT_EQ(seen,
            "range:box first\njoined:a date\njoined:b from size\nend: carries c\nrange:box\n"
            "end: carries c rest size\nend: announced 10-20#3 last to 18446744073709551615\n"
            "end: final\n");
}

}  // namespace
