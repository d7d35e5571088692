#include "input/exclude.h"

#include "input/match.h"

bool excludesName(std::string_view name, const std::vector<std::string>& patterns) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const std::string& pattern : patterns) {
    // Past the first step the matcher has no rule for hidden names: asked
    // so, it matches a leading "." like any other byte.
    if (matchName(name, pattern, 1)) return true;
  }
  return false;
}

bool excludesAnyPart(std::string_view path, const std::vector<std::string>& patterns) {
  if (patterns.empty()) return false;
  for (;;) {
    size_t slash = path.find('/');
    if (excludesName(path.substr(0, slash), patterns)) return true;
    if (slash == std::string_view::npos) return false;
    path.remove_prefix(slash + 1);
  }
}
