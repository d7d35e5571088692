#include "scan/list_separator.h"

#include <cstddef>

#include "common/ascii.h"
#include "scan/separator.h"

namespace {

bool blanks(Cursor& c) {
  const char* start = c.p;
  while (isBlank(c.peek()))
    ++c.p;
  return c.p > start;
}

bool digits(Cursor& c, ptrdiff_t least, ptrdiff_t most) {
  const char* start = c.p;
  while (c.p - start < most && isDigit(c.peek()))
    ++c.p;
  return c.p - start >= least && !isDigit(c.peek());
}

bool name(Cursor& c, std::string_view names) {
  if (c.end - c.p < 3) return false;
  std::string_view word(c.p, 3);
  for (size_t i = 0; i + 3 <= names.size(); i += 3) {
    if (names.substr(i, 3) == word) {
      c.p += 3;
      return true;
    }
  }
  return false;
}

bool time(Cursor& c) {
  if (!digits(c, 1, 2) || c.peek() != ':') return false;
  ++c.p;
  if (!digits(c, 2, 2)) return false;
  if (c.peek() != ':') return true;
  ++c.p;
  return digits(c, 2, 2);
}

bool zone(Cursor& c) {
  if (c.peek() == '+' || c.peek() == '-') {
    ++c.p;
    return digits(c, 4, 4);
  }
  const char* start = c.p;
  while (c.p - start < 5 && isUpper(c.peek()))
    ++c.p;
  return c.p - start >= 3 && !isUpper(c.peek()) && !isDigit(c.peek());
}

// The year, with its zone before or after it, then the end of the line.
bool yearToEnd(Cursor c) {
  Cursor withZone = c;
  bool zoneBefore = zone(withZone) && blanks(withZone);
  if (zoneBefore) c = withZone;
  if (!digits(c, 4, 4)) return false;
  bool spaced = blanks(c);
  if (c.done()) return true;
  if (zoneBefore || !spaced || !zone(c)) return false;
  blanks(c);
  return c.done();
}

bool ctimeToEnd(Cursor c) {
  return name(c, "MonTueWedThuFriSatSun") && blanks(c) &&
         name(c, "JanFebMarAprMayJunJulAugSepOctNovDec") && blanks(c) && digits(c, 1, 2) &&
         blanks(c) && time(c) && blanks(c) && yearToEnd(c);
}

}  // namespace

bool isListArchiveSeparator(std::string_view line) {
  std::string_view text = judgedText(line);
  // Every ctime date holds a time; body text that begins with "From " seldom
  // holds a colon, and is refused without a look at its words.
  if (text.find(':') == std::string_view::npos) return false;
  // The date is the last thing on the line, and the sender may hold any
  // words, so each word that follows a blank is tried as the weekday.
  for (size_t at = 1; at < text.size(); ++at) {
    if (isBlank(text[at - 1]) && !isBlank(text[at]) &&
        ctimeToEnd(Cursor{text.data() + at, text.data() + text.size()})) {
      return true;
    }
  }
  return false;
}
