// SHA-256: the portable rounds, the rounds on the x86 SHA extensions, and the
// padding both share.
#include "engine/sha256.h"

#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};
constexpr size_t kBlockSize = 64;

using BlocksFn = void (*)(uint32_t state[8], const uint8_t* data, size_t blocks);

uint32_t Rotr(uint32_t x, int n) { return x >> n | x << (32 - n); }

uint32_t ReadBe32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void PortableBlocks(uint32_t state[8], const uint8_t* data, size_t blocks) {
    for (; blocks > 0; --blocks, data += kBlockSize) {
        // The message schedule in a ring of 16 words, extended as the rounds go.
        uint32_t w[16];
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t& word = w[i & 15];
            if (i < 16) {
                word = ReadBe32(data + 4 * i);
            } else {
                const uint32_t w15 = w[(i + 1) & 15], w2 = w[(i + 14) & 15];
                word += (Rotr(w15, 7) ^ Rotr(w15, 18) ^ (w15 >> 3)) + w[(i + 9) & 15] +
                        (Rotr(w2, 17) ^ Rotr(w2, 19) ^ (w2 >> 10));
            }
            const uint32_t t1 =
                h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRoundConstants[i] + word;
            const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

#if defined(__x86_64__)
// The four big-endian words of 16 message bytes, with shifts and shuffles by
// immediates rather than PSHUFB and a mask from memory.
__attribute__((target("sse2"))) __m128i BigEndianWords(__m128i x) {
    x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xB1), 0xB1);
}

// SHA256RNDS2 keeps the state as the pairs ABEF and CDGH and does two rounds
// per call; SHA256MSG1 and SHA256MSG2 extend the message four words at a time.
__attribute__((target("sha,sse4.1"))) void ShaExtensionBlocks(uint32_t state[8], const uint8_t* data, size_t blocks) {
    const __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(dcba, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, dcba, 0xF0);
    for (; blocks > 0; --blocks, data += kBlockSize) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i w[4];
        for (int i = 0; i < 16; ++i) {
            __m128i& words = w[i & 3];
            if (i < 4) {
                words = BigEndianWords(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)));
            } else {
                // W[t-16] + s0(W[t-15]), then + W[t-7], then + s1(W[t-2]).
                const __m128i previous = w[(i + 3) & 3];
                words = _mm_sha256msg1_epu32(words, w[(i + 1) & 3]);
                words = _mm_add_epi32(words, _mm_alignr_epi8(previous, w[(i + 2) & 3], 4));
                words = _mm_sha256msg2_epu32(words, previous);
            }
            const __m128i sums =
                _mm_add_epi32(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 4 * i)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, sums);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(sums, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

// CPUID leaf 7, EBX bit 29. Every CPU with it has the SSSE3 and SSE4.1 that
// the rounds use beside it.
bool HasShaExtensions() {
    unsigned a, b, c, d;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & 1u << 29);
}
#endif

BlocksFn FastestBlocks() {
#if defined(__x86_64__)
    if (HasShaExtensions()) return ShaExtensionBlocks;
#endif
    return PortableBlocks;
}

void Sha256With(BlocksFn blocksFn, const uint8_t* data, size_t size, uint8_t digest[kSha256Size]) {
    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    const size_t whole = size / kBlockSize;
    blocksFn(state, data, whole);

    // The rest, the 0x80 byte, zeros and the length in bits fill one or two blocks.
    uint8_t tail[2 * kBlockSize] = {};
    const size_t rest = size % kBlockSize;
    if (rest) memcpy(tail, data + whole * kBlockSize, rest);
    tail[rest] = 0x80;
    const size_t tailBlocks = rest < kBlockSize - 8 ? 1 : 2;
    const uint64_t bits = __builtin_bswap64(uint64_t(size) * 8);
    memcpy(tail + tailBlocks * kBlockSize - 8, &bits, 8);
    blocksFn(state, tail, tailBlocks);

    for (int i = 0; i < 8; ++i) {
        const uint32_t word = __builtin_bswap32(state[i]);
        memcpy(digest + 4 * i, &word, 4);
    }
}

}  // namespace

void Sha256(const uint8_t* data, size_t size, uint8_t digest[kSha256Size]) noexcept {
    Sha256With(FastestBlocks(), data, size, digest);
}

void Sha256Portable(const uint8_t* data, size_t size, uint8_t digest[kSha256Size]) noexcept {
    Sha256With(PortableBlocks, data, size, digest);
}

bool Sha256UsesShaExtensions() noexcept { return FastestBlocks() != PortableBlocks; }
