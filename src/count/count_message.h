// Turning one message into a count in the day table.

#ifndef VARNAK_COUNT_COUNT_MESSAGE_H_
#define VARNAK_COUNT_COUNT_MESSAGE_H_

#include "common/day_table.h"
#include "common/run_options.h"
#include "common/tally.h"
#include "platform/output.h"
#include "scan/message.h"

// What became of a message, for the closing tally.
enum class MessageFate { sent, received, withoutDate, malformedDate, outOfRange, skipped };

// Dates `message` from its Date value and adds it, as received or sent, to
// its day in `table`. A message that cannot be dated, or whose year lies
// outside the table, is not counted and gets a warning naming it, written
// to `output`; the text before a mailbox's first separator and bare
// "From MAILER-DAEMON" messages are dropped without a word. Under -me, the message is sent when its
// From: header holds one of the user's addresses, instead of when it has no Received line.
MessageFate countMessage(const MailMessage& message, const RunOptions& options, Output& output,
                         DayTable& table);

// Adds the message's fate to the tally's message groups.
void tallyMessage(MessageFate fate, RunTally& tally);

#endif  // VARNAK_COUNT_COUNT_MESSAGE_H_
