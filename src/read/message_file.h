// Files that hold one message each: the files of a Maildir's cur/ and new/,
// an MH folder's numbered files, .eml files, and Apple Mail's .emlx files.

#ifndef VARNAK_READ_MESSAGE_FILE_H_
#define VARNAK_READ_MESSAGE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// True when `head`, the first bytes of a file, begins with a header field
// line: a name of printable ASCII other than ":", then ":". Only the first
// line is looked at, and it must be complete within `head` up to its colon.
bool startsWithHeaderField(std::string_view head);

// An .emlx file's first line holds the decimal byte count of the message
// that follows it (a property list comes after the message).
struct EmlxStart {
  size_t countLineLength = 0;  // the first line, its line end included
  uint64_t messageLength = 0;
};

// Reads the count line at the start of `head`: digits, blanks around them
// allowed, and a line end. Empty when `head` does not begin so.
std::optional<EmlxStart> readEmlxStart(std::string_view head);

#endif  // VARNAK_READ_MESSAGE_FILE_H_
