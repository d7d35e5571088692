// The run as a whole.

#ifndef VARNAK_DRIVER_RUN_H_
#define VARNAK_DRIVER_RUN_H_

// Runs the tool on the process's argument vector and returns the exit
// status: 0, or 1 when the day table cannot be created or standard output
// cannot be written.
int runMain(int argc, const char* const* argv);

#endif  // VARNAK_DRIVER_RUN_H_
