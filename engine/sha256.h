// SHA-256 (FIPS 180-4), one-shot over a buffer in memory: the digest the
// payload archive records of each file. Pure code (no Windows header): the
// setup program, the packer, the tests and the fuzzer hash with the same
// functions.
//
// On x86-64 CPUs with the SHA extensions (Intel since Ice Lake and Goldmont,
// AMD since Zen) the rounds run on them, five to ten times faster than the
// portable rounds (1.1-1.3 ms against 6.1-12.6 ms for 1.6 MB under Wine,
// bench/digest_bench.cpp); elsewhere the portable rounds give the same digest.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kSha256Size = 32;

void Sha256(const uint8_t* data, size_t size, uint8_t digest[kSha256Size]) noexcept;

// The same digest from the portable rounds, whatever the CPU (tests, bench).
void Sha256Portable(const uint8_t* data, size_t size, uint8_t digest[kSha256Size]) noexcept;

// Whether Sha256 runs on the CPU's SHA extensions.
bool Sha256UsesShaExtensions() noexcept;
