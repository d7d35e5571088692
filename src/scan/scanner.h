// Splitting the bytes of a mailbox file into messages.
//
// The scanner is fed the file's bytes in chunks of any size, exactly as they
// were read; it does the text-mode work itself (every CR byte dropped, the
// first Ctrl-Z byte ends the data) and recognises the mailbox by its first
// non-blank byte. Each message goes to the handler the moment the separator
// that ends it is accepted, and the last one at the end of the data. The
// text before the first accepted separator is never handed out at a
// separator; at the end of the data it is, with an empty fromLine, when no
// separator was accepted at all (the classifier drops it). The scanner never
// touches files or the console: whatever it finds goes to the handlers, so
// it runs on bytes in memory as well.

#ifndef VARNAK_SCAN_SCANNER_H_
#define VARNAK_SCAN_SCANNER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "scan/message.h"

struct ScanHandlers {
  // One message, in file order. `atSeparator` is true when the message was
  // ended by the next accepted separator, false for the last one at the end
  // of the data. The record is the scanner's and only lent for the call.
  std::function<void(const MailMessage& message, bool atSeparator)> message;
  // A separator or Date line reached the capture limit; `text` is what was
  // kept of it (kCaptureLimit bytes, starting with the blank or colon).
  std::function<void(std::string_view text)> headerTooLong;
};

// The readings beyond a plain mailbox's, each off unless its option asks.
struct ScanOptions {
  // -lists: "From " lines of list archives separate messages too.
  bool listSeparators = false;
  // -summary without -lists: count the refused "From " lines that -lists
  // would take (the test then runs on refused lines only).
  bool countListLines = false;
  // -me: keep the value of each message's "From:" header, folded lines
  // included.
  bool captureFrom = false;
};

// Where the scanner stands in the file, between two bytes that text mode
// lets through (CR and Ctrl-Z never reach the table).
enum class ScanState : uint8_t {
  leadIn,      // before the first non-blank byte of the file
  notMailbox,  // the first non-blank byte was not "F": nothing more to do
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
  // Only while From: headers are watched (-me):
  fromPrefix1,  // the line reads so far the first 1 ... 4 letters of "From"
  fromPrefix2,
  fromPrefix3,
  fromPrefix4,
  fromValue,
  fromFoldStart,  // a From: line has just ended; a blank next folds it on
};

// The prefix states are counted through by arithmetic.
static_assert(static_cast<int>(ScanState::receivedPrefix7) -
                  static_cast<int>(ScanState::receivedPrefix1) ==
              6);
static_assert(static_cast<int>(ScanState::datePrefix4) - static_cast<int>(ScanState::datePrefix1) ==
              3);
static_assert(static_cast<int>(ScanState::fromPrefix4) - static_cast<int>(ScanState::fromPrefix1) ==
              3);

// What a byte does to the message besides moving the state on.
enum class ScanEvent : uint8_t {
  none,             // nothing: a blank before the file's first byte
  countByte,        // one more byte of the message
  receivedMark,     // the "d" that completes "Received": counted, and marks the message
  separatorStarts,  // the blank after "From": the line is captured from here on
  separatorEnds,    // the line end of a captured "From " line
  dateStarts,       // the colon after "Date": the value is captured from here on
  dateEnds,         // the line end of a captured Date line
  headerBlockEnds,  // the empty line after the header block: the size starts at 0
  // Only while From: headers are watched; each also counts its byte, so
  // that watching changes no size.
  fromStarts,     // the colon after "From": the value is captured from here on
  fromLineEnds,   // the line end of a From: line: the value so far is kept
  fromContinues,  // the blank that folds a From: line on: the capture goes on
};

struct ScanStep {
  ScanState next;
  ScanEvent event;
};

namespace scan_detail {

constexpr ScanState advance(ScanState state) {
  return static_cast<ScanState>(static_cast<int>(state) + 1);
}

// "From" and "Date" alike: the first letter in upper case, the rest in any.
constexpr ScanStep onNamePrefixByte(ScanState state, ScanState first, const char (&name)[5],
                                    ScanState value, ScanEvent starts, char c) {
  int seen = static_cast<int>(state) - static_cast<int>(first) + 1;
  if (seen == 4) {
    if (c == ':') return {value, starts};
    return {ScanState::headerLine, ScanEvent::countByte};
  }
  if ((c | 0x20) == name[seen]) return {advance(state), ScanEvent::countByte};
  return {ScanState::headerLine, ScanEvent::countByte};
}

constexpr ScanStep onPrefixByte(ScanState state, char c) {
  constexpr char kReceived[] = "Received";
  if (c == '\n') return {ScanState::headerLineStart, ScanEvent::countByte};
  if (state >= ScanState::receivedPrefix1 && state <= ScanState::receivedPrefix7) {
    int seen = static_cast<int>(state) - static_cast<int>(ScanState::receivedPrefix1) + 1;
    if (c != kReceived[seen]) return {ScanState::headerLine, ScanEvent::countByte};
    if (seen == 7) return {ScanState::headerLine, ScanEvent::receivedMark};
    return {advance(state), ScanEvent::countByte};
  }
  if (state >= ScanState::fromPrefix1 && state <= ScanState::fromPrefix4) {
    return onNamePrefixByte(state, ScanState::fromPrefix1, "from", ScanState::fromValue,
                            ScanEvent::fromStarts, c);
  }
  return onNamePrefixByte(state, ScanState::datePrefix1, "date", ScanState::dateValue,
                          ScanEvent::dateStarts, c);
}

// The first byte of a header line.
constexpr ScanStep onLineStart(char c, bool watchFrom) {
  using S = ScanState;
  if (c == '\n') return {S::emptyLineSeen, ScanEvent::headerBlockEnds};
  if (c == 'F' && watchFrom) return {S::fromPrefix1, ScanEvent::countByte};
  return {c == 'R'   ? S::receivedPrefix1
          : c == 'D' ? S::datePrefix1
                     : S::headerLine,
          ScanEvent::countByte};
}

}  // namespace scan_detail

// The scanner's whole state table: what the byte `c` does in `state`;
// `watchFrom` (-me) lets a header line's "F" begin a From: header. Both
// the scanner (for every byte it does not skip in bulk) and the per-byte
// reference the tests hold it to run on this one function.
constexpr ScanStep nextScanStep(ScanState state, char c, bool watchFrom) {
  using S = ScanState;
  constexpr ScanEvent kCount = ScanEvent::countByte;
  switch (state) {
    case S::leadIn:
      if (c == '\n' || c == ' ' || c == '\t') return {S::leadIn, ScanEvent::none};
      return {c == 'F' ? S::sawF : S::notMailbox, ScanEvent::none};
    case S::notMailbox:
      return {S::notMailbox, ScanEvent::none};
    case S::body:
      return {c == '\n' ? S::bodyLineStart : S::body, kCount};
    case S::bodyLineStart:
      return {c == '\n' ? S::emptyLineSeen : S::body, kCount};
    case S::emptyLineSeen:
      return {c == 'F' ? S::sawF : c == '\n' ? S::emptyLineSeen : S::body, kCount};
    case S::sawF:
      return {c == 'r' ? S::sawFr : S::body, kCount};
    case S::sawFr:
      return {c == 'o' ? S::sawFro : S::body, kCount};
    case S::sawFro:
      return {c == 'm' ? S::sawFrom : S::body, kCount};
    case S::sawFrom:
      if (c == ' ') return {S::separatorLine, ScanEvent::separatorStarts};
      return {S::body, kCount};
    case S::separatorLine:
      if (c == '\n') return {S::headerLineStart, ScanEvent::separatorEnds};
      return {S::separatorLine, kCount};
    case S::headerLineStart:
      return scan_detail::onLineStart(c, watchFrom);
    case S::headerLine:
      return {c == '\n' ? S::headerLineStart : S::headerLine, kCount};
    case S::dateValue:
      if (c == '\n') return {S::headerLineStart, ScanEvent::dateEnds};
      return {S::dateValue, kCount};
    case S::fromValue:
      if (c == '\n') return {S::fromFoldStart, ScanEvent::fromLineEnds};
      return {S::fromValue, kCount};
    case S::fromFoldStart:
      if (c == ' ' || c == '\t') return {S::fromValue, ScanEvent::fromContinues};
      return scan_detail::onLineStart(c, watchFrom);
    default:
      return scan_detail::onPrefixByte(state, c);
  }
}

// The code the scanner's byte searches run, narrowest first. Every choice
// finds the same bytes; the scanner takes the widest its processor has, up
// to the one it is given, so that the tests can hold each of them to the
// per-byte table.
enum class ByteSearch : uint8_t { plain, sse2, avx2 };

class MailboxScanner {
 public:
  // Longest separator or Date text kept, counted from the blank after
  // "From" or the colon after "Date".
  static constexpr size_t kCaptureLimit = 4095;

  explicit MailboxScanner(ScanHandlers handlers, ScanOptions options = {},
                          ByteSearch widest = ByteSearch::avx2);

  // Before the first byte: the data is one message, not a mailbox (a
  // Maildir's or MH folder's file, an .eml file), and `name` stands in
  // its warnings where a separator line would. Its first byte begins its
  // header block, and no "From " line in it separates anything.
  void startOneMessage(std::string_view name);

  // Refused "From " lines that -lists would take (under countListLines).
  uint64_t listLines() const { return listLines_; }

  // Scans the next bytes of the file. Returns false once further bytes can
  // change nothing: the file is not a mailbox, or a Ctrl-Z ended its data.
  bool feed(const char* data, size_t size);

  // The end of the data: hands on the message in progress (a line still
  // being captured is dropped). Nothing is handed on for a file that was not
  // recognised as a mailbox.
  void finish();

 private:
  const char* scanBody(const char* p, const char* end);
  const char* scanHeaderLines(const char* p, const char* end);
  const char* scanCapturedLine(const char* p, const char* end);
  const char* scanEmptyLines(const char* p, const char* end);
  const char* skipEmptyLines(const char* p, const char* end);
  const char* stepOne(const char* p, const char* end);
  const char* skipCrOrEnd(const char* stop, const char* end);
  void step(const char* p);
  void startCapture(const char* first);
  void capture(const char* p, size_t n);
  std::string_view captured() const;
  void endSeparatorLine();
  void endDateLine();
  void endFromLine();
  bool capturingFrom() const {
    return state_ == ScanState::fromValue || state_ == ScanState::fromFoldStart;
  }
  void startMessage(std::string_view fromLine);

  bool takesSeparator(std::string_view line);

  ScanHandlers handlers_;
  ScanOptions options_;
  ByteSearch search_;
  bool oneMessage_ = false;
  uint64_t listLines_ = 0;
  ScanState state_ = ScanState::leadIn;
  bool dataEnded_ = false;
  // Whether the file's lines end in CR LF, judged by its first line. Only
  // the choice of search depends on it, never what the scanner finds.
  bool sawData_ = false;
  bool crLf_ = false;
  MailMessage pending_;
  // The line being captured: bytes seen so far (up to the buffer's size;
  // reaching it triggers the warning) and the first of them.
  size_t captureSeen_ = 0;
  char captureBuffer_[kCaptureLimit + 1];
};

#endif  // VARNAK_SCAN_SCANNER_H_
