#include "mailbox/separator.h"

#include "date/date.h"

namespace {

// Only the space byte: a tab after the sender does not separate here.
size_t skipSpaces(std::string_view text, size_t at) {
  while (at < text.size() && text[at] == ' ')
    ++at;
  return at;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// After an address, a separator only has to show something like a time: a
// colon, optional digits, then a space or another colon.
bool addressFollowedByTime(std::string_view text, size_t at) {
  at = text.find(' ', at);
  if (at == std::string_view::npos) return false;
  at = skipSpaces(text, at);
  if (at == text.size()) return false;
  at = text.find(':', at);
  if (at == std::string_view::npos) return false;
  ++at;
  while (at < text.size() && isDigit(text[at]))
    ++at;
  return at < text.size() && (text[at] == ' ' || text[at] == ':');
}

}  // namespace

bool isMessageSeparator(std::string_view line) {
  // The text the test judges stops at a NUL as well as at a line end.
  size_t stop = line.find_first_of(std::string_view("\0\r\n", 3));
  std::string_view text = line.substr(0, stop);

  size_t senderStart = skipSpaces(text, 0);
  size_t senderEnd = text.find_first_of("@! ", senderStart);
  if (senderEnd == std::string_view::npos) senderEnd = text.size();

  if (senderEnd < text.size() && text[senderEnd] != ' ') {
    return addressFollowedByTime(text, senderEnd);
  }
  std::string_view sender = text.substr(senderStart, senderEnd - senderStart);
  if (sender.starts_with("MAILER-DAEMON")) return true;
  size_t dateStart = skipSpaces(text, senderEnd);
  if (dateStart == text.size()) return false;
  // Only whether it is a date matters here, so no year is completed.
  return parseDate(text.substr(dateStart), nullptr, true, 0);
}
