#include "count/unique.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace {

// The 8 bytes at `p` as a little-endian number, whatever the processor, so
// that a digest is the same everywhere.
uint64_t littleEndianWord(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i, word >>= 8)
      swapped = swapped << 8 | (word & 0xff);
    word = swapped;
  }
  return word;
}

bool isBlankOrLineEnd(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlankOrLineEnd(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlankOrLineEnd(text.back()))
    text.remove_suffix(1);
  return text;
}

// A fixed seed: the digests need no secret, only the hash's quality, and
// must not change from one run to the next.
constexpr uint64_t kDigestSeed = 0x7661726e616b2d75;

// A table 4/5 full doubles before it takes another digest: linear probing
// stays short, and the tables hold at most 20 bytes a digest.
bool isFull(size_t used, size_t slots) {
  return (used + 1) * 5 > slots * 4;
}

}  // namespace

uint64_t murmurHash64A(std::string_view bytes, uint64_t seed) {
  constexpr uint64_t kMultiplier = 0xc6a4a7935bd1e995;
  constexpr int kShift = 47;
  uint64_t h = seed ^ (bytes.size() * kMultiplier);
  size_t whole = bytes.size() - bytes.size() % 8;
  for (size_t i = 0; i < whole; i += 8) {
    uint64_t k = littleEndianWord(bytes.data() + i) * kMultiplier;
    k ^= k >> kShift;
    h = (h ^ k * kMultiplier) * kMultiplier;
  }
  if (whole < bytes.size()) {
    for (size_t i = whole; i < bytes.size(); ++i)
      h ^= uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * (i - whole));
    h *= kMultiplier;
  }
  h ^= h >> kShift;
  h *= kMultiplier;
  return h ^ (h >> kShift);
}

std::string_view messageIdText(std::string_view value) {
  size_t open = value.find('<');
  if (open != std::string_view::npos) {
    size_t close = value.find('>', open + 1);
    if (close != std::string_view::npos) return trimmed(value.substr(open + 1, close - open - 1));
  }
  return trimmed(value);
}

std::string_view dateIdText(std::string_view dateText) {
  return trimmed(dateText);
}

uint64_t messageDigest(std::string_view messageId, std::string_view date) {
  // The ID's length goes first, so that no ID and date can run together
  // into the bytes of another pair. The usual pair fits the buffer on the
  // stack; a longer one gets one of its own.
  char buffer[512];
  std::string longer;
  size_t total = 8 + messageId.size() + date.size();
  char* bytes = buffer;
  if (total > sizeof buffer) {
    longer.resize(total);
    bytes = longer.data();
  }
  uint64_t n = messageId.size();
  for (size_t i = 0; i < 8; ++i, n >>= 8)
    bytes[i] = static_cast<char>(n & 0xff);
  // Copied, not memcpy'd: an empty view may point nowhere.
  std::copy(messageId.begin(), messageId.end(), bytes + 8);
  std::copy(date.begin(), date.end(), bytes + 8 + messageId.size());
  return murmurHash64A(std::string_view(bytes, total), kDigestSeed);
}

// The slot a digest's probe starts at: the bits below the shard's.
bool DigestSet::place(Shard& shard, uint64_t digest) {
  size_t mask = shard.slots.size() - 1;
  size_t at = static_cast<size_t>((digest << kShardBits) >> (64 - shard.slotBits));
  for (;; at = (at + 1) & mask) {
    uint64_t& slot = shard.slots[at];
    if (slot == digest) return false;
    if (slot == 0) {
      slot = digest;
      ++shard.used;
      return true;
    }
  }
}

void DigestSet::grow(Shard& shard) {
  Shard bigger;
  bigger.slotBits = shard.slots.empty() ? kFirstSlotBits : shard.slotBits + 1;
  bigger.slots.assign(size_t{1} << bigger.slotBits, 0);
  size_t oldBytes = shard.slots.size() * sizeof(uint64_t);
  size_t newBytes = bigger.slots.size() * sizeof(uint64_t);
  peakBytesHeld_ = std::max(peakBytesHeld_, bytesHeld_ + newBytes);
  for (uint64_t digest : shard.slots) {
    if (digest != 0) place(bigger, digest);
  }
  bytesHeld_ = bytesHeld_ - oldBytes + newBytes;
  shard = std::move(bigger);
}

// Out of line: the counting that calls it is flattened into its callers,
// and the frame of the digest and the lookup would be set up there for
// every message, under -unique or not.
[[gnu::noinline]] bool repeatsEarlier(const MailMessage& message, Sightings& sightings) {
  std::string_view id = message.hasMessageId ? messageIdText(message.messageId) : "";
  if (id.empty()) {
    ++sightings.withoutId;
    return false;
  }
  if (sightings.seen.insert(messageDigest(id, dateIdText(message.dateText)))) return false;
  ++sightings.repeats;
  return true;
}

bool DigestSet::insert(uint64_t digest) {
  if (digest == 0) {
    if (holdsZero_) return false;
    holdsZero_ = true;
    ++size_;
    return true;
  }
  Shard& shard = shards_[digest >> (64 - kShardBits)];
  if (isFull(shard.used, shard.slots.size())) grow(shard);
  if (!place(shard, digest)) return false;
  ++size_;
  return true;
}
