// LZMS block decompressor.
//
// An LZMS stream is an array of 16-bit little-endian units read from both
// ends at once. From the front, a binary range decoder yields the decisions
// that tell items apart (literal or match, LZ or delta match, explicit or
// repeated offset); each decision class keeps its own table of adaptive
// probabilities, indexed by the last few decisions taken in that class. From
// the back, a bit reader yields Huffman-coded symbols (literal bytes, length
// slots, offset slots, delta powers) and the verbatim extra bits that follow
// slots. Inside each 16-bit unit the first bit is the high-order one. Past
// either end of the array both readers see zeros.
//
//   | offset     | size | content                                               |
//   |------------|------|-------------------------------------------------------|
//   | 0          | 4    | initial range-decoder code: unit 0 high, unit 1 low   |
//   | 4          | ...  | further units, consumed forwards by the range decoder |
//   | ...        | ...  | units consumed backwards by the bit reader            |
//   | inSize - 2 | 2    | first unit of the backward bitstream                  |
//
// The five Huffman codes are adaptive: each starts from equal frequencies and
// is rebuilt from the symbol counts after every 512 or 1024 symbols, the
// counts then being halved. The decoder must rebuild exactly the code the
// encoder did: a Huffman tree over the symbols sorted by (frequency, symbol),
// leaves winning frequency ties, turned into a canonical code.
//
// LZ matches copy bytes from an offset back; delta matches add the
// difference of two earlier sequences, a power-of-two span apart, to a third.
// Both keep a three-entry LRU queue of recent offsets whose front insertion
// lags by one item. Finally the encoder had turned the relative addresses of
// some x86 call/jump/RIP-relative instructions into absolute ones; the last
// step here turns them back.
//
// Safety: every length and offset is checked against the output before a
// copy, the readers never step outside the input, and each loop iteration
// produces at least one byte, so decoding ends after at most outSize items.

#include "engine/lzms_decoder.h"

#include <array>
#include <bit>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__GNUC__)
#define VT_INLINE [[gnu::always_inline]] inline
#define VT_NOINLINE [[gnu::noinline]]
#define VT_LIKELY(x) __builtin_expect(!!(x), 1)
#define VT_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define VT_INLINE inline
#define VT_NOINLINE
#define VT_LIKELY(x) (x)
#define VT_UNLIKELY(x) (x)
#endif

namespace {

// ---------------------------------------------------------------------------
// Constants of the format.

constexpr unsigned kProbabilityBits = 6;  // probabilities are n/64
constexpr uint32_t kInitialZeroCount = 48;
constexpr uint64_t kInitialHistory = 0x0000000055555555ull;
static_assert(64 - std::popcount(kInitialHistory) == kInitialZeroCount,
              "the initial probability must agree with the initial bit history");

constexpr unsigned kMainStates = 16;
constexpr unsigned kMatchStates = 32;
constexpr unsigned kLzStates = 64;
constexpr unsigned kDeltaStates = 64;
constexpr unsigned kRepStates = 64;
constexpr unsigned kRepSlots = 3;  // repeat offsets that can be referenced
constexpr unsigned kRepDecisions = kRepSlots - 1;

constexpr unsigned kLiteralSymbols = 256;
constexpr unsigned kLengthSymbols = 54;
constexpr unsigned kPowerSymbols = 8;
constexpr unsigned kMaxOffsetSymbols = 799;
constexpr unsigned kMaxCodewordBits = 15;

constexpr unsigned kLiteralRebuild = 1024;
constexpr unsigned kLzOffsetRebuild = 1024;
constexpr unsigned kLengthRebuild = 512;
constexpr unsigned kDeltaOffsetRebuild = 1024;
constexpr unsigned kPowerRebuild = 512;

constexpr uint32_t kMaxOffset = 1180427428;
constexpr uint32_t kMaxLength = 1073809578;
static_assert(kLzmsMaxBlockBytes == size_t{kMaxOffset} + 1);

constexpr uint32_t kX86MaxDistance = 1023;     // E8 calls get half of it
constexpr uint32_t kX86TargetWindow = 65535;   // two uses of a target this close mark code

// Huffman table widths: decode speed against rebuild cost (the table is
// refilled on every rebuild, every 512 or 1024 symbols).
constexpr unsigned kLiteralTableBits = 10;
constexpr unsigned kLzOffsetTableBits = 10;
constexpr unsigned kLengthTableBits = 9;
constexpr unsigned kDeltaOffsetTableBits = 9;
constexpr unsigned kPowerTableBits = 7;  // eight symbols never need more than 7 bits

// A symbol's count can reach at most twice the rebuild period plus two (it is
// halved plus one at each rebuild), so 12 bits hold any count and the code
// builder's sort needs at most two 6-bit radix passes.
constexpr unsigned kCountSortBits = 12;
static_assert(2 * kLiteralRebuild + 2 < (1u << kCountSortBits));
static_assert(2 * kLzOffsetRebuild + 2 < (1u << kCountSortBits));

// ---------------------------------------------------------------------------
// Slot tables. Each slot covers 2^extraBits consecutive values, starting at 1,
// so the tables follow from how many slots have each number of extra bits.

struct BitRun {
    uint8_t extraBits;
    uint16_t slots;
};

constexpr BitRun kOffsetRuns[] = {
    {0, 8},   {2, 9},   {3, 7},   {4, 10},  {5, 15},  {6, 15},  {7, 20},
    {8, 20},  {9, 30},  {10, 33}, {11, 40}, {12, 42}, {13, 45}, {14, 60},
    {15, 73}, {16, 80}, {17, 85}, {18, 95}, {19, 105}, {20, 6}, {30, 1},
};

constexpr BitRun kLengthRuns[] = {
    {0, 26}, {1, 4}, {2, 6}, {3, 4}, {4, 5}, {5, 2}, {6, 1},
    {7, 1},  {8, 1}, {9, 1}, {10, 1}, {16, 1}, {30, 1},
};

template <size_t N>
struct SlotTable {
    std::array<uint32_t, N + 1> base{};  // base[N] is one past the last value
    std::array<uint8_t, N> extra{};
    size_t filled = 0;
};

template <size_t N, size_t R>
constexpr void FillSlots(SlotTable<N>& t, const BitRun (&runs)[R]) {
    t.filled = 0;
    uint64_t next = 1;
    for (const BitRun& run : runs) {
        for (unsigned k = 0; k < run.slots && t.filled < N; ++k) {
            t.base[t.filled] = static_cast<uint32_t>(next);
            t.extra[t.filled] = run.extraBits;
            next += uint64_t{1} << run.extraBits;
            ++t.filled;
        }
    }
    t.base[N] = static_cast<uint32_t>(next);
}

template <size_t N, size_t R>
constexpr SlotTable<N> ExpandRuns(const BitRun (&runs)[R]) {
    SlotTable<N> t;
    FillSlots(t, runs);
    return t;
}

// The offset slots are 4 KB: each decompressor fills its own copy when it
// is created (OffsetSlots), so that the setup program does not carry them.
// This one only pins the values at compile time.
constexpr SlotTable<kMaxOffsetSymbols> kOffsetSlots = ExpandRuns<kMaxOffsetSymbols>(kOffsetRuns);
constexpr SlotTable<kLengthSymbols> kLengthSlots = ExpandRuns<kLengthSymbols>(kLengthRuns);
using OffsetSlots = SlotTable<kMaxOffsetSymbols>;

static_assert(kOffsetSlots.filled == kMaxOffsetSymbols);
static_assert(kLengthSlots.filled == kLengthSymbols);
static_assert(kOffsetSlots.base[kMaxOffsetSymbols] == kMaxOffset + 1);
static_assert(kLengthSlots.base[kLengthSymbols] == kMaxLength + 1);
static_assert(kOffsetSlots.base[16] == 0x29 && kOffsetSlots.base[512] == 0x97e4a5);
static_assert(kLengthSlots.base[53] == 0x108ab);

// Offset codes only have the slots that can occur in a block of this size.
unsigned OffsetSlotCount(const OffsetSlots& slots, size_t blockSize) {
    if (blockSize < 2) return 0;
    const uint32_t largest = static_cast<uint32_t>(blockSize - 1);
    unsigned lo = 0, hi = kMaxOffsetSymbols;  // base[lo] <= largest < base[hi]
    while (hi - lo > 1) {
        const unsigned mid = (lo + hi) / 2;
        if (slots.base[mid] <= largest) lo = mid; else hi = mid;
    }
    return lo + 1;
}

// ---------------------------------------------------------------------------
// Little-endian loads that tolerate any alignment.

VT_INLINE uint16_t Load16(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
}

VT_INLINE uint32_t Load32(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    } else {
        return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    }
}

VT_INLINE uint64_t Load64(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    } else {
        return uint64_t{Load32(p)} | (uint64_t{Load32(p + 4)} << 32);
    }
}

VT_INLINE void Store32(uint8_t* p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, 4);
    } else {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
        p[3] = static_cast<uint8_t>(v >> 24);
    }
}

// ---------------------------------------------------------------------------
// Adaptive probability: the number of zeros among the last 64 decisions made
// with this entry, kept next to those decisions so it updates in O(1).

struct Probability {
    uint64_t history;
    uint32_t zeros;
};

// 0/64 and 64/64 cannot be coded; they are used as 1/64 and 63/64.
constexpr std::array<uint8_t, 65> kUsableProbability = [] {
    std::array<uint8_t, 65> t{};
    for (unsigned z = 0; z <= 64; ++z) t[z] = static_cast<uint8_t>(z == 0 ? 1 : z == 64 ? 63 : z);
    return t;
}();

template <size_t N>
void ResetProbabilities(Probability (&p)[N]) {
    for (Probability& e : p) e = Probability{kInitialHistory, kInitialZeroCount};
}

// ---------------------------------------------------------------------------
// Range decoder over the forward units.

// The input's end is passed in rather than kept, so that it need not occupy
// a register in the item loop; it is only looked at when normalising.
struct RangeDecoder {
    uint32_t range;
    uint32_t code;
    const uint8_t* next;

    VT_INLINE unsigned Decode(Probability& p, const uint8_t* const& end, const uint8_t* usable) {
        if (range <= 0xFFFF) {
            range <<= 16;
            code <<= 16;
            if (VT_LIKELY(next != end)) {
                code |= Load16(next);
                next += 2;
            }
        }
        const uint32_t zeros = p.zeros;
        const uint64_t history = p.history;
        const uint32_t bound = (range >> kProbabilityBits) * usable[zeros];
        const uint32_t leaving = static_cast<uint32_t>(history >> 63);
        if (VT_LIKELY(code < bound)) {
            range = bound;
            p.zeros = zeros + leaving;
            p.history = history << 1;
            return 0;
        }
        range -= bound;
        code -= bound;
        p.zeros = zeros + leaving - 1;
        p.history = (history << 1) | 1;
        return 1;
    }

    template <unsigned States>
    VT_INLINE unsigned Decode(Probability* table, uint32_t& state, const uint8_t* const& end,
                              const uint8_t* usable) {
        const unsigned bit = Decode(table[state], end, usable);
        state = ((state << 1) | bit) & (States - 1);
        return bit;
    }
};

// ---------------------------------------------------------------------------
// Bit reader over the backward units. `bits` holds the next bits of the
// stream at its top; `count` of them are accounted for. Refilling loads eight
// bytes below `next` at once and accounts only for whole units, so the bits
// under `count` are either zero or the right stream bits.

struct BackwardBits {
    uint64_t bits;
    unsigned count;
    const uint8_t* next;   // one past the next unit to read

    // Afterwards at least 48 bits are available. Cheap enough to do before
    // every symbol, which beats a badly predicted "is it needed" branch: with
    // 48 or more bits held it changes nothing. `begin` is the input's start,
    // passed in for the same reason as the range decoder's end.
    VT_INLINE void Refill(const uint8_t* const& begin) {
        if (VT_LIKELY(next - begin >= 8)) {
            bits |= Load64(next - 8) >> count;
            const unsigned units = (63 - count) >> 4;
            next -= 2 * units;
            count += 16 * units;
            return;
        }
        // Near the start of the input: unit by unit, then zeros.
        while (count < 48) {
            uint64_t unit = 0;
            if (next != begin) {
                next -= 2;
                unit = Load16(next);
            }
            bits |= unit << (48 - count);
            count += 16;
        }
    }

    // n may be 0..32; the caller has ensured n bits.
    VT_INLINE uint32_t Take(unsigned n) {
        const uint32_t v = static_cast<uint32_t>((bits >> (63 - n)) >> 1);
        bits <<= n;
        count -= n;
        return v;
    }

    VT_INLINE void Drop(unsigned n) {
        bits <<= n;
        count -= n;
    }
};

// ---------------------------------------------------------------------------
// Adaptive Huffman codes.

// Work space for building a code, shared by the five codes.
struct BuildScratch {
    uint16_t byCountLow[kMaxOffsetSymbols];
    uint16_t order[kMaxOffsetSymbols];          // symbols sorted by (count, symbol)
    uint32_t sortedCount[kMaxOffsetSymbols + 1];  // one sentinel past the end
    uint32_t nodeWeight[kMaxOffsetSymbols];
    uint16_t nodeParent[kMaxOffsetSymbols];
    uint16_t leafParent[kMaxOffsetSymbols];
    uint8_t nodeDepth[kMaxOffsetSymbols];
    uint8_t lengths[kMaxOffsetSymbols];
};

// Canonical decoding of codewords longer than the table: for each length, the
// first codeword, how many there are and where their symbols start in
// `sorted` (symbols ordered by codeword length, then value).
struct LongCodes {
    uint16_t first[kMaxCodewordBits + 1];
    uint16_t count[kMaxCodewordBits + 1];
    uint16_t start[kMaxCodewordBits + 1];
};

// Table entries: symbol << 4 | codeword length, or 0 when the codeword is
// longer than the table (or the bits are not a codeword at all).
template <unsigned MaxSymbols, unsigned TableBits>
struct AdaptiveCode {
    static_assert(TableBits <= kMaxCodewordBits);
    static_assert(MaxSymbols <= 4096, "symbol and length share a 16-bit table entry");

    uint16_t table[1u << TableBits];
    uint32_t counts[MaxSymbols];
    uint8_t lengths[MaxSymbols];  // those the table was filled from
    uint16_t sorted[MaxSymbols];
    LongCodes longCodes;
    unsigned symbols;
    unsigned untilRebuild;
    unsigned period;
};

// Stable counting sort of the symbols in(0) .. in(n - 1) by key(symbol) < buckets
// (at most MaxBuckets) into out. The input is split into `Blocks` consecutive
// blocks handled side by side: with a single counter per key, runs of equal
// keys would chain every increment to the previous one through memory.
template <unsigned MaxBuckets, unsigned Blocks, typename In, typename Key>
VT_INLINE void StableBucketSort(In in, unsigned n, unsigned buckets, uint16_t* out, Key key) {
    unsigned lo[Blocks + 1];
    for (unsigned b = 0; b <= Blocks; ++b) lo[b] = n * b / Blocks;
    const unsigned common = lo[1] - lo[0];  // every block has this many, some one more
    uint16_t at[Blocks][MaxBuckets];
    for (unsigned b = 0; b < Blocks; ++b) std::memset(at[b], 0, buckets * sizeof(uint16_t));
    for (unsigned i = 0; i < common; ++i)
        for (unsigned b = 0; b < Blocks; ++b) ++at[b][key(in(lo[b] + i))];
    for (unsigned b = 0; b < Blocks; ++b)
        if (lo[b + 1] - lo[b] > common) ++at[b][key(in(lo[b] + common))];
    unsigned pos = 0;
    for (unsigned k = 0; k < buckets; ++k) {
        for (unsigned b = 0; b < Blocks; ++b) {
            const unsigned c = at[b][k];
            at[b][k] = static_cast<uint16_t>(pos);
            pos += c;
        }
    }
    for (unsigned i = 0; i < common; ++i) {
        for (unsigned b = 0; b < Blocks; ++b) {
            const uint16_t sym = in(lo[b] + i);
            out[at[b][key(sym)]++] = sym;
        }
    }
    for (unsigned b = 0; b < Blocks; ++b) {
        if (lo[b + 1] - lo[b] > common) {
            const uint16_t sym = in(lo[b] + common);
            out[at[b][key(sym)]++] = sym;
        }
    }
}

// Builds the Huffman codeword lengths for counts[0, n), n >= 2. Returns false
// if a codeword would exceed 15 bits, which LZMS's count schedule rules out.
bool HuffmanLengths(const uint32_t* counts, unsigned n, BuildScratch& s) {
    // Stable sort by count, symbols being in increasing order to begin
    // with. Counts below 256 (the usual case) take one counting pass, others
    // two radix passes of 6 bits.
    uint32_t largest = 0;
    for (unsigned sym = 0; sym < n; ++sym) largest = counts[sym] > largest ? counts[sym] : largest;
    const auto identity = [](unsigned i) { return static_cast<uint16_t>(i); };
    if (largest < 256) {
        StableBucketSort<256, 2>(identity, n, largest + 1, s.order,
                                 [&](unsigned sym) { return counts[sym]; });
    } else {
        StableBucketSort<64, 4>(identity, n, 64, s.byCountLow,
                                [&](unsigned sym) { return counts[sym] & 63; });
        StableBucketSort<64, 4>([&](unsigned i) { return s.byCountLow[i]; }, n, (largest >> 6) + 1, s.order,
                                [&](unsigned sym) { return counts[sym] >> 6; });
    }
    for (unsigned i = 0; i < n; ++i) s.sortedCount[i] = counts[s.order[i]];

    // Two-queue tree construction over the sorted leaves: internal nodes are
    // created in increasing weight order, so the next lightest item is always
    // at the head of one of the two queues. On equal weights the leaf goes
    // first. (Plain branches: counts tie a lot, which keeps them predictable.)
    // Sentinels of "infinite" weight past the last leaf and in the node being
    // made stand in for the queue-empty tests.
    constexpr uint32_t kHeavy = 0xFFFFFFFFu;
    s.sortedCount[n] = kHeavy;
    unsigned leaf = 0;
    unsigned node = 0;
    for (unsigned made = 0; made + 1 < n; ++made) {
        uint32_t weight = 0;
        s.nodeWeight[made] = kHeavy;
        for (int pick = 0; pick < 2; ++pick) {
            if (s.sortedCount[leaf] <= s.nodeWeight[node]) {
                weight += s.sortedCount[leaf];
                s.leafParent[leaf++] = static_cast<uint16_t>(made);
            } else {
                weight += s.nodeWeight[node];
                s.nodeParent[node++] = static_cast<uint16_t>(made);
            }
        }
        s.nodeWeight[made] = weight;
    }

    // Parents are created after their children: walk from the root down.
    const unsigned root = n - 2;
    s.nodeDepth[root] = 0;
    for (unsigned k = root; k-- > 0;) {
        const unsigned depth = s.nodeDepth[s.nodeParent[k]] + 1u;
        s.nodeDepth[k] = static_cast<uint8_t>(depth > kMaxCodewordBits ? kMaxCodewordBits + 1 : depth);
    }
    for (unsigned i = 0; i < n; ++i) {
        const unsigned depth = s.nodeDepth[s.leafParent[i]] + 1u;
        if (depth > kMaxCodewordBits) return false;
        s.lengths[s.order[i]] = static_cast<uint8_t>(depth);
    }
    return true;
}

// Turns codeword lengths into the canonical code's tables.
void FillTables(const uint8_t* lengths, unsigned n, unsigned tableBits, uint16_t* table,
                uint16_t* sorted, LongCodes& lc) {
    // A counting sort of the symbols by length (every length is 1..15). The
    // symbols are split into four consecutive blocks handled side by side:
    // with one counter per length, repeated lengths would chain every
    // increment to the previous one through memory.
    constexpr unsigned kBlocks = 4;
    unsigned lo[kBlocks + 1];
    for (unsigned b = 0; b <= kBlocks; ++b) lo[b] = n * b / kBlocks;
    const unsigned common = lo[1] - lo[0];  // every block has this many, some one more
    uint16_t blockCount[kBlocks][kMaxCodewordBits + 1] = {};
    for (unsigned i = 0; i < common; ++i)
        for (unsigned b = 0; b < kBlocks; ++b) ++blockCount[b][lengths[lo[b] + i]];
    for (unsigned b = 0; b < kBlocks; ++b)
        if (lo[b + 1] - lo[b] > common) ++blockCount[b][lengths[lo[b] + common]];

    uint16_t count[kMaxCodewordBits + 1];
    uint16_t start[kMaxCodewordBits + 2];
    uint16_t at[kBlocks][kMaxCodewordBits + 1];
    start[1] = 0;
    for (unsigned len = 1; len <= kMaxCodewordBits; ++len) {
        unsigned pos = start[len];
        for (unsigned b = 0; b < kBlocks; ++b) {
            at[b][len] = static_cast<uint16_t>(pos);
            pos += blockCount[b][len];
        }
        count[len] = static_cast<uint16_t>(pos - start[len]);
        start[len + 1] = static_cast<uint16_t>(pos);
    }
    for (unsigned i = 0; i < common; ++i) {
        for (unsigned b = 0; b < kBlocks; ++b) {
            const unsigned sym = lo[b] + i;
            sorted[at[b][lengths[sym]]++] = static_cast<uint16_t>(sym);
        }
    }
    for (unsigned b = 0; b < kBlocks; ++b) {
        if (lo[b + 1] - lo[b] > common) {
            const unsigned sym = lo[b] + common;
            sorted[at[b][lengths[sym]]++] = static_cast<uint16_t>(sym);
        }
    }

    unsigned first = 0;
    for (unsigned len = 1; len <= kMaxCodewordBits; ++len) {
        lc.first[len] = static_cast<uint16_t>(first);
        lc.count[len] = count[len];
        lc.start[len] = start[len];
        first = (first + count[len]) << 1;
    }

    // Canonical codewords of one length are consecutive and shorter ones come
    // first, so the direct entries are a sequence of runs from index 0.
    // Runs of four or more entries are written 64 bits at a time.
    uint16_t* out = table;
    for (unsigned len = 1; len <= tableBits; ++len) {
        const unsigned from = start[len];
        const unsigned to = start[len + 1];
        const size_t run = size_t{1} << (tableBits - len);
        if (run >= 4) {
            for (unsigned i = from; i < to; ++i) {
                const uint64_t entry = (unsigned{sorted[i]} << 4) | len;
                const uint64_t four = entry * 0x0001000100010001ull;
                for (size_t k = 0; k < run; k += 4) std::memcpy(out + k, &four, 8);
                out += run;
            }
        } else if (run == 2) {
            for (unsigned i = from; i < to; ++i) {
                const uint32_t entry = (unsigned{sorted[i]} << 4) | len;
                const uint32_t two = entry * 0x00010001u;
                std::memcpy(out, &two, 4);
                out += 2;
            }
        } else {
            for (unsigned i = from; i < to; ++i) *out++ = static_cast<uint16_t>((unsigned{sorted[i]} << 4) | len);
        }
    }
    uint16_t* const tableEnd = table + (size_t{1} << tableBits);
    if (out < tableEnd) std::memset(out, 0, static_cast<size_t>(tableEnd - out) * sizeof(uint16_t));
}

template <unsigned MaxSymbols, unsigned TableBits>
bool BuildCode(AdaptiveCode<MaxSymbols, TableBits>& c, BuildScratch& s) {
    const unsigned n = c.symbols;
    if (n >= 2) {
        if (!HuffmanLengths(c.counts, n, s)) return false;
    } else if (n == 1) {
        // A lone symbol gets the one-bit codeword 0; codeword 1 stays invalid.
        s.lengths[0] = 1;
    }
    if (n != 0 && std::memcmp(s.lengths, c.lengths, n) == 0) return true;  // same code as before
    std::memcpy(c.lengths, s.lengths, n);
    FillTables(c.lengths, n, TableBits, c.table, c.sorted, c.longCodes);
    return true;
}

template <unsigned MaxSymbols, unsigned TableBits>
bool ResetCode(AdaptiveCode<MaxSymbols, TableBits>& c, unsigned symbols, unsigned period, BuildScratch& s) {
    c.symbols = symbols;
    c.period = period;
    c.untilRebuild = period;
    for (unsigned i = 0; i < symbols; ++i) c.counts[i] = 1;
    std::memset(c.lengths, 0, sizeof c.lengths);
    if (symbols == 0) {
        std::memset(c.table, 0, sizeof c.table);
        std::memset(&c.longCodes, 0, sizeof c.longCodes);
        return true;
    }
    return BuildCode(c, s);
}

template <unsigned MaxSymbols, unsigned TableBits>
VT_NOINLINE bool RebuildCode(AdaptiveCode<MaxSymbols, TableBits>& c, BuildScratch& s) {
    const bool ok = BuildCode(c, s);
    for (unsigned i = 0; i < c.symbols; ++i) c.counts[i] = (c.counts[i] >> 1) + 1;
    c.untilRebuild = c.period;
    return ok;
}

// Codeword longer than the table: walk the canonical lengths. `bits` holds
// the next stream bits at its top. Returns a table-style entry (symbol << 4 |
// length), or 0 if the bits are no codeword.
template <unsigned MaxSymbols, unsigned TableBits>
VT_NOINLINE unsigned DecodeLongSymbol(const AdaptiveCode<MaxSymbols, TableBits>& c, uint64_t bits) {
    const unsigned key = static_cast<unsigned>(bits >> (64 - kMaxCodewordBits));
    for (unsigned len = TableBits + 1; len <= kMaxCodewordBits; ++len) {
        const unsigned code = key >> (kMaxCodewordBits - len);
        const unsigned index = code - c.longCodes.first[len];
        if (index < c.longCodes.count[len]) return (unsigned{c.sorted[c.longCodes.start[len] + index]} << 4) | len;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// x86 translation undo.

constexpr uint8_t kX86Opcode[256] = {
    // 0x48, 0x4C: REX.W prefixes of RIP-relative MOV/LEA; 0xE8 call;
    // 0xE9 jump (skipped); 0xF0 lock prefix; 0xFF indirect call.
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0,
    1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
};
static_assert(kX86Opcode[0x48] + kX86Opcode[0x4C] + kX86Opcode[0xE8] + kX86Opcode[0xE9] +
                  kX86Opcode[0xF0] + kX86Opcode[0xFF] == 6,
              "the six candidate bytes, and only they, are marked");

// Bit i set: data[at + i] is one of the candidate opcode bytes, for i < 64.
// Reads 64 bytes from `at`, which must all be inside the data.
VT_INLINE uint64_t X86CandidateMask(const uint8_t* at) {
#if defined(__SSE2__)
    // 0x48/0x4C are x | 0x04 == 0x4C, 0xE8/0xE9 are x & 0xFE == 0xE8.
    const __m128i four = _mm_set1_epi8(0x04);
    const __m128i rex = _mm_set1_epi8(0x4C);
    const __m128i notOne = _mm_set1_epi8(static_cast<char>(0xFE));
    const __m128i call = _mm_set1_epi8(static_cast<char>(0xE8));
    const __m128i lock = _mm_set1_epi8(static_cast<char>(0xF0));
    const __m128i group = _mm_set1_epi8(static_cast<char>(0xFF));
    uint64_t mask = 0;
    for (unsigned k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * k));
        const __m128i a = _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, four), rex),
                                       _mm_cmpeq_epi8(_mm_and_si128(v, notOne), call));
        const __m128i b = _mm_or_si128(_mm_cmpeq_epi8(v, lock), _mm_cmpeq_epi8(v, group));
        mask |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_or_si128(a, b)))} << (16 * k);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (unsigned i = 0; i < 64; ++i) mask |= uint64_t{kX86Opcode[at[i]]} << i;
    return mask;
#endif
}

// Candidate mask of the 64 bytes from `at`, where fewer may remain before
// `size`: the missing ones count as no candidate.
VT_INLINE uint64_t X86CandidateMask(const uint8_t* data, size_t at, size_t size) {
    if (VT_LIKELY(size - at >= 64)) return X86CandidateMask(data + at);
    uint8_t tail[64] = {};
    std::memcpy(tail, data + at, size - at);
    return X86CandidateMask(tail);
}

// The encoder ran the same scan forwards, adding each candidate's position to
// its 32-bit field when the data looked like x86 code; this subtracts it.
// "Looks like code" means: a recent candidate referenced the same 16-bit
// target as another candidate within the last 64 KiB.
//
// `lastUse` remembers, per target, the end of the candidate that last used it,
// stored as epoch + position. Raising the epoch past every stored value makes
// the whole table "long ago" without clearing 256 KiB per block.
void UndoX86Translation(uint8_t* data, size_t size, uint32_t* lastUse, uint64_t& epoch) {
    if (size <= 17) return;
    if (epoch + size + 2 * (uint64_t{kX86TargetWindow} + 1) > UINT32_MAX) {
        std::memset(lastUse, 0, 65536 * sizeof(uint32_t));
        epoch = 0;
    }
    const int64_t base = static_cast<int64_t>(epoch) + kX86TargetWindow + 1;
    epoch = static_cast<uint64_t>(base) + size;

    // Candidates starting in the last 16 bytes are never translated, and the
    // first byte is never a candidate.
    const size_t limit = size - 16;
    int64_t lastCode = -int64_t{kX86MaxDistance} - 1;
    // The scan goes through a 64-byte window's candidate mask; a translation
    // only rewrites bytes that the scan then skips, so the mask stays valid.
    size_t window = 1;
    uint64_t mask = X86CandidateMask(data, window, size);
    for (;;) {
        while (mask == 0) {
            window += 64;
            if (window >= limit) return;
            mask = X86CandidateMask(data, window, size);
        }
        size_t p = window + static_cast<unsigned>(std::countr_zero(mask));
        if (p >= limit) return;
        size_t next;
        // Classified without branches: most candidates are false, and which
        // ones are is not predictable.
        const uint8_t op = data[p];
        const uint8_t next1 = data[p + 1];
        const uint8_t next2 = data[p + 2];
        // E8: relative call. Common, so it needs a closer sign of code.
        const unsigned call = op == 0xE8;
        // E9: relative jump, never translated; its operand is skipped.
        const unsigned jump = op == 0xE9;
        // FF 15: call [rip + disp32].
        const unsigned indirect = (op == 0xFF) & (next1 == 0x15);
        // F0 83 05: lock add [rip + disp32].
        const unsigned lockAdd = (op == 0xF0) & (next1 == 0x83) & (next2 == 0x05);
        // 48/4C: LEA, or MOV with a few more restrictions, whose ModR/M
        // byte's r/m field names RIP-relative addressing.
        const unsigned ripRelative = ((op | 0x04) == 0x4C) & ((next2 & 0x07) == 0x05) &
                                     ((next1 == 0x8D) | ((next1 == 0x8B) & ((op & 0x04) == 0) &
                                                         ((next2 & 0xF0) == 0)));
        const unsigned opcodeBytes = call + 2 * indirect + 3 * (lockAdd | ripRelative);
        if (VT_LIKELY((opcodeBytes | jump) == 0)) {
            // The usual case, and the only one whose outcome the next
            // candidate's position does not depend on.
            mask &= mask - 1;
            continue;
        }
        if (opcodeBytes == 0) {
            next = p + 5;
        } else {
            const uint32_t maxDistance = kX86MaxDistance >> call;

            const int64_t at = static_cast<int64_t>(p);
            uint8_t* field = data + p + opcodeBytes;
            const uint32_t stored = Load32(field);
            const uint32_t value = at - lastCode <= static_cast<int64_t>(maxDistance)
                                       ? stored - static_cast<uint32_t>(p)
                                       : stored;
            Store32(field, value);
            const uint16_t target = static_cast<uint16_t>(p + (value & 0xFFFF));
            const int64_t end = at + opcodeBytes + 3;
            const bool seen = base + end - static_cast<int64_t>(lastUse[target]) <=
                              static_cast<int64_t>(kX86TargetWindow);
            lastCode = seen ? end : lastCode;
            lastUse[target] = static_cast<uint32_t>(base + end);
            next = p + opcodeBytes + 4;
        }
        if (next - window < 64) {
            mask &= ~uint64_t{0} << (next - window);
        } else {
            window = next;
            if (window >= limit) return;
            mask = X86CandidateMask(data, window, size);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------

struct LzmsDecompressor {
    Probability mainProbs[kMainStates];
    Probability matchProbs[kMatchStates];
    Probability lzProbs[kLzStates];
    Probability deltaProbs[kDeltaStates];
    Probability lzRepProbs[kRepDecisions][kRepStates];
    Probability deltaRepProbs[kRepDecisions][kRepStates];

    AdaptiveCode<kLiteralSymbols, kLiteralTableBits> literal;
    AdaptiveCode<kMaxOffsetSymbols, kLzOffsetTableBits> lzOffset;
    AdaptiveCode<kLengthSymbols, kLengthTableBits> length;
    AdaptiveCode<kMaxOffsetSymbols, kDeltaOffsetTableBits> deltaOffset;
    AdaptiveCode<kPowerSymbols, kPowerTableBits> power;

    BuildScratch scratch;

    OffsetSlots offsetSlots;  // filled once, when the decompressor is created

    // A copy of kUsableProbability: addressed from the decompressor, it
    // costs the item loop no register of its own.
    uint8_t usableProbability[65];

    // State of the item loop that only matches need. It lives here, in
    // memory, so that the registers go to what every item needs.
    struct MatchState {
        const uint8_t* inBegin;
        const uint8_t* inEnd;
        uint8_t* outBegin;
        uint8_t* outEnd;
        uint32_t matchState, lzState, deltaState;
        uint32_t lzRepState[kRepDecisions];
        uint32_t deltaRepState[kRepDecisions];
        // Repeat queues carry one overflow entry: a used entry leaves the
        // queue at once but its replacement only enters after the next item.
        uint32_t lzReps[kRepSlots + 1];
        uint32_t lzPending;                   // 0: nothing pending
        const uint8_t* lzPendingAt;           // output position right after the match that set it
        uint64_t deltaReps[kRepSlots + 1];    // power << 32 | raw offset
        uint64_t deltaPending;
        const uint8_t* deltaPendingAt;
        // A codeword that is no codeword, or a code that cannot be built;
        // decoding then goes on harmlessly (every copy is still checked) and
        // fails at the next match or at the end.
        bool bad;
    } m;

    uint64_t x86Epoch = 0;
    uint32_t x86LastUse[65536];
};

namespace {

bool ResetState(LzmsDecompressor& d, size_t outSize) {
    ResetProbabilities(d.mainProbs);
    ResetProbabilities(d.matchProbs);
    ResetProbabilities(d.lzProbs);
    ResetProbabilities(d.deltaProbs);
    for (auto& p : d.lzRepProbs) ResetProbabilities(p);
    for (auto& p : d.deltaRepProbs) ResetProbabilities(p);
    const unsigned offsetSlots = OffsetSlotCount(d.offsetSlots, outSize);
    return ResetCode(d.literal, kLiteralSymbols, kLiteralRebuild, d.scratch) &&
           ResetCode(d.lzOffset, offsetSlots, kLzOffsetRebuild, d.scratch) &&
           ResetCode(d.length, kLengthSymbols, kLengthRebuild, d.scratch) &&
           ResetCode(d.deltaOffset, offsetSlots, kDeltaOffsetRebuild, d.scratch) &&
           ResetCode(d.power, kPowerSymbols, kPowerRebuild, d.scratch);
}

// Decodes one Huffman symbol. The reader always holds at least 18 bits
// between reads (48 after a refill, minus at most 30 extra bits), so the
// table is indexed with the bits as they are and the refill for what follows
// runs alongside the table load instead of in front of it.
template <unsigned MaxSymbols, unsigned TableBits>
VT_INLINE unsigned DecodeSymbol(AdaptiveCode<MaxSymbols, TableBits>& c, BackwardBits& in,
                                const uint8_t* const& begin, BuildScratch& s, bool& bad) {
    static_assert(48 - 30 >= kMaxCodewordBits);
    const uint64_t peek = in.bits;
    in.Refill(begin);
    unsigned entry = c.table[peek >> (64 - TableBits)];
    if (VT_UNLIKELY(entry == 0)) {
        entry = DecodeLongSymbol(c, peek);
        bad |= entry == 0;  // then symbol 0 of length 0: harmless until the caller stops
    }
    in.Drop(entry & 15);
    const unsigned sym = entry >> 4;
    ++c.counts[sym];
    if (VT_UNLIKELY(--c.untilRebuild == 0)) {
        if (!RebuildCode(c, s)) bad = true;
    }
    return sym;
}

// Reads n (0..30) verbatim bits after a slot.
VT_INLINE uint32_t ExtraBits(BackwardBits& in, const uint8_t* const& begin, unsigned n) {
    in.Refill(begin);
    return in.Take(n);
}

// The repeat queues. A match's own offset joins its queue only once the
// next item has been decoded (it waits as "pending" until then), and a
// repeat match takes its entry out, closing the gap from behind.
template <typename T>
VT_INLINE void PushRecent(T* reps, T pending) {
    reps[3] = reps[2];
    reps[2] = reps[1];
    reps[1] = reps[0];
    reps[0] = pending;
}

template <typename T>
VT_INLINE T TakeRecent(T* reps, unsigned index) {
    const T value = reps[index];
    for (unsigned i = index; i < 3; ++i) reps[i] = reps[i + 1];
    return value;
}

// Copies an LZ match whose length and offset are already known to fit
// between out and end.
VT_INLINE void CopyMatch(uint8_t* dst, uint8_t* end, uint32_t offset, uint32_t length) {
    const uint8_t* src = dst - offset;
    const size_t room = static_cast<size_t>(end - dst);  // >= length
    if (offset >= 8 && room - length >= 16) {
        // Eight bytes at a time, at least sixteen: may write up to 15 bytes
        // past the match, all inside the output and overwritten by the items
        // that follow. Reading after each write keeps overlapping copies
        // right.
        uint64_t w;
        std::memcpy(&w, src, 8);
        std::memcpy(dst, &w, 8);
        std::memcpy(&w, src + 8, 8);
        std::memcpy(dst + 8, &w, 8);
        if (VT_LIKELY(length <= 16)) return;
        if (offset >= length) {
            std::memcpy(dst + 16, src + 16, length - 16);
            return;
        }
        uint8_t* const stop = dst + length;
        dst += 16;
        src += 16;
        do {
            std::memcpy(&w, src, 8);
            std::memcpy(dst, &w, 8);
            src += 8;
            dst += 8;
        } while (dst < stop);
        return;
    }
    if (offset == 1) {
        // A run of one byte value (padding, zero fill): common in executables.
        if (length <= 64 && room - length >= 8) {
            const uint64_t run = dst[-1] * 0x0101010101010101ull;
            uint8_t* const stop = dst + length;
            do {
                std::memcpy(dst, &run, 8);
                dst += 8;
            } while (dst < stop);
        } else {
            std::memset(dst, dst[-1], length);
        }
        return;
    }
    if (offset < 8 && length > 16 && room - length >= 8) {
        // A short repeating pattern: once a few periods are written, copy
        // from a multiple of the period at least 8 back, 8 bytes at a time.
        const uint32_t stride = offset * ((8 + offset - 1) / offset);
        for (uint32_t k = 0; k < stride; ++k) dst[k] = src[k];
        uint8_t* const stop = dst + length;
        for (uint8_t* at = dst + stride; at < stop; at += 8) {
            uint64_t w;
            std::memcpy(&w, at - stride, 8);
            std::memcpy(at, &w, 8);
        }
        return;
    }
    for (uint32_t k = 0; k < length; ++k) dst[k] = src[k];
}

bool DecodeItems(LzmsDecompressor& d, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
    auto& m = d.m;
    m.inBegin = in;
    m.inEnd = in + inSize;
    m.outBegin = out;
    m.outEnd = out + outSize;
    m.matchState = m.lzState = m.deltaState = 0;
    for (unsigned i = 0; i < kRepDecisions; ++i) m.lzRepState[i] = m.deltaRepState[i] = 0;
    for (unsigned i = 0; i <= kRepSlots; ++i) {
        m.lzReps[i] = i + 1;
        m.deltaReps[i] = i + 1;  // power 0
    }
    m.lzPending = 0;
    m.lzPendingAt = nullptr;
    m.deltaPending = 0;
    m.deltaPendingAt = nullptr;

    RangeDecoder rd{0xFFFFFFFFu, (uint32_t{Load16(in)} << 16) | Load16(in + 2), in + 4};
    BackwardBits bb{0, 0, in + inSize};
    bb.Refill(in);
    uint32_t mainState = 0;
    uint8_t* dst = out;

    bool& bad = m.bad;
    bad = false;
    std::memcpy(d.usableProbability, kUsableProbability.data(), sizeof d.usableProbability);

    // outSize >= 1, so there is at least one item. Runs of literals are the
    // innermost loop, which makes the register allocator favour them.
    for (;;) {
        while (!rd.Decode<kMainStates>(d.mainProbs, mainState, m.inEnd, d.usableProbability)) {
            *dst++ = static_cast<uint8_t>(DecodeSymbol(d.literal, bb, m.inBegin, d.scratch, bad));
            if (dst == m.outEnd) return !bad;
        }

        if (!rd.Decode<kMatchStates>(d.matchProbs, m.matchState, m.inEnd, d.usableProbability)) {
            // LZ match.
            uint32_t* reps = m.lzReps;
            if (m.lzPending != 0 && dst != m.lzPendingAt) {
                PushRecent(reps, m.lzPending);
                m.lzPending = 0;
            }
            uint32_t offset;
            if (!rd.Decode<kLzStates>(d.lzProbs, m.lzState, m.inEnd, d.usableProbability)) {
                const unsigned slot = DecodeSymbol(d.lzOffset, bb, m.inBegin, d.scratch, bad);
                offset = d.offsetSlots.base[slot] + ExtraBits(bb, m.inBegin, d.offsetSlots.extra[slot]);
            } else if (!rd.Decode<kRepStates>(d.lzRepProbs[0], m.lzRepState[0], m.inEnd, d.usableProbability)) {
                offset = TakeRecent(reps, 0);
            } else if (!rd.Decode<kRepStates>(d.lzRepProbs[1], m.lzRepState[1], m.inEnd, d.usableProbability)) {
                offset = TakeRecent(reps, 1);
            } else {
                offset = TakeRecent(reps, 2);
            }
            if (m.lzPending != 0) {
                PushRecent(reps, m.lzPending);
            }
            m.lzPending = offset;

            const unsigned lslot = DecodeSymbol(d.length, bb, m.inBegin, d.scratch, bad);
            const uint32_t length = kLengthSlots.base[lslot] + ExtraBits(bb, m.inBegin, kLengthSlots.extra[lslot]);
            if (VT_UNLIKELY(bad || length > static_cast<size_t>(m.outEnd - dst) ||
                            offset > static_cast<size_t>(dst - m.outBegin)))
                return false;
            CopyMatch(dst, m.outEnd, offset, length);
            dst += length;
            m.lzPendingAt = dst;
            if (dst == m.outEnd) return !bad;
            continue;
        }

        // Delta match.
        uint64_t* reps = m.deltaReps;
        if (m.deltaPending != 0 && dst != m.deltaPendingAt) {
            PushRecent(reps, m.deltaPending);
            m.deltaPending = 0;
        }
        uint64_t pair;
        if (!rd.Decode<kDeltaStates>(d.deltaProbs, m.deltaState, m.inEnd, d.usableProbability)) {
            const unsigned powerSym = DecodeSymbol(d.power, bb, m.inBegin, d.scratch, bad);
            const unsigned slot = DecodeSymbol(d.deltaOffset, bb, m.inBegin, d.scratch, bad);
            const uint32_t raw = d.offsetSlots.base[slot] + ExtraBits(bb, m.inBegin, d.offsetSlots.extra[slot]);
            pair = (uint64_t{powerSym} << 32) | raw;
        } else if (!rd.Decode<kRepStates>(d.deltaRepProbs[0], m.deltaRepState[0], m.inEnd, d.usableProbability)) {
            pair = TakeRecent(reps, 0);
        } else if (!rd.Decode<kRepStates>(d.deltaRepProbs[1], m.deltaRepState[1], m.inEnd, d.usableProbability)) {
            pair = TakeRecent(reps, 1);
        } else {
            pair = TakeRecent(reps, 2);
        }
        if (m.deltaPending != 0) {
            PushRecent(reps, m.deltaPending);
        }
        m.deltaPending = pair;

        const unsigned lslot = DecodeSymbol(d.length, bb, m.inBegin, d.scratch, bad);
        const uint32_t length = kLengthSlots.base[lslot] + ExtraBits(bb, m.inBegin, kLengthSlots.extra[lslot]);

        const unsigned power = static_cast<unsigned>(pair >> 32) & 7;
        const uint64_t span = uint64_t{1} << power;
        const uint64_t offset = (pair & 0xFFFFFFFFu) << power;
        if (VT_UNLIKELY(bad || length > static_cast<size_t>(m.outEnd - dst) ||
                        offset + span > static_cast<size_t>(dst - m.outBegin)))
            return false;
        const uint8_t* src = dst - offset;
        const uint8_t* dstBack = dst - span;
        const uint8_t* srcBack = src - span;
        for (uint32_t k = 0; k < length; ++k)
            dst[k] = static_cast<uint8_t>(src[k] + dstBack[k] - srcBack[k]);
        dst += length;
        m.deltaPendingAt = dst;
        if (dst == m.outEnd) return !bad;
    }
}

}  // namespace

LzmsDecompressor* LzmsCreateDecompressor() noexcept {
    LzmsDecompressor* d = new (std::nothrow) LzmsDecompressor();
    if (d) FillSlots(d->offsetSlots, kOffsetRuns);
    return d;
}

void LzmsFreeDecompressor(LzmsDecompressor* decompressor) noexcept {
    delete decompressor;
}

bool LzmsDecompressBlock(LzmsDecompressor* d, const uint8_t* in, size_t inSize, uint8_t* out,
                         size_t outSize) noexcept {
    // The stream is made of 16-bit units, and the range decoder starts from
    // two of them.
    if (d == nullptr || in == nullptr || out == nullptr) return false;
    if (inSize < 4 || (inSize & 1) != 0) return false;
    if (outSize == 0 || outSize > kLzmsMaxBlockBytes) return false;
    if (!ResetState(*d, outSize)) return false;
    if (!DecodeItems(*d, in, inSize, out, outSize)) return false;
    UndoX86Translation(out, outSize, d->x86LastUse, d->x86Epoch);
    return true;
}
