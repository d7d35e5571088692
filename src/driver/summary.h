// The closing tally that -summary prints after the report.

#ifndef VARNAK_DRIVER_SUMMARY_H_
#define VARNAK_DRIVER_SUMMARY_H_

#include <string>

#include "common/run_options.h"
#include "common/tally.h"
#include "platform/output.h"

// The tally as text: one fact a line, "name: number", numbers grouped by
// thousands with commas, then a hint for each option that would have read
// what was passed over.
std::string formatTally(const RunTally& tally, const RunOptions& options);

// Prints it on standard error, so that standard output stays the report.
void printTally(const RunTally& tally, const RunOptions& options, Output& output);

#endif  // VARNAK_DRIVER_SUMMARY_H_
