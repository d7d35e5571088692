// Telling copies of one message apart from different messages (-unique).
//
// The same message often reaches a run more than once: an IMAP client keeps
// it in a label folder and in "All Mail", a backup repeats a mailbox. Two
// messages are taken for the same one when their Message-ID values and
// their Date values are equal; requiring the date as well keeps apart the
// unrelated messages that broken software sends under one reused ID. Only a
// 64-bit digest of the pair is kept, so memory grows by a few bytes a
// message whatever the length of the headers.

#ifndef VARNAK_COUNT_UNIQUE_H_
#define VARNAK_COUNT_UNIQUE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "scan/message.h"

// MurmurHash64A (Austin Appleby's 64-bit MurmurHash2) of `bytes` under
// `seed`: a small, well-studied hash whose 64-bit results spread like
// random ones over any input, so that one false merge among 10 million
// messages has odds of about 3 in a million. It costs a few instructions a
// word, which -unique pays for every message (a keyed hash such as SipHash
// costs several times that, and no one picks the messages to defeat it).
uint64_t murmurHash64A(std::string_view bytes, uint64_t seed);

// The identifying text of a Message-ID header's value (folded lines
// included): what stands inside its first "<" ... ">", or, when it holds
// no such pair, the whole value; blanks and line ends around it trimmed.
// Empty when the value holds nothing else.
std::string_view messageIdText(std::string_view value);

// The Date value without the blanks around it.
std::string_view dateIdText(std::string_view dateText);

// The digest of a message known by the identifying texts above.
uint64_t messageDigest(std::string_view messageId, std::string_view date);

// The digests of the messages met so far.
//
// Open addressing with linear probing, split into kShards tables by the
// digest's top bits. Each table doubles on its own once it is 4/5 full, so
// the copy a rehash needs is never more than a small part of the whole:
// the set holds at most 20 bytes a digest at any moment (tables between
// 2/5 and 4/5 full) plus the one table being doubled, well under 24.
class DigestSet {
 public:
  // Adds `digest`; false when it was there already.
  bool insert(uint64_t digest);

  uint64_t size() const { return size_; }

  // The bytes the tables hold now, and the most they have held at once,
  // the old and new tables of a rehash together.
  size_t bytesHeld() const { return bytesHeld_; }
  size_t peakBytesHeld() const { return peakBytesHeld_; }

 private:
  static constexpr int kShardBits = 6;
  static constexpr size_t kShards = size_t{1} << kShardBits;
  static constexpr int kFirstSlotBits = 4;

  // One table; 0 marks an empty slot (the digest 0 is kept apart).
  struct Shard {
    std::vector<uint64_t> slots;
    int slotBits = 0;
    size_t used = 0;
  };

  static bool place(Shard& shard, uint64_t digest);
  void grow(Shard& shard);

  std::array<Shard, kShards> shards_;
  bool holdsZero_ = false;
  uint64_t size_ = 0;
  size_t bytesHeld_ = 0;
  size_t peakBytesHeld_ = 0;
};

// What the run remembers of the messages it has met, under -unique and for
// -summary's count of repeats: one record for the whole run, handed down.
struct Sightings {
  DigestSet seen;
  uint64_t withoutId = 0;  // messages looked at without a Message-ID
  uint64_t repeats = 0;    // messages that repeat one met earlier
};

// Looks `message` (a scanner record with its Message-ID captured) up among
// the messages met so far and adds it; true when it repeats one of them. A
// message without a Message-ID never does.
bool repeatsEarlier(const MailMessage& message, Sightings& sightings);

#endif  // VARNAK_COUNT_UNIQUE_H_
