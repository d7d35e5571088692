// Reading files on worker threads, with every effect made in walk order.
//
// The walk stays one ordered pass on the main thread; each file it hands on
// becomes a job that a worker reads. A worker never writes to the console
// or touches the day table: what its reader says and finds goes into the
// job's buffer of events (output runs, messages to count, the reader's own
// tally), and the main thread replays the buffers one job after the other,
// in the order the jobs were handed out. Whatever depends on order (the
// interleaving of the two streams, which warning comes first, the path
// line's timing, which copy of a message is the first) therefore comes out
// as on one thread, whatever the workers' timing.
//
// Memory stays bounded whatever a file holds: a job's buffer holds at most
// about `bufferBytes`; a worker whose buffer is full waits, and the main
// thread empties the buffer of the oldest job as it fills, so that job
// streams through while the younger ones wait their turn. At most `window`
// jobs are handed out and not yet replayed.

#ifndef VARNAK_DRIVER_PARALLEL_READ_H_
#define VARNAK_DRIVER_PARALLEL_READ_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "common/tally.h"
#include "platform/collected_output.h"
#include "platform/output.h"
#include "scan/message.h"

// One effect of reading a file: an output run, a message to count, or what
// the reader added to its own tally (file groups, captured lines too long).
using ReadEvent = std::variant<OutputRun, MailMessage, RunTally>;

// Bytes an event keeps alive in a buffer, for the buffer's bound.
size_t eventWeight(const ReadEvent& event);

struct ParallelJob;
class ParallelReads;

// A worker's end of one job: events added here are replayed by the main
// thread, in the order added, after those of every job handed out before.
class JobEvents {
 public:
  JobEvents(ParallelReads& reads, ParallelJob& job);
  JobEvents(const JobEvents&) = delete;
  JobEvents& operator=(const JobEvents&) = delete;

  // May wait, when the job's buffer is full, until the main thread has
  // replayed part of it.
  void add(ReadEvent event);
  // Output: appended to the last event when that is output to the same
  // stream, so a file's lines are replayed in few writes.
  void write(Stream stream, std::initializer_list<std::string_view> pieces);
  // Hands over whatever is gathered, and with `last` marks the job over.
  void publish(bool last);

 private:
  ParallelReads& reads_;
  ParallelJob& job_;
  // Events are handed over in batches: the pool's lock is taken once a
  // batch, not once a message.
  std::vector<ReadEvent> batch_;
  size_t batchBytes_ = 0;
  const size_t batchLimit_;
};

// Output that a worker's reader writes: gathered as events of its job.
class JobOutput : public Output {
 public:
  explicit JobOutput(JobEvents& events) : events_(events) {}
  void write(Stream stream, std::initializer_list<std::string_view> pieces) override {
    events_.write(stream, pieces);
  }

 private:
  JobEvents& events_;
};

// The pool of workers and the jobs in flight.
class ParallelReads {
 public:
  using Work = std::function<void(JobEvents& events)>;
  using Replay = std::function<void(ReadEvent& event)>;

  // Starts `workers` threads. `replay` is called on the main thread only,
  // with every event in walk order.
  ParallelReads(int workers, size_t bufferBytes, size_t window, Replay replay);
  // Replays whatever is still in flight, then stops the workers.
  ~ParallelReads();
  ParallelReads(const ParallelReads&) = delete;
  ParallelReads& operator=(const ParallelReads&) = delete;

  // Main thread: hands `work` to the next free worker. Replays the jobs
  // that have ended meanwhile, and waits for the oldest while the window
  // is full.
  void submit(Work work);
  // Main thread: an event of the walk itself (a banner, a warning about a
  // path), to stand after everything of the jobs handed out before it.
  void add(ReadEvent event);
  // Main thread: replays every job handed out, waiting for each.
  void finish();

  // The most bytes the buffers of all jobs held at once, for the check
  // that memory stays bounded.
  size_t peakBufferedBytes();

 private:
  friend class JobEvents;

  void workerLoop();
  // Replays the jobs that have ended, oldest first, up to the first that
  // has not, and what that one has handed over so far.
  void replayEnded();
  // Replays what the oldest job has handed over so far, first waiting for
  // some when `wait` is set; true when the job was over and is gone.
  bool replayOldest(bool wait);
  // Worker side of JobEvents::publish.
  void publish(ParallelJob& job, std::vector<ReadEvent>& batch, size_t bytes, bool last);

  const size_t bufferBytes_;
  const size_t window_;
  Replay replay_;
  std::mutex mutex_;
  // Workers wait here for a job to start,
  std::condition_variable jobWaits_;
  // and here for room in their buffer.
  std::condition_variable roomMade_;
  // The main thread waits here for events of the oldest job, or its end.
  std::condition_variable mainWakes_;
  // Every job handed out and not yet replayed, oldest first; the walk's own
  // events stand among them as jobs that are over from the start.
  std::deque<std::unique_ptr<ParallelJob>> inFlight_;
  // The jobs no worker has started yet, oldest first.
  std::deque<ParallelJob*> waiting_;
  bool stopping_ = false;
  size_t buffered_ = 0;
  size_t peakBuffered_ = 0;
  std::vector<std::thread> workers_;
};

#endif  // VARNAK_DRIVER_PARALLEL_READ_H_
