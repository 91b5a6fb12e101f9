#include "engine/payload_decompressor.h"

#include "engine/lzms_buffer.h"
#include "engine/lzms_decoder.h"
#include "setup/system_library.h"

namespace {
constexpr DWORD kCompressAlgorithmLzms = 5;
}

PayloadDecompressor::~PayloadDecompressor() {
    if (handle_ && close_) close_(handle_);
    if (cabinet_) FreeLibrary(cabinet_);
    LzmsFreeDecompressor(builtIn_);
}

bool PayloadDecompressor::Open() {
    // Made whichever decoder is chosen: it also decodes what the API does not
    // give back as packed (and one place that makes it keeps the program small).
    builtIn_ = LzmsCreateDecompressor();
    // Never imported at load time: a program that imports these does not even
    // start where cabinet.dll lacks them.
    cabinet_ = LoadSystemLibrary(L"cabinet.dll");
    const auto create = SystemProc<CreateFn>(cabinet_, "CreateDecompressor");
    decompress_ = SystemProc<DecompressFn>(cabinet_, "Decompress");
    reset_ = SystemProc<HandleFn>(cabinet_, "ResetDecompressor");
    close_ = SystemProc<HandleFn>(cabinet_, "CloseDecompressor");
    if (create && decompress_ && reset_ && close_) {
        void* handle = nullptr;
        if (create(kCompressAlgorithmLzms, nullptr, &handle) && handle) {
            handle_ = handle;
            kind_ = PayloadDecoderCompressionApi;
            return true;
        }
    }
    handle_ = nullptr;
    kind_ = PayloadDecoderBuiltIn;
    return builtIn_ != nullptr;
}

bool PayloadDecompressor::Decompress(PayloadDecoder decoder, const uint8_t* in, size_t inSize, uint8_t* out,
                                     size_t outCapacity, size_t& written) {
    written = 0;
    if (decoder == PayloadDecoderCompressionApi) {
        if (!handle_) return false;
        reset_(handle_);
        SIZE_T produced = 0;
        if (!decompress_(handle_, in, inSize, out, outCapacity, &produced)) return false;
        written = produced;
        return true;
    }
    return builtIn_ && LzmsDecompressBuffer(builtIn_, in, inSize, out, outCapacity, &written);
}
