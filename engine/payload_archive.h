// The payload archive: the application and its licence, each stored as the
// Compression API's buffer-mode LZMS stream, in one resource of the setup
// program. Pure code (no Windows header): the setup program and the host
// packer read and write archives with the same functions.
//
// Layout, all integers little-endian and unaligned:
//
//   offset  size  field
//   0       4     magic         "VTPK" (56 54 50 4B)
//   4       4     format        u32, always 2
//   8       ...   exactly two entries, back to back
//   ...     68    digest record, right after the second entry, and the end
//                 of the archive
//
//   entry:
//   0       4     nameLength    u32, 1 .. bytes left after this 20-byte header
//   4       8     unpackedSize  u64, 1 .. 67,108,864 (kPayloadMaxEntrySize)
//   12      8     packedSize    u64, 1 .. bytes left after the name
//   20      n     name          ASCII, no terminator: "VelmoTulve.exe" or "LICENSE"
//   20+n    p     stored bytes  buffer-mode LZMS stream of the file
//
//   digest record:
//   0       4     tag           "S256" (53 32 35 36)
//   4       32    SHA-256 of the first entry's decoded file
//   36      32    SHA-256 of the second entry's decoded file
//
// Each name may occur once; the packer writes the application first. The
// digest record lies where a reader of the two entries alone never looks, so
// such a reader still takes the archive; the setup program requires it and
// checks both files against it before it changes anything: the entries carry
// no checksum of their own, and a damaged LZMS stream often decodes cleanly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/sha256.h"

inline constexpr uint8_t kPayloadMagic[4] = {'V', 'T', 'P', 'K'};
inline constexpr uint32_t kPayloadFormat = 2;
inline constexpr size_t kPayloadHeaderSize = 8;
inline constexpr size_t kPayloadEntryHeaderSize = 20;
inline constexpr uint64_t kPayloadMaxEntrySize = 67108864;  // 64 MiB
inline constexpr uint32_t kPayloadDigestTag = 0x36353253;   // "S256" as a little-endian u32
inline constexpr size_t kPayloadDigestRecordSize = 4 + 2 * kSha256Size;
static_assert(sizeof(kPayloadMagic) == 4);
static_assert(kPayloadEntryHeaderSize == 4 + 8 + 8);
static_assert(kPayloadDigestRecordSize == 68);

enum PayloadFile { PayloadFileApp, PayloadFileLicense };

enum PayloadStatus {
    PayloadOk,
    PayloadCorrupted,          // shorter than the archive header
    PayloadUnsupportedFormat,  // wrong magic or format
    PayloadEntryHeaderInvalid,
    PayloadUnexpectedFile,
    PayloadDamaged,  // digest record missing or malformed, or a file that differs from its digest
};

struct PayloadEntry {
    PayloadFile file = PayloadFileApp;
    const uint8_t* stored = nullptr;  // points into the archive
    uint64_t packedSize = 0;
    uint64_t unpackedSize = 0;
    const uint8_t* digest = nullptr;  // set by PayloadReadDigests
};

// Walks the two entries of an archive in place.
struct PayloadReader {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t offset = kPayloadHeaderSize;
    bool seenApp = false;
    bool seenLicense = false;
};

// Checks size, magic and format of the archive header.
PayloadStatus PayloadCheckHeader(const uint8_t* data, size_t size);

// Reads the next entry header and name and checks them; on success `entry`
// describes it and the reader stands after its stored bytes.
PayloadStatus PayloadReadEntry(PayloadReader& reader, PayloadEntry& entry);

// After both entries: checks that exactly the digest record follows and
// points each entry's `digest` into it.
PayloadStatus PayloadReadDigests(const PayloadReader& reader, PayloadEntry entries[2]);

// Whether `size` decoded bytes at `data` are the file the entry's digest names.
bool PayloadDigestMatches(const PayloadEntry& entry, const uint8_t* data, size_t size);

// The whole archive: header, both entries and the digest record, each check
// in that order, without decoding anything.
PayloadStatus PayloadReadArchive(const uint8_t* data, size_t size, PayloadEntry entries[2]);

// The installed file name of an entry: "VelmoTulve.exe" or "LICENSE".
const char* PayloadFileName(PayloadFile file);

// The user-facing messages of extraction, in one place so the setup program
// and the packer say exactly the same.
inline constexpr char kPayloadMessageMissing[] = "Installer payload resource missing.";
inline constexpr char kPayloadMessageCorrupted[] = "Installer payload is corrupted.";
inline constexpr char kPayloadMessageUnsupported[] = "Unsupported payload archive format.";
inline constexpr char kPayloadMessageNoDecompressor[] = "Could not initialize LZMS decompressor.";
inline constexpr char kPayloadMessageFolder[] = "Cannot create installation folder.";
inline constexpr char kPayloadMessageEntryHeader[] = "Payload entry header is invalid.";
inline constexpr char kPayloadMessageUnexpected[] = "Unexpected file in the installer payload.";
inline constexpr char kPayloadMessageDamaged[] = "The setup program is damaged. Download it again.";
// The message of a failed header or entry check.
const char* PayloadStatusMessage(PayloadStatus status);
std::string PayloadDecompressFailedMessage(PayloadFile file);
std::string PayloadReplaceFailedMessage(PayloadFile file);

// Writing, for the packer and for tests that craft archives.
void PayloadAppendHeader(std::vector<uint8_t>& archive, uint32_t format = kPayloadFormat);
void PayloadAppendEntry(std::vector<uint8_t>& archive, const std::string& name, uint64_t unpackedSize,
                        const std::vector<uint8_t>& stored);
// The digest record: the SHA-256 of the two decoded files, in entry order.
void PayloadAppendDigests(std::vector<uint8_t>& archive, const uint8_t first[kSha256Size],
                          const uint8_t second[kSha256Size]);
