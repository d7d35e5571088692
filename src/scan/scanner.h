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
#include <string>
#include <string_view>

#include "scan/message.h"

// What the part of a message after a cut did to it, beyond what the
// fields of the part's own record show.
struct CutFacts {
  // A Date line was ended: its value replaces the message's.
  bool dateSeen = false;
  // A From: header was ended (under -me): its value replaces the message's.
  bool fromSeen = false;
  // An empty line ended a header block (one opened by a refused "From "
  // line): the message's size counts from there on, the part's size alone.
  bool sizeRestarted = false;
};

// The message cut in two, `message` being its part before the cut and
// `rest` its part after it, made what a scanner reading across the cut
// would have made of it.
void joinAtCut(KeptMessage& message, const MailMessage& rest, const CutFacts& facts);

// Where a mailbox may be cut, so that a scanner started there (startAfterCut)
// goes on exactly as one that read everything before: the offset just past
// the first two line ends in `bytes` that meet (CR bytes between them
// dropped), after a line that is known not to read "F", "Fr", "Fro" or
// "From" alone (after such a line an empty line is not yet taken as one).
// npos when `bytes` holds none. The bytes must come after the file's first
// line, which must be an accepted separator.
size_t findCut(std::string_view bytes);

struct ScanHandlers {
  // One message, in file order. `atSeparator` is true when the message was
  // ended by the next accepted separator, false for the last one at the end
  // of the data. The record is the scanner's and only lent for the call:
  // its texts may point into the bytes being fed.
  std::function<void(const MailMessage& message, bool atSeparator)> message;
  // A separator or Date line reached the capture limit; `text` is what was
  // kept of it (kCaptureLimit bytes, starting with the blank or colon).
  std::function<void(std::string_view text)> headerTooLong;
  // Only for a scanner started at a cut (startAfterCut): the rest of the
  // message the cut fell in, handed on where `message` would hand on that
  // message, with what the rest changed in it (joinAtCut puts the two
  // halves together).
  std::function<void(const MailMessage& rest, const CutFacts& facts, bool atSeparator)>
      continuation;
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
  // -summary without -me: mark the messages that carry Gmail's label
  // header, whose export -me reads better.
  bool watchGmailLabels = false;
  // -unique, -summary: keep the value of each message's first Message-ID
  // header, folded lines included.
  bool captureMessageId = false;
};

// Where the scanner stands in the file; scan/scan_table.h, the state table,
// defines it for the code that steps through it.
enum class ScanState : uint8_t;

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
  // The pending message's texts may point into the scanner's own storage.
  MailboxScanner(const MailboxScanner&) = delete;
  MailboxScanner& operator=(const MailboxScanner&) = delete;

  // Before the first byte: the data is one message, not a mailbox (a
  // Maildir's or MH folder's file, an .eml file), and `name` stands in
  // its warnings where a separator line would. Its first byte begins its
  // header block, and every byte after that block is its body: no "From "
  // line in it separates anything or opens another header block.
  void startOneMessage(std::string_view name);

  // Before the first byte: the data starts at a cut (findCut) of a mailbox,
  // in the body of a message begun before it. What comes before the first
  // separator accepted goes to the `continuation` handler, at that
  // separator or at the end of the data.
  void startAfterCut();

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
  bool scanChunk(const char* data, size_t size);
  void keepTextsIn(const char* begin, const char* end);
  const char* scanBody(const char* p, const char* end);
  const char* scanHeaderLines(const char* p, const char* end);
  const char* scanCapturedLine(const char* p, const char* end);
  const char* scanEmptyLines(const char* p, const char* end);
  const char* skipEmptyLines(const char* p, const char* end);
  void endHeaderBlock();
  const char* stepOne(const char* p, const char* end);
  const char* skipCrOrEnd(const char* stop, const char* end);
  void step(const char* p);
  void startCapture(const char* first);
  void capture(const char* p, size_t n);
  std::string_view captured() const;
  const char* takeWholeLine(const char* first, const char* end, ScanState line);
  const char* captureFrom(const char* first, const char* stop, ScanState line);
  void endSeparatorLine(std::string_view line, size_t colon);
  void endDateLine(std::string_view line);
  void endFromLine();
  void endMessageIdLine();
  bool capturingQuietly() const;
  bool watchesMessageId() const { return options_.captureMessageId && !pending_.hasMessageId; }
  const char* scanWholeBody(const char* p, const char* end);
  const char* findHeaderStop(const char* p, const char* end, size_t& crs) const;
  const char* takeMessageIdLine(const char* p, const char* end);
  void startMessage(std::string_view fromLine);

  bool takesSeparator(std::string_view line, size_t colon);

  ScanHandlers handlers_;
  ScanOptions options_;
  ByteSearch search_;
  bool oneMessage_ = false;
  // Started at a cut, and no separator accepted since: what the message
  // gains goes to the continuation handler, with `cutFacts_`.
  bool continuing_ = false;
  CutFacts cutFacts_;
  uint64_t listLines_ = 0;
  ScanState state_;
  bool dataEnded_ = false;
  // Whether the file's lines end in CR LF, judged by its first line. Only
  // the choice of search depends on it, never what the scanner finds.
  bool sawData_ = false;
  bool crLf_ = false;
  MailMessage pending_;
  // Where the texts of pending_ are kept when they do not lie in the bytes
  // being fed: those taken from the capture buffer, and those feed copies
  // out of its bytes before it returns.
  std::string fromLineKept_;
  std::string dateTextKept_;
  std::string fromHeaderKept_;
  std::string messageIdKept_;
  // The line being captured: bytes seen so far (up to the buffer's size;
  // reaching it triggers the warning) and the first of them.
  size_t captureSeen_ = 0;
  char captureBuffer_[kCaptureLimit + 1];
};

#endif  // VARNAK_SCAN_SCANNER_H_
