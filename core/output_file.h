// Writing a host tool's output file whole or not at all.
#pragma once

#include <cstddef>
#include <string>

// Writes size bytes to path through a temporary file in the same folder,
// renamed over path only once every byte is written and the file closed: a
// failure leaves path as it was and no temporary file behind.  A symbolic
// link is followed, and a path naming a device or a pipe is written
// directly, as renaming would replace the link or the device itself.  On
// failure *error says why.
bool WriteOutputFile(const std::string& path, const void* data, std::size_t size, std::string* error);

// Whether WriteOutputFile could write path now: its folder takes a new file
// (tried and removed again), or the device or pipe it names is writable.  A
// tool calls it before long work, so that a bad output is named at once.
bool CheckOutputFile(const std::string& path, std::string* error);
