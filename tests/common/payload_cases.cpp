#include "tests/common/payload_cases.h"

#include "engine/payload_archive.h"

namespace {

struct Entry {
    std::string name;
    uint64_t unpackedSize = 0;
    std::vector<uint8_t> stored;
};

std::vector<uint8_t> Archive(const std::vector<Entry>& entries, uint32_t format = kPayloadFormat) {
    std::vector<uint8_t> archive;
    PayloadAppendHeader(archive, format);
    for (const Entry& e : entries) PayloadAppendEntry(archive, e.name, e.unpackedSize, e.stored);
    return archive;
}

void PutU64(std::vector<uint8_t>& bytes, size_t offset, uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes.at(offset + i) = uint8_t(value >> (8 * i));
}

}  // namespace

std::vector<PayloadCase> MakePayloadCases(const std::vector<uint8_t>& validArchive) {
    if (PayloadCheckHeader(validArchive.data(), validArchive.size()) != PayloadOk) return {};
    PayloadReader reader{validArchive.data(), validArchive.size()};
    Entry app, license;
    for (Entry* target : {&app, &license}) {
        PayloadEntry e;
        if (PayloadReadEntry(reader, e) != PayloadOk) return {};
        target->name = PayloadFileName(e.file);
        target->unpackedSize = e.unpackedSize;
        target->stored.assign(e.stored, e.stored + e.packedSize);
    }
    if (app.name != "VelmoTulve.exe" || license.name != "LICENSE") return {};

    const std::string corrupted = kPayloadMessageCorrupted;
    const std::string unsupported = kPayloadMessageUnsupported;
    const std::string entryHeader = kPayloadMessageEntryHeader;
    const std::string unexpected = kPayloadMessageUnexpected;
    const std::string appFailed = PayloadDecompressFailedMessage(PayloadFileApp);
    const std::string licenseFailed = PayloadDecompressFailedMessage(PayloadFileLicense);

    std::vector<PayloadCase> cases;
    const std::vector<uint8_t> valid = Archive({app, license});
    cases.push_back({"valid", valid, "", true, true});
    cases.push_back({"licence-first", Archive({license, app}), "", true, true});

    std::vector<uint8_t> header = Archive({});
    cases.push_back({"seven-bytes", std::vector<uint8_t>(header.begin(), header.begin() + 7), corrupted});
    cases.push_back({"empty", {}, corrupted});
    cases.push_back({"header-only", header, entryHeader});

    std::vector<uint8_t> badMagic = valid;
    badMagic[3] = 'X';
    cases.push_back({"bad-magic", badMagic, unsupported});
    cases.push_back({"format-1", Archive({app, license}, 1), unsupported});
    cases.push_back({"format-3", Archive({app, license}, 3), unsupported});

    cases.push_back({"two-applications", Archive({app, app, license}), unexpected, true});
    cases.push_back({"two-licences", Archive({license, license, app}), unexpected, false, true});
    Entry lower = license;
    lower.name = "license";
    cases.push_back({"lower-case-license", Archive({app, lower}), unexpected, true});
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
    cases.push_back({"unpacked-zero", Archive({app, zeroUnpacked}), entryHeader, true});

    std::vector<uint8_t> pastEnd = valid;
    const size_t second = kPayloadHeaderSize + kPayloadEntryHeaderSize + app.name.size() + app.stored.size();
    PutU64(pastEnd, second + 12, license.stored.size() + 1);
    cases.push_back({"packed-one-past-end", pastEnd, entryHeader, true});
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
    cases.push_back({"licence-missing", Archive({app}), entryHeader, true});

    std::vector<uint8_t> trailing = Archive({app, license, license});
    trailing.insert(trailing.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    cases.push_back({"trailing-bytes-and-third-entry", trailing, "", true, true});

    Entry shortDecode = app;
    shortDecode.unpackedSize = app.unpackedSize + 1;
    cases.push_back({"decodes-one-byte-short", Archive({shortDecode, license}), appFailed});
    Entry longDecode = license;
    longDecode.unpackedSize = license.unpackedSize - 1;
    cases.push_back({"decodes-one-byte-long", Archive({app, longDecode}), licenseFailed, true});
    Entry badStream = app;
    badStream.stored[6] ^= 0xFF;  // the stream header's check byte
    cases.push_back({"stream-header-damaged", Archive({badStream, license}), appFailed});
    Entry truncatedStream = license;
    truncatedStream.stored.resize(truncatedStream.stored.size() / 2);
    cases.push_back({"stream-truncated", Archive({app, truncatedStream}), licenseFailed, true});
    return cases;
}
