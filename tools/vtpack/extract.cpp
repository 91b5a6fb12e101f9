// Extraction on the build machine, with exactly the checks, decoder and
// messages of the setup program, and each file written under a temporary
// name in its folder and renamed over the target.
#include "tools/vtpack/extract.h"

#include "engine/lzms_buffer.h"
#include "engine/lzms_decoder.h"
#include "engine/payload_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <random>

namespace {

bool Fail(std::string& message, const std::string& text) {
    message = text;
    return false;
}

// Writes all of `data` to `path` and flushes it; false on any short write.
bool WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return false;
        }
        done += size_t(n);
    }
    const bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced;
}

// The name the setup program gives its temporary files: ".tulve-{GUID}.tmp".
std::string UniqueTempName(const std::string& folder) {
    static std::random_device device;
    std::uniform_int_distribution<int> digit(0, 15);
    const char* hex = "0123456789ABCDEF";
    std::string guid = "{";
    for (int group : {8, 4, 4, 4, 12}) {
        if (guid.size() > 1) guid += '-';
        for (int i = 0; i < group; ++i) guid += hex[digit(device)];
    }
    guid += '}';
    return folder + "/.tulve-" + guid + ".tmp";
}

bool CreateFolderTree(const std::string& folder) {
    if (folder.empty()) return false;
    struct stat info;
    if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !CreateFolderTree(folder.substr(0, slash))) return false;
    if (mkdir(folder.c_str(), 0755) == 0) return true;
    // Another process may have created it in the meantime.
    return errno == EEXIST && stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool VtpackReplaceFile(const std::string& folder, const std::string& target, const uint8_t* data, size_t size) {
    const std::string temporary = UniqueTempName(folder);
    if (!WriteAll(temporary, data, size) || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool VtpackExtract(const uint8_t* data, size_t size, const std::string& folder, std::string& message) {
    PayloadEntry entries[2];
    const PayloadStatus status = PayloadReadArchive(data, size, entries);
    if (status != PayloadOk) return Fail(message, PayloadStatusMessage(status));
    std::unique_ptr<LzmsDecompressor, void (*)(LzmsDecompressor*)> decompressor(LzmsCreateDecompressor(),
                                                                                 LzmsFreeDecompressor);
    if (!decompressor) return Fail(message, kPayloadMessageNoDecompressor);

    // Both files are decoded and checked before the folder is touched.
    std::unique_ptr<uint8_t[]> buffers[2];
    for (int index = 0; index < 2; ++index) {
        const PayloadEntry& entry = entries[index];
        const size_t unpackedSize = size_t(entry.unpackedSize);
        buffers[index].reset(new (std::nothrow) uint8_t[unpackedSize]());
        size_t written = 0;
        if (!buffers[index] ||
            !LzmsDecompressBuffer(decompressor.get(), entry.stored, size_t(entry.packedSize), buffers[index].get(),
                                  unpackedSize, &written) ||
            written != unpackedSize) {
            return Fail(message, PayloadDecompressFailedMessage(entry.file));
        }
        if (!PayloadDigestMatches(entry, buffers[index].get(), unpackedSize)) {
            return Fail(message, kPayloadMessageDamaged);
        }
    }
    if (!CreateFolderTree(folder)) return Fail(message, kPayloadMessageFolder);
    for (int index = 0; index < 2; ++index) {
        const std::string target = folder + "/" + PayloadFileName(entries[index].file);
        if (!VtpackReplaceFile(folder, target, buffers[index].get(), size_t(entries[index].unpackedSize))) {
            return Fail(message, PayloadReplaceFailedMessage(entries[index].file));
        }
    }
    return true;
}
