// Splitting the bytes of a mailbox file into messages.
//
// The scanner is fed the file's bytes in chunks of any size, exactly as they
// were read; it does the text-mode work itself (every CR byte dropped, the
// first Ctrl-Z byte ends the data), recognises the mailbox by its first
// non-blank byte, and hands out each message as soon as the separator that
// ends it is accepted. It never touches files or the console: whatever it
// finds goes to the handlers, so it runs on bytes in memory as well.

#ifndef VARNAK_MAILBOX_SCANNER_H_
#define VARNAK_MAILBOX_SCANNER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "mailbox/message.h"

struct ScanHandlers {
  // One message, in file order. `atSeparator` is true when the message was
  // ended by the next accepted separator, false for the last one at the end
  // of the data.
  std::function<void(MailMessage message, bool atSeparator)> message;
  // A separator or Date line reached the capture limit; `text` is what was
  // kept of it (kCaptureLimit bytes, starting with the blank or colon).
  std::function<void(std::string_view text)> headerTooLong;
};

// The byte searches the scanner spends its time in, on raw file bytes (CR
// and Ctrl-Z included), exposed so that the tests can hold the vector
// versions to the plain loops.
namespace scan_kernels {

// Where a body stops being plain body: the first LF directly followed by
// another LF, or the first CR or Ctrl-Z byte, in [p, end); or end.
const char* findBodyStop(const char* p, const char* end);
const char* findBodyStopPlain(const char* p, const char* end);

// The first LF, CR or Ctrl-Z byte in [p, end), or end.
const char* findLineStop(const char* p, const char* end);
const char* findLineStopPlain(const char* p, const char* end);

}  // namespace scan_kernels

class MailboxScanner {
 public:
  // Longest separator or Date text kept, counted from the blank after
  // "From" or the colon after "Date".
  static constexpr size_t kCaptureLimit = 4095;

  explicit MailboxScanner(ScanHandlers handlers) : handlers_(std::move(handlers)) {}

  // Scans the next bytes of the file. Returns false once further bytes can
  // change nothing: the file is not a mailbox, or a Ctrl-Z ended its data.
  bool feed(const char* data, size_t size);

  // The end of the data: hands on the message in progress (a line still
  // being captured is dropped). Nothing is handed on for a file that was not
  // recognised as a mailbox.
  void finish();

 private:
  enum class State : uint8_t {
    leadIn,      // before the first non-blank byte of the file
    notMailbox,  // the first non-blank byte was not "F"
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
    receivedPrefix1,  // the line reads so far the first 1 ... 7 letters of "Received"
    receivedPrefix2,
    receivedPrefix3,
    receivedPrefix4,
    receivedPrefix5,
    receivedPrefix6,
    receivedPrefix7,
    datePrefix1,  // the line reads so far the first 1 ... 4 letters of "Date"
    datePrefix2,
    datePrefix3,
    datePrefix4,
    dateValue,
  };

  const char* scanBody(const char* p, const char* end);
  const char* scanHeaderLine(const char* p, const char* end);
  const char* scanCapturedLine(const char* p, const char* end);
  const char* skipCrOrEnd(const char* stop, const char* end);
  void step(const char* p);
  void startCapture();
  void capture(const char* p, size_t n);
  std::string_view captured() const;
  void endSeparatorLine();
  void endDateLine();

  ScanHandlers handlers_;
  State state_ = State::leadIn;
  bool dataEnded_ = false;
  MailMessage pending_;
  // The line being captured: bytes seen so far (up to the buffer's size;
  // reaching it triggers the warning) and the first of them.
  size_t captureSeen_ = 0;
  char captureBuffer_[kCaptureLimit + 1];
};

#endif  // VARNAK_MAILBOX_SCANNER_H_
