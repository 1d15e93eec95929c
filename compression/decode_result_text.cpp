// Texts of decoding results, for tools; a file of its own, so that a program
// that never shows them does not carry them.
#include "xpress.h"

namespace xpress {

const char* DecodeResultText(DecodeResult result)
{
    switch (result) {
    case DecodeResult::kSuccess:
        return "ok";
    case DecodeResult::kTruncated:
        return "truncated stream";
    case DecodeResult::kBadTable:
        return "invalid Huffman code-length table";
    case DecodeResult::kBadLength:
        return "invalid match length";
    case DecodeResult::kBadOffset:
        return "match offset before start of output";
    case DecodeResult::kStopped:
        return "stopped by the receiver of the output";
    case DecodeResult::kBadHeader:
        return "malformed buffer-mode header, or sizes that disagree";
    case DecodeResult::kNoMemory:
        return "out of memory";
    }
    return "unknown error";
}

}  // namespace xpress
