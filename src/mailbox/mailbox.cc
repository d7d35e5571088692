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

// Reads one stream of mail: the bytes `first`, already read, then those of
// `read`. `name` is what the path line shows: the file's path, or an
// archive entry's name under -unpack.
void readStream(const std::string& name, std::string_view first, const ChunkReader& read,
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
  if (first.empty() || scanner.feed(first.data(), first.size())) {
    char buffer[kReadSize];
    for (;;) {
      size_t n = read(buffer, sizeof buffer);
      if (n == 0 || !scanner.feed(buffer, n)) break;
    }
  }
  scanner.finish();
}

// -unpack: the first bytes of the file tell a compressed stream or archive,
// whose regular files are read one by one, from plain data, read as ever.
void readUnpacking(const std::string& path, OpenFile& file, const RunOptions& options,
                   DayTable& table) {
  ChunkReader readFile = [&file](char* buffer, size_t capacity) {
    return readSome(file, buffer, capacity);
  };
  std::string head = readPackedHead(readFile);
  if (!looksPacked(head)) {
    readStream(path, head, readFile, options, table);
    return;
  }
  UnpackHandlers handlers;
  handlers.entry = [&options, &table](const std::string& name, const ChunkReader& read) {
    readStream(name, {}, read, options, table);
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
    readStream(
        path, {},
        [&file](char* buffer, size_t capacity) { return readSome(*file, buffer, capacity); },
        options, table);
  }
  closeFile(*file);
}
