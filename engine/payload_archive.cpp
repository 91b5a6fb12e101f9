// Reading and writing the payload archive (format described in the header).
#include "engine/payload_archive.h"

#include <cstring>

namespace {

constexpr char kAppName[] = "VelmoTulve.exe";
constexpr char kLicenseName[] = "LICENSE";

uint32_t ReadU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

uint64_t ReadU64(const uint8_t* p) { return uint64_t(ReadU32(p)) | uint64_t(ReadU32(p + 4)) << 32; }

void AppendLe(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

bool NameIs(const uint8_t* name, uint32_t length, const char* expected) {
    return length == strlen(expected) && memcmp(name, expected, length) == 0;
}

}  // namespace

PayloadStatus PayloadCheckHeader(const uint8_t* data, size_t size) {
    if (!data || size < kPayloadHeaderSize) return PayloadCorrupted;
    if (memcmp(data, kPayloadMagic, sizeof(kPayloadMagic)) != 0 || ReadU32(data + 4) != kPayloadFormat) {
        return PayloadUnsupportedFormat;
    }
    return PayloadOk;
}

PayloadStatus PayloadReadEntry(PayloadReader& reader, PayloadEntry& entry) {
    if (reader.offset > reader.size) return PayloadEntryHeaderInvalid;
    size_t left = reader.size - reader.offset;
    const uint8_t* p = reader.data + reader.offset;
    if (left < kPayloadEntryHeaderSize) return PayloadEntryHeaderInvalid;
    const uint32_t nameLength = ReadU32(p);
    const uint64_t unpackedSize = ReadU64(p + 4);
    const uint64_t packedSize = ReadU64(p + 12);
    left -= kPayloadEntryHeaderSize;
    if (nameLength == 0 || nameLength > left) return PayloadEntryHeaderInvalid;
    left -= nameLength;
    if (packedSize == 0 || packedSize > left) return PayloadEntryHeaderInvalid;
    if (unpackedSize == 0 || unpackedSize > kPayloadMaxEntrySize) return PayloadEntryHeaderInvalid;

    const uint8_t* name = p + kPayloadEntryHeaderSize;
    if (NameIs(name, nameLength, kAppName) && !reader.seenApp) {
        reader.seenApp = true;
        entry.file = PayloadFileApp;
    } else if (NameIs(name, nameLength, kLicenseName) && !reader.seenLicense) {
        reader.seenLicense = true;
        entry.file = PayloadFileLicense;
    } else {
        return PayloadUnexpectedFile;
    }
    entry.stored = name + nameLength;
    entry.packedSize = packedSize;
    entry.unpackedSize = unpackedSize;
    reader.offset += kPayloadEntryHeaderSize + nameLength + size_t(packedSize);
    return PayloadOk;
}

PayloadStatus PayloadReadDigests(const PayloadReader& reader, PayloadEntry entries[2]) {
    const uint8_t* record = reader.data + reader.offset;
    if (reader.size - reader.offset != kPayloadDigestRecordSize || ReadU32(record) != kPayloadDigestTag) {
        return PayloadDamaged;
    }
    entries[0].digest = record + 4;
    entries[1].digest = entries[0].digest + kSha256Size;
    return PayloadOk;
}

PayloadStatus PayloadReadArchive(const uint8_t* data, size_t size, PayloadEntry entries[2]) {
    PayloadStatus status = PayloadCheckHeader(data, size);
    PayloadReader reader{data, size};
    if (status == PayloadOk) status = PayloadReadEntry(reader, entries[0]);
    if (status == PayloadOk) status = PayloadReadEntry(reader, entries[1]);
    if (status == PayloadOk) status = PayloadReadDigests(reader, entries);
    return status;
}

bool PayloadDigestMatches(const PayloadEntry& entry, const uint8_t* data, size_t size) {
    uint8_t digest[kSha256Size];
    Sha256(data, size, digest);
    return memcmp(digest, entry.digest, kSha256Size) == 0;
}

const char* PayloadFileName(PayloadFile file) { return file == PayloadFileApp ? kAppName : kLicenseName; }

const char* PayloadStatusMessage(PayloadStatus status) {
    switch (status) {
    case PayloadOk: return "";
    case PayloadCorrupted: return kPayloadMessageCorrupted;
    case PayloadUnsupportedFormat: return kPayloadMessageUnsupported;
    case PayloadEntryHeaderInvalid: return kPayloadMessageEntryHeader;
    case PayloadUnexpectedFile: return kPayloadMessageUnexpected;
    case PayloadDamaged: return kPayloadMessageDamaged;
    }
    return kPayloadMessageCorrupted;
}

std::string PayloadDecompressFailedMessage(PayloadFile file) {
    return std::string("Failed to decompress ") + PayloadFileName(file) + ".";
}

std::string PayloadReplaceFailedMessage(PayloadFile file) {
    return std::string("Could not replace ") + PayloadFileName(file) + ". Close the app and check folder permissions.";
}

void PayloadAppendHeader(std::vector<uint8_t>& archive, uint32_t format) {
    archive.insert(archive.end(), kPayloadMagic, kPayloadMagic + sizeof(kPayloadMagic));
    AppendLe(archive, format, 4);
}

void PayloadAppendEntry(std::vector<uint8_t>& archive, const std::string& name, uint64_t unpackedSize,
                        const std::vector<uint8_t>& stored) {
    AppendLe(archive, name.size(), 4);
    AppendLe(archive, unpackedSize, 8);
    AppendLe(archive, stored.size(), 8);
    archive.insert(archive.end(), name.begin(), name.end());
    archive.insert(archive.end(), stored.begin(), stored.end());
}

void PayloadAppendDigests(std::vector<uint8_t>& archive, const uint8_t first[kSha256Size],
                          const uint8_t second[kSha256Size]) {
    AppendLe(archive, kPayloadDigestTag, 4);
    archive.insert(archive.end(), first, first + kSha256Size);
    archive.insert(archive.end(), second, second + kSha256Size);
}
