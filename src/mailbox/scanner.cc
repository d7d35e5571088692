#include "mailbox/scanner.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "mailbox/separator.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The two bytes that text mode acts on.
bool isCrOrCtrlZ(char c) {
  return c == '\r' || c == '\x1a';
}

// The byte searches the scanner spends its time in, on raw file bytes (CR
// and Ctrl-Z included). findBodyStop: where a body stops being plain body,
// the first LF directly followed by another LF, or the first CR or Ctrl-Z
// byte, in [p, end); or end. findLineStop: the first LF, CR or Ctrl-Z byte
// in [p, end), or end. The plain loops are the definition; the vector
// versions must find the same byte.

const char* findBodyStopPlain(const char* p, const char* end) {
  for (; p < end; ++p) {
    if (isCrOrCtrlZ(*p) || (*p == '\n' && end - p >= 2 && p[1] == '\n')) return p;
  }
  return end;
}

const char* findLineStopPlain(const char* p, const char* end) {
  for (; p < end; ++p) {
    if (*p == '\n' || isCrOrCtrlZ(*p)) return p;
  }
  return end;
}

#if defined(__SSE2__)

// Masks of the 64 bytes at `block`: bit i stands for block[i].
struct Block {
  uint64_t lf = 0;
  uint64_t crOrCtrlZ = 0;
};

Block classify(const char* block) {
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i ctrlZ = _mm_set1_epi8('\x1a');
  Block masks;
  for (int i = 0; i < 4; ++i) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
    __m128i stops = _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, ctrlZ));
    auto bits = [](__m128i m) {
      return static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(m)));
    };
    masks.lf |= bits(_mm_cmpeq_epi8(v, lf)) << (16 * i);
    masks.crOrCtrlZ |= bits(stops) << (16 * i);
  }
  return masks;
}

// Most of a mailbox is body, where only an empty line matters (and the text
// mode bytes): 64 bytes at a time, a pair of LFs is a bit set both in the LF
// mask and in its shift.
const char* findBodyStop(const char* p, const char* end) {
  while (end - p > 64) {
    Block masks = classify(p);
    uint64_t pairs = masks.lf & (masks.lf >> 1);
    if (p[64] == '\n') pairs |= masks.lf & (uint64_t{1} << 63);
    uint64_t stops = pairs | masks.crOrCtrlZ;
    if (stops != 0) return p + __builtin_ctzll(stops);
    p += 64;
  }
  return findBodyStopPlain(p, end);
}

const char* findLineStop(const char* p, const char* end) {
  while (end - p >= 64) {
    Block masks = classify(p);
    uint64_t stops = masks.lf | masks.crOrCtrlZ;
    if (stops != 0) return p + __builtin_ctzll(stops);
    p += 64;
  }
  return findLineStopPlain(p, end);
}

#else

const char* findBodyStop(const char* p, const char* end) {
  return findBodyStopPlain(p, end);
}
const char* findLineStop(const char* p, const char* end) {
  return findLineStopPlain(p, end);
}

#endif

std::string_view withoutLeadingBlanks(std::string_view text) {
  size_t start = text.find_first_not_of(" \t");
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

}  // namespace

// Text mode is applied on the way, never in a separate pass: every search
// below also stops at CR and Ctrl-Z, and skipCrOrEnd drops the CR or ends
// the data there.
bool MailboxScanner::feed(const char* data, size_t size) {
  const char* p = data;
  const char* end = data + size;
  while (p < end && !dataEnded_) {
    switch (state_) {
      case ScanState::notMailbox:
        return false;
      case ScanState::body:
        p = scanBody(p, end);
        break;
      case ScanState::headerLine:
        p = scanHeaderLine(p, end);
        break;
      case ScanState::separatorLine:
      case ScanState::dateValue:
        p = scanCapturedLine(p, end);
        break;
      default:
        if (isCrOrCtrlZ(*p)) {
          p = skipCrOrEnd(p, end);
        } else {
          step(p);
          ++p;
        }
        break;
    }
  }
  return !dataEnded_ && state_ != ScanState::notMailbox;
}

void MailboxScanner::finish() {
  if (state_ == ScanState::leadIn || state_ == ScanState::notMailbox) return;
  handlers_.message(std::move(pending_), false);
  pending_ = MailMessage{};
}

const char* MailboxScanner::skipCrOrEnd(const char* stop, const char* end) {
  if (*stop == '\r') return stop + 1;
  dataEnded_ = true;
  return end;
}

void MailboxScanner::startCapture() {
  captureSeen_ = 0;
}

// Keeps the first bytes of the line. The warning comes the moment the line
// is known to be too long, whether or not it ever ends.
void MailboxScanner::capture(const char* p, size_t n) {
  size_t room = sizeof captureBuffer_ - captureSeen_;
  if (room == 0) return;
  size_t take = std::min(n, room);
  std::memcpy(captureBuffer_ + captureSeen_, p, take);
  captureSeen_ += take;
  if (captureSeen_ == sizeof captureBuffer_) handlers_.headerTooLong(captured());
}

std::string_view MailboxScanner::captured() const {
  return std::string_view(captureBuffer_, std::min(captureSeen_, kCaptureLimit));
}

void MailboxScanner::endSeparatorLine() {
  if (!isMessageSeparator(captured())) return;
  if (!pending_.fromLine.empty()) handlers_.message(std::move(pending_), true);
  pending_ = MailMessage{};
  pending_.fromLine = std::string(withoutLeadingBlanks(captured()));
}

void MailboxScanner::endDateLine() {
  pending_.dateText = std::string(withoutLeadingBlanks(captured().substr(1)));
}

// Inside a body line. Nothing happens in a body until an empty line, so
// everything up to one is skipped and counted.
const char* MailboxScanner::scanBody(const char* p, const char* end) {
  const char* stop = findBodyStop(p, end);
  pending_.size += static_cast<uint32_t>(stop - p);
  // A line end just before the stop may begin an empty line after it.
  if (stop > p && stop[-1] == '\n') state_ = ScanState::bodyLineStart;
  if (stop == end) return end;
  if (*stop == '\n') {
    pending_.size += 2;
    state_ = ScanState::emptyLineSeen;
    return stop + 2;
  }
  return skipCrOrEnd(stop, end);
}

// Inside a header line the reader does not look at: skipped and counted,
// its line end included.
const char* MailboxScanner::scanHeaderLine(const char* p, const char* end) {
  const char* stop = findLineStop(p, end);
  pending_.size += static_cast<uint32_t>(stop - p);
  if (stop == end) return end;
  if (*stop == '\n') {
    pending_.size += 1;
    state_ = ScanState::headerLineStart;
    return stop + 1;
  }
  return skipCrOrEnd(stop, end);
}

// Inside a separator or Date line: everything up to the line end is captured
// and counted; the line end itself is the event that ends the line.
const char* MailboxScanner::scanCapturedLine(const char* p, const char* end) {
  const char* stop = findLineStop(p, end);
  capture(p, static_cast<size_t>(stop - p));
  pending_.size += static_cast<uint32_t>(stop - p);
  if (stop == end) return end;
  if (*stop != '\n') return skipCrOrEnd(stop, end);
  bool separator = state_ == ScanState::separatorLine;
  state_ = ScanState::headerLineStart;
  if (separator) {
    endSeparatorLine();
  } else {
    endDateLine();
  }
  return stop + 1;
}

// One byte in a state where every byte may change the state: the starts of
// lines and the prefixes the scanner recognises.
void MailboxScanner::step(const char* p) {
  ScanStep next = nextScanStep(state_, *p);
  state_ = next.next;
  switch (next.event) {
    case ScanEvent::none:
      break;
    case ScanEvent::countByte:
      pending_.size += 1;
      break;
    case ScanEvent::receivedMark:
      pending_.hasReceivedLine = true;
      pending_.size += 1;
      break;
    case ScanEvent::separatorStarts:
    case ScanEvent::dateStarts:
      startCapture();
      capture(p, 1);
      break;
    case ScanEvent::headerBlockEnds:
      pending_.size = 0;
      break;
    case ScanEvent::separatorEnds:
    case ScanEvent::dateEnds:
      break;  // captured lines are scanned a run at a time, never here
  }
}
