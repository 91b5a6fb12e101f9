// The built setup program carries the version block, manifest and licence it
// must; read back with the same calls the shell uses.
#include "tests/win/test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

namespace {

std::vector<unsigned char> VersionBlock(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<unsigned char> block(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data())) block.clear();
    return block;
}

std::wstring VersionString(std::vector<unsigned char>& block, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || !value) return L"<missing>";
    return std::wstring(static_cast<const wchar_t*>(value));
}

std::string Resource(HMODULE module, const wchar_t* type, int id, WORD language) {
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    if (!found) return "<missing>";
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data ? std::string(static_cast<const char*>(data), SizeofResource(module, found)) : "<unreadable>";
}

}  // namespace

TEST(SetupResources, VersionBlockCarriesExactStringsAndFixedVersions) {
    std::vector<unsigned char> block = VersionBlock(SetupExePath());
    ASSERT_FALSE(block.empty());
    struct Entry {
        const wchar_t* name;
        const wchar_t* value;
    } entries[] = {
        {L"CompanyName", L"Velmo Tulve contributors"},   {L"FileDescription", L"Velmo Tulve Installer"},
        {L"FileVersion", L"1.2.6.0"},                   {L"InternalName", L"VelmoTulve-Setup-x64"},
        {L"OriginalFilename", L"VelmoTulve-Setup-x64.exe"}, {L"ProductName", L"Velmo Tulve"},
        {L"ProductVersion", L"1.2.6.0"},
    };
    for (const Entry& e : entries) EXPECT_EQ(VersionString(block, e.name), e.value) << Narrow(e.name);

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, (1u << 16) | 2u);
    EXPECT_EQ(fixed->dwFileVersionLS, 6u << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, (1u << 16) | 2u);
    EXPECT_EQ(fixed->dwProductVersionLS, 6u << 16);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));

    // Only the U.S. English, Unicode translation is present.
    struct Translation {
        WORD language, codePage;
    }* translations = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                               &length));
    ASSERT_EQ(length, sizeof(Translation));
    EXPECT_EQ(translations->language, 0x0409);
    EXPECT_EQ(translations->codePage, 1200);
}

TEST(SetupResources, ManifestAsksForNoElevationAndLicenceEqualsLicenseFile) {
    HMODULE module = LoadLibraryExW(SetupExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    ASSERT_EQ(english, 1033);

    const std::string manifest = Resource(module, RT_MANIFEST, 1, english);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);

    const std::string license = Resource(module, RT_RCDATA, 302, english);
    const std::string expected = ReadFileBytes(Widen(VT_LICENSE_PATH));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(license, expected);
    // UTF-8 without byte-order mark, CR LF line ends only.
    EXPECT_NE(license.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(license.find("Copyright (c) 2026 Velmo Tulve contributors\r\n"), std::string::npos);
    for (size_t i = 0; i < license.size(); ++i) {
        if (license[i] == '\n') {
            ASSERT_TRUE(i > 0 && license[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    // The payload has its place too, under the same language.
    EXPECT_NE(Resource(module, RT_RCDATA, 301, english), "<missing>");
    FreeLibrary(module);
}
