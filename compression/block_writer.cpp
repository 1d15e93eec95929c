// Block output: the 256-byte table of 4-bit code lengths, then the tokens in
// the order the decoder consumes them (code, escape bytes, offset bits).
#include "block_writer.h"

namespace xpress {

void CountSymbols(const Token* tokens, std::size_t count, bool final, u32* freqs)
{
    std::memset(freqs, 0, kNumSymbols * sizeof(u32));
    for (std::size_t i = 0; i < count; i++) {
        const Token& t = tokens[i];
        freqs[t.length == 0 ? t.value : MatchSymbol(t.length, t.value)]++;
    }
    // The final table must give the end marker a code.
    if (final)
        freqs[kEndSymbol]++;
}

void BuildBlockCode(const u32* freqs, BlockCode* code, HuffmanScratch* scratch)
{
    BuildCodeLengths(freqs, kNumSymbols, kMaxCodeLength, code->lengths, scratch);
    BuildCanonicalCodes(code->lengths, kNumSymbols, code->codes);
}

void WriteBlock(BitWriter& out, const Token* tokens, std::size_t count, bool final, const BlockCode& code)
{
    u8* table = out.Reserve(kTableBytes);
    for (unsigned i = 0; i < kTableBytes; i++)
        table[i] = u8(code.lengths[2 * i] | code.lengths[2 * i + 1] << 4);

    out.BeginBits();
    for (std::size_t i = 0; i < count; i++) {
        const Token& t = tokens[i];
        if (t.length == 0) {
            out.PutBits(code.codes[t.value], code.lengths[t.value]);
            continue;
        }
        const unsigned sym = MatchSymbol(t.length, t.value);
        out.PutBits(code.codes[sym], code.lengths[sym]);
        const u32 extra = t.length - kMinMatchLength;
        if (extra >= kLengthNibbleEscape) {
            if (extra <= kMaxLengthMinus3InByte) {
                out.PutRawByte(u8(extra - kLengthNibbleEscape));
            } else {
                out.PutRawByte(0xFF);
                if (extra <= kMaxLengthMinus3InU16) {
                    out.PutRawU16(u16(extra));
                } else {
                    out.PutRawU16(0);
                    out.PutRawU32(extra);
                }
            }
        }
        const unsigned offset_bits = FloorLog2(t.value);
        if (offset_bits != 0)
            out.PutBits(t.value - (u32(1) << offset_bits), offset_bits);
    }
    if (final)
        out.PutBits(code.codes[kEndSymbol], code.lengths[kEndSymbol]);
    out.EndBits();
}

}  // namespace xpress
