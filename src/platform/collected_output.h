// Output gathered in memory instead of written: what was written, stream by
// stream, in the order it was written.
//
// Tests read a part's output from it. A file read apart from the others
// gathers its lines in one, to be written out later in the file's place in
// the walk: replaying it gives the console the same bytes in the same order
// as writing them directly would have.

#ifndef VARNAK_PLATFORM_COLLECTED_OUTPUT_H_
#define VARNAK_PLATFORM_COLLECTED_OUTPUT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "platform/output.h"

// A stretch of bytes written to one stream with nothing written to the
// other in between.
struct OutputRun {
  Stream stream;
  std::string bytes;
};

class CollectedOutput final : public Output {
 public:
  // Appends to the last run when it is of the same stream. Writes of no
  // bytes leave no trace: they do not split a run either.
  void write(Stream stream, std::initializer_list<std::string_view> pieces) override;

  // The runs, in order; never two adjacent ones of the same stream, never
  // an empty one.
  const std::vector<OutputRun>& runs() const { return runs_; }
  // All bytes written to `stream`, in order.
  std::string text(Stream stream) const;
  // The bytes held, over both streams.
  size_t size() const { return size_; }
  bool empty() const { return runs_.empty(); }

  // Writes the runs, in order, one write a run, to `output`.
  void replayTo(Output& output) const;
  void clear();

 private:
  std::vector<OutputRun> runs_;
  size_t size_ = 0;
};

#endif  // VARNAK_PLATFORM_COLLECTED_OUTPUT_H_
