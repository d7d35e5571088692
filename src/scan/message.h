// One message of a mailbox, as the reader hands it to the classifier.

#ifndef VARNAK_SCAN_MESSAGE_H_
#define VARNAK_SCAN_MESSAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

// The fields of a message, its texts of type `Text`. The scanner fills one
// record and starts it over for each message (MailboxScanner::startMessage):
// a new field is reset there too, and copied in keepMessage and
// lentMessage.
template <typename Text>
struct MessageFields {
  // A header line of the message begins with "Received" (exact case).
  bool hasReceivedLine = false;
  // The separator line after "From", without its leading blanks and its
  // line end. Empty only for the text before the first separator.
  Text fromLine;
  // The value of the message's last "Date:" header line, leading blanks
  // removed; empty when there is none.
  Text dateText;
  // Under -me only: the value of the message's last "From:" header, its
  // folded lines included (line ends and all), up to the capture limit.
  Text fromHeader;
  // Under -summary only: a header line begins with "X-Gmail-Labels:".
  bool hasGmailLabels = false;
  // Only while Message-IDs are wanted (-unique, -summary): whether the
  // message has a "Message-ID:" header (any case after the "M"), and the
  // value of its first one, folded lines included, up to the capture
  // limit. A resent message may carry a later one of its own; the first
  // is the one its copies share.
  bool hasMessageId = false;
  Text messageId;
  // Bytes of the message after its header block; wraps modulo 2^32.
  uint32_t size = 0;
};

// The record as it is lent: its texts point into the bytes being read, or
// into storage of whoever lends it, and are good only while it is lent
// (the handler's call). An empty text may point nowhere.
using MailMessage = MessageFields<std::string_view>;

// A message held past the call that lent it, its texts its own: the
// message a range of a file ends in, carried to the next.
using KeptMessage = MessageFields<std::string>;

// Copies `message` into `kept`, whose strings keep their storage.
void keepMessage(const MailMessage& message, KeptMessage& kept);

// The kept message lent again; it points into `kept`.
MailMessage lentMessage(const KeptMessage& kept);

#endif  // VARNAK_SCAN_MESSAGE_H_
