// Reading files.

#ifndef VARNAK_PLATFORM_FILE_H_
#define VARNAK_PLATFORM_FILE_H_

#include <cstddef>
#include <string>

// Opens the file at `path` for reading and returns its descriptor, or -1.
// The open never waits: a named pipe that no process writes to reads as
// empty instead of blocking the run, while a pipe that has a writer is read
// normally.
int openForReading(const std::string& path);

// Reads up to `capacity` bytes into `buffer`. Returns how many were read;
// 0 means the end of the data, and a read error counts as that end too.
size_t readSome(int fd, char* buffer, size_t capacity);

void closeFile(int fd);

#endif  // VARNAK_PLATFORM_FILE_H_
