// The report: the day table's rows, as running totals.

#ifndef VARNAK_DRIVER_REPORT_H_
#define VARNAK_DRIVER_REPORT_H_

#include "common/day_table.h"
#include "common/run_options.h"
#include "platform/output.h"

// Prints the report to the standard output of `output`: one row per day with
// messages of a counted direction, with the running count and byte total up
// to that day.
void printReport(const DayTable& table, const RunOptions& options, Output& output);

#endif  // VARNAK_DRIVER_REPORT_H_
