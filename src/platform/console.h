// Console output: the only place that writes to standard output and error.
//
// Standard output is buffered; standard error is not. Byte strings are
// written with their length, so text holding NUL bytes is written whole.

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

// Flushes standard output. Returns false when any write to it has failed
// since the start of the run (a full disk, a closed descriptor).
bool finishOutput();

#endif  // VARNAK_PLATFORM_CONSOLE_H_
