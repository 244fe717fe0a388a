// Opens the files the program reads (inputs, INHX8S partners and chip data)
// and writes, without ever waiting on a FIFO.
#pragma once

#include <cstdio>
#include <string>

namespace tolvek {

// Opens a file for reading, in binary mode, only when it is a regular file. A
// FIFO, a device or a socket would block the open or never end (a FIFO without
// a writer, /dev/zero), and a directory cannot be read, so those are refused at
// once. On failure returns null with the system's reason in reason and its errno
// value (0 for a file that is not a regular one) in error.
std::FILE* OpenInputFile(const std::string& path, std::string& reason, int* error = nullptr);

// Turns a descriptor opened with O_NONBLOCK (so that the open itself could not
// wait on a FIFO) into an ordinary blocking stream for writing. On failure the
// descriptor is closed, errno kept, and null returned.
std::FILE* BlockingWriteStream(int fd);

}  // namespace tolvek
