// The mailbox scanner's state table: its states, what a byte does to the
// message, and the one function that says both for every state and byte.
// The scanner (scanner.cc) runs on it for every byte it does not skip in
// bulk, and the per-byte reference scanner the tests hold it to runs on it
// alone.

#ifndef VARNAK_SCAN_SCAN_TABLE_H_
#define VARNAK_SCAN_SCAN_TABLE_H_

#include <cstdint>

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

// A captured line (a separator's, a Date or From: value): every byte is
// counted until the line end, which goes on to `after` with `ends`.
constexpr ScanStep onCapturedByte(ScanState state, char c, ScanState after, ScanEvent ends) {
  if (c == '\n') return {after, ends};
  return {state, ScanEvent::countByte};
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
// `watchFrom` (-me) lets a header line's "F" begin a From: header.
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
      return scan_detail::onCapturedByte(state, c, S::headerLineStart, ScanEvent::separatorEnds);
    case S::headerLineStart:
      return scan_detail::onLineStart(c, watchFrom);
    case S::headerLine:
      return {c == '\n' ? S::headerLineStart : S::headerLine, kCount};
    case S::dateValue:
      return scan_detail::onCapturedByte(state, c, S::headerLineStart, ScanEvent::dateEnds);
    case S::fromValue:
      return scan_detail::onCapturedByte(state, c, S::fromFoldStart, ScanEvent::fromLineEnds);
    case S::fromFoldStart:
      if (c == ' ' || c == '\t') return {S::fromValue, ScanEvent::fromContinues};
      return scan_detail::onLineStart(c, watchFrom);
    default:
      return scan_detail::onPrefixByte(state, c);
  }
}

#endif  // VARNAK_SCAN_SCAN_TABLE_H_
