// Telling a real "From " separator line from body text that starts alike.

#ifndef VARNAK_SCAN_SEPARATOR_H_
#define VARNAK_SCAN_SEPARATOR_H_

#include <string_view>

// `line` is the captured part of a "From " line after the word "From": it
// begins with the blank that followed the word and holds no line end (it may
// have been cut short at the capture limit). True when the line looks like
// "From sender time-or-date".
bool isMessageSeparator(std::string_view line);

// isMessageSeparator for a line that holds no CR or LF anywhere, as the
// scanner's captured lines never do (text mode drops every CR, and an LF
// ends the line): only a NUL can cut it short, found in one search instead
// of three.
bool isSeparatorWithoutLineEnds(std::string_view line);

// The part of a captured line that the separator tests judge: up to its
// first NUL, CR or LF.
std::string_view judgedText(std::string_view line);

#endif  // VARNAK_SCAN_SEPARATOR_H_
