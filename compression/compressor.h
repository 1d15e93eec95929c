// Internal state of a compressor and the parsers that fill one block.
#pragma once

#include "block_writer.h"
#include "bt_matchfinder.h"
#include "hc_matchfinder.h"
#include "memory.h"
#include "xpress.h"

namespace xpress {

enum class ParserKind { kHashChains, kNearOptimal };

// Everything a level changes.
struct LevelParams {
    ParserKind parser;
    u32 search_depth;  // candidates visited per search
    u32 nice_length;   // a match this long ends the search (and is taken as is)
    unsigned passes;   // near-optimal only: parse/recount rounds per block
    u32 insert_limit;  // hash-chain parsers: positions inside a match that enter the finder
    u32 lazy_below;    // hash chains: look one position ahead for matches shorter than this (0: greedy)
};

// Length-3 matches save little; farther than this they cost more than three
// literals under any realistic code (offset bits alone approach 12).
constexpr u32 kMaxLength3Offset = 4096;

// All but `matches` are sized for a whole block when the compressor is made.
struct NearOptimalState {
    Array<Match> matches;    // all matches of the block, position by position
    Array<u32> match_begin;  // matches of block position i: [match_begin[i], match_begin[i + 1])
    Array<u32> cost;         // bits from block position i to the block's end
    Array<Token> choice;     // first token of the cheapest path from i
    bool have_previous_code = false;
};

struct Compressor {
    int level;
    LevelParams params;
    std::size_t mf_base = 0;  // input position of matchfinder position 0
    Owned<HcMatchfinder> hc;
    Owned<BtMatchfinder> bt;
    NearOptimalState optimal;
    Array<Token> tokens;  // of one block, room for kBlockSpan + 1 from the start
    u32 freqs[kNumSymbols];
    BlockCode code;
    HuffmanScratch huffman;
    unsigned threads = 1;
    CompressProgress progress = nullptr;
    void* progress_context = nullptr;
    Array<std::size_t> part_starts;  // of the last stream, see CompressedPartStarts
};

// Parsers.  Each fills c->tokens with the block starting at `block_start`
// (on the kBlockSpan grid) and finds the block's end, block_start +
// kBlockSpan or `end` (the end of the segment), whichever comes first: tokens
// never cross it, so blocks stay on the grid.  Matches may reach back into
// earlier blocks, as far as the finder holds.  The hash-chain parser returns
// the end and leaves the tokens' symbol counts in c->freqs (without the end
// marker).  The near-optimal parser stores the end in *block_end and leaves
// the block's finished code in c->code, with the end marker in it when
// `final` and the block ends at `end`; it returns false when out of memory
// for the block's matches.
std::size_t ParseBlockHashChains(Compressor* c, const u8* in, std::size_t end, std::size_t block_start);
bool ParseBlockNearOptimal(Compressor* c, const u8* in, std::size_t end, std::size_t block_start, bool final,
                           std::size_t* block_end);

}  // namespace xpress
