#include "mailbox/mailbox.h"

#include "mailbox/classify.h"
#include "mailbox/scanner.h"
#include "mailbox/unpack.h"
#include "platform/console.h"
#include "platform/file.h"

namespace {

// Measured on a 1 GiB mailbox from the page cache: 128 KiB needs a third
// less processor time than 16 KiB (fewer system calls); larger buffers gain
// nothing more and only add to the resident memory.
constexpr size_t kReadSize = 131072;

// Reads one stream of mail through `buffer`, of kReadSize bytes, whose
// first `have` bytes already hold the start of the stream; the rest comes
// from `read`. `name` is what the path line shows: the file's path, or an
// archive entry's name under -unpack.
void readStream(const std::string& name, char* buffer, size_t have, const ChunkReader& read,
                const RunOptions& options, DayTable& table) {
  bool announced = false;
  ScanHandlers handlers;
  handlers.message = [&](const MailMessage& message, bool atSeparator) {
    countMessage(message, options, table);
    // The path is shown once a file proves to hold more than one message,
    // after whatever was said about its first one.
    if (atSeparator && !announced) {
      if (!options.terse) printOut({name, "\n"});
      announced = true;
    }
  };
  handlers.headerTooLong = [&options](std::string_view text) {
    printWarning(options.terse, {"Header too long: ", text, "\n"});
  };
  MailboxScanner scanner(std::move(handlers));
  size_t n = have != 0 ? have : read(buffer, kReadSize);
  while (n != 0 && scanner.feed(buffer, n))
    n = read(buffer, kReadSize);
  scanner.finish();
}

// -unpack: the first bytes of the file tell a compressed stream or archive,
// whose regular files are read one by one, from plain data, read as ever.
void readUnpacking(const std::string& path, OpenFile& file, const RunOptions& options,
                   DayTable& table) {
  ChunkReader readFile = [&file](char* buffer, size_t capacity) {
    return readSome(file, buffer, capacity);
  };
  // The first read, which plain data goes on from, is the one looked at:
  // it costs no read of its own.
  char buffer[kReadSize];
  size_t have = 0;
  while (have < kPackedHeadSize) {
    size_t n = readFile(buffer + have, sizeof buffer - have);
    if (n == 0) break;
    have += n;
  }
  std::string_view head(buffer, have);
  if (!looksPacked(head.substr(0, kPackedHeadSize))) {
    readStream(path, buffer, have, readFile, options, table);
    return;
  }
  UnpackHandlers handlers;
  handlers.entry = [&options, &table](const std::string& name, const ChunkReader& read) {
    char entryBuffer[kReadSize];
    readStream(name, entryBuffer, 0, read, options, table);
    return true;
  };
  handlers.problem = [&options](const std::string& name, std::string_view problem) {
    printWarning(options.terse, {"Unable to unpack ", name, ": ", problem, "\n"});
  };
  // Only a regular file seeks (a 7z archive needs it).
  ChunkSeeker seek;
  if (file.knownSize) {
    seek = [&file](int64_t offset, int whence) { return seekFile(file, offset, whence); };
  }
  unpack({path, head, readFile, seek}, handlers);
}

}  // namespace

void readMailbox(const std::string& path, const PathStatus& status, const RunOptions& options,
                 DayTable& table) {
  std::optional<OpenFile> file = openForReading(path, status);
  if (!file) return;
  if (options.unpack) {
    readUnpacking(path, *file, options, table);
  } else {
    char buffer[kReadSize];
    readStream(
        path, buffer, 0,
        [&file](char* data, size_t capacity) { return readSome(*file, data, capacity); }, options,
        table);
  }
  closeFile(*file);
}
