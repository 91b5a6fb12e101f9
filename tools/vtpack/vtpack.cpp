// vtpack: writes, lists and extracts the setup program's payload archive on
// the build machine.
//
//   vtpack pack --app FILE --license FILE [--block-size N] -o ARCHIVE
//   vtpack list ARCHIVE
//   vtpack extract ARCHIVE FOLDER
//
// `pack` records the SHA-256 of each file after the two entries; `list`
// prints each entry's name, sizes and that digest, and how many of its LZMS
// blocks are stored as they are. `extract` makes exactly the
// checks the setup program makes, digests included, decodes with the same
// built-in decoder and writes each file as a temporary file renamed over the
// target, printing the setup program's own message on failure.
//
// The archive records no file times, modes or paths and always holds the
// application first: the same two files give the same bytes, which a release
// rebuild relies on.
#include "engine/lzms_buffer.h"
#include "engine/payload_archive.h"
#include "engine/sha256.h"
#include "tools/vtpack/extract.h"
#include "tools/vtpack/lzms_compress.h"


#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum ReadResult { ReadOk, ReadMissing, ReadFailed };

ReadResult ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return errno == ENOENT ? ReadMissing : ReadFailed;
    bytes.clear();
    uint8_t chunk[1 << 16];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool failed = ferror(file) != 0;
    fclose(file);
    return failed ? ReadFailed : ReadOk;
}

int Fail(const std::string& message) {
    fprintf(stderr, "%s\n", message.c_str());
    return 1;
}

int Usage() {
    return Fail("usage: vtpack pack --app FILE --license FILE [--block-size N] -o ARCHIVE\n"
                "       vtpack list ARCHIVE\n"
                "       vtpack extract ARCHIVE FOLDER");
}

bool ReadInput(const char* what, const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    if (ReadWholeFile(path, bytes) != ReadOk) {
        error = std::string("vtpack: cannot read the ") + what + " file " + path + ": " + strerror(errno);
        return false;
    }
    if (bytes.empty()) {
        error = std::string("vtpack: the ") + what + " file " + path + " has 0 bytes; a packed file needs at least 1.";
        return false;
    }
    if (bytes.size() > kPayloadMaxEntrySize) {
        error = std::string("vtpack: the ") + what + " file " + path + " is larger than 67,108,864 bytes (64 MiB).";
        return false;
    }
    return true;
}

int Pack(int argc, char** argv) {
    std::string app, license, output;
    size_t blockSize = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string flag = argv[i];
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        if (flag == "--app") app = value;
        else if (flag == "--license") license = value;
        else if (flag == "-o") output = value;
        else if (flag == "--block-size") {
            char* end = nullptr;
            errno = 0;
            const unsigned long long parsed = strtoull(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || errno != 0 || value[0] == '-' || parsed < 65536 ||
                parsed > 67108864) {
                return Fail("vtpack: the block size must be a whole number from 65536 to 67108864, not \"" + value +
                            "\".");
            }
            blockSize = size_t(parsed);
        } else {
            return Usage();
        }
    }
    if (app.empty() || license.empty() || output.empty()) return Usage();

    struct Input {
        const char* what;
        const char* name;
        std::string path;
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> stored;
        uint8_t digest[kSha256Size];
    } inputs[] = {{"application", "VelmoTulve.exe", app, {}, {}, {}}, {"licence", "LICENSE", license, {}, {}, {}}};

    std::vector<uint8_t> archive;
    PayloadAppendHeader(archive);
    for (Input& input : inputs) {
        std::string error;
        if (!ReadInput(input.what, input.path, input.bytes, error)) return Fail(error);
        if (!LzmsCompressBuffer(input.bytes.data(), input.bytes.size(), blockSize, input.stored, error)) {
            return Fail("vtpack: cannot pack the " + std::string(input.what) + " file " + input.path + ": " + error);
        }
        PayloadAppendEntry(archive, input.name, input.bytes.size(), input.stored);
        Sha256(input.bytes.data(), input.bytes.size(), input.digest);
    }
    PayloadAppendDigests(archive, inputs[0].digest, inputs[1].digest);
    const size_t slash = output.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : output.substr(0, slash);
    if (!VtpackReplaceFile(folder, output, archive.data(), archive.size())) {
        return Fail("vtpack: cannot write " + output + ": " + strerror(errno));
    }
    return 0;
}

int List(int argc, char** argv) {
    if (argc != 3) return Usage();
    std::vector<uint8_t> archive;
    const ReadResult read = ReadWholeFile(argv[2], archive);
    if (read == ReadMissing) return Fail(kPayloadMessageMissing);
    if (read != ReadOk) return Fail(kPayloadMessageCorrupted);
    PayloadEntry entries[2];
    const PayloadStatus status = PayloadReadArchive(archive.data(), archive.size(), entries);
    if (status != PayloadOk) return Fail(PayloadStatusMessage(status));
    for (const PayloadEntry& entry : entries) {
        printf("%s %" PRIu64 " %" PRIu64 " ", PayloadFileName(entry.file), entry.unpackedSize, entry.packedSize);
        for (size_t i = 0; i < kSha256Size; ++i) printf("%02x", entry.digest[i]);
        // Stored blocks are those LZMS did not make smaller.
        size_t blocks = 0, stored = 0;
        LzmsBufferCountRecords(entry.stored, size_t(entry.packedSize), &blocks, &stored);
        printf(" %zu block%s, %zu stored\n", blocks, blocks == 1 ? "" : "s", stored);
    }
    return 0;
}

int Extract(int argc, char** argv) {
    if (argc != 4) return Usage();
    std::vector<uint8_t> archive;
    const ReadResult read = ReadWholeFile(argv[2], archive);
    if (read == ReadMissing) return Fail(kPayloadMessageMissing);
    if (read != ReadOk) return Fail(kPayloadMessageCorrupted);
    std::string message;
    return VtpackExtract(archive.data(), archive.size(), argv[3], message) ? 0 : Fail(message);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "pack") return Pack(argc, argv);
    if (command == "list") return List(argc, argv);
    if (command == "extract") return Extract(argc, argv);
    return Usage();
}
