// One message of a mailbox, as the reader hands it to the classifier.

#ifndef VARNAK_SCAN_MESSAGE_H_
#define VARNAK_SCAN_MESSAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

// The record is lent: its texts point into the bytes being read, or into
// storage of whoever lends it, and are good only while the record is lent
// (the handler's call). What must outlive that is copied into a
// KeptMessage. The scanner fills one record and starts it over for each
// message (MailboxScanner::startMessage): a new field is reset there too,
// and copied in keepMessage and lentMessage.
struct MailMessage {
  // A header line of the message begins with "Received" (exact case).
  bool hasReceivedLine = false;
  // The separator line after "From", without its leading blanks and its
  // line end. Empty only for the text before the first separator.
  std::string_view fromLine;
  // The value of the message's last "Date:" header line, leading blanks
  // removed; empty when there is none.
  std::string_view dateText;
  // Under -me only: the value of the message's last "From:" header, its
  // folded lines included (line ends and all), up to the capture limit.
  std::string_view fromHeader;
  // Under -summary only: a header line begins with "X-Gmail-Labels:".
  bool hasGmailLabels = false;
  // Only while Message-IDs are wanted (-unique, -summary): whether the
  // message has a "Message-ID:" header (any case after the "M"), and the
  // value of its first one, folded lines included, up to the capture
  // limit. A resent message may carry a later one of its own; the first
  // is the one its copies share.
  bool hasMessageId = false;
  std::string_view messageId;
  // Bytes of the message after its header block; wraps modulo 2^32.
  uint32_t size = 0;
};

// A message held past the call that lent it, its texts its own: the
// message a range of a file ends in, carried to the next.
struct KeptMessage {
  bool hasReceivedLine = false;
  std::string fromLine;
  std::string dateText;
  std::string fromHeader;
  bool hasGmailLabels = false;
  bool hasMessageId = false;
  std::string messageId;
  uint32_t size = 0;
};

// Copies `message` into `kept`, whose strings keep their storage.
void keepMessage(const MailMessage& message, KeptMessage& kept);

// The kept message lent again; it points into `kept`.
MailMessage lentMessage(const KeptMessage& kept);

#endif  // VARNAK_SCAN_MESSAGE_H_
