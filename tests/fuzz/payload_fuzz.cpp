// Fuzz target: an arbitrary archive through the reader, the digest record,
// the built-in decoder, the digest check and the extraction into a scratch
// folder. Whatever the bytes, extraction must fail cleanly and write nothing,
// or write the two files, and leave no temporary file.
#include "tools/vtpack/extract.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const std::string& Scratch() {
    static const std::string folder = [] {
        char name[] = "/tmp/vt-payload-fuzz-XXXXXX";
        return std::string(mkdtemp(name));
    }();
    return folder;
}

// Empties the folder and reports whether it held exactly `files` files and
// no temporary file.
bool ClearAndCheck(const std::string& folder, int files) {
    bool temporaryLeft = false;
    int found = 0;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (name.rfind(".tulve-", 0) == 0) temporaryLeft = true;
            ++found;
            unlink((folder + "/" + name).c_str());
        }
        closedir(dir);
    }
    return !temporaryLeft && found == files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string message;
    const bool ok = VtpackExtract(data, size, Scratch(), message);
    if (ok != message.empty()) abort();
    if (!ClearAndCheck(Scratch(), ok ? 2 : 0)) abort();
    return 0;
}
