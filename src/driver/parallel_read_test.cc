#include "driver/parallel_read.h"

#include <latch>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// What the replay saw, as one line an event: "out:TEXT", "err:TEXT",
// "message:FROM" or "tally:N" (N the tally's mailboxFiles).
std::string describe(const ReadEvent& event) {
  if (const OutputRun* run = std::get_if<OutputRun>(&event))
    return (run->stream == Stream::out ? "out:" : "err:") + run->bytes + "\n";
  if (const MailMessage* message = std::get_if<MailMessage>(&event))
    return "message:" + message->fromLine + "\n";
  return "tally:" + std::to_string(std::get<RunTally>(event).mailboxFiles) + "\n";
}

MailMessage messageFrom(std::string from) {
  MailMessage message;
  message.fromLine = std::move(from);
  return message;
}

// What job `i` of the ordering test hands back: a few messages and lines,
// more for some jobs than others, so that jobs end in a mixed order.
void fillJob(int i, JobEvents& events) {
  int count = (i * 7) % 5 + 1;
  for (int k = 0; k < count; ++k) {
    events.add(messageFrom(std::to_string(i) + "." + std::to_string(k)));
    events.write(k % 2 == 0 ? Stream::out : Stream::err, {"line ", std::to_string(i)});
  }
  RunTally tally;
  tally.mailboxFiles = static_cast<uint64_t>(i);
  events.add(tally);
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
                          [&seen](ReadEvent& event) { seen += describe(event); });
      for (int i = 0; i < 60; ++i) {
        reads.submit([i](JobEvents& events) { fillJob(i, events); });
        expected += expectedJob(i);
        if (i % 9 == 0) {
          reads.add(OutputRun{Stream::out, "banner " + std::to_string(i)});
          expected += "out:banner " + std::to_string(i) + "\n";
        }
      }
      reads.finish();
    }
    EXPECT_EQ(seen, expected) << c.workers << " workers, buffer " << c.bufferBytes << ", window "
                              << c.window;
  }
}

TEST(ParallelReadsTest, AJobThatEndsFirstStillWaitsForTheOlderOnes) {
  std::string seen;
  std::latch youngestOver(1);
  {
    ParallelReads reads(3, 1 << 20, 8, [&seen](ReadEvent& event) { seen += describe(event); });
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
  ParallelReads reads(2, 1 << 20, 8, [&seen](ReadEvent& event) { seen += describe(event); });
  // With nothing in flight, the walk's text is written at once.
  reads.add(OutputRun{Stream::out, "dir/"});
  EXPECT_EQ(seen, "out:dir/\n");
  std::latch release(1);
  reads.submit([&release](JobEvents& events) {
    release.wait();
    events.write(Stream::out, {"inbox"});
  });
  // Behind a job still reading, it waits for that job.
  reads.add(OutputRun{Stream::err, "Unable to read file x"});
  reads.add(OutputRun{Stream::out, "sub/"});
  EXPECT_EQ(seen, "out:dir/\n");
  release.count_down();
  reads.finish();
  EXPECT_EQ(seen, "out:dir/\nout:inbox\nerr:Unable to read file x\nout:sub/\n");
}

TEST(ParallelReadsTest, WritesToOneStreamInARowBecomeOneRun) {
  std::vector<OutputRun> runs;
  {
    ParallelReads reads(1, 1 << 20, 4,
                        [&runs](ReadEvent& event) { runs.push_back(std::get<OutputRun>(event)); });
    reads.submit([](JobEvents& events) {
      events.write(Stream::out, {"a", "b"});
      events.write(Stream::out, {"c"});
      events.write(Stream::err, {"d"});
      events.write(Stream::out, {"e"});
    });
  }
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].bytes, "abc");
  EXPECT_EQ(runs[1].stream, Stream::err);
  EXPECT_EQ(runs[1].bytes, "d");
  EXPECT_EQ(runs[2].bytes, "e");
}

TEST(ParallelReadsTest, BuffersStayBoundedWhateverTheJobsWrite) {
  const size_t kBuffer = 64 * 1024;
  const std::string line(100, 'x');
  size_t replayed = 0;
  ParallelReads reads(3, kBuffer, 6,
                      [&replayed](ReadEvent& event) { replayed += eventWeight(event); });
  // Four jobs of 4 MiB each: the younger ones wait with full buffers while
  // the oldest streams through.
  for (int i = 0; i < 4; ++i) {
    reads.submit([&line](JobEvents& events) {
      for (int k = 0; k < 40000; ++k) {
        events.add(messageFrom(line));
        events.write(Stream::out, {line});
      }
    });
  }
  reads.finish();
  EXPECT_GT(replayed, 4u * 40000 * 200);
  // Each of the three jobs being read holds at most a buffer and a batch.
  EXPECT_LE(reads.peakBufferedBytes(), 3 * 2 * kBuffer);
}

}  // namespace
