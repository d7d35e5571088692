// Reading files on worker threads, with every effect made in walk order.
//
// The walk stays one ordered pass on the main thread; the files it hands on
// become jobs that workers read. A worker never writes to the console or
// touches the day table: what its reader says and finds goes into the
// job's buffer of events (output, messages to count, the reader's own
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
// jobs are handed out and not yet replayed, but for those a follow-up
// (JobEvents::followWith) hands out in a job's place, which the window
// does not hold back: the next job the walk hands out waits for them.
//
// Events are kept as bytes in one string a buffer, not as records: a
// message then costs no allocation on the worker and no free on the main
// thread (memory freed on another thread than the one that took it is
// what a multi-threaded allocator does slowest).

#ifndef VARNAK_DRIVER_PARALLEL_READ_H_
#define VARNAK_DRIVER_PARALLEL_READ_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/day_table.h"
#include "common/run_options.h"
#include "common/tally.h"
#include "count/unique.h"
#include "platform/file_table.h"
#include "platform/output.h"
#include "platform/progress.h"
#include "read/mail_range.h"
#include "scan/message.h"

// One event as the main thread replays it. Only the fields of its kind are
// set; the views and pointers are good for the call only.
struct ReadEvent {
  // A range of a file read in ranges begins (its path in `bytes`, `first`
  // set for the file's first range); the message its cut fell in ends at
  // one of its separators (`message` being the rest, with `facts`); it
  // ends (`rangeEnd`).
  enum class Kind : uint8_t { output, message, tally, tick, rangeStart, joined, rangeEnd };
  Kind kind = Kind::output;
  Stream stream = Stream::out;
  std::string_view bytes;
  const MailMessage* message = nullptr;
  const RunTally* tally = nullptr;
  // A tick: what the reader has read and counted since the one before, and
  // the name in `bytes`.
  uint64_t bytesRead = 0;
  uint64_t files = 0;
  uint64_t messages = 0;
  bool first = false;
  const CutFacts* facts = nullptr;
  const RangeEnd* rangeEnd = nullptr;
};

struct ParallelJob;
class ParallelReads;

// A worker's end of one job: events added here are replayed by the main
// thread, in the order added, after those of every job handed out before.
// Each call may wait, when the job's buffer is full, until the main thread
// has replayed part of it.
class JobEvents {
 public:
  JobEvents(ParallelReads& reads, ParallelJob& job, size_t worker, const SharedTable* shared);
  JobEvents(const JobEvents&) = delete;
  JobEvents& operator=(const JobEvents&) = delete;

  void write(Stream stream, std::initializer_list<std::string_view> pieces);
  void addMessage(const MailMessage& message);
  void addTally(const RunTally& tally);
  void addTick(const ProgressCounts& counts, std::string_view name);
  void addRangeStart(std::string_view path, bool first);
  void addJoined(const MailMessage& rest, const CutFacts& facts);
  void addRangeEnd(const RangeEnd& end);
  // Hands over whatever is gathered, and with `last` marks the job over.
  void publish(bool last);
  // `followUp` runs on the main thread once the job is replayed to its
  // end, before anything handed out after the job: the jobs it submits
  // stand in the job's place, after it and before those.
  void followWith(std::function<void()> followUp);
  // Which of the pool's workers runs the job, from 0.
  size_t worker() const { return worker_; }
  // Where the worker has a table of file descriptors of its own, its way
  // to those the main thread opens (adoptFile); null where it shares the
  // main thread's, and such a descriptor is its own too.
  const SharedTable* sharedTable() const { return shared_; }

 private:
  void publishWhenFull();

  ParallelReads& reads_;
  ParallelJob& job_;
  const size_t worker_;
  const SharedTable* const shared_;
  // Events are handed over in batches: the pool's lock is taken once a
  // batch, not once a message.
  std::string batch_;
  const size_t batchLimit_;
  // Where the output run being written has its length, to be extended by a
  // write to the same stream; npos when the last event is not output.
  size_t openRun_ = std::string::npos;
  Stream openStream_ = Stream::out;
};

// Output that a worker's reader writes: gathered as events of its job.
class JobOutput final : public Output {
 public:
  // Ticks are handed over only with `ticks` set: where the main thread's
  // sink shows them.
  JobOutput(JobEvents& events, bool ticks) : events_(events), ticks_(ticks) {}
  void write(Stream stream, std::initializer_list<std::string_view> pieces) override {
    events_.write(stream, pieces);
  }
  // The reader's ticks are replayed too, as what was read since the last
  // one: the main thread's counts then move as on one thread.
  void tick(const ProgressCounts& counts, std::string_view name) override {
    if (!ticks_) return;
    events_.addTick({counts.bytesRead - ticked_.bytesRead, counts.files - ticked_.files,
                     counts.messages - ticked_.messages},
                    name);
    ticked_ = counts;
  }

 private:
  JobEvents& events_;
  const bool ticks_;
  ProgressCounts ticked_;
};

// The pool of workers and the jobs in flight.
class ParallelReads {
 public:
  using Work = std::function<void(JobEvents& events)>;
  using Replay = std::function<void(const ReadEvent& event)>;

  // Starts `workers` threads, each in a table of file descriptors of its
  // own with `ownTables` (see platform/file_table.h). `replay` is called on
  // the main thread only, with every event in walk order.
  ParallelReads(int workers, size_t bufferBytes, size_t window, Replay replay,
                bool ownTables = false);
  // Replays whatever is still in flight, then stops the workers.
  ~ParallelReads();
  ParallelReads(const ParallelReads&) = delete;
  ParallelReads& operator=(const ParallelReads&) = delete;

  // Main thread: hands `work` to the next free worker. Replays the jobs
  // that have ended meanwhile, and waits for the oldest while the window
  // is full.
  void submit(Work work);
  // Main thread: output of the walk itself (a banner, a warning about a
  // path), to stand after everything of the jobs handed out before it.
  void addOutput(Stream stream, std::string_view bytes);
  // Main thread: replays every job handed out, waiting for each.
  void finish();

  // The most bytes the buffers of all jobs held at once, for the check
  // that memory stays bounded.
  size_t peakBufferedBytes();

 private:
  friend class JobEvents;

  void workerLoop(size_t worker);
  // Replays the jobs that have ended, oldest first, up to the first that
  // has not, and what that one has handed over so far.
  void replayEnded();
  // Replays what the oldest job has handed over so far, first waiting for
  // some when `wait` is set; true when the job was over and is gone.
  bool replayOldest(bool wait);
  void runFollowUp(const std::function<void()>& followUp);
  void replayBytes(std::string_view events);
  // Worker side of JobEvents::publish; leaves `batch` empty.
  void publish(ParallelJob& job, std::string& batch, bool last);

  const size_t bufferBytes_;
  const size_t window_;
  const bool ownTables_;
  Replay replay_;
  // The records messages and range ends are decoded into for the replay,
  // reused.
  MailMessage message_;
  RangeEnd rangeEnd_;
  CutFacts facts_;
  // A drained buffer, kept to be handed back: buffers keep their capacity.
  std::string spare_;
  std::mutex mutex_;
  // Workers wait here for a job to start,
  std::condition_variable jobWaits_;
  // and here for room in their buffer.
  std::condition_variable roomMade_;
  // The main thread waits here for events of the oldest job, or its end.
  std::condition_variable mainWakes_;
  // Every job handed out and not yet replayed, oldest first; the walk's own
  // output stands among them as jobs that are over from the start. Only the
  // main thread changes the list.
  std::deque<std::unique_ptr<ParallelJob>> inFlight_;
  // The jobs no worker has started yet, oldest first.
  std::deque<ParallelJob*> waiting_;
  bool stopping_ = false;
  // Running a follow-up (main thread only): submit inserts its jobs at the
  // front, `insertedJobs_` of them so far.
  bool inserting_ = false;
  size_t insertedJobs_ = 0;
  size_t buffered_ = 0;
  size_t peakBuffered_ = 0;
  std::vector<std::thread> workers_;
};

// Walks the path arguments on the main thread and reads each file found on
// options.jobs worker threads, counting into `table`, `tally`, `progress`
// and `sightings` and writing to `output` exactly what reading them on one
// thread would.
void readInParallel(std::span<const char* const> arguments, const RunOptions& options,
                    Output& output, DayTable& table, RunTally& tally, ProgressCounts& progress,
                    Sightings* sightings);

// Adds every group of `part` to `tally`.
void addTally(RunTally& tally, const RunTally& part);

#endif  // VARNAK_DRIVER_PARALLEL_READ_H_
