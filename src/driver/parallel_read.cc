#include "driver/parallel_read.h"

#include <algorithm>
#include <iterator>
#include <utility>

struct ParallelJob {
  ParallelReads::Work work;
  // Handed over by the worker, not yet replayed; guarded by the pool's
  // mutex, as are the two fields after it.
  std::vector<ReadEvent> events;
  size_t bytes = 0;
  bool over = false;
  // The walk's own events: no worker has it, it is over from the start.
  bool walk = false;
};

namespace {

// A batch is handed over at this many bytes, or at a quarter of the buffer
// when that is less: small enough that the oldest job streams through,
// large enough that the lock is taken rarely.
constexpr size_t kBatchBytes = 64 * 1024;

}  // namespace

size_t eventWeight(const ReadEvent& event) {
  size_t bytes = sizeof(ReadEvent);
  if (const OutputRun* run = std::get_if<OutputRun>(&event)) {
    bytes += run->bytes.size();
  } else if (const MailMessage* message = std::get_if<MailMessage>(&event)) {
    bytes += message->fromLine.size() + message->dateText.size() + message->fromHeader.size();
  }
  return bytes;
}

JobEvents::JobEvents(ParallelReads& reads, ParallelJob& job)
    : reads_(reads), job_(job), batchLimit_(std::min(kBatchBytes, reads.bufferBytes_ / 4 + 1)) {}

void JobEvents::add(ReadEvent event) {
  batchBytes_ += eventWeight(event);
  batch_.push_back(std::move(event));
  if (batchBytes_ >= batchLimit_) publish(false);
}

void JobEvents::write(Stream stream, std::initializer_list<std::string_view> pieces) {
  OutputRun* run = batch_.empty() ? nullptr : std::get_if<OutputRun>(&batch_.back());
  if (run == nullptr || run->stream != stream) {
    batch_.push_back(OutputRun{stream, {}});
    batchBytes_ += sizeof(ReadEvent);
    run = &std::get<OutputRun>(batch_.back());
  }
  for (std::string_view piece : pieces) {
    run->bytes.append(piece);
    batchBytes_ += piece.size();
  }
  if (batchBytes_ >= batchLimit_) publish(false);
}

void JobEvents::publish(bool last) {
  reads_.publish(job_, batch_, batchBytes_, last);
  batch_.clear();
  batchBytes_ = 0;
}

ParallelReads::ParallelReads(int workers, size_t bufferBytes, size_t window, Replay replay)
    : bufferBytes_(bufferBytes), window_(std::max<size_t>(window, 1)), replay_(std::move(replay)) {
  for (int i = 0; i < workers; ++i)
    workers_.emplace_back([this] { workerLoop(); });
}

ParallelReads::~ParallelReads() {
  finish();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  jobWaits_.notify_all();
  for (std::thread& worker : workers_)
    worker.join();
}

void ParallelReads::workerLoop() {
  for (;;) {
    ParallelJob* job;
    {
      std::unique_lock lock(mutex_);
      jobWaits_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      job = waiting_.front();
      waiting_.pop_front();
    }
    JobEvents events(*this, *job);
    job->work(events);
    // What the work held (its captures) goes before the job is replayed.
    job->work = nullptr;
    events.publish(true);
  }
}

void ParallelReads::publish(ParallelJob& job, std::vector<ReadEvent>& batch, size_t bytes,
                            bool last) {
  {
    std::unique_lock lock(mutex_);
    // A batch always fits an empty buffer: the job goes on however large
    // one event is.
    roomMade_.wait(lock, [&] { return job.bytes == 0 || job.bytes + bytes <= bufferBytes_; });
    if (job.events.empty()) {
      job.events.swap(batch);
    } else {
      std::move(batch.begin(), batch.end(), std::back_inserter(job.events));
    }
    job.bytes += bytes;
    job.over = last;
    buffered_ += bytes;
    peakBuffered_ = std::max(peakBuffered_, buffered_);
  }
  mainWakes_.notify_one();
}

bool ParallelReads::replayOldest(bool wait) {
  ParallelJob& job = *inFlight_.front();
  std::vector<ReadEvent> taken;
  bool over;
  {
    std::unique_lock lock(mutex_);
    if (wait) mainWakes_.wait(lock, [&] { return job.over || !job.events.empty(); });
    taken.swap(job.events);
    buffered_ -= job.bytes;
    job.bytes = 0;
    over = job.over;
  }
  // The worker may be waiting for the room just made.
  if (!over && !taken.empty()) roomMade_.notify_all();
  for (ReadEvent& event : taken)
    replay_(event);
  if (over) inFlight_.pop_front();
  return over;
}

void ParallelReads::replayEnded() {
  while (!inFlight_.empty() && replayOldest(false)) {
  }
}

void ParallelReads::submit(Work work) {
  replayEnded();
  while (inFlight_.size() >= window_)
    replayOldest(true);
  auto job = std::make_unique<ParallelJob>();
  job->work = std::move(work);
  ParallelJob* started = job.get();
  inFlight_.push_back(std::move(job));
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(started);
  }
  jobWaits_.notify_one();
}

void ParallelReads::add(ReadEvent event) {
  if (inFlight_.empty()) {
    replay_(event);
    return;
  }
  if (!inFlight_.back()->walk) {
    auto job = std::make_unique<ParallelJob>();
    job->walk = true;
    job->over = true;
    inFlight_.push_back(std::move(job));
  }
  ParallelJob& walk = *inFlight_.back();
  size_t bytes = eventWeight(event);
  {
    // Only the main thread touches the walk's jobs, but their fields are
    // read under the lock like any job's.
    std::lock_guard lock(mutex_);
    walk.events.push_back(std::move(event));
    walk.bytes += bytes;
    buffered_ += bytes;
    peakBuffered_ = std::max(peakBuffered_, buffered_);
  }
  // The walk's own text is bounded too: a walk that says much while an
  // early file is slow waits for it.
  if (walk.bytes >= bufferBytes_) finish();
}

void ParallelReads::finish() {
  while (!inFlight_.empty())
    replayOldest(true);
}

size_t ParallelReads::peakBufferedBytes() {
  std::lock_guard lock(mutex_);
  return peakBuffered_;
}
