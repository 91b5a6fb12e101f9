// Packer side of the payload's LZMS buffer format (layout in
// engine/lzms_buffer.h): wimlib's LZMS compressor, whose output is the LZMS
// that Windows decodes, wrapped in the buffer-mode framing. Host only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Largest input accepted: the largest block a configured LZMS compressor
// takes, 64 MiB.
inline constexpr size_t kLzmsMaxCompressInput = size_t{64} << 20;

// Turns bytes into the buffer-mode stream. blockSize 0 means "the whole input
// as one block" (the default, and what compresses best); otherwise it must be
// 65,536..67,108,864. compressionLevel is wimlib's (0: its default, 50;
// lower is faster); it changes the size of the result, never its format.
// Where LZMS does not make the rest of the input smaller (incompressible
// data, and blocks of 1 to 3 bytes, which wimlib cannot compress), the rest
// is stored as it is, in one record as long as the rest: the framing reads
// such a record as stored bytes, so no LZMS stream of that length is ever
// written. Refuses, with false and an English message in `error`: an empty
// input, an input over 64 MiB and a block size out of range. Same input and
// settings give the same bytes. `out` is replaced.
bool LzmsCompressBuffer(const uint8_t* in, size_t n, size_t blockSize, std::vector<uint8_t>& out,
                        std::string& error, unsigned compressionLevel = 0);
