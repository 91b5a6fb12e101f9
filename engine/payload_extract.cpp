// Payload extraction: every check of the archive, one decompressor for both
// entries, both files decoded and checked against their digests in memory
// before the disk is touched, then each file replaced by temporary file and
// rename so that it exists either in its old form or in its complete new form.
#include "engine/payload_extract.h"

#include "engine/paths.h"
#include "setup/owners.h"
#include "setup/product.h"

#include <objbase.h>

#include <memory>
#include <new>

namespace {

PayloadDecoder lastDecoders[2];  // by PayloadFile

std::wstring WidenAscii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool Fail(std::wstring& errorText, const std::string& message) {
    errorText = WidenAscii(message);
    return false;
}

bool WriteWholeFile(const std::wstring& path, const uint8_t* data, size_t size) {
    HANDLE raw = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool wrote = size <= MAXDWORD && WriteFile(raw, data, DWORD(size), &written, nullptr) && written == size;
    // Closing is checked too: a failed close can mean the data never landed.
    const bool closed = CloseHandle(raw) != 0;
    return wrote && closed;
}

}  // namespace

PayloadDecoder LastPayloadDecoder(PayloadFile file) { return lastDecoders[file]; }

std::wstring MakeUniqueTempPath(const std::wstring& folder) {
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) return {};
    wchar_t text[40] = {};
    if (StringFromGUID2(guid, text, 40) == 0) return {};
    return JoinPath(folder, std::wstring(L".tulve-") + text + L".tmp");
}

// ".tulve-{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}.tmp", hex digits in either case.
bool IsTemporaryFileName(const wchar_t* name) {
    static constexpr wchar_t kShape[] = L".tulve-{********-****-****-****-************}.tmp";
    for (size_t i = 0; i < sizeof(kShape) / sizeof(kShape[0]); ++i) {
        const wchar_t c = name[i];
        if (kShape[i] != L'*') {
            if (c != kShape[i]) return false;
        } else if (!((c >= L'0' && c <= L'9') || ((c | 0x20) >= L'a' && (c | 0x20) <= L'f'))) {
            return false;
        }
    }
    return true;
}

void RemoveStrayTemporaryFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(FindFirstFileW(JoinPath(folder, L".tulve-*").c_str(), &data));
    if (!find) return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTemporaryFileName(data.cFileName)) {
            RemoveFile(JoinPath(folder, data.cFileName));
        }
    } while (FindNextFileW(find.get(), &data));
}

bool MoveOverTarget(const std::wstring& temporary, const std::wstring& target) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(target.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    }
    ULONGLONG firstFailure = 0;
    do {
        if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
    } while (WaitWhileFileBusy(firstFailure));
    // Still held: RemoveFile waits for the temporary file once more; beyond
    // that the next run removes it.
    RemoveFile(temporary);
    return false;
}

bool ReplaceFile(const std::wstring& folder, const std::wstring& target, const uint8_t* data, size_t size) {
    const std::wstring temporary = MakeUniqueTempPath(folder);
    if (temporary.empty()) return false;
    if (!WriteWholeFile(temporary, data, size)) {
        RemoveFile(temporary);
        return false;
    }
    return MoveOverTarget(temporary, target);
}

bool DecodePayloadBytes(const uint8_t* data, size_t size, DecodedPayload& payload, std::wstring& errorText) {
    PayloadEntry entries[2];
    const PayloadStatus status = PayloadReadArchive(data, size, entries);
    if (status != PayloadOk) return Fail(errorText, PayloadStatusMessage(status));

    PayloadDecompressor decompressor;
    if (!decompressor.Open()) return Fail(errorText, kPayloadMessageNoDecompressor);

    // Each size is at most 64 MiB: the sum cannot overflow.
    payload.bytes.reset(new (std::nothrow) uint8_t[size_t(entries[0].unpackedSize + entries[1].unpackedSize)]());
    uint8_t* buffer = payload.bytes.get();
    for (int index = 0; index < 2; ++index) {
        const PayloadEntry& entry = entries[index];
        const size_t unpackedSize = size_t(entry.unpackedSize);
        payload.size[index] = unpackedSize;
        payload.file[index] = entry.file;
        // The platform's decoder may read the framing otherwise than our
        // packer wrote it: what it does not give back as packed is decoded
        // again by the built-in decoder, whose outcome then stands.
        PayloadDecoder decoder = decompressor.kind();
        bool decoded, whole;
        for (;;) {
            size_t written = 0;
            decoded = buffer &&
                      decompressor.Decompress(decoder, entry.stored, size_t(entry.packedSize), buffer, unpackedSize,
                                              written) &&
                      written == unpackedSize;
            // Whichever decoder ran, a file is installed only as it was packed.
            whole = decoded && PayloadDigestMatches(entry, buffer, unpackedSize);
            if (whole || decoder == PayloadDecoderBuiltIn) break;
            decoder = PayloadDecoderBuiltIn;
        }
        lastDecoders[entry.file] = decoder;
        if (!decoded) return Fail(errorText, PayloadDecompressFailedMessage(entry.file));
        if (!whole) return Fail(errorText, kPayloadMessageDamaged);
        buffer += unpackedSize;
    }
    return true;
}

bool WritePayload(const DecodedPayload& payload, const std::wstring& folder, std::wstring& errorText) {
    if (!CreateFolderTree(folder)) return Fail(errorText, kPayloadMessageFolder);
    const uint8_t* bytes = payload.bytes.get();
    for (int index = 0; index < 2; ++index) {
        const std::wstring target = JoinPath(folder, WidenAscii(PayloadFileName(payload.file[index])));
        if (!ReplaceFile(folder, target, bytes, payload.size[index])) {
            return Fail(errorText, PayloadReplaceFailedMessage(payload.file[index]));
        }
        bytes += payload.size[index];
    }
    return true;
}

bool LoadPayloadFromModule(HMODULE module, DecodedPayload& payload, std::wstring& errorText) {
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(product::kPayloadResource), RT_RCDATA);
    if (!resource) return Fail(errorText, kPayloadMessageMissing);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* view = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(module, resource);
    if (!view) return Fail(errorText, kPayloadMessageCorrupted);
    return DecodePayloadBytes(static_cast<const uint8_t*>(view), size, payload, errorText);
}

bool LoadPayload(DecodedPayload& payload, std::wstring& errorText) {
    return LoadPayloadFromModule(nullptr, payload, errorText);
}

bool ExtractPayloadFromBytes(const uint8_t* data, size_t size, const std::wstring& folder, std::wstring& errorText) {
    DecodedPayload payload;
    return DecodePayloadBytes(data, size, payload, errorText) && WritePayload(payload, folder, errorText);
}

bool ExtractPayloadFromModule(HMODULE module, const std::wstring& folder, std::wstring& errorText) {
    DecodedPayload payload;
    return LoadPayloadFromModule(module, payload, errorText) && WritePayload(payload, folder, errorText);
}

bool ExtractPayload(const std::wstring& folder, std::wstring& errorText) {
    return ExtractPayloadFromModule(nullptr, folder, errorText);
}
