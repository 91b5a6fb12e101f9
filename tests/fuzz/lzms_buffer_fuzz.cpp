// libFuzzer target for the LZMS codec, built with ASan/UBSan.
//
// Every input is tried two ways:
//   1. as a whole buffer-mode stream (LzmsDecompressBuffer), into a buffer of
//      exactly the announced size when that is at most 1 MiB;
//   2. as one raw LZMS block (LzmsDecompressBlock): the first two bytes give
//      the output size (1..65536), the rest is the stream. For sizes of three
//      bytes or more wimlib's decoder runs on the same stream, and the two
//      must agree on success and on every output byte.
// Outputs are heap buffers of exactly the decoded size, so that ASan reports
// any write or read past them.
#include "engine/lzms_buffer.h"
#include "engine/lzms_decoder.h"

#include <wimlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint64_t kLargestBufferOutput = 1 << 20;

LzmsDecompressor* Decompressor() {
    static LzmsDecompressor* const d = LzmsCreateDecompressor();
    if (d == nullptr) std::abort();
    return d;
}

void TryBuffer(const uint8_t* data, size_t size) {
    uint64_t announced = 0;
    size_t capacity = 4096;
    if (LzmsBufferUncompressedSize(data, size, &announced) && announced <= kLargestBufferOutput)
        capacity = static_cast<size_t>(announced);
    std::vector<uint8_t> out(capacity);
    size_t written = 1;
    const bool ok = LzmsDecompressBuffer(Decompressor(), data, size, out.data(), out.size(), &written);
    if (ok ? written != announced : written != 0) std::abort();
}

void TryBlock(const uint8_t* data, size_t size) {
    if (size < 2) return;
    const size_t outSize = 1 + (data[0] | (size_t{data[1]} << 8));
    // Copies at exact sizes so that ASan bounds both buffers.
    std::vector<uint8_t> stream(data + 2, data + size);
    std::vector<uint8_t> ours(outSize);
    const bool oursOk = LzmsDecompressBlock(Decompressor(), stream.data(), stream.size(), ours.data(), outSize);
    // wimlib's codes for blocks of one or two bytes have fewer than two
    // symbols and are not comparable.
    if (outSize < 3) return;
    wimlib_decompressor* w = nullptr;
    if (wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_LZMS, outSize, &w) != 0) std::abort();
    std::vector<uint8_t> theirs(outSize);
    const bool theirsOk = wimlib_decompress(stream.data(), stream.size(), theirs.data(), outSize, w) == 0;
    wimlib_free_decompressor(w);
    if (oursOk != theirsOk) std::abort();
    if (oursOk && ours != theirs) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TryBuffer(data, size);
    TryBlock(data, size);
    return 0;
}
