#include "tests/common/payload_cases.h"

#include "engine/lzms_buffer.h"
#include "engine/payload_archive.h"

#include <memory>

namespace {

struct Entry {
    std::string name;
    uint64_t unpackedSize = 0;
    std::vector<uint8_t> stored;
    std::vector<uint8_t> digest;
};

// The entries, then the digest record of the first two unless told otherwise.
std::vector<uint8_t> Archive(const std::vector<Entry>& entries, uint32_t format = kPayloadFormat,
                             bool withDigests = true) {
    std::vector<uint8_t> archive;
    PayloadAppendHeader(archive, format);
    for (const Entry& e : entries) PayloadAppendEntry(archive, e.name, e.unpackedSize, e.stored);
    if (withDigests && entries.size() >= 2)
        PayloadAppendDigests(archive, entries[0].digest.data(), entries[1].digest.data());
    return archive;
}

std::vector<uint8_t> Decode(const Entry& e) {
    std::unique_ptr<LzmsDecompressor, void (*)(LzmsDecompressor*)> d(LzmsCreateDecompressor(), LzmsFreeDecompressor);
    std::vector<uint8_t> out(size_t(e.unpackedSize));
    size_t written = 0;
    if (!d || !LzmsDecompressBuffer(d.get(), e.stored.data(), e.stored.size(), out.data(), out.size(), &written) ||
        written != out.size()) {
        out.clear();
    }
    return out;
}

// The entry with the first bit flipped, from the middle of its stream on,
// that still decodes to a file of the right size but other bytes: the
// damage only the digest can tell.
Entry FlipBitThatStillDecodes(const Entry& e) {
    const std::vector<uint8_t> original = Decode(e);
    for (size_t bit = e.stored.size() * 4; bit < e.stored.size() * 8; ++bit) {
        Entry flipped = e;
        flipped.stored[bit / 8] ^= uint8_t(1 << bit % 8);
        const std::vector<uint8_t> decoded = Decode(flipped);
        if (!decoded.empty() && decoded != original) return flipped;
    }
    return {};
}

// The entry stored as it is: one record as long as the file, which is how
// the framing holds what LZMS does not make smaller.
Entry Stored(const Entry& e) {
    const std::vector<uint8_t> bytes = Decode(e);
    Entry stored = e;
    stored.stored.assign(kLzmsBufferHeaderSize, 0);
    LzmsWriteHeader(stored.stored.data(), bytes.size(), bytes.size());
    for (int i = 0; i < 4; ++i) stored.stored.push_back(uint8_t(bytes.size() >> (8 * i)));
    stored.stored.insert(stored.stored.end(), bytes.begin(), bytes.end());
    return stored;
}

void PutU64(std::vector<uint8_t>& bytes, size_t offset, uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes.at(offset + i) = uint8_t(value >> (8 * i));
}

}  // namespace

std::vector<PayloadCase> MakePayloadCases(const std::vector<uint8_t>& validArchive) {
    PayloadEntry read[2];
    if (PayloadReadArchive(validArchive.data(), validArchive.size(), read) != PayloadOk) return {};
    Entry app, license;
    for (int i = 0; i < 2; ++i) {
        Entry& target = i == 0 ? app : license;
        target.name = PayloadFileName(read[i].file);
        target.unpackedSize = read[i].unpackedSize;
        target.stored.assign(read[i].stored, read[i].stored + read[i].packedSize);
        target.digest.assign(read[i].digest, read[i].digest + kSha256Size);
    }
    if (app.name != "VelmoTulve.exe" || license.name != "LICENSE") return {};
    const Entry appFlipped = FlipBitThatStillDecodes(app);
    const Entry licenseFlipped = FlipBitThatStillDecodes(license);
    if (appFlipped.stored.empty() || licenseFlipped.stored.empty()) return {};

    const std::string corrupted = kPayloadMessageCorrupted;
    const std::string unsupported = kPayloadMessageUnsupported;
    const std::string entryHeader = kPayloadMessageEntryHeader;
    const std::string unexpected = kPayloadMessageUnexpected;
    const std::string appFailed = PayloadDecompressFailedMessage(PayloadFileApp);
    const std::string licenseFailed = PayloadDecompressFailedMessage(PayloadFileLicense);
    const std::string damaged = kPayloadMessageDamaged;

    std::vector<PayloadCase> cases;
    const std::vector<uint8_t> valid = Archive({app, license});
    cases.push_back({"valid", valid, "", true, true});
    cases.push_back({"licence-first", Archive({license, app}), "", true, true});
    cases.push_back({"both-stored", Archive({Stored(app), Stored(license)}), "", true, true});

    std::vector<uint8_t> header = Archive({});
    cases.push_back({"seven-bytes", std::vector<uint8_t>(header.begin(), header.begin() + 7), corrupted});
    cases.push_back({"empty", {}, corrupted});
    cases.push_back({"header-only", header, entryHeader});

    std::vector<uint8_t> badMagic = valid;
    badMagic[3] = 'X';
    cases.push_back({"bad-magic", badMagic, unsupported});
    cases.push_back({"format-1", Archive({app, license}, 1), unsupported});
    cases.push_back({"format-3", Archive({app, license}, 3), unsupported});

    cases.push_back({"two-applications", Archive({app, app, license}), unexpected});
    cases.push_back({"two-licences", Archive({license, license, app}), unexpected});
    Entry lower = license;
    lower.name = "license";
    cases.push_back({"lower-case-license", Archive({app, lower}), unexpected});
    Entry other = license;
    other.name = "README";
    cases.push_back({"unknown-name", Archive({other, app}), unexpected});

    Entry atMax = app;
    atMax.unpackedSize = kPayloadMaxEntrySize;
    // Passes the entry checks; the stream then yields fewer bytes.
    cases.push_back({"unpacked-at-maximum", Archive({atMax, license}), appFailed});
    Entry overMax = app;
    overMax.unpackedSize = kPayloadMaxEntrySize + 1;
    cases.push_back({"unpacked-over-maximum", Archive({overMax, license}), entryHeader});
    Entry zeroUnpacked = license;
    zeroUnpacked.unpackedSize = 0;
    cases.push_back({"unpacked-zero", Archive({app, zeroUnpacked}), entryHeader});

    std::vector<uint8_t> pastEnd = valid;
    const size_t second = kPayloadHeaderSize + kPayloadEntryHeaderSize + app.name.size() + app.stored.size();
    PutU64(pastEnd, second + 12, license.stored.size() + kPayloadDigestRecordSize + 1);
    cases.push_back({"packed-one-past-end", pastEnd, entryHeader});
    std::vector<uint8_t> packedZero = valid;
    PutU64(packedZero, kPayloadHeaderSize + 12, 0);
    cases.push_back({"packed-zero", packedZero, entryHeader});
    std::vector<uint8_t> nameZero = valid;
    nameZero[kPayloadHeaderSize] = 0;
    cases.push_back({"name-length-zero", nameZero, entryHeader});
    std::vector<uint8_t> nameHuge = valid;
    nameHuge[kPayloadHeaderSize + 3] = 0x7F;
    cases.push_back({"name-length-past-end", nameHuge, entryHeader});
    std::vector<uint8_t> truncatedHeader(valid.begin(), valid.begin() + kPayloadHeaderSize + 19);
    cases.push_back({"truncated-entry-header", truncatedHeader, entryHeader});
    cases.push_back({"licence-missing", Archive({app}), entryHeader});

    std::vector<uint8_t> trailing = Archive({app, license, license});
    trailing.insert(trailing.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    cases.push_back({"trailing-bytes-and-third-entry", trailing, damaged});

    Entry shortDecode = app;
    shortDecode.unpackedSize = app.unpackedSize + 1;
    cases.push_back({"decodes-one-byte-short", Archive({shortDecode, license}), appFailed});
    Entry longDecode = license;
    longDecode.unpackedSize = license.unpackedSize - 1;
    cases.push_back({"decodes-one-byte-long", Archive({app, longDecode}), licenseFailed});
    Entry badStream = app;
    badStream.stored[6] ^= 0xFF;  // the stream header's check byte
    cases.push_back({"stream-header-damaged", Archive({badStream, license}), appFailed});
    Entry truncatedStream = license;
    truncatedStream.stored.resize(truncatedStream.stored.size() / 2);
    cases.push_back({"stream-truncated", Archive({app, truncatedStream}), licenseFailed});

    // Damage that decodes cleanly, and a digest record that is not the one
    // the packer writes: each fails with the one message and writes nothing.
    cases.push_back({"app-bit-flipped", Archive({appFlipped, license}), damaged});
    cases.push_back({"licence-bit-flipped", Archive({app, licenseFlipped}), damaged});
    for (size_t at : {size_t(4), size_t(4 + kSha256Size + 31)}) {
        std::vector<uint8_t> changed = valid;
        changed[valid.size() - kPayloadDigestRecordSize + at] ^= 0x10;
        cases.push_back({at == 4 ? "app-digest-changed" : "licence-digest-changed", changed, damaged});
    }
    cases.push_back({"digests-missing", Archive({app, license}, kPayloadFormat, false), damaged});
    cases.push_back({"digests-truncated", std::vector<uint8_t>(valid.begin(), valid.end() - 1), damaged});
    std::vector<uint8_t> junk = valid;
    junk.push_back(0);
    cases.push_back({"digests-followed-by-junk", junk, damaged});
    std::vector<uint8_t> badTag = valid;
    badTag[valid.size() - kPayloadDigestRecordSize] = 's';
    cases.push_back({"digest-tag-wrong", badTag, damaged});
    std::vector<uint8_t> swapped = Archive({license, app}, kPayloadFormat, false);
    PayloadAppendDigests(swapped, app.digest.data(), license.digest.data());
    cases.push_back({"digests-in-the-other-order", swapped, damaged});
    return cases;
}
