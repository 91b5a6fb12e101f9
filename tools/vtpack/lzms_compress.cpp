// LZMS buffer-mode packer: splits the input into blocks, has wimlib compress
// each into an independent LZMS stream and frames the streams the way
// engine/lzms_buffer.cpp reads them.

#include "tools/vtpack/lzms_compress.h"

#include <wimlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/lzms_buffer.h"

namespace {

// wimlib's LZMS compressor has no stream for fewer bytes than this: such a
// block is stored.
constexpr size_t kSmallestCompressibleBlock = 4;

struct CompressorDeleter {
    void operator()(wimlib_compressor* c) const { wimlib_free_compressor(c); }
};

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool LzmsCompressBuffer(const uint8_t* in, size_t n, size_t blockSize, std::vector<uint8_t>& out,
                        std::string& error, unsigned compressionLevel) {
    out.clear();
    error.clear();
    if (in == nullptr || n == 0) {
        error = "nothing to compress: the input is empty";
        return false;
    }
    if (n > kLzmsMaxCompressInput) {
        error = "input of " + std::to_string(n) + " bytes is larger than the 67,108,864-byte (64 MiB) maximum";
        return false;
    }
    if (blockSize != 0 && (blockSize < kLzmsMinConfiguredBlockSize || blockSize > kLzmsMaxConfiguredBlockSize)) {
        error = "block size " + std::to_string(blockSize) +
                " is out of range: it must be 0 (whole input) or from 65,536 to 67,108,864 bytes";
        return false;
    }
    if (compressionLevel > 0x7FFFFFFFu) {
        error = "compression level " + std::to_string(compressionLevel) + " is out of range";
        return false;
    }

    // The header's block size is the configured one, or the input size when
    // that is smaller; blocks are that long except possibly the last.
    const size_t block = (blockSize == 0 || blockSize > n) ? n : blockSize;
    out.resize(kLzmsBufferHeaderSize);
    LzmsWriteHeader(out.data(), n, block);

    std::unique_ptr<wimlib_compressor, CompressorDeleter> compressor;
    std::vector<uint8_t> stream;
    for (size_t at = 0; at < n; at += block) {
        const size_t size = n - at < block ? n - at : block;
        const size_t remaining = n - at;
        // Incompressible data comes out a little larger than it went in, so
        // the first try allows an eighth more, the second twice the block.
        size_t made = 0;
        if (size >= kSmallestCompressibleBlock) {
            if (!compressor) {
                wimlib_compressor* raw = nullptr;
                const int rc = wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_LZMS, block, compressionLevel, &raw);
                if (rc != 0 || raw == nullptr) {
                    error = std::string("cannot create the LZMS compressor: ") +
                            wimlib_get_error_string(static_cast<wimlib_error_code>(rc));
                    out.clear();
                    return false;
                }
                compressor.reset(raw);
            }
            for (const size_t room : {size + size / 8 + 1024, 2 * size + 4096}) {
                stream.resize(room);
                made = wimlib_compress(in + at, size, stream.data(), stream.size(), compressor.get());
                if (made != 0) break;
            }
        }
        // A record as long as everything still to come is read as those bytes
        // themselves, so a stream of that length (or longer, or none at all)
        // gives way to the rest stored as it is, which is never larger.
        const bool store = made == 0 || made >= remaining;
        const uint8_t* const bytes = store ? in + at : stream.data();
        const size_t length = store ? remaining : made;
        const size_t record = out.size();
        out.resize(record + kLzmsBlockRecordHeaderSize + length);
        Put32(out.data() + record, static_cast<uint32_t>(length));
        std::copy(bytes, bytes + length, out.begin() + static_cast<std::ptrdiff_t>(record + kLzmsBlockRecordHeaderSize));
        if (store) break;
    }
    return true;
}
