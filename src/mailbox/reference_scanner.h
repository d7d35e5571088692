// Test support, not part of the tool: the mailbox scanner written as the
// plain state table, one transition per byte and nothing clever. The real
// scanner (scanner.cc) skips over whole lines; the tests and the scanner
// fuzzer hold it to this one byte for byte.

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
    if (recognised_) handlers_.message(pending_, false);
  }

 private:
  enum State {
    body,
    bodyLineStart,
    emptyLineSeen,
    sawF,
    sawFr,
    sawFro,
    sawFrom,
    separatorLine,
    headerLineStart,
    headerLine,
    received1,              // received1 + k: the first k + 1 letters of "Received" seen
    date1 = received1 + 7,  // date1 + k: the first k + 1 letters of "Date" seen
    dateValue = date1 + 4,
  };
  enum Event { none, separatorStarts, separatorEnds, dateStarts, dateEnds, headerBlockEnds };

  void step(char c) {
    if (c == '\x1a') {  // text mode: Ctrl-Z ends the data
      stopped_ = true;
      return;
    }
    if (c == '\r') return;  // text mode: CR bytes are dropped
    if (!recognised_) {
      if (c == '\n' || c == ' ' || c == '\t') return;
      if (c != 'F') {
        stopped_ = true;
        return;
      }
      recognised_ = true;
      state_ = sawF;
      return;
    }
    Event event = transition(c);
    switch (event) {
      case separatorStarts:
      case dateStarts:
        capturing_ = true;
        captureLength_ = 0;
        break;
      case separatorEnds:
        capturing_ = false;
        if (isMessageSeparator(captured())) accept();
        break;
      case dateEnds: {
        capturing_ = false;
        std::string_view value = captured().substr(1);
        while (!value.empty() && (value[0] == ' ' || value[0] == '\t'))
          value.remove_prefix(1);
        pending_.dateText = std::string(value);
        break;
      }
      case headerBlockEnds:
        pending_.size = 0;
        break;
      case none:
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

  std::string_view captured() const { return std::string_view(buffer_, captureLength_); }

  void accept() {
    if (!pending_.fromLine.empty()) handlers_.message(pending_, true);
    std::string_view from = captured();
    while (!from.empty() && (from[0] == ' ' || from[0] == '\t'))
      from.remove_prefix(1);
    pending_ = MailMessage{};
    pending_.fromLine = std::string(from);
  }

  Event transition(char c) {
    static constexpr char kReceived[] = "Received";
    switch (state_) {
      case body:
        state_ = c == '\n' ? bodyLineStart : body;
        return none;
      case bodyLineStart:
        state_ = c == '\n' ? emptyLineSeen : body;
        return none;
      case emptyLineSeen:
        state_ = c == 'F' ? sawF : c == '\n' ? emptyLineSeen : body;
        return none;
      case sawF:
        state_ = c == 'r' ? sawFr : body;
        return none;
      case sawFr:
        state_ = c == 'o' ? sawFro : body;
        return none;
      case sawFro:
        state_ = c == 'm' ? sawFrom : body;
        return none;
      case sawFrom:
        state_ = c == ' ' ? separatorLine : body;
        return c == ' ' ? separatorStarts : none;
      case separatorLine:
        if (c != '\n') return none;
        state_ = headerLineStart;
        return separatorEnds;
      case headerLineStart:
        state_ = c == '\n' ? emptyLineSeen : c == 'R' ? received1 : c == 'D' ? date1 : headerLine;
        return c == '\n' ? headerBlockEnds : none;
      case headerLine:
        state_ = c == '\n' ? headerLineStart : headerLine;
        return none;
      case dateValue:
        if (c != '\n') return none;
        state_ = headerLineStart;
        return dateEnds;
      default:
        break;
    }
    if (state_ >= received1 && state_ < date1) {
      int seen = state_ - received1 + 1;
      if (c == '\n') {
        state_ = headerLineStart;
      } else if (c != kReceived[seen]) {
        state_ = headerLine;
      } else if (seen == 7) {
        pending_.hasReceivedLine = true;  // the received mark: counted, not an event
        state_ = headerLine;
      } else {
        state_ = static_cast<State>(state_ + 1);
      }
      return none;
    }
    int seen = state_ - date1 + 1;
    if (c == '\n') {
      state_ = headerLineStart;
    } else if (seen == 4) {
      state_ = c == ':' ? dateValue : headerLine;
      return c == ':' ? dateStarts : none;
    } else if ((c | 0x20) == "date"[seen]) {
      state_ = static_cast<State>(state_ + 1);
    } else {
      state_ = headerLine;
    }
    return none;
  }

  ScanHandlers handlers_;
  bool recognised_ = false;
  bool stopped_ = false;
  State state_ = body;
  MailMessage pending_;
  bool capturing_ = false;
  size_t captureLength_ = 0;
  char buffer_[MailboxScanner::kCaptureLimit + 1];
};

#endif  // VARNAK_MAILBOX_REFERENCE_SCANNER_H_
