// A stand-in for the Compression API of cabinet.dll, which Wine lacks, so
// that the setup program's Compression API path runs under Wine. It decodes
// with the built-in decoder and writes every call to the file named by
// VT_FAKE_CABINET_LOG. VT_FAKE_CABINET_MODE makes Decompress disagree with
// the packer, as a platform decoder that reads the framing otherwise would:
// "fail" returns FALSE, "short" reports one byte fewer than it produced,
// "wrong" gives the full size of other bytes.
#include "engine/lzms_buffer.h"
#include "engine/lzms_decoder.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void Log(const std::string& line) {
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"VT_FAKE_CABINET_LOG", path, MAX_PATH)) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring Mode() {
    wchar_t mode[16] = {};
    GetEnvironmentVariableW(L"VT_FAKE_CABINET_MODE", mode, 16);
    return mode;
}

}  // namespace

extern "C" {

__declspec(dllexport) BOOL WINAPI CreateDecompressor(DWORD algorithm, void* routines, void** handle) {
    Log("CreateDecompressor " + std::to_string(algorithm) + (routines ? " routines" : " default"));
    if (algorithm != 5 || !handle) return FALSE;
    *handle = LzmsCreateDecompressor();
    return *handle != nullptr;
}

__declspec(dllexport) BOOL WINAPI ResetDecompressor(void* handle) {
    Log("ResetDecompressor");
    return handle != nullptr;
}

__declspec(dllexport) BOOL WINAPI Decompress(void* handle, const void* in, SIZE_T inSize, void* out, SIZE_T outSize,
                                             SIZE_T* written) {
    size_t produced = 0;
    bool ok = LzmsDecompressBuffer(static_cast<LzmsDecompressor*>(handle), static_cast<const uint8_t*>(in), inSize,
                                   static_cast<uint8_t*>(out), outSize, &produced);
    const std::wstring mode = Mode();
    if (ok && mode == L"fail") ok = false, produced = 0;
    if (ok && mode == L"short" && produced > 0) --produced;
    if (ok && mode == L"wrong") {
        for (size_t i = 0; i < produced; ++i) static_cast<uint8_t*>(out)[i] ^= 0x5A;
    }
    Log("Decompress " + std::to_string(inSize) + " " + std::to_string(outSize) + " -> " +
        (ok ? std::to_string(produced) : std::string("FALSE")));
    if (written) *written = produced;
    return ok;
}

__declspec(dllexport) BOOL WINAPI CloseDecompressor(void* handle) {
    Log("CloseDecompressor");
    LzmsFreeDecompressor(static_cast<LzmsDecompressor*>(handle));
    return TRUE;
}

}  // extern "C"
