#include "platform/collected_output.h"

#include <algorithm>

void CollectedOutput::write(Stream stream, std::initializer_list<std::string_view> pieces) {
  size_t added = 0;
  for (std::string_view piece : pieces)
    added += piece.size();
  if (added == 0) return;
  if (runs_.empty() || runs_.back().stream != stream) runs_.push_back({stream, {}});
  std::string& bytes = runs_.back().bytes;
  // At most one growth for all the pieces of a write, and by doubling, as
  // appending grows: reserving the exact size would copy the run again at
  // every write of a file's many warnings.
  size_t needed = bytes.size() + added;
  if (needed > bytes.capacity()) bytes.reserve(std::max(needed, 2 * bytes.capacity()));
  for (std::string_view piece : pieces)
    bytes += piece;
  size_ += added;
}

std::string CollectedOutput::text(Stream stream) const {
  std::string text;
  for (const OutputRun& run : runs_)
    if (run.stream == stream) text += run.bytes;
  return text;
}

void CollectedOutput::replayTo(Output& output) const {
  for (const OutputRun& run : runs_)
    output.write(run.stream, {run.bytes});
}

void CollectedOutput::clear() {
  runs_.clear();
  size_ = 0;
}
