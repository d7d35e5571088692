#include "read/mail_file.h"

#include <algorithm>
#include <cstring>

#include "common/byte_source.h"
#include "count/count_message.h"
#include "input/exclude.h"
#include "platform/file.h"
#include "read/message_file.h"
#include "scan/scanner.h"
#include "unpack/unpack.h"

namespace {

using Counts = ReadCounts;

// What the first bytes of a file or entry make of it.
enum class StreamKind { mailbox, message, emlx };

// What -maildir makes of a stream, by its first bytes.
StreamKind messageKind(std::string_view head) {
  // A file that begins with "From " stays a mailbox.
  if (head.starts_with("From ")) return StreamKind::mailbox;
  // The count line alone would take any file that begins with a number: the
  // message after it must begin with a header field too.
  if (std::optional<EmlxStart> emlx = readEmlxStart(head);
      emlx && startsWithHeaderField(head.substr(emlx->countLineLength))) {
    return StreamKind::emlx;
  }
  if (startsWithHeaderField(head)) return StreamKind::message;
  return StreamKind::mailbox;
}

StreamKind streamKind(std::string_view head, const RunOptions& options) {
  return options.maildir ? messageKind(head) : StreamKind::mailbox;
}

// Which file group of the tally a stream read as a mailbox falls in. A
// stream that holds no message, and that -maildir would read as one, is a
// message file passed over, whatever the mailbox reading made of its text;
// returns whether the stream is one.
bool tallyFile(std::string_view head, bool heldMessages, const RunOptions& options,
               RunTally& tally) {
  if (heldMessages) {
    ++tally.mailboxFiles;
  } else if (messageKind(head) != StreamKind::mailbox) {
    ++tally.messageFilesSkipped;
    return true;
  } else if (!options.unpack && looksPacked(head.substr(0, kPackedHeadSize))) {
    ++tally.packedSkipped;
  } else {
    ++tally.notMailFiles;
  }
  return false;
}

// What one stream's messages showed, for its file group and its path line.
struct StreamFindings {
  // What the path line shows, and whether it was shown.
  const std::string& name;
  bool announced = false;
  bool heldMessages = false;
  // The text before a first separator was handed on, at the end of a
  // stream that had none: it is tallied as a skipped message only when the
  // file is not tallied as a message file passed over, which says it all.
  bool textWithoutSeparator = false;
};

// The handler of a stream's messages. Its call is flattened: every call it
// makes on the way to the day table (the counting, the date reading's
// common layouts) is inlined into it, which saves the calls, and the
// registers each saved, on every message. Two references are all a
// std::function keeps in itself: any more would cost an allocation for
// every file.
struct MessageTaker {
  Counts& counts;
  StreamFindings& findings;

  [[gnu::flatten]] void operator()(const MailMessage& message, bool atSeparator) const {
    if (message.fromLine.empty()) {
      // The text before a first separator: counting it could only find it
      // skipped, and the file's group decides whether it is tallied.
      findings.textWithoutSeparator = true;
    } else {
      countOrKeep(message, counts);
      findings.heldMessages = true;
    }
    // The path is shown once a file proves to hold more than one message,
    // after whatever was said about its first one.
    if (atSeparator && !findings.announced) {
      showPathLine(findings.name, counts);
      findings.announced = true;
    }
  }
};

ScanHandlers handlersFor(Counts& counts, StreamFindings& findings) {
  ScanHandlers handlers;
  handlers.message = MessageTaker{counts, findings};
  handlers.headerTooLong = [&counts](std::string_view text) { warnHeaderTooLong(text, counts); };
  return handlers;
}

// Reads one stream of mail through `buffer`, of kMailReadSize bytes, whose
// first `have` bytes already hold the start of the stream; the rest comes
// from `read`. `name` is what the path line shows: the file's path, or an
// archive entry's name under -unpack.
void readStream(const std::string& name, char* buffer, size_t have, const ChunkReader& read,
                Counts& counts) {
  const RunOptions& options = counts.options;
  StreamFindings findings{name};
  MailboxScanner scanner(handlersFor(counts, findings), scanOptionsFor(options));
  size_t n = have != 0 ? have : read(buffer, kMailReadSize);
  // The buffer is read into again; the tally judges the file by a copy of
  // its first bytes.
  char headBytes[kPackedHeadSize];
  size_t headSize = std::min(n, sizeof headBytes);
  std::memcpy(headBytes, buffer, headSize);
  std::string_view head(buffer, n);
  StreamKind kind = streamKind(head, options);
  // An .emlx file's message is the count of bytes after its first line.
  const char* data = buffer;
  uint64_t left = UINT64_MAX;
  if (kind == StreamKind::emlx) {
    EmlxStart start = *readEmlxStart(head);
    data += start.countLineLength;
    n -= start.countLineLength;
    left = start.messageLength;
  }
  if (kind != StreamKind::mailbox) scanner.startOneMessage(name);
  for (;;) {
    size_t take = static_cast<size_t>(std::min<uint64_t>(n, left));
    if (take == 0 || !scanner.feed(data, take)) break;
    left -= take;
    data = buffer;
    n = read(buffer, kMailReadSize);
    counts.output.tick(counts.progress, name);
  }
  scanner.finish();
  counts.tally.listLines += scanner.listLines();
  if (kind == StreamKind::mailbox) {
    bool messageFile =
        tallyFile({headBytes, headSize}, findings.heldMessages, options, counts.tally);
    if (findings.textWithoutSeparator && !messageFile)
      tallyMessage(MessageFate::skipped, counts.tally);
  } else {
    ++counts.tally.messageFiles;
  }
}

// The one warning for the entries of `path` packed too deep to be opened:
// the entry's own name when there was one alone.
void warnTooDeep(const std::string& path, const std::string& first, uint64_t refused,
                 Counts& counts) {
  std::string depth = std::to_string(kUnpackDepth);
  if (refused == 1) {
    counts.output.warning(counts.options.terse, {"Unable to unpack ", first, ": packed more than ",
                                                 depth, " levels deep\n"});
  } else if (refused > 1) {
    counts.output.warning(counts.options.terse,
                          {"Unable to unpack ", path, ": ", std::to_string(refused),
                           " entries packed more than ", depth, " levels deep\n"});
  }
}

// -unpack: the first bytes of the file tell a compressed stream or archive,
// whose regular files are read one by one, from plain data, read as ever.
void readUnpacking(const std::string& path, OpenFile& file, const ChunkReader& readFile,
                   Counts& counts) {
  // The first read, which plain data goes on from, is the one looked at:
  // it costs no read of its own.
  char buffer[kMailReadSize];
  size_t have = 0;
  while (have < kPackedHeadSize) {
    size_t n = readFile(buffer + have, sizeof buffer - have);
    if (n == 0) break;
    have += n;
  }
  std::string_view head(buffer, have);
  if (!looksPacked(head.substr(0, kPackedHeadSize))) {
    readStream(path, buffer, have, readFile, counts);
    return;
  }
  ++counts.tally.packedFiles;
  UnpackHandlers handlers;
  handlers.entry = [&counts](const std::string& name, const ChunkReader& read) {
    char entryBuffer[kMailReadSize];
    readStream(name, entryBuffer, 0, read, counts);
    return true;
  };
  handlers.problem = [&counts](const std::string& name, std::string_view problem) {
    counts.output.warning(counts.options.terse, {"Unable to unpack ", name, ": ", problem, "\n"});
  };
  handlers.opened = [&counts](const std::string&) { ++counts.tally.packedFiles; };
  // A nest of archives can hold thousands too deep (a zip bomb's): one
  // warning for them all, after the file's other lines.
  uint64_t tooDeep = 0;
  std::string firstTooDeep;
  handlers.tooDeep = [&counts, &tooDeep, &firstTooDeep](const std::string& name) {
    ++counts.tally.packedTooDeep;
    if (tooDeep++ == 0) firstTooDeep = name;
  };
  if (!counts.options.exclude.empty()) {
    handlers.leavesOut = [&counts](std::string_view entryPath) {
      bool out = excludesAnyPart(entryPath, counts.options.exclude);
      counts.tally.excluded += out;
      return out;
    };
  }
  // Only a regular file seeks (a 7z archive needs it).
  ChunkSeeker seek;
  if (file.knownSize) {
    seek = [&file](int64_t offset, int whence) { return seekFile(file, offset, whence); };
  }
  unpack({path, head, readFile, seek}, handlers);
  warnTooDeep(path, firstTooDeep, tooDeep, counts);
}

void readPath(const std::string& path, const PathStatus& status, const ListedEntry* listed,
              Counts& counts) {
  std::optional<OpenFile> file =
      listed != nullptr ? openForReading(*listed, status) : openForReading(path, status);
  if (!file) {
    ++counts.tally.unreadable;
    return;
  }
  ProgressCounts& progress = counts.progress;
  ++progress.files;
  counts.output.tick(progress, path);
  ChunkReader readFile = [&file, &progress](char* data, size_t capacity) {
    size_t n = readSome(*file, data, capacity);
    progress.bytesRead += n;
    return n;
  };
  if (counts.options.unpack) {
    readUnpacking(path, *file, readFile, counts);
  } else {
    char buffer[kMailReadSize];
    readStream(path, buffer, 0, readFile, counts);
  }
  closeFile(*file);
}

}  // namespace

void countOrKeep(const MailMessage& message, ReadCounts& counts) {
  if (counts.keep != nullptr) {
    (*counts.keep)(message);
  } else {
    countReadMessage(message, counts.options, counts.output, *counts.table, counts.tally,
                     counts.progress, counts.sightings);
  }
}

void showPathLine(const std::string& name, ReadCounts& counts) {
  if (!counts.options.terse) counts.output.progress({name, "\n"});
}

void warnHeaderTooLong(std::string_view text, ReadCounts& counts) {
  ++counts.tally.headerTooLong;
  counts.output.warning(counts.options.terse, {"Header too long: ", text, "\n"});
}

ScanOptions scanOptionsFor(const RunOptions& options) {
  ScanOptions scanOptions;
  scanOptions.listSeparators = options.lists;
  scanOptions.countListLines = options.summary && !options.lists;
  scanOptions.captureFrom = !options.me.empty();
  scanOptions.watchGmailLabels = options.summary && options.me.empty();
  // As the run keeps its sightings: on a worker, which keeps none, too.
  scanOptions.captureMessageId = options.unique || options.summary;
  return scanOptions;
}

void countReadMessage(const MailMessage& message, const RunOptions& options, Output& output,
                      DayTable& table, RunTally& tally, ProgressCounts& progress,
                      Sightings* sightings) {
  MessageFate fate = countMessage(message, options, output, table, sightings);
  tallyMessage(fate, tally);
  bool counted = fate == MessageFate::sent || fate == MessageFate::received;
  if (counted) ++progress.messages;
  if (counted && message.hasGmailLabels) ++tally.gmailLabelled;
}

void readMailFile(const std::string& path, const PathStatus& status, const ListedEntry* listed,
                  const RunOptions& options, Output& output, DayTable& table, RunTally& tally,
                  ProgressCounts& progress, Sightings* sightings) {
  Counts counts{options, output, &table, nullptr, tally, progress, sightings};
  readPath(path, status, listed, counts);
}

void readMailFileKeeping(const std::string& path, const PathStatus& status,
                         const ListedEntry* listed, const RunOptions& options, Output& output,
                         const MessageKeeper& keep, RunTally& tally, ProgressCounts& progress) {
  Counts counts{options, output, nullptr, &keep, tally, progress, nullptr};
  readPath(path, status, listed, counts);
}
