// The byte tests and the reading position that the parsers of mail text
// share. Mail is read as bytes: these look at ASCII alone, never at the C
// locale as <cctype> does, and every byte above 0x7f is nothing but itself.
// They are inline because the scanner and the date reading call them once
// a byte.

#ifndef VARNAK_COMMON_ASCII_H_
#define VARNAK_COMMON_ASCII_H_

#include <string_view>

inline bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

inline bool isUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

// The blanks that separate words on a header or separator line; a line end
// is not one of them.
inline bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// A-Z to a-z; every other byte as it is.
inline char foldCase(char c) {
  return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

// A plain loop: find_first_not_of runs a library search per byte.
inline std::string_view withoutLeadingBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text[0]))
    text.remove_prefix(1);
  return text;
}

// A reading position in a text, for parsers made of matchers: each matcher
// either moves `p` past what it matched and returns true, or returns false,
// and the caller then drops the cursor.
struct Cursor {
  const char* p;
  const char* end;

  bool done() const { return p == end; }
  // The byte at the position, or NUL at the end, which no matcher takes.
  char peek() const { return p < end ? *p : '\0'; }
};

#endif  // VARNAK_COMMON_ASCII_H_
