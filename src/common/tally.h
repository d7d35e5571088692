// What became of every file and every message of a run, for the closing
// tally. Every part of the run adds to the groups it decides. Each file the
// walk hands on ends in exactly one file group, and so does each entry of an
// archive or compressed file (the container itself counting as unpacked);
// each message handed to the classifier ends in exactly one message group.
// So the groups add up.

#ifndef VARNAK_COMMON_TALLY_H_
#define VARNAK_COMMON_TALLY_H_

#include <cstdint>

struct RunTally {
  // Files.
  uint64_t mailboxFiles = 0;         // read as a mailbox
  uint64_t messageFiles = 0;         // read as one message
  uint64_t packedFiles = 0;          // compressed data or an archive, unpacked
  uint64_t notMailFiles = 0;         // neither, passed over
  uint64_t packedSkipped = 0;        // compressed data or an archive, without -unpack
  uint64_t messageFilesSkipped = 0;  // one message, without -maildir
  uint64_t unreadable = 0;           // missing, no permission, a listing that failed
  uint64_t packedTooDeep = 0;        // an archive's entry packed beyond the depth unpacked
  uint64_t excluded = 0;             // left out by -exclude, once for a folder and all in it

  // Messages.
  uint64_t sent = 0;
  uint64_t received = 0;
  uint64_t withoutDate = 0;
  uint64_t malformedDate = 0;
  uint64_t outOfRange = 0;
  uint64_t skipped = 0;  // from MAILER-DAEMON, or the text before a first separator
  uint64_t copies = 0;   // -unique: a copy of a message met earlier in the run

  // Captured lines that reached the capture limit.
  uint64_t headerTooLong = 0;
  // "From " lines refused as separators that -lists would take.
  uint64_t listLines = 0;
  // Counted messages that carry Gmail's label header (watched under
  // -summary only): an export whose sent mail has Received lines too.
  uint64_t gmailLabelled = 0;

  // Outside the groups: messages without a Message-ID, never taken for
  // copies (-unique); messages that repeat an earlier one (without
  // -unique, counted all the same); hidden folders the walk passed over.
  uint64_t withoutMessageId = 0;
  uint64_t repeats = 0;
  uint64_t hiddenFolders = 0;

  uint64_t files() const {
    return mailboxFiles + messageFiles + packedFiles + notMailFiles + packedSkipped +
           messageFilesSkipped + unreadable + packedTooDeep + excluded;
  }
  uint64_t counted() const { return sent + received; }
  uint64_t messages() const {
    return counted() + withoutDate + malformedDate + outOfRange + skipped + copies;
  }
};

#endif  // VARNAK_COMMON_TALLY_H_
