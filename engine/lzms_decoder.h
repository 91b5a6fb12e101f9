// LZMS block decompressor: turns one independent LZMS stream back into the
// bytes it was made from. The setup program's payload is stored as LZMS
// blocks (see lzms_buffer.h for the framing around them); this is the codec
// that unpacks each block. Pure C++, no Windows header, no exceptions, no
// global mutable state: every call works only on the LzmsDecompressor it is
// given, so separate decompressors may be used from separate threads.
#pragma once

#include <cstddef>
#include <cstdint>

// Largest block this decoder accepts. LZMS offsets cannot reach further back
// than 1,180,427,428 bytes, so no stream can describe a longer block.
inline constexpr size_t kLzmsMaxBlockBytes = 1180427429;

// Opaque working state: adaptive probabilities, Huffman decode tables and
// the x86 filter's history, about 300 KiB. Reusable for any number of blocks.
struct LzmsDecompressor;

// nullptr when the working state cannot be allocated.
LzmsDecompressor* LzmsCreateDecompressor() noexcept;

// Accepts nullptr.
void LzmsFreeDecompressor(LzmsDecompressor* decompressor) noexcept;

// Decodes the LZMS stream in[0, inSize) into exactly outSize bytes at out
// (outSize must be at least 1 and at most kLzmsMaxBlockBytes). Returns false
// on any malformed input; out may then hold anything. Never reads or
// writes outside the two buffers, whatever the input.
bool LzmsDecompressBlock(LzmsDecompressor* decompressor, const uint8_t* in, size_t inSize,
                         uint8_t* out, size_t outSize) noexcept;
