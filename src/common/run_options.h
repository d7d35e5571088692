// The run's settings: one record, complete before any input is read and
// handed down, read-only, to everything that needs it.

#ifndef VARNAK_COMMON_RUN_OPTIONS_H_
#define VARNAK_COMMON_RUN_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

// Which messages the report adds up. Every message is stored, sent and
// received apart, whatever the direction; only the report applies it.
enum class Direction { all, sentOnly, receivedOnly };

struct RunOptions {
  int32_t firstYear = 1970;
  // Number of years in the range; the last year is firstYear + yearCount - 1.
  // Held in 64 bits so that no range on the command line can overflow it;
  // the day table refuses counts that do not fit 32 bits.
  int64_t yearCount = 201;
  Direction direction = Direction::all;
  // Quiet mode: no progress lines, warnings on standard error.
  bool terse = false;
  // Year of the local date at start-up; years below 1000 in dates are
  // completed around it.
  int32_t currentYear = 0;

  // The readings a plain run leaves out, each switched on by its option.
  // Compressed data and archives are unpacked as they are read.
  bool unpack = false;
  // A file that is one message (Maildir, MH, .eml, .emlx) is counted.
  bool maildir = false;
  // "From " lines of mailing-list archives ("From jane at example.com  Tue
  // Jan  3 10:00:00 2017") separate messages too.
  bool lists = false;
  // A tally of every file and message follows the report.
  bool summary = false;
  // When not empty, a message is sent when its From: header holds one of
  // these addresses, and received otherwise.
  std::vector<std::string> me;
  // A long run shows a progress line where standard error is a terminal;
  // -noprogress turns it off (-terse does not).
  bool progress = true;
  // -unique: a message whose Message-ID and Date equal an earlier one's is
  // a copy of it, and counted once.
  bool unique = false;
  // -exclude: names that leave out every path, folder or archive entry one
  // of whose parts matches one of them.
  std::vector<std::string> exclude;
  // Worker threads that read the files (-jobs=N); 0 until the run sets the
  // default. With 1, each file is read on the main thread as the walk
  // finds it.
  int jobs = 0;
  // With more than one job, a regular mailbox file of at least two ranges
  // of this many bytes is read in ranges, several at once. The tests set
  // it small (VARNAK_RANGE_BYTES) to cut small files anywhere.
  uint64_t rangeBytes = uint64_t{4} << 20;
};

#endif  // VARNAK_COMMON_RUN_OPTIONS_H_
