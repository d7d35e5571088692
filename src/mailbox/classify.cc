#include "mailbox/classify.h"

#include <string>

#include "date/date.h"
#include "platform/console.h"

void countMessage(const MailMessage& message, const RunOptions& options, DayTable& table) {
  const std::string& from = message.fromLine;
  if (from.empty() || from == "MAILER-DAEMON") return;
  if (message.dateText.empty()) {
    printWarning(options.terse, {"Missing Date: ignoring message (", from, ")\n"});
    return;
  }
  MessageDate date;
  if (!parseDate(message.dateText, &date, false, options.currentYear)) {
    printWarning(options.terse,
                 {"Malformed Date: \"", message.dateText, "\"... ignoring message (", from, ")\n"});
    return;
  }
  if (!table.covers(date.year)) {
    printWarning(options.terse, {"Year ", std::to_string(date.year),
                                 " out of range... ignoring message (", from, ")\n"});
    return;
  }
  table.add(date.year, date.month, date.day, message.hasReceivedLine, message.size);
}
