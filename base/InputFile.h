// Opens the files the program reads (inputs, INHX8S partners and chip data)
// and writes, without ever waiting on a FIFO.
#pragma once

#include <cstdio>
#include <string>

#include "base/IoError.h"

namespace tolvek {

// Opens a file for reading, in binary mode, only when it is a regular file. A
// FIFO, a device or a socket would block the open or never end (a FIFO without
// a writer, /dev/zero), and a directory cannot be read, so those are refused at
// once. On failure returns null and sets error: what (such as "Cannot open the
// input file"), the path and the system's reason.
std::FILE* OpenInputFile(const std::string& path, const std::string& what, IoError& error);

// Turns a descriptor opened with O_NONBLOCK (so that the open itself could not
// wait on a FIFO) into an ordinary blocking stream for writing. On failure the
// descriptor is closed, errno kept, and null returned.
std::FILE* BlockingWriteStream(int fd);

}  // namespace tolvek
