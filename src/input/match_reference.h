// The matcher's rules written as the plain recursion they are stated as,
// one rule per line, for the tests and the fuzzer to hold matchName
// against. Exponential on patterns with many "*": short inputs only.

#ifndef VARNAK_INPUT_MATCH_REFERENCE_H_
#define VARNAK_INPUT_MATCH_REFERENCE_H_

#include <string_view>

inline bool matchNameByRecursion(std::string_view name, std::string_view pattern, int depth) {
  bool hidden = depth == 0 && !name.empty() && name[0] == '.';
  if (pattern.empty() && name.empty()) return true;
  if (pattern.empty()) return false;
  if (pattern == "*") return !hidden;
  if (pattern == "*.*") return name.find('.') != std::string_view::npos;
  if (name.empty()) return false;
  if (hidden && pattern[0] != '.') return false;
  if (pattern[0] == '?') return matchNameByRecursion(name.substr(1), pattern.substr(1), depth + 1);
  if (pattern[0] == '*') {
    return matchNameByRecursion(name.substr(1), pattern, depth + 1) ||
           matchNameByRecursion(name, pattern.substr(1), depth + 1);
  }
  return name[0] == pattern[0] &&
         matchNameByRecursion(name.substr(1), pattern.substr(1), depth + 1);
}

#endif  // VARNAK_INPUT_MATCH_REFERENCE_H_
