// The wildcard matcher that filters directory entries.

#ifndef VARNAK_INPUT_MATCH_H_
#define VARNAK_INPUT_MATCH_H_

#include <string_view>

// Whether the entry `name` matches `pattern`, compared byte by byte and
// case-sensitively: "*" stands for any run of bytes, "?" for one byte, any
// other byte for itself. `depth` is 0 for a whole name and pattern; only
// then does a name that begins with "." need a pattern that begins with "."
// (or the pattern "*.*"). A remaining "*.*" matches any remaining name that
// holds a "."; a remaining "**" does not match an empty remaining name.
//
// Takes time proportional to the product of the two lengths at worst.
bool matchName(std::string_view name, std::string_view pattern, int depth);

#endif  // VARNAK_INPUT_MATCH_H_
