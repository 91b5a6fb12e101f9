// Where the setup program's DLLs come from. A copy of it is put in a folder
// of its own, as a download would be, beside DLLs named like the system DLLs
// it uses or that are loaded on its behalf; each planted DLL leaves a marker
// file when it is loaded. The setup program runs from there (also as its
// current folder) and no marker may appear.
//
// Wine prefers its builtin DLLs and would ignore the planted files anyway;
// WINEDLLOVERRIDES "name=n,b" makes it take a native DLL found by the normal
// search order first, as Windows does. The negative control shows that this
// arrangement does catch a program that searches its own folder: a build of
// the setup program without the restriction loads the planted cabinet.dll.
#include "tests/win/setup_process_support.h"
#include "window/setup_window.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr DWORD kTimeoutMs = 15000;
constexpr const wchar_t* kPlantedNames[] = {L"d2d1.dll",    L"dwrite.dll",  L"dwmapi.dll",
                                            L"cabinet.dll", L"version.dll", L"uxtheme.dll"};

class DllPlantingTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SetupMutexExists()) << "another setup process is still running";
        DeleteTestRegistry();
        ASSERT_TRUE(CreateDirectoryW(testRoot.c_str(), nullptr));
        const std::wstring planted = Widen(VT_PLANTED_DLL);
        for (const wchar_t* name : kPlantedNames) {
            ASSERT_TRUE(CopyFileW(planted.c_str(), (downloads / name).c_str(), TRUE)) << Narrow(name);
        }
    }
    void TearDown() override { DeleteTestRegistry(); }

    // Puts `program` into the download folder under the name users get.
    std::wstring PlaceSetup(const std::wstring& program) {
        const std::wstring copy = downloads / L"VelmoTulve-Setup-x64.exe";
        EXPECT_TRUE(CopyFileW(program.c_str(), copy.c_str(), FALSE));
        return copy;
    }

    ProcessResult Run(const std::wstring& program, const std::wstring& arguments) {
        return RunProcess(program, QuoteArgument(program) + L" " + arguments, downloads.path(), kTimeoutMs);
    }

    // Marker files of the planted DLLs that were loaded.
    std::vector<std::wstring> Markers() const {
        std::vector<std::wstring> markers;
        for (const std::wstring& name : ListFolder(downloads.path())) {
            if (name.size() > 7 && name.compare(name.size() - 7, 7, L".loaded") == 0) markers.push_back(name);
        }
        return markers;
    }

    TempFolder downloads;
    std::wstring testRoot = downloads / L"root";
    ScopedEnvironment testRootVariable{kTestRootVariable, testRoot.c_str()};
    std::wstring installedApp = testRoot + L"\\Programs\\Velmo Tulve\\VelmoTulve.exe";
};

TEST_F(DllPlantingTest, SilentInstallAndUninstallLoadNoDllPlantedBesideTheProgram) {
    const std::wstring setup = PlaceSetup(SetupExePath());

    const ProcessResult install = Run(setup, L"/VERYSILENT");
    ASSERT_FALSE(install.timedOut);
    EXPECT_EQ(install.exitCode, 0u);
    EXPECT_TRUE(PathExists(installedApp));
    EXPECT_EQ(Markers(), std::vector<std::wstring>{});

    const ProcessResult uninstall = Run(setup, L"--uninstall /VERYSILENT");
    ASSERT_FALSE(uninstall.timedOut);
    EXPECT_EQ(uninstall.exitCode, 0u);
    EXPECT_FALSE(PathExists(installedApp));
    EXPECT_EQ(Markers(), std::vector<std::wstring>{});
}

TEST_F(DllPlantingTest, WindowModeLoadsNoDllPlantedBesideTheProgram) {
    const std::wstring setup = PlaceSetup(SetupExePath());

    ChildProcess window;
    ASSERT_TRUE(window.Start(setup, L"", downloads.path()));
    const HWND shown = WaitForTopLevelWindow(window, kSetupWindowClass, kTimeoutMs);
    ASSERT_NE(shown, nullptr) << "no window; exit code " << window.exitCode();
    // The answer comes from the running message loop: the window is working,
    // not just created.
    DWORD_PTR page = 0;
    EXPECT_TRUE(SendMessageTimeoutW(shown, RegisterWindowMessageW(kQueryPageMessage), 0, 0, SMTO_ABORTIFHUNG,
                                    kTimeoutMs, &page));
    ASSERT_TRUE(PostMessageW(shown, WM_CLOSE, 0, 0));
    ASSERT_TRUE(window.WaitForExit(kTimeoutMs));
    EXPECT_EQ(window.exitCode(), 0u);
    EXPECT_EQ(Markers(), std::vector<std::wstring>{});
}

TEST_F(DllPlantingTest, BuildWithoutTheRestrictionLoadsThePlantedCabinetDll) {
    const std::wstring setup = PlaceSetup(Widen(VT_UNPROTECTED_SETUP_EXE));

    const ProcessResult install = Run(setup, L"/VERYSILENT");
    ASSERT_FALSE(install.timedOut);
    // The planted cabinet.dll lacks the Compression API, so the built-in
    // decoder takes over and the install still succeeds.
    EXPECT_EQ(install.exitCode, 0u);
    EXPECT_TRUE(PathExists(installedApp));
    const std::vector<std::wstring> markers = Markers();
    EXPECT_NE(std::find(markers.begin(), markers.end(), L"cabinet.dll.loaded"), markers.end())
        << "the planted cabinet.dll was not loaded: this test cannot see planting";
}

}  // namespace
