#include "driver/input_size.h"

#include <string_view>

#include "platform/directory.h"

std::optional<uint64_t> inputSize(std::span<const char* const> paths) {
  uint64_t total = 0;
  for (std::string_view path : paths) {
    if (path.find('*') != std::string_view::npos) return std::nullopt;
    std::optional<PathStatus> status = queryStatus(path);
    if (!status) continue;
    if (!status->isRegular) return std::nullopt;
    total += status->size;
  }
  return total;
}
