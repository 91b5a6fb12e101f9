// The archive reader and the build machine's extraction, under ASan/UBSan:
// every crafted archive of the shared table gets the setup program's outcome.
#include "engine/payload_archive.h"
#include "tests/common/payload_cases.h"
#include "tools/vtpack/extract.h"
#include "tools/vtpack/lzms_compress.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace {

std::vector<uint8_t> Pseudorandom(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    // Half text-like, half noise, so the stream has matches and literals.
    for (size_t i = 0; i < size; ++i) bytes[i] = (i / 512) % 2 ? uint8_t(random()) : uint8_t("velmo tulve "[i % 12]);
    return bytes;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ScratchFolder {
public:
    ScratchFolder() {
        char name[] = "/tmp/vt-host-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~ScratchFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }
    std::vector<std::string> Names(const std::string& sub) const {
        std::vector<std::string> names;
        if (DIR* dir = opendir((path_ + "/" + sub).c_str())) {
            while (dirent* e = readdir(dir)) {
                const std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(n);
            }
            closedir(dir);
        }
        return names;
    }

private:
    std::string path_;
};

struct Packed {
    std::vector<uint8_t> app, license, archive;
};

Packed PackSample() {
    Packed p;
    p.app = Pseudorandom(200000, 7);
    const std::string text = "MIT License\r\n\r\nCopyright (c) 2026 Velmo Tulve contributors\r\n";
    p.license.assign(text.begin(), text.end());
    PayloadAppendHeader(p.archive);
    uint8_t digests[2][kSha256Size];
    for (auto* input : {&p.app, &p.license}) {
        std::vector<uint8_t> stored;
        std::string error;
        EXPECT_TRUE(LzmsCompressBuffer(input->data(), input->size(), 0, stored, error)) << error;
        PayloadAppendEntry(p.archive, input == &p.app ? "VelmoTulve.exe" : "LICENSE", input->size(), stored);
        Sha256(input->data(), input->size(), digests[input == &p.app ? 0 : 1]);
    }
    PayloadAppendDigests(p.archive, digests[0], digests[1]);
    return p;
}

}  // namespace

TEST(PayloadArchive, HeaderChecks) {
    std::vector<uint8_t> archive;
    PayloadAppendHeader(archive);
    EXPECT_EQ(PayloadCheckHeader(archive.data(), 7), PayloadCorrupted);
    EXPECT_EQ(PayloadCheckHeader(nullptr, 0), PayloadCorrupted);
    EXPECT_EQ(PayloadCheckHeader(archive.data(), 8), PayloadOk);
    for (uint32_t format : {0u, 1u, 3u, 0x02000000u}) {
        std::vector<uint8_t> other;
        PayloadAppendHeader(other, format);
        EXPECT_EQ(PayloadCheckHeader(other.data(), other.size()), PayloadUnsupportedFormat) << format;
    }
    archive[0] = 'v';
    EXPECT_EQ(PayloadCheckHeader(archive.data(), archive.size()), PayloadUnsupportedFormat);
}

TEST(PayloadArchive, ReaderStopsAtEveryOutOfRangeField) {
    const std::vector<uint8_t> stored(10, 0xAB);
    std::vector<uint8_t> archive;
    PayloadAppendHeader(archive);
    PayloadAppendEntry(archive, "VelmoTulve.exe", 100, stored);
    PayloadReader reader{archive.data(), archive.size()};
    PayloadEntry entry;
    ASSERT_EQ(PayloadReadEntry(reader, entry), PayloadOk);
    EXPECT_EQ(entry.file, PayloadFileApp);
    EXPECT_EQ(entry.packedSize, 10u);
    EXPECT_EQ(entry.unpackedSize, 100u);
    EXPECT_EQ(entry.stored, archive.data() + 8 + 20 + 14);
    EXPECT_EQ(reader.offset, archive.size());
    // Nothing left for a second entry.
    EXPECT_EQ(PayloadReadEntry(reader, entry), PayloadEntryHeaderInvalid);

    // Every truncation of the entry is an invalid header, never a read past the end.
    for (size_t cut = 8; cut < archive.size(); ++cut) {
        std::vector<uint8_t> truncated(archive.begin(), archive.begin() + cut);
        PayloadReader r{truncated.data(), truncated.size()};
        EXPECT_EQ(PayloadReadEntry(r, entry), PayloadEntryHeaderInvalid) << cut;
    }
}

TEST(PayloadArchive, NamesAreExactAndOnceEach) {
    const std::vector<uint8_t> stored(4, 1);
    struct Case {
        std::vector<std::string> names;
        std::vector<PayloadStatus> results;
    } cases[] = {
        {{"VelmoTulve.exe", "LICENSE"}, {PayloadOk, PayloadOk}},
        {{"LICENSE", "VelmoTulve.exe"}, {PayloadOk, PayloadOk}},
        {{"VelmoTulve.exe", "VelmoTulve.exe"}, {PayloadOk, PayloadUnexpectedFile}},
        {{"LICENSE", "LICENSE"}, {PayloadOk, PayloadUnexpectedFile}},
        {{"license"}, {PayloadUnexpectedFile}},
        {{"velmotulve.exe"}, {PayloadUnexpectedFile}},
        {{"VelmoTulve.exe "}, {PayloadUnexpectedFile}},
        {{std::string("LICENSE\0", 8)}, {PayloadUnexpectedFile}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> archive;
        PayloadAppendHeader(archive);
        for (const std::string& name : c.names) PayloadAppendEntry(archive, name, 4, stored);
        PayloadReader reader{archive.data(), archive.size()};
        for (size_t i = 0; i < c.results.size(); ++i) {
            PayloadEntry entry;
            EXPECT_EQ(PayloadReadEntry(reader, entry), c.results[i]) << c.names[0] << " #" << i;
        }
    }
}

TEST(PayloadArchive, MessagesNameTheFile) {
    EXPECT_EQ(PayloadDecompressFailedMessage(PayloadFileApp), "Failed to decompress VelmoTulve.exe.");
    EXPECT_EQ(PayloadDecompressFailedMessage(PayloadFileLicense), "Failed to decompress LICENSE.");
    EXPECT_EQ(PayloadReplaceFailedMessage(PayloadFileLicense),
              "Could not replace LICENSE. Close the app and check folder permissions.");
}

TEST(VtpackExtract, EveryCraftedArchiveHasTheSetupProgramsOutcome) {
    const Packed packed = PackSample();
    const std::vector<PayloadCase> cases = MakePayloadCases(packed.archive);
    ASSERT_GT(cases.size(), 20u);
    ScratchFolder scratch;
    for (const PayloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = scratch.path() + "/" + c.name;
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        std::ofstream(folder + "/VelmoTulve.exe") << "old";
        std::ofstream(folder + "/LICENSE") << "old";
        std::string message;
        EXPECT_EQ(VtpackExtract(c.archive.data(), c.archive.size(), folder, message), c.message.empty());
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(Slurp(folder + "/VelmoTulve.exe"),
                  c.writesApp ? std::string(packed.app.begin(), packed.app.end()) : "old");
        EXPECT_EQ(Slurp(folder + "/LICENSE"),
                  c.writesLicense ? std::string(packed.license.begin(), packed.license.end()) : "old");
        EXPECT_EQ(scratch.Names(c.name).size(), 2u) << "a temporary file was left behind";
    }
}

TEST(VtpackExtract, FolderThatCannotBeCreated) {
    const Packed packed = PackSample();
    ScratchFolder scratch;
    std::ofstream(scratch.path() + "/file") << "x";
    std::string message;
    EXPECT_FALSE(VtpackExtract(packed.archive.data(), packed.archive.size(), scratch.path() + "/file/sub", message));
    EXPECT_EQ(message, "Cannot create installation folder.");
    EXPECT_FALSE(VtpackExtract(packed.archive.data(), packed.archive.size(), "", message));
    EXPECT_EQ(message, "Cannot create installation folder.");
    // A damaged archive fails before the folder is made.
    std::vector<uint8_t> damaged = packed.archive;
    damaged.back() ^= 1;
    EXPECT_FALSE(VtpackExtract(damaged.data(), damaged.size(), scratch.path() + "/new", message));
    EXPECT_EQ(message, "The setup program is damaged. Download it again.");
    EXPECT_EQ(scratch.Names("").size(), 1u);
}
