// Compressor handles, levels, and the segment and block loops of the raw stream.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "compressor.h"

namespace xpress {

namespace {

// Index = level - 1.  Tuned on Wine's PE files (see bench/): level 2, the
// default, looks one position ahead only for matches under 5 bytes, which
// buys most of lazy parsing's gain for a fraction of its searches.
constexpr LevelParams kLevels[] = {
    // parser                  depth nice passes insert_limit       lazy_below
    {ParserKind::kHashChains, 2, 16, 0, 16, 0},                         // 1
    {ParserKind::kHashChains, 5, 32, 0, 32, 5},                         // 2
    {ParserKind::kHashChains, 8, 48, 0, kMaxEncodeMatchLength, 8},      // 3
    {ParserKind::kHashChains, 12, 48, 0, kMaxEncodeMatchLength, 16},    // 4
    {ParserKind::kHashChains, 16, 64, 0, kMaxEncodeMatchLength, 64},    // 5
    {ParserKind::kHashChains, 48, 128, 0, kMaxEncodeMatchLength, 128},  // 6
    {ParserKind::kNearOptimal, 16, 48, 2, 0, 0},                        // 7
    {ParserKind::kNearOptimal, 32, 96, 3, 0, 0},                        // 8
    {ParserKind::kNearOptimal, 64, 192, 4, 0, 0},                       // 9
};
static_assert(sizeof(kLevels) / sizeof(kLevels[0]) == kStrongestLevel, "one row per level");
static_assert(kFastestLevel <= kDefaultLevel && kDefaultLevel <= kStrongestLevel, "level range");

// A segment and the window before it are all a finder ever holds.
static_assert(kSegmentSpan + kWindowSize < std::size_t(-kNullPos), "finder positions stay far from kNullPos");
static_assert(kSegmentSpan % kBlockSpan == 0, "segments end where blocks end");

static_assert(kPartSpan % kSegmentSpan == 0, "parts begin where segments begin");

// Compresses segment `index` of the input into `out`.  The finder starts
// empty and, unless a part begins with the segment, takes in the window
// before it first, so matches reach back into the previous segment as they
// would in one long run; the costs start from the segment's own byte
// histogram.  The result depends on the input and the index alone.  False
// when out of memory.
bool CompressSegment(Compressor* c, const u8* in, std::size_t in_size, std::size_t index, BitWriter& out)
{
    const std::size_t start = index * kSegmentSpan;
    const std::size_t end = std::min(start + kSegmentSpan, in_size);
    const bool last = end == in_size;
    c->mf_base = start % kPartSpan == 0 ? start : start - std::min(start, kWindowSize);
    c->optimal.have_previous_code = false;
    const u8* const base = in + c->mf_base;
    if (c->hc) {
        c->hc->Reset();
        for (std::size_t pos = c->mf_base; pos < start && end - pos >= kMinSearchBytes; pos++)
            c->hc->Insert(base, mf_pos_t(pos - c->mf_base));
    } else {
        c->bt->Reset();
        for (std::size_t pos = c->mf_base; pos < start; pos++) {
            const u32 max_length = u32(std::min<std::size_t>(end - pos, kMaxEncodeMatchLength));
            c->bt->Advance<false>(base, mf_pos_t(pos - c->mf_base), max_length, c->params.nice_length,
                                  c->params.search_depth, nullptr);
        }
    }
    for (std::size_t pos = start; pos < end && !out.overflow();) {
        std::size_t block_end;
        if (c->params.parser == ParserKind::kNearOptimal) {
            if (!ParseBlockNearOptimal(c, in, end, pos, last, &block_end))
                return false;
        } else {
            block_end = ParseBlockHashChains(c, in, end, pos);
            if (last && block_end == end)
                c->freqs[kEndSymbol]++;  // the final table must code the end marker
            BuildBlockCode(c->freqs, &c->code, &c->huffman);
        }
        WriteBlock(out, c->tokens.data(), c->tokens.size(), last && block_end == end, c->code);
        pos = block_end;
    }
    return true;
}

// Called before segment `index` goes to `out`, whose output begins at `base`
// (CompressRaw has made room for every part start).
void NotePartStart(Compressor* c, std::size_t index, const BitWriter& out, const u8* base)
{
    if (index != 0 && index * kSegmentSpan % kPartSpan == 0)
        c->part_starts.Push(std::size_t(out.next() - base));
}

// A segment compressed by a worker thread, until the calling thread takes it.
struct Piece {
    u8* bytes;
    std::size_t size;
    bool done;
};

// Segments compressed by worker threads, each into its own buffer, and
// joined in order by the calling thread, which also reports the progress.
// std::thread reports a thread it cannot start only by throwing: that is
// caught where the thread is made, the codec's one catch, so that nothing
// leaves the codec and running out of memory is false here too.
bool CompressSegmentsInParallel(Compressor* c, const u8* in, std::size_t in_size, std::size_t segments,
                                unsigned threads, BitWriter& out, const u8* base)
{
    Array<Compressor*> workers;
    Array<Piece> pieces;
    const Owned<std::thread> thread_memory(static_cast<std::thread*>(std::malloc(threads * sizeof(std::thread))));
    std::thread* const running = thread_memory.get();
    if (!workers.Resize(threads) || !pieces.Resize(segments) || running == nullptr)
        return false;
    unsigned made = 0, started = 0;
    for (; made < threads; made++)
        if (!CreateCompressor(COMPRESS_ALGORITHM_XPRESS_HUFF, c->level, &workers[made]))
            break;
    for (std::size_t k = 0; k < segments; k++)
        pieces[k] = Piece{nullptr, 0, false};
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{made < threads};
    std::mutex mutex;
    std::condition_variable finished;
    const auto work = [&](Compressor* worker) {
        for (std::size_t k; !failed && (k = next++) < segments;) {
            const std::size_t bound = CompressRawBound(kSegmentSpan);
            Piece piece{Allocate<u8>(bound), 0, true};
            if (piece.bytes != nullptr) {
                BitWriter writer(piece.bytes, bound);
                if (CompressSegment(worker, in, in_size, k, writer)) {
                    piece.size = std::size_t(writer.next() - piece.bytes);
                    u8* const fitted = static_cast<u8*>(std::realloc(piece.bytes, piece.size != 0 ? piece.size : 1));
                    if (fitted != nullptr)
                        piece.bytes = fitted;
                } else {
                    std::free(piece.bytes);
                    piece.bytes = nullptr;
                }
            }
            if (piece.bytes == nullptr)
                failed = true;
            std::lock_guard<std::mutex> lock(mutex);
            pieces[k] = piece;
            finished.notify_one();
        }
    };
    while (started < made && !failed) {
        try {
            new (&running[started]) std::thread(work, workers[started]);
            started++;
        } catch (...) {
            failed = true;  // the threads already started stop after their segment
        }
    }
    for (std::size_t k = 0; k < segments && !failed && !out.overflow(); k++) {
        Piece piece;
        {
            std::unique_lock<std::mutex> lock(mutex);
            finished.wait(lock, [&] { return pieces[k].done || failed; });
            piece = pieces[k];
        }
        if (failed)
            break;
        NotePartStart(c, k, out, base);
        out.PutBytes(piece.bytes, piece.size);
        std::free(piece.bytes);
        pieces[k].bytes = nullptr;
        if (c->progress)
            c->progress(c->progress_context, std::min((k + 1) * kSegmentSpan, in_size), in_size);
    }
    for (unsigned t = 0; t < started; t++) {
        running[t].join();
        running[t].~thread();
    }
    for (std::size_t k = 0; k < segments; k++)
        std::free(pieces[k].bytes);
    for (unsigned t = 0; t < made; t++)
        CloseCompressor(workers[t]);
    return !failed;
}

}  // namespace

bool CreateCompressor(std::uint32_t algorithm, int level, Compressor** handle)
{
    if (handle == nullptr)
        return false;
    *handle = nullptr;
    if (algorithm != COMPRESS_ALGORITHM_XPRESS_HUFF || level < kFastestLevel || level > kStrongestLevel)
        return false;
    // malloc and a placement new (the constructors only set fields), so that
    // the handle's memory comes the codec's one way.
    void* const memory = std::malloc(sizeof(Compressor));
    if (memory == nullptr)
        return false;
    Compressor* const c = new (memory) Compressor;
    c->level = level;
    c->params = kLevels[level - 1];
    bool ok = c->tokens.Reserve(kBlockSpan + 1);  // a block has at most one token per byte, plus one
    if (c->params.parser == ParserKind::kNearOptimal) {
        c->bt.reset(Allocate<BtMatchfinder>());
        NearOptimalState& st = c->optimal;
        ok = ok && c->bt && st.match_begin.Resize(kBlockSpan + 1) && st.cost.Resize(kBlockSpan + 1) &&
             st.choice.Resize(kBlockSpan);
    } else {
        c->hc.reset(Allocate<HcMatchfinder>());
        ok = ok && c->hc;
    }
    if (!ok) {
        CloseCompressor(c);
        return false;
    }
    *handle = c;
    return true;
}

void CloseCompressor(Compressor* handle)
{
    if (handle == nullptr)
        return;
    handle->~Compressor();
    std::free(handle);
}

int CompressorLevel(const Compressor* handle) { return handle->level; }

const std::size_t* CompressedPartStarts(const Compressor* handle, std::size_t* count)
{
    *count = handle->part_starts.size();
    return handle->part_starts.data();
}

void SetCompressorThreads(Compressor* handle, unsigned threads)
{
    handle->threads = threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
}

void SetCompressorProgress(Compressor* handle, CompressProgress progress, void* context)
{
    handle->progress = progress;
    handle->progress_context = context;
}

// Bound: a block covers kBlockSpan bytes unless it is the last, so there are
// at most ceil(n / kBlockSpan) blocks.  Each has a 256-byte table, the two
// priming words, at most one padded word, and a final end marker of at most
// 15 bits.  Everything else is at most 9 bits per input byte: the block's
// code is an optimal length-limited code, so it is never worse than the
// complete flat code of 512 symbols at 9 bits, under which a literal costs 9
// bits per byte and a match (9 + up to 15 offset bits + escape bytes, at
// least 3 bytes long) at most 8.
std::size_t CompressRawBound(std::size_t inputSize)
{
    constexpr std::size_t kPerBlock = kTableBytes + 4 + 2 + 2;
    const std::size_t blocks = inputSize / kBlockSpan + 1;
    return inputSize + inputSize / 8 + 1 + blocks * kPerBlock;
}

bool CompressRaw(Compressor* c, const void* input, std::size_t inputSize, void* output, std::size_t outputCapacity,
                 std::size_t* compressedSize)
{
    *compressedSize = 0;
    c->part_starts.Clear();
    if (inputSize == 0)
        return true;  // N = 0 needs no block: the decoder stops at once
    if (!c->part_starts.Reserve(PartCount(inputSize) - 1))
        return false;
    const u8* const in = static_cast<const u8*>(input);
    BitWriter out(static_cast<u8*>(output), outputCapacity);
    const std::size_t segments = (inputSize - 1) / kSegmentSpan + 1;
    const unsigned threads = unsigned(std::min<std::size_t>(c->threads, segments));
    if (threads > 1) {
        if (!CompressSegmentsInParallel(c, in, inputSize, segments, threads, out, static_cast<u8*>(output)))
            return false;
    } else {
        for (std::size_t k = 0; k < segments && !out.overflow(); k++) {
            NotePartStart(c, k, out, static_cast<u8*>(output));
            if (!CompressSegment(c, in, inputSize, k, out))
                return false;
            if (c->progress)
                c->progress(c->progress_context, std::min((k + 1) * kSegmentSpan, inputSize), inputSize);
        }
    }
    if (out.overflow())
        return false;
    *compressedSize = std::size_t(out.next() - static_cast<u8*>(output));
    return true;
}

}  // namespace xpress
