// The buffer-mode header: 24 bytes and a 32-bit block length in front of one
// raw stream (layout in xpress.h).  Writing and reading it live in separate
// files so that a program that only decodes links no compressor.
#pragma once

#include "common.h"
#include "xpress.h"

namespace xpress {

constexpr u8 kSignature[4] = {0x0A, 0x51, 0xE5, 0xC0};
constexpr u16 kHeaderLength = 24;
constexpr std::size_t kLevelByte = 6;
constexpr std::size_t kAlgorithmByte = 7;
static_assert(kHeaderLength + 4 == kBufferHeaderBytes, "header, then the block length");

}  // namespace xpress
