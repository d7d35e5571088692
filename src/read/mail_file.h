// Reading one mailbox file.

#ifndef VARNAK_READ_MAIL_FILE_H_
#define VARNAK_READ_MAIL_FILE_H_

#include <functional>
#include <string>

#include "common/day_table.h"
#include "common/run_options.h"
#include "common/tally.h"
#include "platform/directory.h"
#include "platform/output.h"
#include "scan/message.h"

// Reads the file at `path`, whose status was just queried; when it is a
// mailbox, counts each of its messages into `table`. Files that are not
// mailboxes are passed over without a word. Under -unpack, a compressed
// file or an archive is decoded as it is read, and each regular file in it
// is read in the same way, named ARCHIVE(ENTRY) in the path line. Under
// -maildir, a file that holds one message is counted as that message. What
// became of the file and its messages is added to `tally`; path lines and
// warnings go to `output`.
void readMailFile(const std::string& path, const PathStatus& status, const RunOptions& options,
                  Output& output, DayTable& table, RunTally& tally);

// Reads the file as readMailFile does, but counts nothing: each message
// goes to `keep`, to be counted later (a worker thread, which may not touch
// the day table, keeps it for the main thread to count in walk order).
// What the file adds to the tally besides its messages' fates goes to
// `tally`.
using MessageKeeper = std::function<void(const MailMessage& message)>;
void readMailFileKeeping(const std::string& path, const PathStatus& status,
                         const RunOptions& options, Output& output, const MessageKeeper& keep,
                         RunTally& tally);

#endif  // VARNAK_READ_MAIL_FILE_H_
