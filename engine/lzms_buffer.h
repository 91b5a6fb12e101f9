// Buffer-mode LZMS framing: the byte stream that the Windows Compression
// API's Compress writes for LZMS in buffer mode, which is how the setup
// program's payload files are stored. A 24-byte header is followed by one
// record per block, each an independent LZMS stream (see lzms_decoder.h).
//
//   | offset | size | content                                                  |
//   |--------|------|----------------------------------------------------------|
//   | 0      | 4    | 0A 51 E5 C0                                              |
//   | 4      | 2    | u16 header length, 24                                    |
//   | 6      | 1    | low byte of CRC-32 over bytes 0-5 then 7-23              |
//   | 7      | 1    | algorithm, 5 = LZMS                                      |
//   | 8      | 8    | u64 uncompressed size                                    |
//   | 16     | 8    | u64 block size (the uncompressed size if that is less)   |
//   | 24     | ...  | per block: u32 stream length, then the LZMS stream       |
//
// All integers are little-endian. Every block is block-size bytes long except
// possibly the last. A record whose length equals all the output still to
// come holds those bytes as they are (stored, not compressed) and ends the
// buffer: that is how the platform's decoder reads it, so a packer never
// writes an LZMS stream of that length. Pure C++: shared by the setup program
// and the packer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/lzms_decoder.h"

inline constexpr uint8_t kLzmsBufferMagic[4] = {0x0A, 0x51, 0xE5, 0xC0};
inline constexpr size_t kLzmsBufferHeaderSize = 24;
inline constexpr size_t kLzmsBufferCheckByteOffset = 6;
inline constexpr uint8_t kLzmsBufferAlgorithm = 5;
// Block sizes a configured LZMS compressor accepts.
inline constexpr uint64_t kLzmsMinConfiguredBlockSize = 65536;
inline constexpr uint64_t kLzmsMaxConfiguredBlockSize = 64ull << 20;
// Bytes in front of each block's stream: its u32 length.
inline constexpr size_t kLzmsBlockRecordHeaderSize = 4;

// The standard CRC-32 (reflected 0xEDB88320, as zlib's crc32): `crc` is the
// value so far, 0 to start, so that calls can be chained.
uint32_t LzmsCrc32(const uint8_t* data, size_t size, uint32_t crc = 0) noexcept;

// The header's check byte: the low byte of the CRC-32 of the 23 header bytes
// other than byte 6 itself, taken in order.
uint8_t LzmsHeaderCheckByte(const uint8_t header[kLzmsBufferHeaderSize]) noexcept;

// Writes a complete header, check byte included.
void LzmsWriteHeader(uint8_t header[kLzmsBufferHeaderSize], uint64_t uncompressedSize,
                     uint64_t blockSize) noexcept;

// Validates the header alone and gives the uncompressed size, so that a
// caller can size the output before decoding. Same rules as below.
bool LzmsBufferUncompressedSize(const uint8_t* in, size_t inSize, uint64_t* uncompressedSize) noexcept;

// Mirrors the Compression API's Decompress in buffer mode. Fails (false) on
// any of:
//   - fewer than 24 bytes, wrong magic, header length other than 24, a check
//     byte that does not match, an algorithm other than 5;
//   - an uncompressed size of 0 (no block size can then be valid);
//   - a block size that is 0, above 64 MiB, above the uncompressed size, or
//     below 65,536 without being equal to the uncompressed size (a configured
//     size is at least 65,536; only a file smaller than the configured size
//     puts its own size here);
//   - an uncompressed size above outCapacity;
//   - a block record whose length field does not fit in the input, whose
//     length is 0 or runs past the input, or whose stream does not decode to
//     exactly its block's size (a stored record needs no decoding);
//   - any byte after the last block's record (strict: a well-formed buffer
//     ends exactly there, and the payload reader knows each stream's extent).
// On success exactly the header's uncompressed size has been written to out
// and *written (if not null) receives it; on failure *written is 0 and out's
// content is then meaningless.
bool LzmsDecompressBuffer(LzmsDecompressor* decompressor, const uint8_t* in, size_t inSize,
                          uint8_t* out, size_t outCapacity, size_t* written) noexcept;

// Counts the block records of a well-formed buffer and how many of them are
// stored, by the decoder's rules but without decoding; false when the framing
// is not well formed.
bool LzmsBufferCountRecords(const uint8_t* in, size_t inSize, size_t* records, size_t* stored) noexcept;
