#include "read/mail_range.h"

#include <algorithm>
#include <optional>

#include "scan/list_separator.h"
#include "scan/separator.h"
#include "unpack/unpack.h"

namespace {

// A cut is looked for in windows of this size, up to a stretch of this
// many bytes after where the range would end. Real mail has an empty line
// every few hundred bytes, so the first window mostly has one; a file that
// has none for a mebibyte is read in fewer ranges.
constexpr size_t kCutWindow = 8192;
constexpr uint64_t kCutStretch = uint64_t{1} << 20;

// Two windows overlap by this much, so that line ends that meet across
// the end of one are found in the next (unless CRs lie between them in a
// longer run).
constexpr size_t kCutOverlap = 64;

// The first line as the scanner captures it: from the blank after "From",
// CR bytes dropped. Empty when it is not whole in `head` or holds what
// the capture would not keep as it is (a Ctrl-Z, more than the limit).
std::string firstSeparatorText(std::string_view head) {
  size_t lineEnd = head.find('\n');
  if (lineEnd == std::string_view::npos) return {};
  std::string_view line = head.substr(4, lineEnd - 4);
  if (line.find('\x1a') != std::string_view::npos) return {};
  std::string text;
  std::remove_copy(line.begin(), line.end(), std::back_inserter(text), '\r');
  if (text.size() >= MailboxScanner::kCaptureLimit) return {};
  return text;
}

std::optional<uint64_t> cutNear(const OpenFile& file, uint64_t from, uint64_t to,
                                std::string& window) {
  for (uint64_t at = from; at < to;) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(window.size(), to - at));
    size_t n = readAt(file, window.data(), want, at);
    size_t cut = findCut(std::string_view(window.data(), n));
    if (cut != std::string_view::npos) return at + cut;
    if (n <= kCutOverlap) return std::nullopt;
    at += n - kCutOverlap;
  }
  return std::nullopt;
}

// The message handlers of a range: messages whole in it are counted (or
// kept) as the whole reading does; what spans its cuts goes to `joined`
// and into the range's end.
struct RangeReading {
  const std::string& path;
  ReadCounts& counts;
  const RangeJoined& joined;
  RangeEnd end;
  bool final = false;
  // The path line is shown or left to the joining side.
  bool announced = false;

  void message(const MailMessage& message, bool atSeparator) {
    if (atSeparator || final) {
      countOrKeep(message, counts);
    } else {
      end.carries = true;
      keepMessage(message, end.message);
    }
    // The path line, after the first message a separator ended; the
    // joining side shows it when that message spans a cut.
    if (atSeparator && !announced) {
      showPathLine(path, counts);
      announced = true;
      end.announced = true;
    }
  }
  void continuation(const MailMessage& rest, const CutFacts& facts, bool atSeparator) {
    if (atSeparator) {
      joined(rest, facts);
      return;
    }
    end.carries = true;
    keepMessage(rest, end.message);
    end.rest = true;
    end.facts = facts;
  }
};

ScanHandlers handlersFor(RangeReading& reading) {
  ScanHandlers handlers;
  handlers.message = [&reading](const MailMessage& m, bool atSeparator) {
    reading.message(m, atSeparator);
  };
  handlers.continuation = [&reading](const MailMessage& rest, const CutFacts& facts,
                                     bool atSeparator) {
    reading.continuation(rest, facts, atSeparator);
  };
  handlers.headerTooLong = [&reading](std::string_view text) {
    warnHeaderTooLong(text, reading.counts);
  };
  return handlers;
}

}  // namespace

bool readsInRanges(std::string_view head, const RunOptions& options) {
  // A leading blank or line would do for the scanner too, but real
  // mailboxes begin with their separator, and so the test stays short.
  if (!head.starts_with("From ")) return false;
  // Under -unpack, a tar archive's first entry may be named "From ...".
  if (options.unpack && looksPacked(head.substr(0, kPackedHeadSize))) return false;
  std::string text = firstSeparatorText(head);
  if (text.empty()) return false;
  return isSeparatorWithoutLineEnds(text) || (options.lists && isListArchiveSeparator(text));
}

std::vector<uint64_t> rangeStarts(const OpenFile& file, uint64_t size, uint64_t rangeBytes) {
  std::vector<uint64_t> starts = {0};
  std::string window(kCutWindow, '\0');
  for (uint64_t target = rangeBytes; target < size; target += rangeBytes) {
    if (target <= starts.back()) continue;
    std::optional<uint64_t> cut =
        cutNear(file, target, std::min(size, target + kCutStretch), window);
    if (cut && *cut < size) starts.push_back(*cut);
  }
  return starts;
}

RangeEnd readMailRange(const std::string& path, const OpenFile& file, const MailRange& range,
                       ReadCounts& counts, const RangeJoined& joined, const RangeStop& stop) {
  RangeReading reading{path, counts, joined, {}};
  // A range after the first counts its messages after the one that spans
  // its cut, whose join shows the path line if none was shown before.
  reading.announced = range.index > 0;
  MailboxScanner scanner(handlersFor(reading), scanOptionsFor(counts.options));
  if (range.index > 0) scanner.startAfterCut();
  ProgressCounts& progress = counts.progress;
  if (range.index == 0) {
    ++progress.files;
    counts.output.tick(progress, path);
  }
  // On the stack, as the whole reading's: a thread's stack pages are
  // reused range after range, where a buffer from the heap this large would
  // be mapped and unmapped for each.
  char buffer[kMailReadSize];
  bool goesOn = true;
  uint64_t at = range.begin;
  while (goesOn && !stop(at)) {
    uint64_t left = range.last ? kMailReadSize : range.end - at;
    size_t n =
        readAt(file, buffer, static_cast<size_t>(std::min<uint64_t>(kMailReadSize, left)), at);
    if (n == 0) break;
    at += n;
    progress.bytesRead += n;
    counts.output.tick(progress, path);
    goesOn = scanner.feed(buffer, n);
  }
  // A Ctrl-Z ends the data here, whatever the later ranges hold.
  reading.final = range.last || !goesOn;
  scanner.finish();
  counts.tally.listLines += scanner.listLines();
  if (reading.final) ++counts.tally.mailboxFiles;
  reading.end.final = reading.final;
  reading.end.range = range;
  reading.end.readTo = at;
  return reading.end;
}

namespace {

// Output that goes nowhere: a range read again has said all it says.
class Silence final : public Output {
 public:
  void write(Stream, std::initializer_list<std::string_view>) override {}
};

}  // namespace

void recountRange(const std::string& path, const OpenFile& file, const MailRange& range,
                  uint64_t readTo, const RunOptions& options, DayTable& table) {
  Silence silence;
  RunTally tally;
  ProgressCounts progress;
  ReadCounts counts{options, silence, &table, nullptr, tally, progress, nullptr};
  RangeJoined joined = [](const MailMessage&, const CutFacts&) {};
  readMailRange(path, file, range, counts, joined, [readTo](uint64_t at) { return at >= readTo; });
}

void joinAtSeparator(RangeJoin& join, const MailMessage& rest, const CutFacts& facts,
                     ReadCounts& counts) {
  joinAtCut(join.pending, rest, facts);
  countOrKeep(lentMessage(join.pending), counts);
  if (!join.announced) showPathLine(join.path, counts);
  join.announced = true;
}

void joinRangeEnd(RangeJoin& join, const RangeEnd& end, ReadCounts& counts) {
  if (end.carries && end.rest) {
    joinAtCut(join.pending, lentMessage(end.message), end.facts);
  } else if (end.carries) {
    join.pending = end.message;
  }
  join.announced = join.announced || end.announced;
  if (!end.final) return;
  if (end.carries) countOrKeep(lentMessage(join.pending), counts);
  join.ended = true;
}
