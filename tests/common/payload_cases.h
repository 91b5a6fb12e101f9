// Crafted payload archives, built from the entries of a real archive, with
// the outcome extraction must have for each. Shared by the Windows tests of
// ExtractPayload and the host tool that feeds the same archives to vtpack, so
// both are held to one table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PayloadCase {
    std::string name;
    std::vector<uint8_t> archive;
    std::string message;          // empty: extraction succeeds
    bool writesApp = false;       // VelmoTulve.exe is (re)written
    bool writesLicense = false;   // LICENSE is (re)written
};

// `validArchive` is an archive with the application entry first and the
// licence second, as the packer writes it. Empty result when it is not.
std::vector<PayloadCase> MakePayloadCases(const std::vector<uint8_t>& validArchive);
