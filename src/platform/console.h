// Console output: the only place that writes to standard output and error.
//
// Both streams are buffered (standard error only where it is not a
// terminal; on a terminal it writes at each line end), and each is flushed
// before anything is written to the other, so that where both go to one
// file or pipe the lines stand in the order they were printed. Byte strings
// are written with their length, so text holding NUL bytes is written
// whole.

#ifndef VARNAK_PLATFORM_CONSOLE_H_
#define VARNAK_PLATFORM_CONSOLE_H_

#include <initializer_list>
#include <string_view>

// Writes the pieces, one after the other, to standard output.
void printOut(std::initializer_list<std::string_view> pieces);

// Writes a warning about the input: to standard error when `terse` is set
// (standard output then carries nothing but the report's rows), to standard
// output otherwise, so that it stands among the progress lines it concerns.
void printWarning(bool terse, std::initializer_list<std::string_view> pieces);

// Writes an error about the run itself to standard error.
void printError(std::initializer_list<std::string_view> pieces);

// Flushes both streams. Returns false when any write to standard output has
// failed since the start of the run (a full disk, a closed descriptor).
bool finishOutput();

#endif  // VARNAK_PLATFORM_CONSOLE_H_
