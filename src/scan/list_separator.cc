#include "scan/list_separator.h"

#include "scan/separator.h"

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool isUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

// A reading position in the text; every matcher either moves it past what
// it matched and returns true, or returns false (the caller then drops it).
struct Cursor {
  std::string_view text;
  size_t at = 0;

  bool done() const { return at == text.size(); }
  char peek() const { return done() ? '\0' : text[at]; }
};

bool blanks(Cursor& c) {
  size_t start = c.at;
  while (isBlank(c.peek()))
    ++c.at;
  return c.at > start;
}

bool digits(Cursor& c, size_t least, size_t most) {
  size_t start = c.at;
  while (c.at - start < most && isDigit(c.peek()))
    ++c.at;
  return c.at - start >= least && !isDigit(c.peek());
}

bool name(Cursor& c, std::string_view names) {
  if (c.text.size() - c.at < 3) return false;
  std::string_view word = c.text.substr(c.at, 3);
  for (size_t i = 0; i + 3 <= names.size(); i += 3) {
    if (names.substr(i, 3) == word) {
      c.at += 3;
      return true;
    }
  }
  return false;
}

bool time(Cursor& c) {
  if (!digits(c, 1, 2) || c.peek() != ':') return false;
  ++c.at;
  if (!digits(c, 2, 2)) return false;
  if (c.peek() != ':') return true;
  ++c.at;
  return digits(c, 2, 2);
}

bool zone(Cursor& c) {
  if (c.peek() == '+' || c.peek() == '-') {
    ++c.at;
    return digits(c, 4, 4);
  }
  size_t start = c.at;
  while (c.at - start < 5 && isUpper(c.peek()))
    ++c.at;
  return c.at - start >= 3 && !isUpper(c.peek()) && !isDigit(c.peek());
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
    if (isBlank(text[at - 1]) && !isBlank(text[at]) && ctimeToEnd(Cursor{text, at})) return true;
  }
  return false;
}
