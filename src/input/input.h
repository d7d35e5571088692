// Input discovery: turns path arguments into the files to read.

#ifndef VARNAK_INPUT_INPUT_H_
#define VARNAK_INPUT_INPUT_H_

#include <functional>
#include <string>
#include <string_view>

#include "common/run_options.h"
#include "common/tally.h"
#include "platform/directory.h"
#include "platform/output.h"

// Called with the path of every file found, in the order of the walk, and
// the status the walk queried for it just before (the reader opens it
// knowing whether it is a regular file, and its size).
using FileVisitor = std::function<void(const std::string& path, const PathStatus& status)>;

// The same, told also where the listing of a directory found the file:
// `listed` (null for a file an argument names) is valid only during the
// call, while the walk holds the listing open, and is the cheaper way to
// open the file then.
using ListedFileVisitor = std::function<void(const std::string& path, const PathStatus& status,
                                             const ListedEntry* listed)>;

// Handles one path argument as typed: a file, a directory (walked to any
// depth) or a directory with a "*" pattern in the last component.
// Banners and warnings go to `output`. Paths that cannot be reached and
// directories that cannot be listed are counted in `tally` as unreadable.
void processArgument(std::string_view argument, const RunOptions& options, Output& output,
                     RunTally& tally, const ListedFileVisitor& visitFile);
void processArgument(std::string_view argument, const RunOptions& options, Output& output,
                     RunTally& tally, const FileVisitor& visitFile);

#endif  // VARNAK_INPUT_INPUT_H_
