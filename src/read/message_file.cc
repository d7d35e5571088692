#include "read/message_file.h"

#include "common/ascii.h"

bool startsWithHeaderField(std::string_view head) {
  size_t i = 0;
  while (i < head.size() && head[i] >= '!' && head[i] <= '~' && head[i] != ':')
    ++i;
  return i > 0 && i < head.size() && head[i] == ':';
}

std::optional<EmlxStart> readEmlxStart(std::string_view head) {
  size_t i = 0;
  while (i < head.size() && isBlank(head[i]))
    ++i;
  size_t digitsStart = i;
  uint64_t length = 0;
  // Twenty digits could overflow 64 bits; no message is that long.
  while (i < head.size() && isDigit(head[i]) && i - digitsStart < 19)
    length = length * 10 + static_cast<uint64_t>(head[i++] - '0');
  if (i == digitsStart) return std::nullopt;
  while (i < head.size() && (isBlank(head[i]) || head[i] == '\r'))
    ++i;
  if (i == head.size() || head[i] != '\n') return std::nullopt;
  return EmlxStart{i + 1, length};
}
