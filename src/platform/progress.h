// The progress line a long run shows on a terminal: the counts the reading
// loop keeps up to date, when the line is due, and the text of the line.
// Nothing here writes anywhere; the console decides where the line goes.

#ifndef VARNAK_PLATFORM_PROGRESS_H_
#define VARNAK_PLATFORM_PROGRESS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the reading loop has done so far. Plain counters that only ever
// grow, each updated by the loop that does the work, so that they can be
// made atomic once files are read by more than one thread.
struct ProgressCounts {
  // Bytes read from the input files as they are stored (compressed data
  // and archives count as read, not as decoded), comparable to their sizes.
  uint64_t bytesRead = 0;
  // Files opened for reading (an archive's entries are not files here).
  uint64_t files = 0;
  // Messages counted in the table.
  uint64_t messages = 0;
};

// When the line is drawn: not before the run has lasted kProgressDelay
// (a short run stays as quiet as ever), then at most once per
// kProgressInterval, a few times a second, so that drawing costs nothing.
constexpr int64_t kProgressDelay = 1'000'000'000;   // nanoseconds
constexpr int64_t kProgressInterval = 250'000'000;  // nanoseconds

struct ProgressPacer {
  // The clock's reading when the next drawing is due.
  int64_t nextDraw = 0;
};

// A pacer for a run that started at `start` (any monotonic clock, in
// nanoseconds).
ProgressPacer startProgress(int64_t start);

// Whether the line is due at `now`; when it is, the next one is due a
// kProgressInterval later.
bool progressDue(ProgressPacer& pacer, int64_t now);

// A line ready for the terminal and the columns it takes there.
struct ProgressLine {
  std::string text;
  size_t columns = 0;
};

// What the line shows: bytes read so far (with the total and the share of
// it read when the total is known), files, messages counted, the rate since
// the start of the run, and the name of the data being read, its control
// characters escaped. It takes fewer than `columns` columns, so that the
// terminal never wraps it: the name loses its beginning first (its end is
// what tells entries apart), then the name goes, then the line is cut.
ProgressLine formatProgressLine(const ProgressCounts& counts, std::optional<uint64_t> totalBytes,
                                int64_t elapsed, std::string_view name, size_t columns);

// A byte count the way the line shows it: "812 B", "12.3 MB", "4.40 GB"
// (units of 1000, three digits).
std::string formatByteCount(uint64_t bytes);

// `n` in decimal with a comma between groups of three digits (1,234,567),
// as the progress line and the closing tally show counts.
std::string groupedDigits(uint64_t n);

#endif  // VARNAK_PLATFORM_PROGRESS_H_
