// Reading one mailbox file.

#ifndef VARNAK_READ_MAIL_FILE_H_
#define VARNAK_READ_MAIL_FILE_H_

#include <functional>
#include <string>

#include "common/day_table.h"
#include "common/run_options.h"
#include "common/tally.h"
#include "count/unique.h"
#include "platform/directory.h"
#include "platform/output.h"
#include "platform/progress.h"
#include "scan/message.h"
#include "scan/scanner.h"

// Where the reading of a file counts and what it says: the day table and
// the tally, the progress counts, and the output that takes what is said
// about the file. When `keep` is set, each message goes to it instead of
// the table, and only the file's own groups to the tally. `sightings`, under
// -unique or -summary, holds the messages met earlier in the run.
using MessageKeeper = std::function<void(const MailMessage& message)>;
struct ReadCounts {
  const RunOptions& options;
  Output& output;
  DayTable* table;
  const MessageKeeper* keep;
  RunTally& tally;
  ProgressCounts& progress;
  Sightings* sightings;
};

// Reads the file at `path`, whose status was just queried, opening it as
// the listed entry `listed` unless that is null; when it is a mailbox,
// counts each of its messages into `table`. Files that are not
// mailboxes are passed over without a word. Under -unpack, a compressed
// file or an archive is decoded as it is read, and each regular file in it
// is read in the same way, named ARCHIVE(ENTRY) in the path line. Under
// -maildir, a file that holds one message is counted as that message. What
// became of the file and its messages is added to `tally`; path lines and
// warnings go to `output`. The bytes read, the file and the messages
// counted are added to `progress`, and `output` is ticked with it as the
// reading goes. `sightings`, under -unique or -summary, holds the messages
// met earlier in the run.
void readMailFile(const std::string& path, const PathStatus& status, const ListedEntry* listed,
                  const RunOptions& options, Output& output, DayTable& table, RunTally& tally,
                  ProgressCounts& progress, Sightings* sightings);

// Reads the file as readMailFile does, but counts nothing: each message
// goes to `keep`, to be counted later (a worker thread, which may not touch
// the day table, keeps it for the main thread to count in walk order).
// What the file adds to the tally besides its messages' fates goes to
// `tally`, and the bytes read and the file to `progress`.
void readMailFileKeeping(const std::string& path, const PathStatus& status,
                         const ListedEntry* listed, const RunOptions& options, Output& output,
                         const MessageKeeper& keep, RunTally& tally, ProgressCounts& progress);

// Counts one message of a file (not the text before a first separator) as
// readMailFile does: into `table`, its fate into `tally`, a counted one
// into `progress`. A message kept by readMailFileKeeping is counted here
// later, in the order of the walk.
void countReadMessage(const MailMessage& message, const RunOptions& options, Output& output,
                      DayTable& table, RunTally& tally, ProgressCounts& progress,
                      Sightings* sightings);

// What the scanner watches for under `options`.
ScanOptions scanOptionsFor(const RunOptions& options);

// The bytes a file is read in at a time. Measured on a 1 GiB mailbox from
// the page cache: 128 KiB needs a third less processor time than 16 KiB
// (fewer system calls); larger buffers gain nothing more and only add to
// the resident memory.
constexpr size_t kMailReadSize = 131072;

// What every reading of a file does with what its scanner finds: counts a
// message (or hands it to `counts.keep`), shows the file's path line, warns
// of a line cut at the capture limit.
void countOrKeep(const MailMessage& message, ReadCounts& counts);
void showPathLine(const std::string& name, ReadCounts& counts);
void warnHeaderTooLong(std::string_view text, ReadCounts& counts);

#endif  // VARNAK_READ_MAIL_FILE_H_
