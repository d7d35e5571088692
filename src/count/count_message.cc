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

// The warning for a message that cannot be counted, and its fate. Out of
// line and cold: its texts would give the counting, flattened into its
// callers, a stack frame of their size on every message.
[[gnu::cold, gnu::noinline]] MessageFate warnUncounted(MessageFate fate, const MailMessage& message,
                                                       int year, const RunOptions& options,
                                                       Output& output) {
  std::string_view from = message.fromLine;
  if (fate == MessageFate::withoutDate) {
    output.warning(options.terse, {"Missing Date: ignoring message (", from, ")\n"});
  } else if (fate == MessageFate::malformedDate) {
    output.warning(options.terse, {"Malformed Date: \"", message.dateText,
                                   "\"... ignoring message (", from, ")\n"});
  } else {
    output.warning(options.terse, {"Year ", std::to_string(year),
                                   " out of range... ignoring message (", from, ")\n"});
  }
  return fate;
}

}  // namespace

// Flattened: the date reading's common layouts and the day table's add
// are inlined into it, for every caller, whether or not the caller's own
// call is inlined.
[[gnu::flatten]] MessageFate countMessage(const MailMessage& message, const RunOptions& options,
                                          Output& output, DayTable& table, Sightings* sightings) {
  std::string_view from = message.fromLine;
  if (from.empty() || from == "MAILER-DAEMON") return MessageFate::skipped;
  if (sightings != nullptr && repeatsEarlier(message, *sightings) && options.unique)
    return MessageFate::copy;
  if (message.dateText.empty())
    return warnUncounted(MessageFate::withoutDate, message, 0, options, output);
  MessageDate date;
  if (!parseDate(message.dateText, &date, false, options.currentYear))
    return warnUncounted(MessageFate::malformedDate, message, 0, options, output);
  if (!table.covers(date.year))
    return warnUncounted(MessageFate::outOfRange, message, date.year, options, output);
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
