// Turning one message into a count in the day table.

#ifndef VARNAK_MAILBOX_CLASSIFY_H_
#define VARNAK_MAILBOX_CLASSIFY_H_

#include "common/day_table.h"
#include "common/run_options.h"
#include "mailbox/message.h"

// Dates `message` from its Date value and adds it, as received or sent, to
// its day in `table`. A message that cannot be dated, or whose year lies
// outside the table, is not counted and gets a warning naming it; the text
// before a mailbox's first separator and bare "From MAILER-DAEMON" messages
// are dropped without a word.
void countMessage(const MailMessage& message, const RunOptions& options, DayTable& table);

#endif  // VARNAK_MAILBOX_CLASSIFY_H_
