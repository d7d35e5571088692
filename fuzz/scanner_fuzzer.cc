// Holds the mailbox scanner to the plain per-byte state table on arbitrary
// bytes, fed whole with each of its byte searches, and cut into chunks at
// places the input chooses; first as a plain mailbox, then under a reading
// option the input chooses (From: capture, list separators, their count
// with Gmail's labels watched as -summary does, Message-ID capture, one
// message). Then the same bytes after a separator line, read in ranges cut
// after about every chunk's length, against one scanner reading them whole.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "scan/ranges_test_util.h"
#include "scan/reference_scanner.h"
#include "scan/scanner.h"

namespace {

ScanHandlers recorder(std::string& log) {
  ScanHandlers handlers;
  handlers.message = [&log](const MailMessage& m, bool atSeparator) {
    log += atSeparator ? "S" : "E";
    log += m.hasReceivedLine ? "R" : "-";
    auto text = [&log](std::string_view t) {
      log.append(std::to_string(t.size())).append(":").append(t);
    };
    text(m.fromLine);
    text(m.dateText);
    log += std::to_string(m.size);
    text(m.fromHeader);
    log += m.hasGmailLabels ? "G" : "-";
    if (m.hasMessageId) {
      log += "I";
      text(m.messageId);
    } else {
      log += "-";
    }
    log += "\n";
  };
  handlers.headerTooLong = [&log](std::string_view text) {
    log += "W" + std::to_string(text.size()) + ":" + std::string(text) + "\n";
  };
  return handlers;
}

struct Reading {
  ScanOptions options;
  bool oneMessage = false;
};

template <typename Scanner, typename... Choice>
std::string scan(const Reading& reading, const char* data, const std::vector<size_t>& cuts,
                 Choice... search) {
  std::string log;
  Scanner scanner(recorder(log), reading.options, search...);
  if (reading.oneMessage) scanner.startOneMessage("file");
  size_t start = 0;
  for (size_t end : cuts) {
    // Each piece from a copy of its own, freed once fed: the address
    // sanitizer then catches a text handed on later that still points there.
    std::vector<char> piece(data + start, data + end);
    if (!scanner.feed(piece.data(), piece.size())) break;
    start = end;
  }
  scanner.finish();
  return log + "L" + std::to_string(scanner.listLines());
}

void compare(const Reading& reading, const char* data, const std::vector<size_t>& whole,
             const std::vector<size_t>& chunks) {
  std::string expected = scan<ReferenceScanner>(reading, data, whole);
  for (ByteSearch search : {ByteSearch::plain, ByteSearch::sse2, ByteSearch::avx2}) {
    if (scan<MailboxScanner>(reading, data, whole, search) != expected) std::abort();
  }
  if (scan<MailboxScanner>(reading, data, chunks) != expected) std::abort();
}

// A mailbox opening with a separator, cut at the first cut after each
// multiple of `every` bytes.
void compareRanges(const Reading& reading, const char* data, size_t size, size_t every) {
  if (reading.oneMessage) return;  // a message file is read whole
  std::string box = "From a!b 1: x\n" + std::string(data, size);
  std::vector<size_t> starts = {0};
  for (size_t cut : everyCut(box)) {
    if (cut >= starts.back() + every) starts.push_back(cut);
  }
  std::string joined;
  std::string wholeEnd = scan<MailboxScanner>(reading, box.data(), {box.size()});
  uint64_t lines = scanInRanges(box, starts, reading.options, recorder(joined));
  if (joined + "L" + std::to_string(lines) != wholeEnd) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  // The first two bytes choose the chunk length; the rest is the file.
  if (size < 2) return 0;
  size_t chunk = 1 + ((bytes[0] | size_t{bytes[1]} << 8) % 4099);
  const char* data = reinterpret_cast<const char*>(bytes + 2);
  size -= 2;

  std::vector<size_t> whole = {size};
  std::vector<size_t> chunks;
  for (size_t end = chunk; end < size; end += chunk)
    chunks.push_back(end);
  chunks.push_back(size);

  compare({}, data, whole, chunks);
  // The chunk bytes also choose the reading option; 0 is the plain reading
  // just done.
  Reading reading;
  unsigned choice = (bytes[0] ^ bytes[1]) % 8;
  reading.options.captureFrom = choice == 1 || choice == 5 || choice == 7;
  reading.options.listSeparators = choice == 2 || choice == 5;
  // -summary counts list lines and watches Gmail's labels together.
  reading.options.countListLines = choice == 3;
  reading.options.watchGmailLabels = choice == 3;
  reading.options.captureMessageId = choice == 6 || choice == 7;
  reading.oneMessage = choice == 4 || choice == 7;
  if (choice != 0) compare(reading, data, whole, chunks);
  compareRanges(reading, data, size, chunk);
  return 0;
}
