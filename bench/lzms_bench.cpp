// LZMS decode throughput: our decoder against wimlib's on the same streams,
// in one run, as MB/s of output and as a ratio (above 1: ours is faster).
//
//   lzms_bench [FILE] [REPEATS]
//
// FILE defaults to the x86-64 PE in Wine's 64-bit Windows folder closest to
// 1.6 MB. It is packed by our packer (wimlib's compressor, default level)
// once as a single block and once as 64 KiB blocks; each case is decoded
// REPEATS times (default 101) by both decoders, alternately, and the medians
// are reported. Every decode is checked against the file.
#include "engine/lzms_buffer.h"
#include "engine/lzms_decoder.h"
#include "tests/host/lzms_test_support.h"
#include "tools/vtpack/lzms_compress.h"

#include <wimlib.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

using lzms_test::IsPe64;
using lzms_test::ReadFile;

std::string DefaultFile() {
    const std::string folder = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
    const long long target = 1600000;
    std::vector<std::pair<long long, std::string>> candidates;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            struct stat st;
            if (name[0] == '.' || stat((folder + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            candidates.emplace_back(std::llabs(static_cast<long long>(st.st_size) - target), folder + name);
        }
        closedir(dir);
    }
    std::sort(candidates.begin(), candidates.end());
    for (const auto& c : candidates)
        if (IsPe64(ReadFile(c.second))) return c.second;
    return {};
}

uint32_t Get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }

struct Record {
    const uint8_t* stream;
    size_t streamSize;
    size_t outSize;
};

// Block records of a buffer we made ourselves (so already known to be sound).
std::vector<Record> Records(const std::vector<uint8_t>& stored, size_t total, size_t block) {
    std::vector<Record> records;
    size_t at = kLzmsBufferHeaderSize;
    for (size_t done = 0; done < total; done += block) {
        const size_t len = Get32(&stored[at]);
        records.push_back({&stored[at + 4], len, std::min(block, total - done)});
        at += 4 + len;
    }
    return records;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool RunCase(const char* name, const std::vector<uint8_t>& input, size_t blockSize, int repeats) {
    std::vector<uint8_t> stored;
    std::string error;
    if (!LzmsCompressBuffer(input.data(), input.size(), blockSize, stored, error)) {
        std::fprintf(stderr, "lzms_bench: %s\n", error.c_str());
        return false;
    }
    const size_t block = blockSize == 0 ? input.size() : std::min(blockSize, input.size());
    const std::vector<Record> records = Records(stored, input.size(), block);
    // wimlib wants 2-byte aligned streams: give it an aligned copy of each.
    std::vector<std::vector<uint16_t>> aligned;
    for (const Record& r : records) {
        aligned.emplace_back((r.streamSize + 1) / 2);
        std::memcpy(aligned.back().data(), r.stream, r.streamSize);
    }

    LzmsDecompressor* ours = LzmsCreateDecompressor();
    wimlib_decompressor* theirs = nullptr;
    if (ours == nullptr || wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_LZMS, block, &theirs) != 0) {
        std::fprintf(stderr, "lzms_bench: cannot create the decompressors\n");
        return false;
    }
    std::vector<uint8_t> out(input.size());
    std::vector<double> oursTimes, theirTimes, ratios;
    bool ok = true;
    for (int k = 0; k < repeats && ok; ++k) {
        std::memset(out.data(), 0, out.size());
        const auto t0 = Clock::now();
        size_t written = 0;
        ok = LzmsDecompressBuffer(ours, stored.data(), stored.size(), out.data(), out.size(), &written);
        const auto t1 = Clock::now();
        ok = ok && written == input.size() && out == input;

        std::memset(out.data(), 0, out.size());
        const auto t2 = Clock::now();
        size_t at = 0;
        for (size_t i = 0; i < records.size() && ok; ++i) {
            ok = wimlib_decompress(aligned[i].data(), records[i].streamSize, out.data() + at, records[i].outSize,
                                   theirs) == 0;
            at += records[i].outSize;
        }
        const auto t3 = Clock::now();
        ok = ok && out == input;

        oursTimes.push_back(std::chrono::duration<double>(t1 - t0).count());
        theirTimes.push_back(std::chrono::duration<double>(t3 - t2).count());
        ratios.push_back(theirTimes.back() / oursTimes.back());
    }
    LzmsFreeDecompressor(ours);
    wimlib_free_decompressor(theirs);
    if (!ok) {
        std::fprintf(stderr, "lzms_bench: %s: a decode did not give back the input\n", name);
        return false;
    }
    const double mb = static_cast<double>(input.size()) / 1e6;
    std::printf("%-14s %3zu block(s), %9zu -> %8zu bytes: ours %7.1f MB/s, wimlib %7.1f MB/s, ratio %.3f\n", name,
                records.size(), input.size(), stored.size(), mb / Median(oursTimes), mb / Median(theirTimes),
                Median(ratios));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : DefaultFile();
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 101;
    if (path.empty() || repeats < 1) {
        std::fprintf(stderr, "usage: lzms_bench [FILE] [REPEATS]\n(no x86-64 PE found in Wine's folder)\n");
        return 2;
    }
    const std::vector<uint8_t> input = ReadFile(path);
    if (input.empty()) {
        std::fprintf(stderr, "lzms_bench: cannot read %s\n", path.c_str());
        return 2;
    }
    std::printf("%s, %zu bytes, median of %d decodes each (ratio = wimlib time / our time)\n", path.c_str(),
                input.size(), repeats);
    const bool ok = RunCase("one block", input, 0, repeats) && RunCase("64 KiB blocks", input, 65536, repeats);
    return ok ? 0 : 1;
}
