// Fuzz target: an arbitrary archive through the reader, the built-in decoder
// and the extraction into a scratch folder. Whatever the bytes, extraction
// must fail cleanly or write the two files, and leave no temporary file.
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

// Empties the folder and reports whether a temporary file was left.
bool ClearAndCheck(const std::string& folder) {
    bool temporaryLeft = false;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (name.rfind(".tulve-", 0) == 0) temporaryLeft = true;
            unlink((folder + "/" + name).c_str());
        }
        closedir(dir);
    }
    return !temporaryLeft;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string message;
    const bool ok = VtpackExtract(data, size, Scratch(), message);
    if (ok != message.empty()) abort();
    if (!ClearAndCheck(Scratch())) abort();
    return 0;
}
