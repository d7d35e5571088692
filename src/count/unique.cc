#include "count/unique.h"

#include <algorithm>

namespace {

constexpr uint64_t rotate(uint64_t x, int bits) {
  return (x << bits) | (x >> (64 - bits));
}

// SipHash's state, fed 8 bytes at a time; the bytes of a word not yet
// complete wait in `tail`.
struct SipState {
  uint64_t v0, v1, v2, v3;
  uint64_t tail = 0;
  uint64_t length = 0;

  SipState(uint64_t k0, uint64_t k1)
      : v0(k0 ^ 0x736f6d6570736575),
        v1(k1 ^ 0x646f72616e646f6d),
        v2(k0 ^ 0x6c7967656e657261),
        v3(k1 ^ 0x7465646279746573) {}

  void round() {
    v0 += v1;
    v1 = rotate(v1, 13) ^ v0;
    v0 = rotate(v0, 32);
    v2 += v3;
    v3 = rotate(v3, 16) ^ v2;
    v0 += v3;
    v3 = rotate(v3, 21) ^ v0;
    v2 += v1;
    v1 = rotate(v1, 17) ^ v2;
    v2 = rotate(v2, 32);
  }

  // Two rounds a word: the "2" of SipHash-2-4.
  void word(uint64_t m) {
    v3 ^= m;
    round();
    round();
    v0 ^= m;
  }

  // The words are read as little-endian whatever the processor, so that a
  // digest is the same everywhere.
  void add(std::string_view bytes) {
    for (char c : bytes) {
      tail |= uint64_t{static_cast<unsigned char>(c)} << (8 * (length % 8));
      ++length;
      if (length % 8 == 0) {
        word(tail);
        tail = 0;
      }
    }
  }

  // The last word carries the length's low byte; four rounds finish.
  uint64_t finish() {
    word(tail | (length & 0xff) << 56);
    v2 ^= 0xff;
    for (int i = 0; i < 4; ++i)
      round();
    return v0 ^ v1 ^ v2 ^ v3;
  }
};

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

// A fixed key: the digests need no secret, only the hash's quality, and
// must not change from one run to the next.
constexpr uint64_t kDigestKey0 = 0x7661726e616b2d75;
constexpr uint64_t kDigestKey1 = 0x6e69717565000001;

// A table 4/5 full doubles before it takes another digest: linear probing
// stays short, and the tables hold at most 20 bytes a digest.
bool isFull(size_t used, size_t slots) {
  return (used + 1) * 5 > slots * 4;
}

}  // namespace

uint64_t sipHash24(uint64_t k0, uint64_t k1, std::initializer_list<std::string_view> pieces) {
  SipState state(k0, k1);
  for (std::string_view piece : pieces)
    state.add(piece);
  return state.finish();
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
  // into the bytes of another pair.
  char length[8];
  uint64_t n = messageId.size();
  for (char& byte : length) {
    byte = static_cast<char>(n & 0xff);
    n >>= 8;
  }
  return sipHash24(kDigestKey0, kDigestKey1,
                   {std::string_view(length, sizeof length), messageId, date});
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

bool repeatsEarlier(const MailMessage& message, Sightings& sightings) {
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
