// ExtractPayload against the real file system: every crafted archive of the
// shared table, the setup program's own resource, and the ways the folder or
// a target can refuse to be written.
#include "engine/paths.h"
#include "engine/payload_extract.h"
#include "setup/owners.h"
#include "tests/common/payload_cases.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>

namespace {

const std::string kOldApp = "old application";
const std::string kOldLicense = "old licence";

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

bool Extract(const std::vector<uint8_t>& archive, const std::wstring& folder, std::wstring& errorText) {
    return ExtractPayloadFromBytes(archive.data(), archive.size(), folder, errorText);
}

class ExtractPayloadTest : public testing::Test {
protected:
    void SetUp() override {
        appBytes = ReadFileBytes(Widen(VT_APP_PATH));
        licenseBytes = ReadFileBytes(Widen(VT_LICENSE_PATH));
        const std::string payload = ReadFileBytes(Widen(VT_PAYLOAD_PATH));
        cases = MakePayloadCases(Bytes(payload));
        ASSERT_FALSE(appBytes.empty());
        ASSERT_FALSE(cases.empty()) << "the build's payload is not a valid archive";
    }

    const PayloadCase& Case(const std::string& name) const {
        for (const PayloadCase& c : cases) {
            if (c.name == name) return c;
        }
        static PayloadCase none;
        ADD_FAILURE() << "no case " << name;
        return none;
    }

    TempFolder root;
    std::string appBytes, licenseBytes;
    std::vector<PayloadCase> cases;
};

}  // namespace

TEST_F(ExtractPayloadTest, EveryCraftedArchiveHasItsOutcome) {
    int index = 0;
    for (const PayloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring folder = root / (L"case" + std::to_wstring(index++));
        ASSERT_TRUE(CreateFolderTree(folder));
        ASSERT_TRUE(WriteFileBytes(folder + L"\\VelmoTulve.exe", kOldApp));
        ASSERT_TRUE(WriteFileBytes(folder + L"\\LICENSE", kOldLicense));

        std::wstring errorText;
        const bool ok = Extract(c.archive, folder, errorText);
        EXPECT_EQ(ok, c.message.empty());
        EXPECT_EQ(Narrow(errorText), c.message);
        EXPECT_EQ(ReadFileBytes(folder + L"\\VelmoTulve.exe"), c.writesApp ? appBytes : kOldApp);
        EXPECT_EQ(ReadFileBytes(folder + L"\\LICENSE"), c.writesLicense ? licenseBytes : kOldLicense);
        EXPECT_TRUE(TemporaryFiles(folder).empty());
        EXPECT_EQ(ListFolder(folder).size(), 2u);
    }
}

TEST_F(ExtractPayloadTest, SuccessLeavesErrorTextUntouchedAndCreatesTheFolder) {
    const std::wstring folder = root / L"new\\nested\\Velmo Tulve";
    std::wstring errorText = L"unchanged";
    ASSERT_TRUE(Extract(Case("valid").archive, folder, errorText));
    EXPECT_EQ(errorText, L"unchanged");
    EXPECT_EQ(ReadFileBytes(folder + L"\\VelmoTulve.exe"), appBytes);
    EXPECT_EQ(ReadFileBytes(folder + L"\\LICENSE"), licenseBytes);
}

TEST_F(ExtractPayloadTest, FolderThatCannotBeCreatedIsReported) {
    ASSERT_TRUE(WriteFileBytes(root / L"file", "x"));
    for (const std::wstring& folder : {root / L"file\\sub", std::wstring()}) {
        std::wstring errorText;
        EXPECT_FALSE(Extract(Case("valid").archive, folder, errorText));
        EXPECT_EQ(errorText, L"Cannot create installation folder.");
    }
    // Header checks, and the digests, come before the folder is touched.
    for (const char* name : {"format-3", "app-bit-flipped", "digests-missing"}) {
        std::wstring errorText;
        EXPECT_FALSE(Extract(Case(name).archive, root / L"untouched", errorText)) << name;
        EXPECT_FALSE(PathExists(root / L"untouched")) << name;
    }
}

// A target a scanner holds for a moment is replaced once it is let go; one
// held beyond the bound keeps its content.
TEST_F(ExtractPayloadTest, TargetHeldOpenWithoutDeleteSharingKeepsItsContent) {
    const std::wstring folder = root.path();
    const std::wstring app = folder + L"\\VelmoTulve.exe";
    for (const DWORD holdMs : {DWORD(300), DWORD(INFINITE)}) {
        SCOPED_TRACE(holdMs);
        RemoveFile(folder + L"\\LICENSE");
        ASSERT_TRUE(WriteFileBytes(app, kOldApp));
        std::wstring errorText;
        {
            TimedHold held(app, holdMs);
            ASSERT_TRUE(held);
            const ULONGLONG started = GetTickCount64();
            EXPECT_EQ(Extract(Case("valid").archive, folder, errorText), holdMs != INFINITE);
            if (holdMs == INFINITE) {
                EXPECT_GE(GetTickCount64() - started, kBusyFileRetryMs);
            }
        }
        EXPECT_TRUE(TemporaryFiles(folder).empty());
        if (holdMs != INFINITE) {
            EXPECT_EQ(ReadFileBytes(app), appBytes);
            continue;
        }
        EXPECT_EQ(errorText, L"Could not replace VelmoTulve.exe. Close the app and check folder permissions.");
        EXPECT_EQ(ReadFileBytes(app), kOldApp);
        EXPECT_FALSE(PathExists(folder + L"\\LICENSE"));
    }
}

TEST_F(ExtractPayloadTest, ModuleWithoutPayloadResource) {
    std::wstring errorText;
    EXPECT_FALSE(ExtractPayloadFromModule(GetModuleHandleW(L"kernel32.dll"), root / L"x", errorText));
    EXPECT_EQ(errorText, L"Installer payload resource missing.");
    EXPECT_FALSE(PathExists(root / L"x"));
}

TEST_F(ExtractPayloadTest, SetupProgramResourceGivesBackThePackedFilesWithBuiltInDecoder) {
    HMODULE setup = LoadLibraryExW(SetupExePath().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(setup, nullptr);
    std::wstring errorText;
    const bool ok = ExtractPayloadFromModule(setup, root.path(), errorText);
    FreeLibrary(setup);
    ASSERT_TRUE(ok) << Narrow(errorText);
    EXPECT_EQ(ReadFileBytes(root / L"VelmoTulve.exe"), appBytes);
    EXPECT_EQ(ReadFileBytes(root / L"LICENSE"), licenseBytes);

    // Wine's cabinet.dll has no Compression API, so the built-in decoder ran.
    HMODULE cabinet = LoadLibraryExW(L"cabinet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(cabinet, nullptr);
    EXPECT_EQ(GetProcAddress(cabinet, "CreateDecompressor"), nullptr);
    FreeLibrary(cabinet);
    EXPECT_EQ(LastPayloadDecoder(PayloadFileApp), PayloadDecoderBuiltIn);
    EXPECT_EQ(LastPayloadDecoder(PayloadFileLicense), PayloadDecoderBuiltIn);
}

TEST(MakeUniqueTempPath, FreshGuidNameInTheFolder) {
    const std::wstring a = MakeUniqueTempPath(L"C:\\Apps\\VT");
    const std::wstring b = MakeUniqueTempPath(L"C:\\Apps\\VT");
    EXPECT_NE(a, b);
    ASSERT_EQ(a.size(), std::wstring(L"C:\\Apps\\VT\\").size() + 49);
    const std::wstring name = a.substr(a.size() - 49);
    EXPECT_EQ(name.substr(0, 8), L".tulve-{");
    EXPECT_EQ(name.substr(name.size() - 5), L"}.tmp");
    for (size_t i = 8; i < 44; ++i) {
        const wchar_t c = name[i];
        const bool hyphen = i == 16 || i == 21 || i == 26 || i == 31;
        EXPECT_TRUE(hyphen ? c == L'-' : ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'))) << i;
    }
    EXPECT_EQ(MakeUniqueTempPath(L"C:\\").substr(0, 10), L"C:\\.tulve-");
}
