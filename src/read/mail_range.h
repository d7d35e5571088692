// Reading one large mailbox file in ranges, on several threads at once.
//
// The file is cut where two line ends meet in a body (findCut), so that a
// scanner started at a cut goes on as one that read everything before it.
// Each range is read on its own; the messages that lie whole in it are
// counted (or kept) there, and the message that spans each cut is joined
// from its parts on the reader's side, which takes the ranges in file
// order and counts the joined message in its place: what is counted and
// said is what reading the file whole would count and say, in the same
// order.

#ifndef VARNAK_READ_MAIL_RANGE_H_
#define VARNAK_READ_MAIL_RANGE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/day_table.h"
#include "common/run_options.h"
#include "common/tally.h"
#include "count/unique.h"
#include "platform/file.h"
#include "platform/output.h"
#include "platform/progress.h"
#include "read/mail_file.h"
#include "scan/message.h"
#include "scan/scanner.h"

// The first bytes of a file that readsInRanges looks at.
constexpr size_t kRangeHeadBytes = 8192;

// Whether a regular file of `size` bytes is large enough to be read in
// ranges, two of them at least.
inline bool largeEnoughForRanges(uint64_t size, const RunOptions& options) {
  return size / 2 >= options.rangeBytes;
}

// Whether a file that begins with `head` may be read in ranges: a mailbox
// (as -maildir or -unpack would read it too) whose first line, whole in
// `head`, is a separator the scanner takes. The cuts then all lie in
// messages begun by a separator.
bool readsInRanges(std::string_view head, const RunOptions& options);

// Where the ranges of the open file, of `size` bytes, begin: at 0, then at
// the first cut at or after each further multiple of `rangeBytes` (looked
// for within a stretch after it; a stretch without one adds no range).
std::vector<uint64_t> rangeStarts(const OpenFile& file, uint64_t size, uint64_t rangeBytes);

struct MailRange {
  uint64_t begin = 0;
  // Where the next range begins; the last range is read to the file's
  // real end, as the whole reading would.
  uint64_t end = 0;
  size_t index = 0;
  bool last = false;
};

// How a range ended, for the side that joins the ranges.
struct RangeEnd {
  // The range's last message, or the rest of the one it began in, still
  // to be counted where the ranges are joined; false when the range
  // counted its last message itself.
  bool carries = false;
  KeptMessage message;
  // `message` is the rest of the message the range began in (no separator
  // was taken in the range), to be joined with `facts`.
  bool rest = false;
  CutFacts facts;
  // The file's path line has been shown (by the first range).
  bool announced = false;
  // The file's data ends in this range: the end of the file, or a Ctrl-Z.
  bool final = false;
  // The range, and where its reading stopped (recountRange reads it to
  // there again).
  MailRange range;
  uint64_t readTo = 0;
};

// Reads one range of the open file at `path` (readsInRanges said yes of
// its head), counting as readMailFile does (`counts.sightings` is not
// used: a range is read on a thread of its own). `joined` gets the rest of the message the range
// began in, at the separator that ends it, before any message after it is counted. Before each
// read, `stop` is asked whether to read on from `at` (a range after one that ended the data stops
// early: nothing it finds counts).
using RangeJoined = std::function<void(const MailMessage& rest, const CutFacts& facts)>;
using RangeStop = std::function<bool(uint64_t at)>;
RangeEnd readMailRange(const std::string& path, const OpenFile& file, const MailRange& range,
                       ReadCounts& counts, const RangeJoined& joined, const RangeStop& stop);

// Counts into `table` what readMailRange counted of the range into a table
// of its own (the messages whole in it), reading it again up to where that
// reading stopped, and says nothing: what a range after the end of the
// data counted is then taken away again.
void recountRange(const std::string& path, const OpenFile& file, const MailRange& range,
                  uint64_t readTo, const RunOptions& options, DayTable& table);

// The joining side of a file read in ranges, fed each range's joins and
// end in file order; counts as readMailFile does (`counts.keep` unset).
struct RangeJoin {
  std::string path;
  // The message that goes on into the next range.
  KeptMessage pending;
  bool announced = false;
  // The data has ended: what later ranges found does not count.
  bool ended = false;
};

// The message the range began in ended at a separator of the range.
void joinAtSeparator(RangeJoin& join, const MailMessage& rest, const CutFacts& facts,
                     ReadCounts& counts);
// The range ended.
void joinRangeEnd(RangeJoin& join, const RangeEnd& end, ReadCounts& counts);

#endif  // VARNAK_READ_MAIL_RANGE_H_
