// Writes the crafted archives of the shared case table into a folder, each as
// NAME.vtpk with NAME.expected beside it: the expected message (empty line for
// success), then whether VelmoTulve.exe and LICENSE get written.
#include "tests/common/payload_cases.h"

#include <cstdio>
#include <fstream>
#include <iterator>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: craft_payloads VALID_ARCHIVE FOLDER\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> valid((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<PayloadCase> cases = MakePayloadCases(valid);
    if (cases.empty()) {
        fprintf(stderr, "craft_payloads: %s is not a valid archive\n", argv[1]);
        return 1;
    }
    for (const PayloadCase& c : cases) {
        const std::string base = std::string(argv[2]) + "/" + c.name;
        std::ofstream archive(base + ".vtpk", std::ios::binary);
        archive.write(reinterpret_cast<const char*>(c.archive.data()), std::streamsize(c.archive.size()));
        std::ofstream expected(base + ".expected", std::ios::binary);
        expected << c.message << "\n" << (c.writesApp ? 1 : 0) << " " << (c.writesLicense ? 1 : 0) << "\n";
        if (!archive || !expected) {
            fprintf(stderr, "craft_payloads: cannot write %s\n", base.c_str());
            return 1;
        }
    }
    return 0;
}
