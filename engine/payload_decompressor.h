// Decompression of the payload's stored bytes (buffer-mode LZMS streams).
// Windows decodes them with the Compression API in cabinet.dll, loaded from
// System32 at run time; where it is missing (Wine), or where it does not give
// back the file as packed, the built-in decoder decodes the very same bytes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct LzmsDecompressor;

enum PayloadDecoder { PayloadDecoderNone, PayloadDecoderCompressionApi, PayloadDecoderBuiltIn };

// Owns one decompressor of either kind; closes it on scope exit.
class PayloadDecompressor {
public:
    PayloadDecompressor() = default;
    ~PayloadDecompressor();
    PayloadDecompressor(const PayloadDecompressor&) = delete;
    PayloadDecompressor& operator=(const PayloadDecompressor&) = delete;

    // Chooses the Compression API when cabinet.dll exports it, else the
    // built-in decoder, which it makes in either case. False when neither
    // can be set up.
    bool Open();
    // Decodes one stored stream into `out` (capacity `outCapacity`) with
    // `decoder`: the Compression API (reset first) when Open found it, or the
    // built-in decoder, which Open makes in either case, for a stream the API
    // did not give back as packed. `written` receives the bytes produced.
    bool Decompress(PayloadDecoder decoder, const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity,
                    size_t& written);
    // The decoder Open chose.
    PayloadDecoder kind() const { return kind_; }

private:
    using CreateFn = BOOL(WINAPI*)(DWORD, void*, void**);
    using DecompressFn = BOOL(WINAPI*)(void*, const void*, SIZE_T, void*, SIZE_T, SIZE_T*);
    using HandleFn = BOOL(WINAPI*)(void*);

    PayloadDecoder kind_ = PayloadDecoderNone;
    HMODULE cabinet_ = nullptr;
    void* handle_ = nullptr;
    DecompressFn decompress_ = nullptr;
    HandleFn reset_ = nullptr;
    HandleFn close_ = nullptr;
    LzmsDecompressor* builtIn_ = nullptr;
};
