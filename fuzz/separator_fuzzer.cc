// Runs the separator test on arbitrary text, and checks that it judges only
// the text before the first NUL, CR or LF (as its shortcut for lines without
// line ends does, up to a NUL, and its test of lines whose first colon it
// has found); that a strict date always holds a colon, which the test
// relies on to pass over text without one; and that leading spaces change
// nothing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "date/date.h"
#include "scan/separator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(bytes), size);
  bool separator = isMessageSeparator(line);
  size_t stop = line.find_first_of(std::string_view("\0\r\n", 3));
  if (stop != std::string_view::npos && isMessageSeparator(line.substr(0, stop)) != separator) {
    std::abort();
  }
  if (line.find(':') == std::string_view::npos && parseDate(line, nullptr, true, 0)) std::abort();
  // The scanner's shortcut for lines without line ends says the same.
  if (line.find_first_of("\r\n") == std::string_view::npos &&
      isSeparatorWithoutLineEnds(line) != separator) {
    std::abort();
  }
  // And so does its test of lines without NUL, CR or LF whose first colon
  // it has found.
  if (stop == std::string_view::npos &&
      isSeparatorWithColonAt(line, std::min(line.find(':'), line.size())) != separator) {
    std::abort();
  }
  // Leading spaces are passed over: the same text moved on by up to 33 of
  // them is judged alike, though its sender, blank and date then lie at
  // other bits of the test's window of 32 bytes, or past it, where the
  // loops a byte judge them.
  std::string moved(line);
  for (int spaces = 1; spaces <= 33; ++spaces) {
    moved.insert(0, 1, ' ');
    if (isMessageSeparator(moved) != separator) std::abort();
  }
  return 0;
}
