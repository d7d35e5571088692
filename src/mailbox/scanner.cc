#include "mailbox/scanner.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "mailbox/separator.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scan_kernels {

const char* findEmptyLinePlain(const char* p, const char* end) {
  for (; end - p >= 2; ++p) {
    if (p[0] == '\n' && p[1] == '\n') return p;
  }
  return end;
}

const char* findCrOrCtrlZPlain(const char* p, const char* end) {
  for (; p < end; ++p) {
    if (*p == '\r' || *p == '\x1a') return p;
  }
  return end;
}

#if defined(__SSE2__)

namespace {

// Bit i set where block[i] == byte, for the 64 bytes at `block`.
uint64_t matches64(const char* block, __m128i byte) {
  uint64_t mask = 0;
  for (int i = 0; i < 4; ++i) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
    mask |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, byte))))
            << (16 * i);
  }
  return mask;
}

}  // namespace

// Most of a mailbox is body, where only an empty line matters: 64 bytes at a
// time, a pair of LFs is a bit set in both the LF mask and its shift.
const char* findEmptyLine(const char* p, const char* end) {
  const __m128i lf = _mm_set1_epi8('\n');
  while (end - p > 64) {
    uint64_t lfs = matches64(p, lf);
    uint64_t pairs = lfs & (lfs >> 1);
    if (p[64] == '\n') pairs |= lfs & (uint64_t{1} << 63);
    if (pairs != 0) return p + __builtin_ctzll(pairs);
    p += 64;
  }
  return findEmptyLinePlain(p, end);
}

const char* findCrOrCtrlZ(const char* p, const char* end) {
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i ctrlZ = _mm_set1_epi8('\x1a');
  while (end - p >= 64) {
    uint64_t found = 0;
    for (int i = 0; i < 4; ++i) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, ctrlZ));
      found |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(hit))) << (16 * i);
    }
    if (found != 0) return p + __builtin_ctzll(found);
    p += 64;
  }
  return findCrOrCtrlZPlain(p, end);
}

#else

const char* findEmptyLine(const char* p, const char* end) {
  while (end - p >= 2) {
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p - 1));
    if (lf == nullptr) return end;
    p = static_cast<const char*>(lf);
    if (p[1] == '\n') return p;
    p += 2;
  }
  return end;
}

const char* findCrOrCtrlZ(const char* p, const char* end) {
  return findCrOrCtrlZPlain(p, end);
}

#endif

}  // namespace scan_kernels

namespace {

const char* findByte(const char* p, const char* end, char byte) {
  const void* found = std::memchr(p, byte, static_cast<size_t>(end - p));
  return found ? static_cast<const char*>(found) : end;
}

std::string_view withoutLeadingBlanks(std::string_view text) {
  size_t start = text.find_first_not_of(" \t");
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

}  // namespace

bool MailboxScanner::feed(const char* data, size_t size) {
  const char* end = data + size;
  // Text mode: CR bytes are dropped wherever they stand, so the text is
  // scanned in the runs between them; the first Ctrl-Z ends the data.
  for (const char* p = data; !dataEnded_ && state_ != State::notMailbox;) {
    const char* stop = scan_kernels::findCrOrCtrlZ(p, end);
    scanText(p, stop);
    if (stop == end) break;
    if (*stop == '\x1a') dataEnded_ = true;
    p = stop + 1;
  }
  return !dataEnded_ && state_ != State::notMailbox;
}

void MailboxScanner::finish() {
  if (state_ == State::leadIn || state_ == State::notMailbox) return;
  handlers_.message(std::move(pending_), false);
  pending_ = MailMessage{};
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

// Inside a separator or Date line: everything up to the line end is captured
// and counted; the line end itself is the event that ends the line.
const char* MailboxScanner::scanCapturedLine(const char* p, const char* end) {
  const char* lineEnd = findByte(p, end, '\n');
  capture(p, static_cast<size_t>(lineEnd - p));
  pending_.size += static_cast<uint32_t>(lineEnd - p);
  if (lineEnd == end) return end;
  if (state_ == State::separatorLine) {
    state_ = State::headerLineStart;
    endSeparatorLine();
  } else {
    state_ = State::headerLineStart;
    endDateLine();
  }
  return lineEnd + 1;
}

// Inside a body line. Nothing happens in a body until an empty line, so
// everything up to one is skipped and counted.
const char* MailboxScanner::scanBody(const char* p, const char* end) {
  const char* pair = scan_kernels::findEmptyLine(p, end);
  if (pair == end) {
    pending_.size += static_cast<uint32_t>(end - p);
    // A line end as the run's last byte may begin an empty line in the next.
    if (end[-1] == '\n') state_ = State::bodyLineStart;
    return end;
  }
  pending_.size += static_cast<uint32_t>(pair + 2 - p);
  state_ = State::emptyLineSeen;
  return pair + 2;
}

void MailboxScanner::scanText(const char* p, const char* end) {
  static constexpr char kReceived[] = "Received";
  static constexpr char kDate[] = "date";
  while (p < end) {
    char c = *p;
    switch (state_) {
      case State::notMailbox:
        return;
      case State::leadIn:
        if (c == '\n' || c == ' ' || c == '\t') break;
        state_ = c == 'F' ? State::sawF : State::notMailbox;
        break;
      case State::body:
        p = scanBody(p, end);
        continue;
      case State::separatorLine:
      case State::dateValue:
        p = scanCapturedLine(p, end);
        continue;
      case State::headerLine: {
        const char* lineEnd = findByte(p, end, '\n');
        if (lineEnd != end) {
          state_ = State::headerLineStart;
          ++lineEnd;
        }
        pending_.size += static_cast<uint32_t>(lineEnd - p);
        p = lineEnd;
        continue;
      }
      case State::bodyLineStart:
        state_ = c == '\n' ? State::emptyLineSeen : State::body;
        pending_.size += 1;
        break;
      case State::emptyLineSeen:
        state_ = c == 'F' ? State::sawF : c == '\n' ? State::emptyLineSeen : State::body;
        pending_.size += 1;
        break;
      case State::sawF:
        state_ = c == 'r' ? State::sawFr : State::body;
        pending_.size += 1;
        break;
      case State::sawFr:
        state_ = c == 'o' ? State::sawFro : State::body;
        pending_.size += 1;
        break;
      case State::sawFro:
        state_ = c == 'm' ? State::sawFrom : State::body;
        pending_.size += 1;
        break;
      case State::sawFrom:
        if (c == ' ') {
          state_ = State::separatorLine;
          startCapture();
          capture(p, 1);
        } else {
          state_ = State::body;
          pending_.size += 1;
        }
        break;
      case State::headerLineStart:
        if (c == '\n') {
          state_ = State::emptyLineSeen;
          pending_.size = 0;
          break;
        }
        state_ = c == 'R'   ? State::receivedPrefix1
                 : c == 'D' ? State::datePrefix1
                            : State::headerLine;
        pending_.size += 1;
        break;
      case State::receivedPrefix1:
      case State::receivedPrefix2:
      case State::receivedPrefix3:
      case State::receivedPrefix4:
      case State::receivedPrefix5:
      case State::receivedPrefix6:
      case State::receivedPrefix7: {
        int seen = static_cast<int>(state_) - static_cast<int>(State::receivedPrefix1) + 1;
        if (c == '\n') {
          state_ = State::headerLineStart;
        } else if (c != kReceived[seen]) {
          state_ = State::headerLine;
        } else if (seen == 7) {
          pending_.hasReceivedLine = true;
          state_ = State::headerLine;
        } else {
          state_ = static_cast<State>(static_cast<int>(state_) + 1);
        }
        pending_.size += 1;
        break;
      }
      case State::datePrefix1:
      case State::datePrefix2:
      case State::datePrefix3:
      case State::datePrefix4: {
        int seen = static_cast<int>(state_) - static_cast<int>(State::datePrefix1) + 1;
        if (c == '\n') {
          state_ = State::headerLineStart;
        } else if (seen == 4) {
          if (c == ':') {
            state_ = State::dateValue;
            startCapture();
            capture(p, 1);
            break;
          }
          state_ = State::headerLine;
        } else if ((c | 0x20) == kDate[seen]) {
          state_ = static_cast<State>(static_cast<int>(state_) + 1);
        } else {
          state_ = State::headerLine;
        }
        pending_.size += 1;
        break;
      }
    }
    ++p;
  }
}
