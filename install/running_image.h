// The running program's file, checked against the image the loader made of it.
//
// The program copies itself as the uninstaller from its file, and a file at the
// program's path need not be the one that runs: a program of the user may
// rename a downloaded setup while it starts and put another file in its place.
// What the loader mapped is ours, so every byte taken from the file is checked
// against the image in memory: the headers, and each section's bytes with the
// loader's changes undone (the relocations it applied, the import addresses it
// filled in).  The sections that the program itself may change are compared
// with a copy taken before any of its code runs.  Only the signature, which is
// never mapped, is taken as it stands.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads the image's layout; false when it cannot be checked at all.
bool PrepareImageCheck();

// True when bytes [offset, offset + size) of a file, read from its start in
// order, are those of the running program's file.
bool MatchesRunningImage(std::uint64_t offset, const void* bytes, std::size_t size);

// True when a file of `size` bytes, every one of them matched, is the whole file.
bool IsRunningImageSize(std::uint64_t size);
