// The Compression API path of extraction. Wine's cabinet.dll lacks the API,
// so a stand-in that logs its calls is put in System32 for the duration of
// each test, and the extraction runs in a child process. The test runs with
// WINEDLLOVERRIDES=cabinet=n (set by CTest: Wine reads the variable from the
// environment it was started with, not from one a Windows parent changed), so
// the child prefers that native file over Wine's builtin cabinet.dll.
#include "tests/common/payload_cases.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>

namespace {

std::wstring SystemFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

class CompressionApiTest : public testing::Test {
protected:
    void SetUp() override {
        cabinet = SystemFile(L"cabinet.dll");
        backup = cabinet + L".vt-backup";
        if (!PathExists(backup)) {
            ASSERT_TRUE(MoveFileW(cabinet.c_str(), backup.c_str()));
        }
        ASSERT_TRUE(CopyFileW((TestBinaryFolder() + L"\\fake_cabinet.dll").c_str(), cabinet.c_str(), FALSE));
        appBytes = ReadFileBytes(Widen(VT_APP_PATH));
        ASSERT_FALSE(appBytes.empty());
    }
    void TearDown() override {
        DeleteFileW(cabinet.c_str());
        MoveFileW(backup.c_str(), cabinet.c_str());
    }

    // Extracts the setup program's own payload, or the archive file given, in
    // a child process.
    ProcessResult ExtractInChild(const std::wstring& folder, const std::wstring& archive = {}) {
        const std::wstring probe = TestBinaryFolder() + L"\\payload_probe.exe";
        ScopedEnvironment logFile(L"VT_FAKE_CABINET_LOG", log.c_str());
        const std::wstring source =
            archive.empty() ? L" --module " + QuoteArgument(SetupExePath()) : L" " + QuoteArgument(archive);
        return RunProcess(probe, QuoteArgument(probe) + source + L" " + QuoteArgument(folder));
    }

    // Calls of the stand-in's Decompress logged so far.
    size_t DecompressCalls() {
        const std::string calls = ReadFileBytes(log);
        size_t count = 0;
        for (size_t at = calls.find("Decompress "); at != std::string::npos; at = calls.find("Decompress ", at + 1))
            ++count;
        return count;
    }

    std::wstring cabinet, backup;
    TempFolder root;
    std::wstring log = root / L"cabinet.log";
    std::string appBytes;
};

}  // namespace

TEST_F(CompressionApiTest, DecodesThroughTheApiWhenItExists) {
    ProcessResult r = ExtractInChild(root / L"install");
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    EXPECT_NE(r.output.find("VelmoTulve.exe=api\nLICENSE=api\n"), std::string::npos) << r.output;
    EXPECT_EQ(ReadFileBytes(root / L"install\\VelmoTulve.exe"), appBytes);
    EXPECT_EQ(ReadFileBytes(root / L"install\\LICENSE"), ReadFileBytes(Widen(VT_LICENSE_PATH)));

    // One decompressor for both entries, reset before each, closed once.
    const std::string calls = ReadFileBytes(log);
    std::string shape;
    for (size_t pos = 0; pos < calls.size();) {
        const size_t end = calls.find('\n', pos);
        shape += calls.substr(pos, calls.find(' ', pos) < end ? calls.find(' ', pos) - pos : end - pos) + ";";
        pos = end + 1;
    }
    EXPECT_EQ(shape, "CreateDecompressor;ResetDecompressor;Decompress;ResetDecompressor;Decompress;CloseDecompressor;")
        << calls;
    EXPECT_EQ(calls.rfind("CreateDecompressor 5 default\n", 0), 0u) << calls;
}

// A platform decoder that disagrees with the packer, whatever way: each file
// is decoded again by the built-in decoder and installed exactly as packed.
TEST_F(CompressionApiTest, WhatTheApiDoesNotDecodeAsPackedTheBuiltInDecoderDoes) {
    for (const wchar_t* mode : {L"fail", L"short", L"wrong"}) {
        SCOPED_TRACE(Narrow(mode));
        const std::wstring folder = root / mode;
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(folder + L"\\VelmoTulve.exe", "installed before"));
        DeleteFileW(log.c_str());
        ScopedEnvironment disagreeing(L"VT_FAKE_CABINET_MODE", mode);
        const ProcessResult r = ExtractInChild(folder);
        EXPECT_EQ(r.exitCode, 0u) << r.output;
        EXPECT_NE(r.output.find("error=\nVelmoTulve.exe=builtin\nLICENSE=builtin\n"), std::string::npos) << r.output;
        EXPECT_EQ(ReadFileBytes(folder + L"\\VelmoTulve.exe"), appBytes);
        EXPECT_EQ(ReadFileBytes(folder + L"\\LICENSE"), ReadFileBytes(Widen(VT_LICENSE_PATH)));
        // The API was asked first, once for each file.
        EXPECT_EQ(DecompressCalls(), 2u) << ReadFileBytes(log);
    }
}

// The digests are checked on what the API decoded too: every crafted archive
// has the outcome it has with the built-in decoder, through an API that
// agrees with the packer and through one that fails every stream. A flipped
// bit that the stream still decodes is caught after the API's Decompress,
// and again after the built-in decoder's: a damaged copy installs nothing.
TEST_F(CompressionApiTest, EveryCraftedArchiveHasItsOutcomeThroughTheApi) {
    const std::string payload = ReadFileBytes(Widen(VT_PAYLOAD_PATH));
    const std::vector<PayloadCase> cases = MakePayloadCases(std::vector<uint8_t>(payload.begin(), payload.end()));
    ASSERT_FALSE(cases.empty());
    for (const wchar_t* mode : {L"", L"fail"}) {
        ScopedEnvironment disagreeing(L"VT_FAKE_CABINET_MODE", mode);
        for (const PayloadCase& c : cases) {
            SCOPED_TRACE(c.name + " " + Narrow(mode));
            const std::wstring folder = root / (Widen(c.name) + mode);
            const std::wstring archive = folder + L".vtpk";
            ASSERT_TRUE(WriteFileBytes(archive, std::string(c.archive.begin(), c.archive.end())));
            DeleteFileW(log.c_str());
            const ProcessResult r = ExtractInChild(folder, archive);
            EXPECT_EQ(r.exitCode, c.message.empty() ? 0u : 1u);
            EXPECT_NE(r.output.find("error=" + c.message + "\n"), std::string::npos) << r.output;
            EXPECT_EQ(PathExists(folder), c.message.empty());
            if (c.name == "app-bit-flipped") {
                // Asked of the API first, then of the built-in decoder.
                EXPECT_NE(r.output.find("VelmoTulve.exe=builtin\nLICENSE=none\n"), std::string::npos) << r.output;
                EXPECT_EQ(DecompressCalls(), 1u);
            }
        }
    }
}
