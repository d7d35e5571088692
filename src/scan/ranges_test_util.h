// Reading bytes in ranges as a reader of ranges does, for the tests and the
// fuzzer that hold it to one scanner reading the bytes whole.

#ifndef VARNAK_SCAN_RANGES_TEST_UTIL_H_
#define VARNAK_SCAN_RANGES_TEST_UTIL_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "scan/scanner.h"

// Every cut findCut offers in `input`, from its second line on.
inline std::vector<size_t> everyCut(std::string_view input) {
  std::vector<size_t> cuts;
  for (size_t from = input.find('\n'); from != std::string_view::npos && from < input.size();) {
    size_t cut = findCut(input.substr(from));
    if (cut == std::string_view::npos || from + cut >= input.size()) break;
    cuts.push_back(from + cut);
    from += cut;
  }
  return cuts;
}

// Reads `input` in ranges starting at `starts` (0 first), each with a
// scanner of its own, and joins the message that spans each cut: `record`
// gets what one scanner reading all of it would hand on. A range whose
// data ends (a Ctrl-Z) is the last one read. Returns the list lines.
inline uint64_t scanInRanges(std::string_view input, const std::vector<size_t>& starts,
                             const ScanOptions& options, const ScanHandlers& record) {
  KeptMessage pending;
  bool last = false;
  ScanHandlers handlers = record;
  handlers.message = [&](const MailMessage& m, bool atSeparator) {
    if (atSeparator || last) {
      record.message(m, atSeparator);
    } else {
      keepMessage(m, pending);
    }
  };
  handlers.continuation = [&](const MailMessage& rest, const CutFacts& facts, bool atSeparator) {
    joinAtCut(pending, rest, facts);
    if (atSeparator || last) record.message(lentMessage(pending), atSeparator);
  };
  uint64_t listLines = 0;
  for (size_t i = 0; i < starts.size(); ++i) {
    size_t end = i + 1 < starts.size() ? starts[i + 1] : input.size();
    MailboxScanner scanner(handlers, options);
    if (i > 0) scanner.startAfterCut();
    last = i + 1 == starts.size();
    bool goesOn = scanner.feed(input.data() + starts[i], end - starts[i]);
    last = last || !goesOn;
    scanner.finish();
    listLines += scanner.listLines();
    if (!goesOn) break;
  }
  return listLines;
}

#endif  // VARNAK_SCAN_RANGES_TEST_UTIL_H_
