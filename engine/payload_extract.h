// Extraction of the payload archive into the install folder, and the file
// routines the install engine shares: a collision-free temporary name beside
// a target, and replacing a target by writing a temporary file and renaming
// it over the target in one step.
#pragma once

#include "engine/payload_decompressor.h"

#include <windows.h>

#include "engine/payload_archive.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// windows.h maps ReplaceFile to the Win32 ReplaceFileW; ours is a different
// operation and this program never calls the Win32 one.
#undef ReplaceFile

// The payload's two files, decoded in memory and checked against their
// digests, in entry order.
struct DecodedPayload {
    PayloadFile file[2] = {};
    size_t size[2] = {};
    std::unique_ptr<uint8_t[]> bytes;  // both files, back to back
};

// Validates the setup program's own payload (resource 301) and decodes its two
// files, checking each against its digest, without touching the disk. On
// failure `errorText` receives the user's message.
bool LoadPayload(DecodedPayload& payload, std::wstring& errorText);
bool LoadPayloadFromModule(HMODULE module, DecodedPayload& payload, std::wstring& errorText);
bool DecodePayloadBytes(const uint8_t* data, size_t size, DecodedPayload& payload, std::wstring& errorText);

// Creates `folder` and replaces the two files in it by the decoded ones.
bool WritePayload(const DecodedPayload& payload, const std::wstring& folder, std::wstring& errorText);

// LoadPayload, then WritePayload into `folder`.
bool ExtractPayload(const std::wstring& folder, std::wstring& errorText);
// The same for the resource 301 of another module (tests, tools).
bool ExtractPayloadFromModule(HMODULE module, const std::wstring& folder, std::wstring& errorText);
// The same for archive bytes already in memory (from step 3 on).
bool ExtractPayloadFromBytes(const uint8_t* data, size_t size, const std::wstring& folder, std::wstring& errorText);

// Which decoder made `file` (or failed last on it) in the last extraction in
// this process.
PayloadDecoder LastPayloadDecoder(PayloadFile file);

// `folder` joined with ".tulve-{GUID}.tmp"; empty when no GUID can be made.
std::wstring MakeUniqueTempPath(const std::wstring& folder);

// Writes `data` to a temporary file in `target`'s folder and renames it over
// `target`. On any failure the temporary file is removed and `target` is left
// as it was.
bool ReplaceFile(const std::wstring& folder, const std::wstring& target, const uint8_t* data, size_t size);

// The rename step of ReplaceFile: MoveFileExW with replace-existing and
// write-through; removes `temporary` when it fails. A read-only `target` is
// made writable first, as a rename cannot replace it.
bool MoveOverTarget(const std::wstring& temporary, const std::wstring& target);

// Removes what an interrupted run left of MakeUniqueTempPath's files in
// `folder`: only names of exactly that form, never folders.
void RemoveStrayTemporaryFiles(const std::wstring& folder);
