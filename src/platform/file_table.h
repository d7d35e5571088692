// A worker thread's own table of file descriptors.
//
// Threads that share the process's table take its lock, and write to the
// cache lines of its entries, on every open and close: reading a tree of
// small files on two threads cost a quarter more processor time than on
// one, where two processes reading two trees cost no more than each alone.
// A thread that detaches works in a table of its own, a copy of the shared
// one made then; a file that a thread of the shared table opens after that
// reaches it only when it asks for it (adoptFile).

#ifndef VARNAK_PLATFORM_FILE_TABLE_H_
#define VARNAK_PLATFORM_FILE_TABLE_H_

#include <optional>

#include "platform/file.h"

// A detached thread's way back to the shared table: the process, whose
// descriptors /proc shows.
struct SharedTable {
  int process = -1;
};

// Whether this system lets a detached thread take a descriptor from the
// shared table: whether /proc shows the process's descriptors. Asked once,
// before any thread detaches: where it cannot, no thread should. Never
// under the thread sanitizer, which knows one table only.
bool canAdoptFiles();

// Gives the calling thread a table of its own. Empty where that fails; the
// thread then goes on in the shared table, as before the call.
std::optional<SharedTable> detachFileTable();

// A descriptor in the calling thread's own table of the file that a thread
// of the shared table opened as `file`, with its size and the bytes read so
// far: the same file, opened anew for reading (a position of its own, which
// reads at an offset do not use). Empty on failure (the thread's table is
// full).
std::optional<OpenFile> adoptFile(const SharedTable& shared, const OpenFile& file);

#endif  // VARNAK_PLATFORM_FILE_TABLE_H_
