#include "input/match.h"

#include <vector>

namespace {

// The answer for the remaining name and pattern when one of the rules
// decides it without looking further, at any step after the first.
// Returns -1 when the answer depends on the steps that follow.
int settledLater(std::string_view name, std::string_view pattern, bool nameHasDot) {
  if (pattern.empty()) return name.empty() ? 1 : 0;
  if (pattern == "*") return 1;
  if (pattern == "*.*") return nameHasDot ? 1 : 0;
  if (name.empty()) return 0;
  return -1;
}

// Whether name[i..] matches pattern[j..] at a step after the first, given
// the answers for the name one byte shorter (`shorter`, indexed by j) and
// for the same name with the pattern one byte shorter (`current[j + 1]`).
bool matchStep(std::string_view name, std::string_view pattern, size_t i, size_t j, bool nameHasDot,
               const std::vector<char>& shorter, const std::vector<char>& current) {
  int settled = settledLater(name.substr(i), pattern.substr(j), nameHasDot);
  if (settled >= 0) return settled == 1;
  char want = pattern[j];
  if (want == '*') return shorter[j] || current[j + 1];
  if (want != '?' && want != name[i]) return false;
  return shorter[j + 1];
}

// Answers for every remaining pattern against name[start..] at steps after
// the first, indexed by the start of the remaining pattern. The table is
// filled from the end of the name backwards, so that each remaining name
// and pattern is decided once: the plain recursion would retry the same
// pair again and again and take exponential time on patterns with many "*".
std::vector<char> laterAnswers(std::string_view name, std::string_view pattern, size_t start) {
  std::vector<char> shorter(pattern.size() + 1, 0);
  std::vector<char> current(pattern.size() + 1, 0);
  bool nameHasDot = false;
  for (size_t i = name.size() + 1; i-- > start;) {
    if (i < name.size() && name[i] == '.') nameHasDot = true;
    for (size_t j = pattern.size() + 1; j-- > 0;) {
      current[j] = matchStep(name, pattern, i, j, nameHasDot, shorter, current);
    }
    shorter.swap(current);
  }
  return shorter;
}

}  // namespace

bool matchName(std::string_view name, std::string_view pattern, int depth) {
  if (depth != 0) return laterAnswers(name, pattern, 0)[0];
  // The first step alone hides names that begin with ".".
  bool hidden = !name.empty() && name[0] == '.';
  if (pattern.empty()) return name.empty();
  if (pattern == "*") return !hidden;
  if (pattern == "*.*") return name.find('.') != std::string_view::npos;
  if (name.empty()) return false;
  if (hidden && pattern[0] != '.') return false;
  std::vector<char> fromSecondByte = laterAnswers(name, pattern, 1);
  if (pattern[0] == '*') return fromSecondByte[0] || laterAnswers(name, pattern, 0)[1];
  if (pattern[0] != '?' && pattern[0] != name[0]) return false;
  return fromSecondByte[1];
}
