// The payload digest's cost, under Wine or on Windows: SHA-256 of a file on
// the SHA extensions (what the setup program takes where the CPU has them),
// on the portable rounds, and through BCrypt, each the median of RUNS.
//   wine build/windows/digest_bench.exe FILE [RUNS]
// Built with the setup program's flags (setup_core, -Oz).
#include "bench/bench_clock.h"
#include "engine/sha256.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using OpenFn = LONG(WINAPI*)(void**, const wchar_t*, const wchar_t*, ULONG);
using HashFn = LONG(WINAPI*)(void*, UCHAR*, ULONG, UCHAR*, ULONG, UCHAR*, ULONG);

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return fprintf(stderr, "usage: digest_bench FILE [RUNS]\n"), 2;
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int runs = argc > 2 ? atoi(argv[2]) : 31;
    uint8_t fast[kSha256Size], portable[kSha256Size], bcrypt[kSha256Size] = {};

    printf("%zu bytes, median of %d runs\n", file.size(), runs);
    printf("SHA extensions (%s): %.3f ms\n", Sha256UsesShaExtensions() ? "used" : "absent: portable rounds",
           MedianMs(runs, [&] { Sha256(file.data(), file.size(), fast); }));
    printf("portable rounds: %.3f ms\n", MedianMs(runs, [&] { Sha256Portable(file.data(), file.size(), portable); }));
    HMODULE library = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto open =
        reinterpret_cast<OpenFn>(reinterpret_cast<void*>(GetProcAddress(library, "BCryptOpenAlgorithmProvider")));
    const auto hash = reinterpret_cast<HashFn>(reinterpret_cast<void*>(GetProcAddress(library, "BCryptHash")));
    void* algorithm = nullptr;
    if (open && hash && open(&algorithm, L"SHA256", nullptr, 0) == 0) {
        printf("BCryptHash: %.3f ms\n", MedianMs(runs, [&] {
                   hash(algorithm, nullptr, 0, file.data(), ULONG(file.size()), bcrypt, kSha256Size);
               }));
    }
    const bool agree =
        memcmp(fast, portable, kSha256Size) == 0 && (!algorithm || memcmp(fast, bcrypt, kSha256Size) == 0);
    printf("digests %s\n", agree ? "agree" : "DIFFER");
    return agree ? 0 : 1;
}
