// One installation's whole life in a test root, each run's options settled
// by ReadSetupOptions from the real registry and files as the setup program
// would at start-up: install, re-configure, re-configure back, uninstall with
// the settings. After every run the machine holds exactly what it should.
#include "engine/install.h"
#include "engine/paths.h"
#include "engine/uninstall.h"
#include "setup/setup_options.h"
#include "setup/setup_state.h"
#include "tests/win/engine_fixture.h"

#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring LinkTarget(const std::wstring& linkPath) {
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&file)) || FAILED(file->Load(linkPath.c_str(), STGM_READ))) {
        return {};
    }
    wchar_t target[MAX_PATH] = {};
    if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) return {};
    return target;
}

class LifecycleTest : public EngineTest {
protected:
    // What the setup program settles at start-up in this test root.
    void StartSetup() {
        ResetSetupState();
        ScopedEnvironment testRoot(L"VELMO_SETUP_TEST_ROOT", layout.root.path().c_str());
        std::wstring errorText;
        ASSERT_TRUE(ReadSetupOptions(errorText)) << Narrow(errorText);
        ASSERT_EQ(setupOptions.installDir, layout.installDir);
        ASSERT_EQ(setupOptions.uninstallKeyPath, kTestUninstallKey);
        ASSERT_EQ(setupOptions.runKeyPath, kTestRunKey);
        ASSERT_EQ(setupOptions.shortcutPath, layout.shortcutPath);
        ASSERT_EQ(setupOptions.settingsDir, layout.settingsDir);
    }

    void ExpectInstalled(bool autoStart, bool shortcut) {
        const std::wstring& root = layout.root.path();
        EXPECT_EQ(ListFolder(root + L"\\Programs"), std::vector<std::wstring>{L"Velmo Tulve"});
        EXPECT_EQ(Sorted(ListFolder(layout.installDir)),
                  (std::vector<std::wstring>{L"LICENSE", L"VelmoTulve-Setup.exe", L"VelmoTulve.exe"}));
        EXPECT_EQ(ReadFileBytes(layout.AppPath()), AppBytes());
        EXPECT_EQ(ReadFileBytes(layout.LicensePath()), LicenseBytes());
        EXPECT_EQ(ReadFileBytes(layout.UninstallerPath()), RunningProgramBytes());
        if (shortcut) {
            EXPECT_EQ(ListFolder(root + L"\\StartMenu"), std::vector<std::wstring>{L"Velmo Tulve.lnk"});
            EXPECT_EQ(LinkTarget(layout.shortcutPath), layout.AppPath());
        } else {
            EXPECT_TRUE(ListFolder(root + L"\\StartMenu").empty());
        }
        if (autoStart) {
            EXPECT_EQ(ValueNames(kTestRunKey), std::vector<std::wstring>{L"VelmoTulve"});
            ExpectRunValue(kTestRunKey, layout.installDir);
        } else {
            EXPECT_TRUE(ValueNames(kTestRunKey).empty());
        }
        ExpectUninstallEntry(kTestUninstallKey, layout.installDir, FileSizeKb(Widen(VT_APP_PATH)));
    }
};

}  // namespace

TEST_F(LifecycleTest, InstallReconfigureAndUninstallLeaveExactlyWhatTheyShould) {
    const std::wstring& root = layout.root.path();
    const std::wstring settingsFile = layout.settingsDir + L"\\settings.ini";
    std::wstring errorText;

    // First install, everything on by default.
    StartSetup();
    EXPECT_FALSE(existingInstall);
    EXPECT_TRUE(setupOptions.autoStart);
    EXPECT_TRUE(setupOptions.startMenuShortcut);
    ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
    EXPECT_EQ(Sorted(ListFolder(root)), (std::vector<std::wstring>{L"Programs", L"StartMenu"}));
    ExpectInstalled(true, true);

    // The application saves its settings; a damaged file waits for the update.
    ASSERT_TRUE(CreateFolderTree(layout.settingsDir));
    ASSERT_TRUE(WriteFileBytes(settingsFile, "theme=dark\n"));
    ASSERT_TRUE(WriteFileBytes(layout.AppPath(), "damaged"));

    // Maintenance run: the existing choices are read back, then switched off.
    StartSetup();
    EXPECT_TRUE(existingInstall);
    EXPECT_EQ(existingInstallDir, layout.installDir);
    EXPECT_TRUE(setupOptions.autoStart);
    EXPECT_TRUE(setupOptions.startMenuShortcut);
    setupOptions.autoStart = false;
    setupOptions.startMenuShortcut = false;
    ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
    ExpectInstalled(false, false);
    EXPECT_EQ(ReadFileBytes(settingsFile), "theme=dark\n");

    // Next run sees both off, and switches them on again.
    StartSetup();
    EXPECT_TRUE(existingInstall);
    EXPECT_FALSE(setupOptions.autoStart);
    EXPECT_FALSE(setupOptions.startMenuShortcut);
    setupOptions.autoStart = true;
    setupOptions.startMenuShortcut = true;
    ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
    ExpectInstalled(true, true);
    EXPECT_EQ(ReadFileBytes(settingsFile), "theme=dark\n");

    // Uninstall with the settings: only the empty parent folders remain.
    StartSetup();
    ASSERT_TRUE(existingInstall);
    setupOptions.deleteData = true;
    ASSERT_TRUE(RunUninstall(errorText)) << Narrow(errorText);
    EXPECT_FALSE(selfRemovalPending);
    EXPECT_EQ(Sorted(ListFolder(root)), (std::vector<std::wstring>{L"Programs", L"Settings", L"StartMenu"}));
    for (const wchar_t* folder : {L"\\Programs", L"\\Settings", L"\\StartMenu"}) {
        EXPECT_TRUE(ListFolder(root + folder).empty()) << Narrow(folder);
    }
    EXPECT_FALSE(KeyExists(kTestUninstallKey));
    EXPECT_TRUE(ValueNames(kTestRunKey).empty());

    // And the next start finds nothing installed.
    StartSetup();
    EXPECT_FALSE(existingInstall);
}
