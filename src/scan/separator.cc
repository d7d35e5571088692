#include "scan/separator.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/ascii.h"
#include "date/date.h"

namespace {

// The searches in the line are plain loops over the bytes (or one library
// search per byte value) on purpose: std::string_view's find_first_of runs
// a library search per byte of the text, which cost more than the whole
// rest of the test on mail whose paragraphs begin with "From ".

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

// After an address, a separator only has to show something like a time: a
// colon, optional digits, then a space or another colon.
bool addressFollowedByTime(std::string_view text, size_t at, size_t colon) {
  at = findByte(text, at, ' ');
  if (at == text.size()) return false;
  at = skipSpaces(text, at);
  if (at == text.size()) return false;
  at = colonFrom(text, at, colon);
  if (at == text.size()) return false;
  ++at;
  while (at < text.size() && isDigit(text[at]))
    ++at;
  return at < text.size() && (text[at] == ' ' || text[at] == ':');
}

constexpr std::string_view kMailerDaemon = "MAILER-DAEMON";

// The test proper, on the judged text, whose first colon is at `colon`
// (its size when it has none).
bool judgeSeparator(std::string_view text, size_t colon) {
  size_t senderStart = skipSpaces(text, 0);
  size_t senderEnd = senderStart;
  while (senderEnd < text.size() && !kEndsSender[static_cast<unsigned char>(text[senderEnd])])
    ++senderEnd;

  if (senderEnd < text.size() && text[senderEnd] != ' ') {
    return addressFollowedByTime(text, senderEnd, colon);
  }
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

// The text up to its first `stop`, found by one library search (a captured
// line can be 4 KiB long).
std::string_view cutAt(std::string_view text, char stop) {
  const void* at = text.empty() ? nullptr : std::memchr(text.data(), stop, text.size());
  return at != nullptr ? text.substr(0, static_cast<const char*>(at) - text.data()) : text;
}

}  // namespace

std::string_view judgedText(std::string_view line) {
  return cutAt(cutAt(cutAt(line, '\0'), '\r'), '\n');
}

bool isMessageSeparator(std::string_view line) {
  std::string_view text = judgedText(line);
  return judgeSeparator(text, findByte(text, 0, ':'));
}

bool separator_detail::judgeLineWithoutLineEnds(std::string_view line, size_t colon) {
  std::string_view text = cutAt(line, '\0');
  return judgeSeparator(text, std::min(colon, text.size()));
}

bool separator_detail::judgeText(std::string_view text, size_t colon) {
  return judgeSeparator(text, colon);
}
