#include "count/count_message.h"

#include <cstddef>
#include <iterator>
#include <string>

#include "count/sender.h"
#include "date/date.h"

namespace {

bool isReceived(const MailMessage& message, const RunOptions& options) {
  if (options.me.empty()) return message.hasReceivedLine;
  return !fromHoldsAddress(message.fromHeader, options.me);
}

}  // namespace

MessageFate countMessage(const MailMessage& message, const RunOptions& options, Output& output,
                         DayTable& table, Sightings* sightings) {
  std::string_view from = message.fromLine;
  if (from.empty() || from == "MAILER-DAEMON") return MessageFate::skipped;
  if (sightings != nullptr && repeatsEarlier(message, *sightings) && options.unique)
    return MessageFate::copy;
  if (message.dateText.empty()) {
    output.warning(options.terse, {"Missing Date: ignoring message (", from, ")\n"});
    return MessageFate::withoutDate;
  }
  MessageDate date;
  if (!parseDate(message.dateText, &date, false, options.currentYear)) {
    output.warning(options.terse, {"Malformed Date: \"", message.dateText,
                                   "\"... ignoring message (", from, ")\n"});
    return MessageFate::malformedDate;
  }
  if (!table.covers(date.year)) {
    output.warning(options.terse, {"Year ", std::to_string(date.year),
                                   " out of range... ignoring message (", from, ")\n"});
    return MessageFate::outOfRange;
  }
  bool received = isReceived(message, options);
  table.add(date.year, date.month, date.day, received, message.size);
  return received ? MessageFate::received : MessageFate::sent;
}

void tallyMessage(MessageFate fate, RunTally& tally) {
  // The message group of each fate, in the order MessageFate lists them.
  static constexpr uint64_t RunTally::*kGroups[] = {
      &RunTally::sent,       &RunTally::received, &RunTally::withoutDate, &RunTally::malformedDate,
      &RunTally::outOfRange, &RunTally::skipped,  &RunTally::copies,
  };
  static_assert(std::size(kGroups) == static_cast<size_t>(MessageFate::copy) + 1);
  ++(tally.*kGroups[static_cast<size_t>(fate)]);
}
