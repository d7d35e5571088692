#include "driver/parallel_read.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <optional>
#include <type_traits>
#include <utility>

#include "count/count_message.h"
#include "input/input.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "read/mail_file.h"
#include "read/mail_range.h"

struct ParallelJob {
  ParallelReads::Work work;
  // Handed over by the worker, not yet replayed; guarded by the pool's
  // mutex, as is `over`.
  std::string events;
  bool over = false;
  // The walk's own output: no worker has it, it is over from the start.
  bool walk = false;
  // Set by the worker before the job is over (JobEvents::followWith).
  std::function<void()> followUp;
};

namespace {

// A batch is handed over at this many bytes, or at a quarter of the buffer
// when that is less: small enough that the oldest job streams through,
// large enough that the lock is taken rarely.
constexpr size_t kBatchBytes = 64 * 1024;

// The first byte of each event in a buffer.
enum class Tag : uint8_t { out, err, message, tally, tick, rangeStart, joined, rangeEnd };

// A message is encoded field by field: a field added to the record must be
// added to the encoding too, or runs on several threads would drop it. The
// fields encoded, in the record's order; most additions change the size.
struct EncodedMessage {
  bool hasReceivedLine;
  std::string_view fromLine;
  std::string_view dateText;
  std::string_view fromHeader;
  bool hasGmailLabels;
  bool hasMessageId;
  std::string_view messageId;
  uint32_t size;
};
static_assert(sizeof(MailMessage) == sizeof(EncodedMessage));
static_assert(std::is_trivially_copyable_v<RunTally>);

// A number as its bytes are in memory, and read back so: the buffer
// never leaves the process.
template <typename Number>
void appendBytesOf(std::string& buffer, Number n) {
  char bytes[sizeof n];
  std::memcpy(bytes, &n, sizeof n);
  buffer.append(bytes, sizeof n);
}

template <typename Number>
Number readBytesOf(const char*& at) {
  Number n;
  std::memcpy(&n, at, sizeof n);
  at += sizeof n;
  return n;
}

void appendNumber(std::string& buffer, uint32_t n) {
  appendBytesOf(buffer, n);
}

uint32_t readNumber(const char*& at) {
  return readBytesOf<uint32_t>(at);
}

void appendText(std::string& buffer, std::string_view text) {
  appendNumber(buffer, static_cast<uint32_t>(text.size()));
  buffer.append(text);
}

std::string_view readText(const char*& at) {
  uint32_t length = readNumber(at);
  std::string_view text(at, length);
  at += length;
  return text;
}

void appendMessage(std::string& buffer, const MailMessage& message) {
  buffer.push_back(message.hasReceivedLine ? 1 : 0);
  appendNumber(buffer, message.size);
  appendText(buffer, message.fromLine);
  appendText(buffer, message.dateText);
  appendText(buffer, message.fromHeader);
  buffer.push_back(
      static_cast<char>((message.hasGmailLabels ? 1 : 0) | (message.hasMessageId ? 2 : 0)));
  appendText(buffer, message.messageId);
}

// The texts point into the encoding.
void readMessage(const char*& at, MailMessage& message) {
  message.hasReceivedLine = *at++ != 0;
  message.size = readNumber(at);
  message.fromLine = readText(at);
  message.dateText = readText(at);
  message.fromHeader = readText(at);
  message.hasGmailLabels = (*at & 1) != 0;
  message.hasMessageId = (*at++ & 2) != 0;
  message.messageId = readText(at);
}

// A field added to the cut facts must be added here too.
static_assert(sizeof(CutFacts) == 3);

char factBits(const CutFacts& facts) {
  return static_cast<char>((facts.dateSeen ? 1 : 0) | (facts.fromSeen ? 2 : 0) |
                           (facts.sizeRestarted ? 4 : 0));
}

CutFacts readFacts(char bits) {
  return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
}

// Numbers of 64 bits, a tick's counts or a range's offsets.
void appendWords(std::string& buffer, std::initializer_list<uint64_t> words) {
  for (uint64_t word : words)
    appendBytesOf(buffer, word);
}

uint64_t readWord(const char*& at) {
  return readBytesOf<uint64_t>(at);
}

}  // namespace

JobEvents::JobEvents(ParallelReads& reads, ParallelJob& job, size_t worker,
                     const SharedTable* shared)
    : reads_(reads),
      job_(job),
      worker_(worker),
      shared_(shared),
      batchLimit_(std::min(kBatchBytes, reads.bufferBytes_ / 4 + 1)) {}

void JobEvents::write(Stream stream, std::initializer_list<std::string_view> pieces) {
  // Writes to one stream in a row become one run: a file's lines are
  // replayed in few writes.
  if (openRun_ == std::string::npos || openStream_ != stream) {
    batch_.push_back(static_cast<char>(stream == Stream::out ? Tag::out : Tag::err));
    openRun_ = batch_.size();
    openStream_ = stream;
    appendNumber(batch_, 0);
  }
  uint32_t length;
  std::memcpy(&length, batch_.data() + openRun_, sizeof length);
  for (std::string_view piece : pieces) {
    batch_.append(piece);
    length += static_cast<uint32_t>(piece.size());
  }
  std::memcpy(batch_.data() + openRun_, &length, sizeof length);
  publishWhenFull();
}

void JobEvents::addMessage(const MailMessage& message) {
  openRun_ = std::string::npos;
  batch_.push_back(static_cast<char>(Tag::message));
  appendMessage(batch_, message);
  publishWhenFull();
}

void JobEvents::addTick(const ProgressCounts& counts, std::string_view name) {
  openRun_ = std::string::npos;
  batch_.push_back(static_cast<char>(Tag::tick));
  appendWords(batch_, {counts.bytesRead, counts.files, counts.messages});
  appendText(batch_, name);
  publishWhenFull();
}

void JobEvents::addRangeStart(std::string_view path, bool first) {
  openRun_ = std::string::npos;
  batch_.push_back(static_cast<char>(Tag::rangeStart));
  batch_.push_back(first ? 1 : 0);
  appendText(batch_, path);
  publishWhenFull();
}

void JobEvents::addJoined(const MailMessage& rest, const CutFacts& facts) {
  openRun_ = std::string::npos;
  batch_.push_back(static_cast<char>(Tag::joined));
  batch_.push_back(factBits(facts));
  appendMessage(batch_, rest);
  publishWhenFull();
}

void JobEvents::addRangeEnd(const RangeEnd& end) {
  openRun_ = std::string::npos;
  batch_.push_back(static_cast<char>(Tag::rangeEnd));
  batch_.push_back(static_cast<char>((end.carries ? 1 : 0) | (end.rest ? 2 : 0) |
                                     (end.announced ? 4 : 0) | (end.final ? 8 : 0)));
  batch_.push_back(factBits(end.facts));
  if (end.carries) appendMessage(batch_, lentMessage(end.message));
  appendWords(batch_, {end.range.begin, end.range.end, end.range.index, end.range.last ? 1u : 0u,
                       end.readTo});
  publishWhenFull();
}

void JobEvents::addTally(const RunTally& tally) {
  openRun_ = std::string::npos;
  batch_.push_back(static_cast<char>(Tag::tally));
  char bytes[sizeof tally];
  std::memcpy(bytes, &tally, sizeof tally);
  batch_.append(bytes, sizeof tally);
  publishWhenFull();
}

void JobEvents::publishWhenFull() {
  // A run longer than 4 GiB would overflow its length: a run is handed
  // over long before that.
  if (batch_.size() >= batchLimit_) publish(false);
}

void JobEvents::followWith(std::function<void()> followUp) {
  job_.followUp = std::move(followUp);
}

void JobEvents::publish(bool last) {
  reads_.publish(job_, batch_, last);
  openRun_ = std::string::npos;
}

ParallelReads::ParallelReads(int workers, size_t bufferBytes, size_t window, Replay replay,
                             bool ownTables)
    : bufferBytes_(bufferBytes),
      window_(std::max<size_t>(window, 1)),
      ownTables_(ownTables),
      replay_(std::move(replay)) {
  for (int i = 0; i < workers; ++i)
    workers_.emplace_back([this, i] { workerLoop(static_cast<size_t>(i)); });
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

void ParallelReads::workerLoop(size_t worker) {
  std::optional<SharedTable> shared = ownTables_ ? detachFileTable() : std::nullopt;
  for (;;) {
    ParallelJob* job;
    {
      std::unique_lock lock(mutex_);
      jobWaits_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) break;
      job = waiting_.front();
      waiting_.pop_front();
    }
    JobEvents events(*this, *job, worker, shared ? &*shared : nullptr);
    job->work(events);
    // What the work held (its captures) goes before the job is replayed.
    job->work = nullptr;
    events.publish(true);
  }
}

void ParallelReads::publish(ParallelJob& job, std::string& batch, bool last) {
  {
    std::unique_lock lock(mutex_);
    // A batch always fits an empty buffer: the job goes on however large
    // one event is.
    roomMade_.wait(lock, [&] {
      return job.events.empty() || job.events.size() + batch.size() <= bufferBytes_;
    });
    buffered_ += batch.size();
    peakBuffered_ = std::max(peakBuffered_, buffered_);
    if (job.events.empty()) {
      // The emptied buffer the job held comes back as the next batch.
      job.events.swap(batch);
    } else {
      job.events.append(batch);
    }
    batch.clear();
    job.over = last;
  }
  mainWakes_.notify_one();
}

void ParallelReads::replayBytes(std::string_view events) {
  const char* at = events.data();
  const char* end = at + events.size();
  ReadEvent event;
  while (at < end) {
    Tag tag = static_cast<Tag>(*at++);
    switch (tag) {
      case Tag::out:
      case Tag::err:
        event.kind = ReadEvent::Kind::output;
        event.stream = tag == Tag::out ? Stream::out : Stream::err;
        event.bytes = readText(at);
        break;
      case Tag::message:
        event.kind = ReadEvent::Kind::message;
        readMessage(at, message_);
        event.message = &message_;
        break;
      case Tag::tick:
        event.kind = ReadEvent::Kind::tick;
        event.bytesRead = readWord(at);
        event.files = readWord(at);
        event.messages = readWord(at);
        event.bytes = readText(at);
        break;
      case Tag::rangeStart:
        event.kind = ReadEvent::Kind::rangeStart;
        event.first = *at++ != 0;
        event.bytes = readText(at);
        break;
      case Tag::joined:
        event.kind = ReadEvent::Kind::joined;
        facts_ = readFacts(*at++);
        readMessage(at, message_);
        event.facts = &facts_;
        event.message = &message_;
        break;
      case Tag::rangeEnd: {
        event.kind = ReadEvent::Kind::rangeEnd;
        char flags = *at++;
        rangeEnd_.carries = (flags & 1) != 0;
        rangeEnd_.rest = (flags & 2) != 0;
        rangeEnd_.announced = (flags & 4) != 0;
        rangeEnd_.final = (flags & 8) != 0;
        rangeEnd_.facts = readFacts(*at++);
        if (rangeEnd_.carries) {
          readMessage(at, message_);
          keepMessage(message_, rangeEnd_.message);
        }
        rangeEnd_.range.begin = readWord(at);
        rangeEnd_.range.end = readWord(at);
        rangeEnd_.range.index = static_cast<size_t>(readWord(at));
        rangeEnd_.range.last = readWord(at) != 0;
        rangeEnd_.readTo = readWord(at);
        event.rangeEnd = &rangeEnd_;
        break;
      }
      case Tag::tally: {
        RunTally tally;
        std::memcpy(&tally, at, sizeof tally);
        at += sizeof tally;
        event.kind = ReadEvent::Kind::tally;
        event.tally = &tally;
        replay_(event);
        continue;
      }
    }
    replay_(event);
  }
}

bool ParallelReads::replayOldest(bool wait) {
  ParallelJob& job = *inFlight_.front();
  std::string taken;
  taken.swap(spare_);
  bool over;
  {
    std::unique_lock lock(mutex_);
    if (wait) mainWakes_.wait(lock, [&] { return job.over || !job.events.empty(); });
    taken.swap(job.events);
    buffered_ -= taken.size();
    over = job.over;
  }
  // The worker may be waiting for the room just made.
  if (!over && !taken.empty()) roomMade_.notify_all();
  replayBytes(taken);
  taken.clear();
  spare_.swap(taken);
  if (over) {
    std::function<void()> followUp = std::move(job.followUp);
    inFlight_.pop_front();
    if (followUp) runFollowUp(followUp);
  }
  return over;
}

void ParallelReads::runFollowUp(const std::function<void()>& followUp) {
  inserting_ = true;
  insertedJobs_ = 0;
  followUp();
  inserting_ = false;
}

void ParallelReads::replayEnded() {
  while (!inFlight_.empty() && replayOldest(false)) {
  }
}

void ParallelReads::submit(Work work) {
  auto job = std::make_unique<ParallelJob>();
  job->work = std::move(work);
  ParallelJob* started = job.get();
  if (inserting_) {
    // A follow-up's jobs stand before every job in flight, in the order
    // submitted, and start before every job still waiting. The window is
    // not waited for: the main thread is in the middle of a replay.
    ParallelJob* before = insertedJobs_ > 0 ? inFlight_[insertedJobs_ - 1].get() : nullptr;
    inFlight_.insert(inFlight_.begin() + static_cast<ptrdiff_t>(insertedJobs_++), std::move(job));
    {
      std::lock_guard lock(mutex_);
      // After the follow-up's job before it, unless a worker has that one.
      auto at = std::find(waiting_.begin(), waiting_.end(), before);
      waiting_.insert(at == waiting_.end() ? waiting_.begin() : at + 1, started);
    }
    jobWaits_.notify_one();
    return;
  }
  replayEnded();
  while (inFlight_.size() >= window_)
    replayOldest(true);
  inFlight_.push_back(std::move(job));
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(started);
  }
  jobWaits_.notify_one();
}

void ParallelReads::addOutput(Stream stream, std::string_view bytes) {
  if (inFlight_.empty()) {
    ReadEvent event;
    event.stream = stream;
    event.bytes = bytes;
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
  size_t size;
  {
    // Only the main thread touches the walk's jobs, but their buffers are
    // read under the lock like any job's.
    std::lock_guard lock(mutex_);
    size_t before = walk.events.size();
    walk.events.push_back(static_cast<char>(stream == Stream::out ? Tag::out : Tag::err));
    appendText(walk.events, bytes);
    size = walk.events.size();
    buffered_ += size - before;
    peakBuffered_ = std::max(peakBuffered_, buffered_);
  }
  // The walk's own text is bounded too: a walk that says much while an
  // early file is slow waits for it.
  if (size >= bufferBytes_) finish();
}

void ParallelReads::finish() {
  while (!inFlight_.empty())
    replayOldest(true);
}

size_t ParallelReads::peakBufferedBytes() {
  std::lock_guard lock(mutex_);
  return peakBuffered_;
}

namespace {

// What one job's buffer may hold, and how many jobs may be in flight for
// each worker: with two workers, at most 8 buffers of 256 KiB, 2 MiB,
// whatever the files hold; and enough jobs queued that a worker finds the
// next one waiting when it ends one.
constexpr size_t kBufferBytes = 256 * 1024;
constexpr size_t kJobsPerWorker = 4;

// A job is a batch of files: handing a file to another thread costs a few
// microseconds of waking and locking, as much as reading a small file, so
// small files go in batches of up to kBatchFiles, or of kBatchFileBytes.
// A large file (or a pipe, of unknown size) ends the batch it joins, so
// large files still go to workers one by one. The files whose status the
// walk leaves to the worker have no size yet: a worker that has read half
// a range's bytes (batchReadBytes) of a batch's files hands the rest back,
// so that files of some size do not end up many to a worker while the
// others wait.
constexpr size_t kBatchFiles = 256;
constexpr uint64_t kBatchFileBytes = 256 * 1024;

uint64_t batchReadBytes(const RunOptions& options) {
  return options.rangeBytes / 2;
}

// A batch that reached batchReadBytes in fewer files than this holds files
// large enough (128 KiB on average, with the default ranges) that knowing
// their sizes before batching them pays for the walk's status queries.
constexpr size_t kFewFiles = 16;

// One step of a batch, in walk order: a file to read, or output the walk
// wrote between two files. Paths and output are kept in the batch's text.
struct BatchStep {
  bool isFile = true;
  Stream stream = Stream::out;
  size_t start = 0;
  size_t length = 0;
  PathStatus status;
};

// The files the walk has found and not yet handed out, with whatever it
// wrote among them.
struct Batch {
  std::vector<BatchStep> steps;
  std::string text;
  size_t files = 0;
  uint64_t bytes = 0;
};

// The day tables of the workers, one each, when messages are counted where
// they are read: without -unique or -summary, counting depends on no
// message met before, and the tables add up in any order. Empty when
// messages go to the main thread to be counted.
using WorkerTables = std::vector<DayTable>;

DayTable* tableOf(WorkerTables* tables, size_t worker) {
  return tables == nullptr ? nullptr : &(*tables)[worker];
}

// A worker reads the batch's files in order; their lines, messages (or,
// into `table`, their counts) and tallies go to its events, and so does
// the walk's output among them.
// The directory a worker opens the files of a batch through: the batch's
// files mostly share one, and a file opened through its directory costs the
// kernel the lookup of one name, not of every directory of its path (which
// several threads looking up the same directories make slower still).
class BatchDirectory {
 public:
  BatchDirectory() = default;
  BatchDirectory(const BatchDirectory&) = delete;
  BatchDirectory& operator=(const BatchDirectory&) = delete;
  ~BatchDirectory() { close(); }

  // The entry for `path`, or null where it is opened by its path: a path
  // without a directory, or whose directory cannot be opened (with the
  // descriptors used up, say), which its path then fares as it would.
  const ListedEntry* entryFor(std::string_view path) {
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash + 1 == path.size()) return nullptr;
    std::string_view directory = path.substr(0, slash == 0 ? 1 : slash);
    if (!listing_ || directory != directory_) {
      close();
      directory_.assign(directory);
      listing_ = openDirectory(directory_);
    }
    if (!listing_) return nullptr;
    entry_ = {*listing_, path.substr(slash + 1), path};
    return &entry_;
  }

 private:
  void close() {
    if (listing_) closeDirectory(*listing_);
    listing_.reset();
  }

  std::string directory_;
  std::optional<DirectoryListing> listing_;
  ListedEntry entry_;
};

// The status of a file the walk left unqueried, queried as the walk would
// have done, with its warning when that fails.
std::optional<PathStatus> queryDeferred(const std::string& path, const ListedEntry* listed,
                                        const RunOptions& options, Output& output,
                                        RunTally& tally) {
  std::optional<PathStatus> status = listed != nullptr ? queryStatus(*listed) : queryStatus(path);
  if (!status) reportUnreachable(path, options.terse, output, tally);
  return status;
}

// A worker reads the batch's files in order; their lines, messages (or,
// into `table`, their counts) and tallies go to its events, and so does
// the walk's output among them. The statuses the walk left to it are
// queried here, and a file that turns out large enough to be read in
// ranges is not read: the step it stands at is returned, with its status
// in `queried`, for the rest of the batch to go back to the walk. So is
// the step after batchReadBytes of files read (`filesRead` of them), its
// status not queried.
std::optional<size_t> readBatch(const Batch& batch, const RunOptions& options, DayTable* table,
                                bool ticks, JobEvents& events, std::optional<PathStatus>& queried,
                                size_t& filesRead) {
  JobOutput output(events, ticks);
  // The worker's own counts; its ticks hand them on as events. The tally
  // only adds up: one for the batch.
  ProgressCounts progress;
  RunTally tally;
  MessageKeeper keep = [&events](const MailMessage& message) { events.addMessage(message); };
  BatchDirectory directory;
  std::string path;
  std::optional<size_t> stop;
  uint64_t bytes = 0;
  filesRead = 0;
  for (size_t i = 0; i < batch.steps.size() && !stop; ++i) {
    const BatchStep& step = batch.steps[i];
    std::string_view text(batch.text.data() + step.start, step.length);
    if (!step.isFile) {
      events.write(step.stream, {text});
      continue;
    }
    // Never before the first file: the rest would come back whole.
    if (filesRead > 0 && bytes >= batchReadBytes(options)) {
      stop = i;
      continue;
    }
    path.assign(text);
    const ListedEntry* listed = directory.entryFor(path);
    std::optional<PathStatus> status = step.status;
    if (step.status.deferred) {
      status = queryDeferred(path, listed, options, output, tally);
      if (!status) continue;
      if (status->isRegular && largeEnoughForRanges(status->size, options)) {
        queried = status;
        stop = i;
        continue;
      }
    }
    bytes += status->size;
    ++filesRead;
    if (table != nullptr) {
      readMailFile(path, *status, listed, options, output, *table, tally, progress, nullptr);
    } else {
      readMailFileKeeping(path, *status, listed, options, output, keep, tally, progress);
    }
  }
  events.addTally(tally);
  // What was counted since the last tick.
  output.tick(progress, path);
  return stop;
}

// The steps of `batch` from `first` on, the first's status replaced where
// the worker queried it.
Batch restOf(const Batch& batch, size_t first, const std::optional<PathStatus>& status) {
  Batch rest;
  size_t start = batch.steps[first].start;
  rest.text = batch.text.substr(start);
  for (size_t i = first; i < batch.steps.size(); ++i) {
    rest.steps.push_back(batch.steps[i]);
    rest.steps.back().start -= start;
    rest.files += batch.steps[i].isFile;
  }
  if (status) rest.steps.front().status = *status;
  return rest;
}

// A file read in ranges: the one descriptor its ranges read through (and
// the main thread, see takeAwayDropped), closed with the last of them.
struct RangedFile {
  std::string path;
  OpenFile file;
  // The first range whose data ended early (a Ctrl-Z): the ranges after it
  // stop reading, since nothing they find counts.
  std::atomic<size_t> endedAt{SIZE_MAX};

  RangedFile(std::string name, const OpenFile& open) : path(std::move(name)), file(open) {}
  RangedFile(const RangedFile&) = delete;
  RangedFile& operator=(const RangedFile&) = delete;
  ~RangedFile() { closeFile(file); }

  void endAt(size_t range) {
    size_t seen = endedAt.load();
    while (range < seen && !endedAt.compare_exchange_weak(seen, range)) {
    }
  }
};

// A worker reads one range; the main thread joins its ends to its
// neighbours' in file order (RangeJoin). Counting where it is read, the
// range counts into the worker's table like any file, though a range read
// after an earlier one ended the data must count nothing: only the main
// thread knows, in the end, and takes what it counted away again.
void readRange(RangedFile& ranged, const MailRange& range, const RunOptions& options,
               DayTable* table, bool ticks, JobEvents& events) {
  JobOutput output(events, ticks);
  ProgressCounts progress;
  RunTally tally;
  MessageKeeper keep = [&events](const MailMessage& message) { events.addMessage(message); };
  ReadCounts counts{options, output,   table,  table != nullptr ? nullptr : &keep,
                    tally,   progress, nullptr};
  events.addRangeStart(ranged.path, range.index == 0);
  RangeJoined joined = [&events](const MailMessage& rest, const CutFacts& facts) {
    events.addJoined(rest, facts);
  };
  RangeStop stop = [&ranged, &range](uint64_t) {
    return ranged.endedAt.load(std::memory_order_relaxed) < range.index;
  };
  // A worker of a table of its own reads through a descriptor of its own;
  // should it get none, its reads fail, as a file's that cannot be read.
  OpenFile file = ranged.file;
  std::optional<OpenFile> adopted;
  if (const SharedTable* shared = events.sharedTable()) {
    adopted = adoptFile(*shared, ranged.file);
    file.fd = adopted ? adopted->fd : -1;
  }
  RangeEnd end = readMailRange(ranged.path, file, range, counts, joined, stop);
  if (adopted) closeFile(*adopted);
  if (end.final && !range.last) ranged.endAt(range.index);
  output.tick(progress, ranged.path);
  events.addTally(tally);
  events.addRangeEnd(end);
}

// The files read in ranges whose ranges the main thread has handed out and
// not yet begun to replay, oldest first: the replay takes each in turn.
using RangedFiles = std::deque<std::shared_ptr<RangedFile>>;

// Where the walk's files and output go, in its order.
struct ParallelWalk {
  ParallelReads& reads;
  const RunOptions& options;
  WorkerTables* tables;
  RangedFiles& ranged;
  // Whether the main thread's sink shows ticks.
  bool ticks;
  Batch batch;
  // Going on with a batch handed back (resume): its files and ranged files
  // stand before everything handed out so far, `rangedInserted` of them in
  // `ranged` already.
  bool resuming = false;
  size_t rangedInserted = 0;
  size_t filesPerBatch = kBatchFiles;
  // Set by a worker that reached batchReadBytes in few files (kFewFiles):
  // the files are not all small, and the walk queries their statuses
  // itself from then on, so that it can batch them by size. Its warnings
  // go to `output`, and its counts to `tally`, as the one-thread walk's
  // would.
  std::atomic<bool> filesOfSize{false};
  Output* output = nullptr;
  RunTally* tally = nullptr;

  void handOut() {
    if (batch.steps.empty()) return;
    // The follow-up runs on the main thread, as the walk does: only it
    // touches the walk.
    reads.submit([batch = std::move(batch), &options = options, tables = tables, ticks = ticks,
                  walk = this](JobEvents& events) {
      std::optional<PathStatus> queried;
      size_t filesRead = 0;
      std::optional<size_t> stop = readBatch(batch, options, tableOf(tables, events.worker()),
                                             ticks, events, queried, filesRead);
      if (!stop) return;
      if (!queried && filesRead < kFewFiles)
        walk->filesOfSize.store(true, std::memory_order_relaxed);
      events.followWith([walk, rest = restOf(batch, *stop, queried)]() mutable {
        walk->resume(std::move(rest));
      });
    });
    batch = Batch{};
  }
  // The rest of a batch whose worker found, at its first step, a file to
  // read in ranges, which only the walk hands out, or had read enough of
  // it. The batch the walk is gathering holds files found after it, and
  // waits.
  // Its files, of sizes still unknown but where the worker stopped, go out
  // spread over as many batches as may be in flight: the workers read them
  // side by side.
  void resume(Batch rest) {
    Batch gathered = std::move(batch);
    batch = Batch{};
    resuming = true;
    rangedInserted = 0;
    size_t batches = kJobsPerWorker * static_cast<size_t>(options.jobs);
    filesPerBatch = std::max<size_t>((rest.files + batches - 1) / batches, 1);
    for (const BatchStep& step : rest.steps) {
      std::string_view text(rest.text.data() + step.start, step.length);
      if (step.isFile) {
        addFile(std::string(text), step.status);
      } else {
        addOutput(step.stream, text);
      }
    }
    handOut();
    resuming = false;
    filesPerBatch = kBatchFiles;
    batch = std::move(gathered);
  }
  // Twice as many ranges as may be in flight at once, or more of the
  // smallest size: a worker finds the next range waiting, never sleeping in
  // between (a sleeping thread is woken slowly, most of all on a virtual
  // machine), and the last ranges are short enough that the other workers
  // do not wait long for the one still reading. Half as many for a file
  // handed back: its ranges go in flight at once, beside the jobs already
  // there, and the jobs in flight stay within about twice the window.
  uint64_t rangeBytesFor(uint64_t size) const {
    uint64_t ranges = (resuming ? 1 : 2) * kJobsPerWorker * static_cast<uint64_t>(options.jobs);
    return std::max(options.rangeBytes, (size + ranges - 1) / ranges);
  }
  // A large mailbox is read in ranges, each a job of its own; false, having
  // read nothing that counts, for a file that is not to be.
  bool readInRanges(const std::string& path, const PathStatus& status) {
    if (!status.isRegular || !largeEnoughForRanges(status.size, options)) return false;
    std::optional<OpenFile> opened = openForReading(path, status);
    if (!opened) return false;
    std::string head(kRangeHeadBytes, '\0');
    head.resize(readAt(*opened, head.data(), head.size(), 0));
    std::vector<uint64_t> starts;
    if (readsInRanges(head, options))
      starts = rangeStarts(*opened, status.size, rangeBytesFor(status.size));
    if (starts.size() < 2) {
      closeFile(*opened);
      return false;
    }
    handOut();
    auto file = std::make_shared<RangedFile>(path, *opened);
    if (resuming) {
      ranged.insert(ranged.begin() + static_cast<ptrdiff_t>(rangedInserted++), file);
    } else {
      ranged.push_back(file);
    }
    for (size_t i = 0; i < starts.size(); ++i) {
      bool last = i + 1 == starts.size();
      MailRange range{starts[i], last ? status.size : starts[i + 1], i, last};
      reads.submit(
          [file, range, &options = options, tables = tables, ticks = ticks](JobEvents& events) {
            readRange(*file, range, options, tableOf(tables, events.worker()), ticks, events);
          });
    }
    return true;
  }
  void addStep(bool isFile, Stream stream, std::string_view text, const PathStatus& status) {
    batch.steps.push_back({isFile, stream, batch.text.size(), text.size(), status});
    batch.text.append(text);
  }
  void addFile(const std::string& path, const PathStatus& listed) {
    PathStatus status = listed;
    if (status.deferred && filesOfSize.load(std::memory_order_relaxed)) {
      std::optional<PathStatus> queried = queryDeferred(path, nullptr, options, *output, *tally);
      if (!queried) return;
      status = *queried;
    }
    if (!status.deferred && readInRanges(path, status)) return;
    addStep(true, Stream::out, path, status);
    ++batch.files;
    // A pipe or device counts as large: it may take any time.
    batch.bytes += status.isRegular ? status.size : kBatchFileBytes;
    if (batch.files >= filesPerBatch || batch.bytes >= kBatchFileBytes) handOut();
  }
  // Output of the walk's own follows the batch's files; with no batch
  // under way, it follows the jobs handed out.
  void addOutput(Stream stream, std::string_view bytes) {
    if (batch.steps.empty() && !resuming) {
      reads.addOutput(stream, bytes);
      return;
    }
    addStep(false, stream, bytes, {});
    // The batch's text is bounded like a buffer: a walk that warns about
    // many paths between two files hands the batch out.
    if (batch.text.size() >= kBufferBytes) handOut();
  }
};

// What the walk itself says (banners, unreadable paths) stands among the
// files, after those it found before.
class WalkOutput final : public Output {
 public:
  explicit WalkOutput(ParallelWalk& walk) : walk_(walk) {}
  void write(Stream stream, std::initializer_list<std::string_view> pieces) override {
    text_.clear();
    for (std::string_view piece : pieces)
      text_.append(piece);
    walk_.addOutput(stream, text_);
  }

 private:
  ParallelWalk& walk_;
  std::string text_;
};

// The main thread does with each event what the one-thread reader does at
// that point: writes the output, counts the message, adds to the tally.
// What the main thread counts into, as the one-thread reader does.
struct Counted {
  DayTable& table;
  RunTally& tally;
  ProgressCounts& progress;
  Sightings* sightings;
  // The file being read in ranges, and whether the range being replayed
  // comes after its data ended (a Ctrl-Z): what it found is dropped.
  RangeJoin join;
  bool dropping = false;
  RangedFiles& ranged;
  std::shared_ptr<RangedFile> file;
  // With workers counting into tables of their own, where a dropped range's
  // counts are read again, to be taken away; null otherwise.
  DayTable* recounted;
};

// What a range read after the end of its file's data counted into its
// worker's table, read again and taken away from the run's table at once
// (the worker is done with the range: its end is its last event). The
// counts add up modulo 2^32 in any order, so the run's table may hold less
// than nothing for a while: the workers' tables are added in the end.
void takeAwayDropped(const RangeEnd& end, const RunOptions& options, Counted& counted) {
  recountRange(counted.file->path, counted.file->file, end.range, end.readTo, options,
               *counted.recounted);
  counted.recounted->takeAwayFrom(counted.table);
}

void replayRangeEvent(const ReadEvent& event, const RunOptions& options, Output& output,
                      Counted& counted) {
  ReadCounts counts{options,       output,           &counted.table,   nullptr,
                    counted.tally, counted.progress, counted.sightings};
  switch (event.kind) {
    case ReadEvent::Kind::rangeStart:
      if (event.first) {
        counted.join = RangeJoin{std::string(event.bytes), {}, false, false};
        counted.file = std::move(counted.ranged.front());
        counted.ranged.pop_front();
      } else {
        counted.dropping = counted.join.ended;
      }
      break;
    case ReadEvent::Kind::joined:
      joinAtSeparator(counted.join, *event.message, *event.facts, counts);
      break;
    default:
      joinRangeEnd(counted.join, *event.rangeEnd, counts);
      break;
  }
}

void replayEvent(const ReadEvent& event, const RunOptions& options, Output& output,
                 Counted& counted) {
  if (counted.dropping) {
    // Up to the end of the range, whose counts go too.
    counted.dropping = event.kind != ReadEvent::Kind::rangeEnd;
    if (!counted.dropping && counted.recounted != nullptr)
      takeAwayDropped(*event.rangeEnd, options, counted);
    return;
  }
  switch (event.kind) {
    case ReadEvent::Kind::output:
      output.write(event.stream, {event.bytes});
      break;
    case ReadEvent::Kind::message:
      countReadMessage(*event.message, options, output, counted.table, counted.tally,
                       counted.progress, counted.sightings);
      break;
    case ReadEvent::Kind::tally:
      addTally(counted.tally, *event.tally);
      break;
    case ReadEvent::Kind::tick:
      counted.progress.bytesRead += event.bytesRead;
      counted.progress.files += event.files;
      counted.progress.messages += event.messages;
      output.tick(counted.progress, event.bytes);
      break;
    case ReadEvent::Kind::rangeStart:
    case ReadEvent::Kind::joined:
    case ReadEvent::Kind::rangeEnd:
      replayRangeEvent(event, options, output, counted);
      break;
  }
}

// The workers' tables, when every one of them could be made.
std::optional<WorkerTables> workerTables(const RunOptions& options, Sightings* sightings) {
  if (sightings != nullptr) return std::nullopt;
  WorkerTables tables(static_cast<size_t>(options.jobs));
  for (DayTable& table : tables) {
    if (!table.create(options.firstYear, options.yearCount)) return std::nullopt;
    table.listDays();
  }
  return tables;
}

}  // namespace

void readInParallel(std::span<const char* const> arguments, const RunOptions& options,
                    Output& output, DayTable& table, RunTally& tally, ProgressCounts& progress,
                    Sightings* sightings) {
  size_t workers = static_cast<size_t>(options.jobs);
  // Declared before the pool, whose workers count into them.
  std::optional<WorkerTables> tables = workerTables(options, sightings);
  RangedFiles ranged;
  DayTable recounted;
  if (tables && recounted.create(options.firstYear, options.yearCount)) {
    recounted.listDays();
  } else {
    tables.reset();  // each message then goes to the main thread to be counted
  }
  Counted counted{
      table, tally, progress, sightings, {}, false, ranged, nullptr, tables ? &recounted : nullptr};
  // Workers get tables of file descriptors of their own where a file the
  // main thread opens (one read in ranges) can be handed to them.
  ParallelReads reads(
      options.jobs, kBufferBytes, kJobsPerWorker * workers,
      [&](const ReadEvent& event) { replayEvent(event, options, output, counted); },
      canAdoptFiles());
  ParallelWalk walk{reads, options, tables ? &*tables : nullptr, ranged, output.showsTicks(), {}};
  WalkOutput walkOutput(walk);
  walk.output = &walkOutput;
  walk.tally = &tally;
  FileVisitor readFile = [&walk](const std::string& path, const PathStatus& status) {
    walk.addFile(path, status);
  };
  for (const char* argument : arguments)
    processArgument(argument, options, walkOutput, tally, readFile, ListedFiles::deferred);
  walk.handOut();
  reads.finish();
  // Every job is replayed: the workers are done with their tables.
  if (tables) {
    for (DayTable& own : *tables)
      own.moveInto(table);
  }
}

void addTally(RunTally& tally, const RunTally& part) {
  // A group added to the tally must be added here too, or runs on several
  // threads would lose it.
  static_assert(sizeof(RunTally) == 22 * sizeof(uint64_t));
  tally.mailboxFiles += part.mailboxFiles;
  tally.messageFiles += part.messageFiles;
  tally.packedFiles += part.packedFiles;
  tally.notMailFiles += part.notMailFiles;
  tally.packedSkipped += part.packedSkipped;
  tally.messageFilesSkipped += part.messageFilesSkipped;
  tally.unreadable += part.unreadable;
  tally.packedTooDeep += part.packedTooDeep;
  tally.excluded += part.excluded;
  tally.sent += part.sent;
  tally.received += part.received;
  tally.withoutDate += part.withoutDate;
  tally.malformedDate += part.malformedDate;
  tally.outOfRange += part.outOfRange;
  tally.skipped += part.skipped;
  tally.copies += part.copies;
  tally.headerTooLong += part.headerTooLong;
  tally.listLines += part.listLines;
  tally.gmailLabelled += part.gmailLabelled;
  tally.withoutMessageId += part.withoutMessageId;
  tally.repeats += part.repeats;
  tally.hiddenFolders += part.hiddenFolders;
}
