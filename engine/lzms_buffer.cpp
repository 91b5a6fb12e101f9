// Buffer-mode LZMS framing decoder (layout in lzms_buffer.h). Checks the
// header and every block record before handing each stream to the block
// decoder, so that a damaged payload is refused rather than half unpacked.

#include "engine/lzms_buffer.h"

#include <array>
#include <cstring>

namespace {

constexpr uint32_t kCrcPolynomial = 0xEDB88320u;  // reflected form of 0x04C11DB7

// Bit by bit: it only ever runs over the 23 bytes of a header, and a table
// would cost the installer a kilobyte.
constexpr uint32_t Crc32Update(uint32_t crc, uint8_t byte) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ ((crc & 1) ? kCrcPolynomial : 0);
    return crc;
}
static_assert(Crc32Update(0, 1) == 0x77073096u && Crc32Update(0, 255) == 0x2D02EF8Du);

constexpr uint16_t kHeaderLength = 24;
static_assert(kHeaderLength == kLzmsBufferHeaderSize);

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint64_t Get64(const uint8_t* p) { return uint64_t{Get32(p)} | (uint64_t{Get32(p + 4)} << 32); }

void Put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Header {
    uint64_t uncompressedSize;
    uint64_t blockSize;
};

bool ParseHeader(const uint8_t* in, size_t inSize, Header& h) {
    if (in == nullptr || inSize < kLzmsBufferHeaderSize) return false;
    for (size_t i = 0; i < sizeof kLzmsBufferMagic; ++i)
        if (in[i] != kLzmsBufferMagic[i]) return false;
    if (Get16(in + 4) != kHeaderLength) return false;
    if (in[kLzmsBufferCheckByteOffset] != LzmsHeaderCheckByte(in)) return false;
    if (in[7] != kLzmsBufferAlgorithm) return false;
    h.uncompressedSize = Get64(in + 8);
    h.blockSize = Get64(in + 16);
    if (h.uncompressedSize == 0 || h.blockSize == 0) return false;
    if (h.blockSize > kLzmsMaxConfiguredBlockSize || h.blockSize > h.uncompressedSize) return false;
    // A block size below the configurable minimum can only be a whole small
    // file standing in for a larger configured size.
    if (h.blockSize < kLzmsMinConfiguredBlockSize && h.blockSize != h.uncompressedSize) return false;
    return true;
}

// One block record as the decoder sees it.
struct Record {
    const uint8_t* stream;
    size_t streamSize;
    size_t outAt;     // where its bytes go in the output
    size_t outBytes;  // how many bytes it gives
    bool stored;      // its bytes are the output itself
};

// Walks the records of a buffer whose header is `h`, checking every length
// before `each` sees the record; false at the first bad record, when `each`
// fails, or when bytes follow the last record (strict: a well-formed buffer
// ends exactly there, and the payload reader knows each stream's extent).
template <typename Each>
bool WalkRecords(const uint8_t* in, size_t inSize, const Header& h, Each each) {
    const size_t total = static_cast<size_t>(h.uncompressedSize);
    const size_t blockSize = static_cast<size_t>(h.blockSize);
    size_t at = kLzmsBufferHeaderSize;
    size_t produced = 0;
    // Each pass consumes at least five input bytes, so the loop is bounded
    // by the input as well as by the output.
    while (produced < total) {
        if (inSize - at < kLzmsBlockRecordHeaderSize) return false;
        const size_t streamSize = Get32(in + at);
        at += kLzmsBlockRecordHeaderSize;
        if (streamSize == 0 || streamSize > inSize - at) return false;
        // A record as long as everything still to come is those bytes
        // themselves, as the platform's decoder reads it.
        const size_t remaining = total - produced;
        const bool stored = streamSize == remaining;
        const size_t outBytes = stored ? remaining : remaining < blockSize ? remaining : blockSize;
        if (!each(Record{in + at, streamSize, produced, outBytes, stored})) return false;
        at += streamSize;
        produced += outBytes;
    }
    return at == inSize;
}

}  // namespace

uint32_t LzmsCrc32(const uint8_t* data, size_t size, uint32_t crc) noexcept {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = Crc32Update(crc, data[i]);
    return ~crc;
}

uint8_t LzmsHeaderCheckByte(const uint8_t header[kLzmsBufferHeaderSize]) noexcept {
    const uint32_t front = LzmsCrc32(header, kLzmsBufferCheckByteOffset);
    const uint32_t crc = LzmsCrc32(header + kLzmsBufferCheckByteOffset + 1,
                                   kLzmsBufferHeaderSize - kLzmsBufferCheckByteOffset - 1, front);
    return static_cast<uint8_t>(crc);
}

void LzmsWriteHeader(uint8_t header[kLzmsBufferHeaderSize], uint64_t uncompressedSize,
                     uint64_t blockSize) noexcept {
    for (size_t i = 0; i < sizeof kLzmsBufferMagic; ++i) header[i] = kLzmsBufferMagic[i];
    header[4] = static_cast<uint8_t>(kHeaderLength);
    header[5] = static_cast<uint8_t>(kHeaderLength >> 8);
    header[7] = kLzmsBufferAlgorithm;
    Put64(header + 8, uncompressedSize);
    Put64(header + 16, blockSize);
    header[kLzmsBufferCheckByteOffset] = LzmsHeaderCheckByte(header);
}

bool LzmsBufferUncompressedSize(const uint8_t* in, size_t inSize, uint64_t* uncompressedSize) noexcept {
    Header h;
    if (!ParseHeader(in, inSize, h)) return false;
    if (uncompressedSize != nullptr) *uncompressedSize = h.uncompressedSize;
    return true;
}

bool LzmsDecompressBuffer(LzmsDecompressor* decompressor, const uint8_t* in, size_t inSize,
                          uint8_t* out, size_t outCapacity, size_t* written) noexcept {
    if (written != nullptr) *written = 0;
    if (decompressor == nullptr || out == nullptr) return false;
    Header h;
    if (!ParseHeader(in, inSize, h)) return false;
    if (h.uncompressedSize > outCapacity) return false;
    const bool decoded = WalkRecords(in, inSize, h, [&](const Record& r) {
        if (r.stored) {
            std::memcpy(out + r.outAt, r.stream, r.outBytes);
            return true;
        }
        return LzmsDecompressBlock(decompressor, r.stream, r.streamSize, out + r.outAt, r.outBytes);
    });
    if (!decoded) return false;
    if (written != nullptr) *written = static_cast<size_t>(h.uncompressedSize);
    return true;
}

bool LzmsBufferCountRecords(const uint8_t* in, size_t inSize, size_t* records, size_t* stored) noexcept {
    size_t all = 0, raw = 0;
    const auto count = [&](const Record& r) {
        ++all;
        raw += r.stored;
        return true;
    };
    Header h;
    const bool ok = ParseHeader(in, inSize, h) && WalkRecords(in, inSize, h, count);
    if (records != nullptr) *records = ok ? all : 0;
    if (stored != nullptr) *stored = ok ? raw : 0;
    return ok;
}
