// Holds matchName against the plain recursion of its rules. Input: one byte
// choosing the depth (even: the first step, odd: a later one), then the name
// and the pattern, split at the first "/" (a byte no entry name holds).
// Long inputs are only matched, for the sanitizers: the recursion would
// take exponential time on them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "input/match.h"
#include "input/match_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int depth = data[0] % 2;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t split = rest.find('/');
  std::string_view name = rest.substr(0, split);
  std::string_view pattern = split == std::string_view::npos ? "" : rest.substr(split + 1);
  bool matches = matchName(name, pattern, depth);
  if (name.size() <= 12 && pattern.size() <= 8 &&
      matches != matchNameByRecursion(name, pattern, depth)) {
    std::abort();
  }
  return 0;
}
