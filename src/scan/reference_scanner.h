// Test support, not part of the tool: the mailbox scanner at its plainest,
// the shared state table applied to one byte at a time and nothing skipped.
// The real scanner (scanner.cc) skips over whole lines and runs of body;
// the tests and the scanner fuzzer hold it to this one byte for byte.

#ifndef VARNAK_SCAN_REFERENCE_SCANNER_H_
#define VARNAK_SCAN_REFERENCE_SCANNER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/ascii.h"
#include "scan/list_separator.h"
#include "scan/scan_table.h"
#include "scan/scanner.h"
#include "scan/separator.h"

class ReferenceScanner {
 public:
  explicit ReferenceScanner(ScanHandlers handlers, ScanOptions options = {})
      : handlers_(std::move(handlers)), options_(options) {}

  void startOneMessage(std::string_view name) {
    oneMessage_ = true;
    pending_.fromLine = std::string(name);
    state_ = ScanState::headerLineStart;
  }

  uint64_t listLines() const { return listLines_; }

  bool feed(const char* data, size_t size) {
    for (size_t i = 0; i < size && !stopped_; ++i)
      step(data[i]);
    return !stopped_;
  }

  void finish() {
    if (state_ != ScanState::leadIn && state_ != ScanState::notMailbox)
      handlers_.message(lentMessage(pending_), false);
  }

 private:
  void step(char c) {
    if (c == '\x1a') {  // text mode: Ctrl-Z ends the data
      stopped_ = true;
      return;
    }
    if (c == '\r') return;  // text mode: CR bytes are dropped
    ScanWatch watch{options_.captureFrom, options_.captureMessageId && !pending_.hasMessageId,
                    oneMessage_, options_.watchGmailLabels};
    ScanStep next = nextScanStep(state_, c, watch);
    state_ = next.next;
    if (state_ == ScanState::notMailbox) stopped_ = true;
    apply(next.event);
    if (capturing_) keep(c, next.event);
  }

  // What the event does to the message and to the capture.
  void apply(ScanEvent event) {
    switch (event) {
      case ScanEvent::none:
        break;
      case ScanEvent::separatorStarts:
      case ScanEvent::dateStarts:
        capturing_ = true;
        captureLength_ = 0;
        break;
      case ScanEvent::separatorEnds:
        capturing_ = false;
        if (takesSeparator(captured())) accept();
        break;
      case ScanEvent::fromStarts:
      case ScanEvent::messageIdStarts:
        pending_.size += 1;
        capturing_ = true;
        fromCapture_ = true;
        captureLength_ = 0;
        break;
      case ScanEvent::messageIdLineEnds:
        pending_.size += 1;
        pending_.hasMessageId = true;
        pending_.messageId = std::string(captured().substr(1));
        capturing_ = false;
        break;
      case ScanEvent::fromLineEnds:
        pending_.size += 1;
        pending_.fromHeader = std::string(captured().substr(1));
        capturing_ = false;
        break;
      case ScanEvent::fromContinues:
      case ScanEvent::messageIdContinues:
        pending_.size += 1;
        // The capture goes on where it stopped, the line end first; one that
        // was full stays full.
        capturing_ = captureLength_ < MailboxScanner::kCaptureLimit;
        if (capturing_) buffer_[captureLength_++] = '\n';
        break;
      case ScanEvent::dateEnds:
        capturing_ = false;
        pending_.dateText = std::string(withoutLeadingBlanks(captured().substr(1)));
        break;
      case ScanEvent::headerBlockEnds:
        pending_.size = 0;
        break;
      case ScanEvent::receivedMark:
        pending_.hasReceivedLine = true;
        pending_.size += 1;
        break;
      case ScanEvent::gmailMark:
        pending_.hasGmailLabels = true;
        pending_.size += 1;
        break;
      case ScanEvent::countByte:
        pending_.size += 1;
        break;
    }
  }

  // The byte `c` of a captured line, `event` being what it did.
  void keep(char c, ScanEvent event) {
    if (event == ScanEvent::separatorStarts || event == ScanEvent::dateStarts) fromCapture_ = false;
    buffer_[captureLength_++] = c;
    if (captureLength_ == sizeof buffer_) {
      capturing_ = false;
      captureLength_ = sizeof buffer_ - 1;
      if (!fromCapture_) handlers_.headerTooLong(captured());
    }
  }

  std::string_view captured() const { return std::string_view(buffer_, captureLength_); }

  bool takesSeparator(std::string_view line) {
    if (oneMessage_) return false;
    if (isMessageSeparator(line)) return true;
    bool listLine = isListArchiveSeparator(line);
    if (listLine && options_.listSeparators) return true;
    if (listLine && options_.countListLines) ++listLines_;
    return false;
  }

  void accept() {
    if (!pending_.fromLine.empty()) handlers_.message(lentMessage(pending_), true);
    pending_ = KeptMessage{};
    pending_.fromLine = std::string(withoutLeadingBlanks(captured()));
  }

  ScanHandlers handlers_;
  ScanOptions options_;
  bool oneMessage_ = false;
  uint64_t listLines_ = 0;
  // The line being captured is a From: or Message-ID value, never warned of.
  bool fromCapture_ = false;
  bool stopped_ = false;
  ScanState state_ = ScanState::leadIn;
  KeptMessage pending_;
  bool capturing_ = false;
  size_t captureLength_ = 0;
  char buffer_[MailboxScanner::kCaptureLimit + 1];
};

#endif  // VARNAK_SCAN_REFERENCE_SCANNER_H_
