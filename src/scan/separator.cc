#include "scan/separator.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "common/ascii.h"
#include "date/date.h"

#if defined(__x86_64__) && defined(__SSE2__) && defined(__GNUC__)
#define VARNAK_X86_VECTORS 1
#include <emmintrin.h>
#endif

namespace {

// Past the vector window below, the searches in the line are plain loops
// over the bytes (or one library search per byte value) on purpose:
// std::string_view's find_first_of runs a library search per byte of the
// text, which cost more than the whole rest of the test on mail whose
// paragraphs begin with "From ".

// Only the space byte: a tab after the sender does not separate here.
size_t skipSpaces(std::string_view text, size_t at) {
  while (at < text.size() && text[at] == ' ')
    ++at;
  return at;
}

// The first `c` at or after `at`, or the text's size: one library search,
// which beats a loop from a few bytes on.
size_t findByte(std::string_view text, size_t at, char c) {
  if (at >= text.size()) return text.size();
  const void* found = std::memchr(text.data() + at, c, text.size() - at);
  return found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - text.data())
                          : text.size();
}

// The bytes that end the sender's word: "@" or "!" of an address, or the
// space after it. One lookup a byte instead of three compares.
constexpr auto kEndsSender = [] {
  std::array<bool, 256> ends{};
  ends['@'] = ends['!'] = ends[' '] = true;
  return ends;
}();

// The first colon at or after `at`, where `colon` is the first in the
// text (or its size): found again only when it lies before `at`.
size_t colonFrom(std::string_view text, size_t at, size_t colon) {
  return at <= colon ? colon : findByte(text, at, ':');
}

// Whether the colon at `at` (the text's size when there is none) begins
// something like a time: optional digits, then a space or another colon.
bool timeFromColon(std::string_view text, size_t at) {
  if (at == text.size()) return false;
  ++at;
  while (at < text.size() && isDigit(text[at]))
    ++at;
  return at < text.size() && (text[at] == ' ' || text[at] == ':');
}

// After an address, a separator only has to show something like a time: a
// colon, optional digits, then a space or another colon.
bool addressFollowedByTime(std::string_view text, size_t at, size_t colon) {
  at = findByte(text, at, ' ');
  if (at == text.size()) return false;
  at = skipSpaces(text, at);
  if (at == text.size()) return false;
  return timeFromColon(text, colonFrom(text, at, colon));
}

constexpr std::string_view kMailerDaemon = "MAILER-DAEMON";

// A sender without an address, from `senderStart` to `senderEnd` (the
// space after it or the text's end): MAILER-DAEMON, or a strict date after
// it. Out of line, as is judgeBytes, so that the vector path, whose other
// ends are all jumps, saves no registers.
[[gnu::noinline]] bool plainSenderFollowedByDate(std::string_view text, size_t senderStart,
                                                 size_t senderEnd, size_t colon) {
  std::string_view sender = text.substr(senderStart, senderEnd - senderStart);
  if (sender.starts_with(kMailerDaemon)) return true;
  size_t dateStart = skipSpaces(text, senderEnd);
  if (dateStart == text.size()) return false;
  // A date in the strict form holds a time, "hh:mm": text without a colon
  // cannot be one, and body paragraphs that begin with "From " rarely have
  // any. Only whether it is a date matters, so no year is completed.
  if (colonFrom(text, dateStart, colon) == text.size()) return false;
  return parseDate(text.substr(dateStart), nullptr, true, 0);
}

// The test proper with a loop a byte, on the judged text, whose first
// colon is at `colon` (its size when it has none): for text shorter than
// the vector window, or whose sender or date lies past it.
[[gnu::noinline]] bool judgeBytes(std::string_view text, size_t colon) {
  size_t senderStart = skipSpaces(text, 0);
  size_t senderEnd = senderStart;
  while (senderEnd < text.size() && !kEndsSender[static_cast<unsigned char>(text[senderEnd])])
    ++senderEnd;

  if (senderEnd < text.size() && text[senderEnd] != ' ') {
    return addressFollowedByTime(text, senderEnd, colon);
  }
  return plainSenderFollowedByDate(text, senderStart, senderEnd, colon);
}

#if VARNAK_X86_VECTORS

// timeFromColon for the first colon at or after `at`, searched for. Out of
// line, so that the vector path below, which mostly knows the colon, keeps
// no registers across the search.
[[gnu::noinline]] bool timeFromColonAfter(std::string_view text, size_t at) {
  return timeFromColon(text, findByte(text, at, ':'));
}

// Whether the text is a date in the strict form. Only whether it is one
// matters, so no year is completed. Out of line, so that the vector path
// reaches it by a jump and sets up no stack frame for the date reading.
[[gnu::noinline]] bool isStrictDate(std::string_view text) {
  return parseDate(text, nullptr, true, 0);
}

// timeFromColon for a colon that lies before the text's end, where the
// usual two digits and a colon or space after them are tested first,
// without the loop's test of the end at each byte.
bool timeAtColon(std::string_view text, size_t colon) {
  if (text.size() - colon > 3) {
    const char* time = text.data() + colon + 1;
    if (isDigit(time[0]) && isDigit(time[1]) && (time[2] == ':' || time[2] == ' ')) return true;
  }
  return timeFromColon(text, colon);
}

// plainSenderFollowedByDate where the date's start is known too, and the
// first colon mostly lies after it.
bool plainSenderFollowedByDate(std::string_view text, size_t senderStart, size_t senderEnd,
                               size_t dateStart, size_t colon) {
  if (senderEnd - senderStart >= kMailerDaemon.size() &&
      std::memcmp(text.data() + senderStart, kMailerDaemon.data(), kMailerDaemon.size()) == 0) {
    return true;
  }
  if (dateStart > colon) return plainSenderFollowedByDate(text, senderStart, senderEnd, colon);
  if (colon == text.size()) return false;
  return isStrictDate(std::string_view(text.data() + dateStart, text.size() - dateStart));
}

// Bit masks of the text's first 32 bytes, a bit a byte: the spaces, and
// the "@" and "!" that end an address's first word. The marks of the
// second half are looked for only where the sender goes on into it: most
// senders end in the first.
struct Window {
  __m128i high;
  uint32_t spaces;
  uint32_t addressMarks;
};

uint32_t spacesOf(__m128i bytes) {
  return static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '))));
}

uint32_t addressMarksOf(__m128i bytes) {
  __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('@')),
                               _mm_cmpeq_epi8(bytes, _mm_set1_epi8('!')));
  return static_cast<uint16_t>(_mm_movemask_epi8(marks));
}

// The caller's text holds at least 32 bytes: nothing past its end is read,
// for the callers' texts may end where their memory does.
Window windowOf(const char* text) {
  __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16));
  return {high, spacesOf(low) | spacesOf(high) << 16, addressMarksOf(low)};
}

uint32_t lowestBit(uint32_t bits) {
  return bits & (0u - bits);
}

// The bits at and above the single bit `bit`.
uint32_t fromBit(uint32_t bit) {
  return 0u - bit;
}

size_t offsetOf(uint32_t bit) {
  return static_cast<size_t>(std::countr_zero(bit));
}

#endif

// The text up to its first `stop`, found by one library search (a captured
// line can be 4 KiB long).
std::string_view cutAt(std::string_view text, char stop) {
  const void* at = text.empty() ? nullptr : std::memchr(text.data(), stop, text.size());
  return at != nullptr ? text.substr(0, static_cast<const char*>(at) - text.data()) : text;
}

}  // namespace

// Most separators have the sender's end, and the blank after an address
// or the start of a plain sender's date, within their first 32 bytes: there
// each is a bit of the window's masks, found with a bit trick instead of a
// loop or a library search. Where one of them lies past the window, or the
// text is shorter than it, the loops a byte judge it.
bool separator_detail::judgeSeparator(std::string_view text, size_t colon) {
#if VARNAK_X86_VECTORS
  if (text.size() >= 32) {
    Window window = windowOf(text.data());
    // The lowest byte that is no space; none when the window is all spaces.
    uint32_t senderStart = (window.spaces + 1) & ~window.spaces;
    uint32_t senderEnd = lowestBit((window.spaces | window.addressMarks) & fromBit(senderStart));
    if (senderEnd > 0xffff || senderEnd == 0) {
      // A mark in the second half may come before the end found there.
      window.addressMarks |= addressMarksOf(window.high) << 16;
      senderEnd = lowestBit((window.spaces | window.addressMarks) & fromBit(senderStart));
    }
    if ((senderEnd & window.addressMarks) != 0) {
      uint32_t blank = lowestBit(window.spaces & fromBit(senderEnd));
      if (blank != 0) {
        // The run of spaces from the blank ends at or before a colon after
        // it, which is then the first colon of the time; a colon before the
        // blank, in the address, is not.
        size_t at = offsetOf(blank);
        return at < colon ? timeAtColon(text, colon) : timeFromColonAfter(text, at);
      }
    } else if (senderEnd != 0) {
      // Adding the bit of the space after the sender carries through the
      // run of spaces it starts, to the first byte after them, and leaves
      // the bits below as they were; none when the run reaches past the
      // window.
      uint32_t dateStart = (window.spaces + senderEnd) & ~window.spaces;
      if (dateStart != 0) {
        return plainSenderFollowedByDate(text, offsetOf(senderStart), offsetOf(senderEnd),
                                         offsetOf(dateStart), colon);
      }
    }
  }
#endif
  return judgeBytes(text, colon);
}

std::string_view judgedText(std::string_view line) {
  return cutAt(cutAt(cutAt(line, '\0'), '\r'), '\n');
}

bool isMessageSeparator(std::string_view line) {
  std::string_view text = judgedText(line);
  return separator_detail::judgeSeparator(text, findByte(text, 0, ':'));
}

bool separator_detail::judgeLineWithoutLineEnds(std::string_view line, size_t colon) {
  std::string_view text = cutAt(line, '\0');
  return separator_detail::judgeSeparator(text, std::min(colon, text.size()));
}
