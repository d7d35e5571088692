#include "count/sender.h"

#include "common/ascii.h"

namespace {

bool isBoundary(char c) {
  switch (c) {
    case '<':
    case '>':
    case ' ':
    case '\t':
    case '\r':
    case '\n':
    case ',':
    case '"':
    case '\'':
      return true;
    default:
      return false;
  }
}

bool sameAt(std::string_view text, size_t at, std::string_view word) {
  for (size_t i = 0; i < word.size(); ++i) {
    if (foldCase(text[at + i]) != foldCase(word[i])) return false;
  }
  return true;
}

bool holdsWhole(std::string_view from, std::string_view address) {
  if (address.empty() || address.size() > from.size()) return false;
  for (size_t at = 0; at + address.size() <= from.size(); ++at) {
    if (at > 0 && !isBoundary(from[at - 1])) continue;
    size_t end = at + address.size();
    if (end < from.size() && !isBoundary(from[end])) continue;
    if (sameAt(from, at, address)) return true;
  }
  return false;
}

}  // namespace

bool fromHoldsAddress(std::string_view from, const std::vector<std::string>& addresses) {
  for (const std::string& address : addresses) {
    if (holdsWhole(from, address)) return true;
  }
  return false;
}
