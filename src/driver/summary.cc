#include "driver/summary.h"

#include <cstdint>
#include <string_view>

#include "platform/progress.h"
#include "unpack/unpack.h"

namespace {

void line(std::string& out, std::string_view name, uint64_t n) {
  out += name;
  out += ": ";
  out += groupedDigits(n);
  out += '\n';
}

std::string_view reportShows(Direction direction) {
  switch (direction) {
    case Direction::sentOnly:
      return "sent messages only";
    case Direction::receivedOnly:
      return "received messages only";
    case Direction::all:
      break;
  }
  return "all counted messages";
}

void hints(std::string& out, const RunTally& tally, const RunOptions& options) {
  if (tally.packedSkipped != 0 && !options.unpack)
    out += "hint: -unpack reads compressed data and archives\n";
  if (tally.messageFilesSkipped != 0 && !options.maildir)
    out += "hint: -maildir reads files that hold one message\n";
  if (tally.listLines != 0 && !options.lists)
    out += "hint: -lists takes the \"From \" lines of list archives as separators\n";
  if (tally.gmailLabelled != 0 && options.me.empty())
    out +=
        "hint: -me=YOUR ADDRESS tells sent mail in a Gmail export, whose copies of it have "
        "Received lines\n";
  if (tally.repeats != 0 && !options.unique) out += "hint: -unique counts each message once\n";
}

}  // namespace

std::string formatTally(const RunTally& tally, const RunOptions& options) {
  std::string out = "--- summary\n";
  line(out, "files", tally.files());
  line(out, "files read as mailboxes", tally.mailboxFiles);
  line(out, "files read as messages", tally.messageFiles);
  line(out, "files unpacked", tally.packedFiles);
  line(out, "files passed over as not mail", tally.notMailFiles);
  line(out, "files passed over as compressed data or archives", tally.packedSkipped);
  line(out, "files passed over as single messages", tally.messageFilesSkipped);
  line(out,
       "files passed over as packed more than " + std::to_string(kUnpackDepth) + " levels deep",
       tally.packedTooDeep);
  line(out, "files unreadable", tally.unreadable);
  // The lines of the newer readings appear only where they can say
  // something, so that a tally without them reads as it always has.
  if (!options.exclude.empty()) line(out, "files left out by -exclude", tally.excluded);
  if (tally.hiddenFolders != 0) line(out, "hidden folders passed over", tally.hiddenFolders);
  line(out, "messages", tally.messages());
  line(out, "messages counted", tally.counted());
  line(out, "messages counted as sent", tally.sent);
  line(out, "messages counted as received", tally.received);
  line(out, "messages ignored without a Date header", tally.withoutDate);
  line(out, "messages ignored for a malformed date", tally.malformedDate);
  line(out, "messages ignored as out of range", tally.outOfRange);
  line(out, "messages skipped as MAILER-DAEMON or empty", tally.skipped);
  if (options.unique) {
    line(out, "messages skipped as copies", tally.copies);
    line(out, "messages without a Message-ID", tally.withoutMessageId);
  } else if (tally.repeats != 0) {
    line(out, "messages repeating an earlier one", tally.repeats);
  }
  line(out, "header lines too long", tally.headerTooLong);
  line(out, "list-archive \"From \" lines not taken as separators", tally.listLines);
  out += "report shows: ";
  out += reportShows(options.direction);
  out += '\n';
  hints(out, tally, options);
  return out;
}

void printTally(const RunTally& tally, const RunOptions& options, Output& output) {
  output.error({formatTally(tally, options)});
}
