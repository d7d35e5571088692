// Telling a real "From " separator line from body text that starts alike.

#ifndef VARNAK_SCAN_SEPARATOR_H_
#define VARNAK_SCAN_SEPARATOR_H_

#include <cstddef>
#include <cstring>
#include <string_view>

// `line` is the captured part of a "From " line after the word "From": it
// begins with the blank that followed the word and holds no line end (it may
// have been cut short at the capture limit). True when the line looks like
// "From sender time-or-date".
bool isMessageSeparator(std::string_view line);

namespace separator_detail {

// Whether the line, after its leading spaces, begins "MAILER-DAEMON". The
// compare is of a constant length, which the compiler makes two loads of.
inline bool startsWithMailerDaemon(std::string_view line) {
  size_t at = 0;
  while (at < line.size() && line[at] == ' ')
    ++at;
  return line.size() - at >= 13 && std::memcmp(line.data() + at, "MAILER-DAEMON", 13) == 0;
}

// The rest of isSeparatorWithoutLineEnds, for a line whose first colon is
// at `colon` (the line's size when it has none).
bool judgeLineWithoutLineEnds(std::string_view line, size_t colon);

// The test proper, on text already cut at its first NUL, CR or LF, whose
// first colon is at `colon` (its size when it has none).
bool judgeSeparator(std::string_view text, size_t colon);

}  // namespace separator_detail

// isMessageSeparator for a line that holds no CR or LF anywhere, as the
// scanner's captured lines never do (text mode drops every CR, and an LF
// ends the line): only a NUL can cut it short, found in one search instead
// of three. Every separator holds a colon, in its time, but those of
// MAILER-DAEMON: a line of words without one, as most body paragraphs that
// begin with "From " are, is refused on one search, before the sender is
// looked for or the NUL that would cut the text. Inline, so that such a
// refusal costs the scanner no more than that search.
inline bool isSeparatorWithoutLineEnds(std::string_view line) {
  const void* colon = line.empty() ? nullptr : std::memchr(line.data(), ':', line.size());
  if (colon == nullptr) {
    if (!separator_detail::startsWithMailerDaemon(line)) return false;
    return separator_detail::judgeLineWithoutLineEnds(line, line.size());
  }
  auto at = static_cast<size_t>(static_cast<const char*>(colon) - line.data());
  return separator_detail::judgeLineWithoutLineEnds(line, at);
}

// The first test of isSeparatorWithColonAt below, which refuses most body
// lines that begin with "From ": a line without a colon is no separator
// unless its sender is MAILER-DAEMON.
inline bool mayBeSeparatorWithColonAt(std::string_view line, size_t colon) {
  return colon != line.size() || separator_detail::startsWithMailerDaemon(line);
}

// isMessageSeparator for a line that holds no NUL, CR or LF, whose first
// colon is at `colon` (its size when it has none): the scanner finds both
// with the line's end, and the test searches for neither again.
inline bool isSeparatorWithColonAt(std::string_view line, size_t colon) {
  return mayBeSeparatorWithColonAt(line, colon) && separator_detail::judgeSeparator(line, colon);
}

// The part of a captured line that the separator tests judge: up to its
// first NUL, CR or LF.
std::string_view judgedText(std::string_view line);

#endif  // VARNAK_SCAN_SEPARATOR_H_
