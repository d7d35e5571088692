// Test support, not part of the tool: the mailbox scanner at its plainest,
// the shared state table applied to one byte at a time and nothing skipped.
// The real scanner (scanner.cc) skips over whole lines and runs of body;
// the tests and the scanner fuzzer hold it to this one byte for byte.

#ifndef VARNAK_MAILBOX_REFERENCE_SCANNER_H_
#define VARNAK_MAILBOX_REFERENCE_SCANNER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mailbox/scanner.h"
#include "mailbox/separator.h"

class ReferenceScanner {
 public:
  explicit ReferenceScanner(ScanHandlers handlers) : handlers_(std::move(handlers)) {}

  bool feed(const char* data, size_t size) {
    for (size_t i = 0; i < size && !stopped_; ++i)
      step(data[i]);
    return !stopped_;
  }

  void finish() {
    if (state_ != ScanState::leadIn && state_ != ScanState::notMailbox)
      handlers_.message(pending_, false);
  }

 private:
  void step(char c) {
    if (c == '\x1a') {  // text mode: Ctrl-Z ends the data
      stopped_ = true;
      return;
    }
    if (c == '\r') return;  // text mode: CR bytes are dropped
    ScanStep next = nextScanStep(state_, c);
    state_ = next.next;
    if (state_ == ScanState::notMailbox) stopped_ = true;
    switch (next.event) {
      case ScanEvent::none:
        break;
      case ScanEvent::separatorStarts:
      case ScanEvent::dateStarts:
        capturing_ = true;
        captureLength_ = 0;
        break;
      case ScanEvent::separatorEnds:
        capturing_ = false;
        if (isMessageSeparator(captured())) accept();
        break;
      case ScanEvent::dateEnds:
        capturing_ = false;
        pending_.dateText = std::string(withoutBlanks(captured().substr(1)));
        break;
      case ScanEvent::headerBlockEnds:
        pending_.size = 0;
        break;
      case ScanEvent::receivedMark:
        pending_.hasReceivedLine = true;
        pending_.size += 1;
        break;
      case ScanEvent::countByte:
        pending_.size += 1;
        break;
    }
    if (capturing_) {
      buffer_[captureLength_++] = c;
      if (captureLength_ == sizeof buffer_) {
        capturing_ = false;
        captureLength_ = sizeof buffer_ - 1;
        handlers_.headerTooLong(captured());
      }
    }
  }

  static std::string_view withoutBlanks(std::string_view text) {
    while (!text.empty() && (text[0] == ' ' || text[0] == '\t'))
      text.remove_prefix(1);
    return text;
  }

  std::string_view captured() const { return std::string_view(buffer_, captureLength_); }

  void accept() {
    if (!pending_.fromLine.empty()) handlers_.message(pending_, true);
    pending_ = MailMessage{};
    pending_.fromLine = std::string(withoutBlanks(captured()));
  }

  ScanHandlers handlers_;
  bool stopped_ = false;
  ScanState state_ = ScanState::leadIn;
  MailMessage pending_;
  bool capturing_ = false;
  size_t captureLength_ = 0;
  char buffer_[MailboxScanner::kCaptureLimit + 1];
};

#endif  // VARNAK_MAILBOX_REFERENCE_SCANNER_H_
