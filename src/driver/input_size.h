// The size of a run's input, for the share of it the progress line shows.

#ifndef VARNAK_DRIVER_INPUT_SIZE_H_
#define VARNAK_DRIVER_INPUT_SIZE_H_

#include <cstdint>
#include <optional>
#include <span>

// The bytes the path arguments hold, known when every one of them is a
// regular file (one that is missing adds nothing, since nothing of it will
// be read); empty for a directory, a pipe or a pattern, whose size would
// take a walk of its own to measure.
std::optional<uint64_t> inputSize(std::span<const char* const> paths);

#endif  // VARNAK_DRIVER_INPUT_SIZE_H_
