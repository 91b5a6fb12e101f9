// Shared inputs and references for the LZMS codec tests: deterministic test
// data, real x86-64 PE files found on the machine, and wimlib's own LZMS
// compressor and decompressor used as the reference implementation.
#pragma once

#include <wimlib.h>

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace lzms_test {

using Bytes = std::vector<uint8_t>;

// Raw mt19937 output: the same bytes on every standard library.
inline Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes b(size);
    for (uint8_t& x : b) x = static_cast<uint8_t>(random() >> 24);
    return b;
}

// English-like text from a small vocabulary: many matches, skewed literals.
inline Bytes Text(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"the ", "tray ", "icon ", "setup ", "program ", "installs ",
                                         "a ", "small ", "application ", "and ", "its ", "licence. ",
                                         "Velmo ", "Tulve ", "starts ", "with ", "Windows, ", "quietly\n"};
    std::mt19937 random(seed);
    Bytes b;
    b.reserve(size);
    while (b.size() < size) {
        const char* w = kWords[random() % (sizeof kWords / sizeof kWords[0])];
        b.insert(b.end(), w, w + std::strlen(w));
    }
    b.resize(size);
    return b;
}

// Little-endian 16- and 32-bit ramps with a slowly changing step: data that
// delta matches are made for.
inline Bytes Ramps(size_t size) {
    Bytes b(size);
    for (size_t i = 0; i + 4 <= size; i += 4) {
        const uint32_t v = static_cast<uint32_t>((i / 4) * (3 + (i / 40000)));
        if ((i / 20000) % 2 == 0) {
            b[i] = static_cast<uint8_t>(v);
            b[i + 1] = static_cast<uint8_t>(v >> 8);
            b[i + 2] = static_cast<uint8_t>(v >> 16);
            b[i + 3] = static_cast<uint8_t>(v >> 24);
        } else {
            const uint16_t lo = static_cast<uint16_t>(v * 5), hi = static_cast<uint16_t>(v * 7);
            b[i] = static_cast<uint8_t>(lo);
            b[i + 1] = static_cast<uint8_t>(lo >> 8);
            b[i + 2] = static_cast<uint8_t>(hi);
            b[i + 3] = static_cast<uint8_t>(hi >> 8);
        }
    }
    return b;
}

// Code-like bytes: E8/E9/FF 15/48 8D 05 instructions whose relative targets
// repeat, so that the compressor's x86 translation fires.
inline Bytes FakeX86(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes b;
    b.reserve(size + 16);
    const uint32_t targets[] = {0x1000, 0x2400, 0x3000, 0x8000};
    while (b.size() < size) {
        const uint32_t here = static_cast<uint32_t>(b.size());
        const uint32_t target = targets[random() % 4];
        uint32_t rel = target - here;
        switch (random() % 5) {
        case 0: b.push_back(0xE8); break;
        case 1: b.push_back(0xE9); break;
        case 2: b.insert(b.end(), {0xFF, 0x15}); break;
        case 3: b.insert(b.end(), {0x48, 0x8D, 0x05}); break;
        default: b.insert(b.end(), {0x48, 0x8B, 0x05}); break;
        }
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(rel >> (8 * k)));
        for (uint32_t k = random() % 6; k > 0; --k) b.push_back(static_cast<uint8_t>(0x90 + random() % 8));
    }
    b.resize(size);
    return b;
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline bool IsPe64(const Bytes& b) {
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return false;
    const uint32_t pe = b[0x3C] | (b[0x3D] << 8) | (b[0x3E] << 16) | (uint32_t{b[0x3F]} << 24);
    if (pe > b.size() - 26) return false;
    return std::memcmp(&b[pe], "PE\0\0", 4) == 0 && b[pe + 4] == 0x64 && b[pe + 5] == 0x86;  // x86-64
}

struct NamedFile {
    std::string path;
    Bytes bytes;
};

// Up to `count` x86-64 PE files of minBytes..maxBytes from Wine's 64-bit
// Windows folder, by name order so that a machine always picks the same.
inline std::vector<NamedFile> WinePeFiles(size_t count, size_t minBytes, size_t maxBytes) {
    const std::string folder = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string n = e->d_name;
            if (n.size() > 4 && (n.ends_with(".dll") || n.ends_with(".exe"))) names.push_back(n);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<NamedFile> found;
    for (const std::string& n : names) {
        if (found.size() == count) break;
        std::ifstream probe(folder + n, std::ios::binary | std::ios::ate);
        const auto size = static_cast<size_t>(probe.tellg());
        if (!probe || size < minBytes || size > maxBytes) continue;
        Bytes b = ReadFile(folder + n);
        if (IsPe64(b)) found.push_back({folder + n, std::move(b)});
    }
    return found;
}

struct WimlibCompressorDeleter {
    void operator()(wimlib_compressor* c) const { wimlib_free_compressor(c); }
};
struct WimlibDecompressorDeleter {
    void operator()(wimlib_decompressor* d) const { wimlib_free_decompressor(d); }
};

// One raw LZMS stream from wimlib (empty if it cannot make one).
inline Bytes WimlibCompress(const Bytes& in, unsigned level = 0) {
    wimlib_compressor* raw = nullptr;
    if (in.empty() || wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_LZMS, in.size(), level, &raw) != 0) return {};
    std::unique_ptr<wimlib_compressor, WimlibCompressorDeleter> c(raw);
    Bytes out(in.size() * 2 + 4096);
    out.resize(wimlib_compress(in.data(), in.size(), out.data(), out.size(), c.get()));
    return out;
}

// wimlib's decoding of one raw LZMS stream into `size` bytes.
inline bool WimlibDecompress(const uint8_t* in, size_t inSize, size_t size, Bytes& out) {
    wimlib_decompressor* raw = nullptr;
    if (wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_LZMS, size, &raw) != 0) return false;
    std::unique_ptr<wimlib_decompressor, WimlibDecompressorDeleter> d(raw);
    Bytes aligned(in, in + inSize);  // wimlib wants 2-byte aligned input
    out.assign(size, 0);
    return wimlib_decompress(aligned.data(), aligned.size(), out.data(), size, d.get()) == 0;
}

}  // namespace lzms_test
