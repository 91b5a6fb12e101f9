// Payload extraction for the build machine: the setup program's checks and
// messages, the built-in decoder, temporary file then rename.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes the archive's two files into `folder`; on failure `message` is the
// setup program's own message for the same archive.
bool VtpackExtract(const uint8_t* data, size_t size, const std::string& folder, std::string& message);

// Writes `data` to a ".tulve-{GUID}.tmp" file in `folder`, then renames it
// over `target`; the temporary file is removed on failure.
bool VtpackReplaceFile(const std::string& folder, const std::string& target, const uint8_t* data, size_t size);
