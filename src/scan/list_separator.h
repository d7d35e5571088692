// The "From " lines of mailing-list archives, which the separator test
// refuses: pipermail writes the sender as "jane at example.com", and old
// archives put a zone beside the year, so neither an address nor a strict
// date is there to be found.

#ifndef VARNAK_SCAN_LIST_SEPARATOR_H_
#define VARNAK_SCAN_LIST_SEPARATOR_H_

#include <string_view>

// `line` is the captured text after "From", as for isMessageSeparator. True
// when it ends in a ctime-style date: "Www Mmm dd hh:mm[:ss] [ZONE] yyyy
// [ZONE]" with English three-letter names, a day of one or two digits, an
// optional zone (three to five capital letters, or +hhmm / -hhmm) on one
// side of the four-digit year, and nothing but blanks after it.
bool isListArchiveSeparator(std::string_view line);

#endif  // VARNAK_SCAN_LIST_SEPARATOR_H_
