// Input discovery: turns path arguments into the files to read.

#ifndef VARNAK_INPUT_INPUT_H_
#define VARNAK_INPUT_INPUT_H_

#include <cstdint>
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

// How the walk hands on an entry that the listing calls a regular file:
// with the status it queried, or unqueried (PathStatus::deferred), which
// leaves that query, the dearest call of a walk through many small files,
// to the reader. The reader then does what the walk would have done when
// the query fails: it warns "Unable to read file" and counts the file as
// unreadable.
enum class ListedFiles : uint8_t { queried, deferred };

// Handles one path argument as typed: a file, a directory (walked to any
// depth) or a directory with a "*" pattern in the last component.
// Banners and warnings go to `output`. Paths that cannot be reached and
// directories that cannot be listed are counted in `tally` as unreadable.
void processArgument(std::string_view argument, const RunOptions& options, Output& output,
                     RunTally& tally, const ListedFileVisitor& visitFile,
                     ListedFiles files = ListedFiles::queried);
void processArgument(std::string_view argument, const RunOptions& options, Output& output,
                     RunTally& tally, const FileVisitor& visitFile,
                     ListedFiles files = ListedFiles::queried);

// What the walk says and counts for a path whose status cannot be queried;
// a reader that queries a deferred entry itself does the same.
void reportUnreachable(std::string_view path, bool terse, Output& output, RunTally& tally);

#endif  // VARNAK_INPUT_INPUT_H_
