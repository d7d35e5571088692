// Where a run's text goes: the sink every part of the run that prints is
// handed, next to the run's options.
//
// The console is one such sink (platform/console.h); a gathered list of
// what was written is another (platform/collected_output.h), which tests
// read and which lets one file's lines be written later, in their place.
// Parts of the run see only this interface, never the console itself.

#ifndef VARNAK_PLATFORM_OUTPUT_H_
#define VARNAK_PLATFORM_OUTPUT_H_

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/progress.h"

enum class Stream : uint8_t { out, err };

class Output {
 public:
  virtual ~Output() = default;

  // Writes the pieces, one after the other, to `stream`. Byte strings are
  // written with their length, so text holding NUL bytes is written whole.
  virtual void write(Stream stream, std::initializer_list<std::string_view> pieces) = 0;

  // A progress line: banners, path lines, the report.
  void progress(std::initializer_list<std::string_view> pieces) { write(Stream::out, pieces); }

  // A warning about the input: to standard error when `terse` is set
  // (standard output then carries nothing but the report's rows), to
  // standard output otherwise, so that it stands among the progress lines
  // it concerns.
  void warning(bool terse, std::initializer_list<std::string_view> pieces) {
    write(terse ? Stream::err : Stream::out, pieces);
  }

  // An error about the run itself, or the closing tally: standard error.
  void error(std::initializer_list<std::string_view> pieces) { write(Stream::err, pieces); }

  // How far the reading has come, `name` being read now. Called every file
  // and every buffer read, so it must cost next to nothing: a sink that
  // shows a progress line (the console, on a terminal) redraws it now and
  // then; every other sink ignores it.
  virtual void tick(const ProgressCounts&, std::string_view) {}
  // Whether ticks show anything: a sink that ignores them need not be
  // ticked at all (a reader on another thread then hands none over).
  virtual bool showsTicks() const { return false; }
};

#endif  // VARNAK_PLATFORM_OUTPUT_H_
