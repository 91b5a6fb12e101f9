// The install transaction in-process against the real file system and
// registry of the prefix: a test layout below a temporary folder, the test
// registry keys, and this test program in the part of the running setup
// program (its payload is this program's resource 301).
#include "engine/install.h"
#include "engine/paths.h"
#include "engine/shortcut.h"
#include "setup/setup_state.h"
#include "tests/win/engine_fixture.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace {

constexpr wchar_t kVolatileKey[] = L"Software\\VelmoTulveSetupTest\\Volatile";

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::wstring> kInstalledFiles = {L"LICENSE", L"VelmoTulve-Setup.exe", L"VelmoTulve.exe"};

class InstallTest : public EngineTest {
protected:
    bool Install(std::wstring& errorText) { return RunInstall(errorText); }

    void ExpectInstalledFiles() {
        EXPECT_EQ(Sorted(ListFolder(layout.installDir)), kInstalledFiles);
        EXPECT_EQ(ReadFileBytes(layout.AppPath()), AppBytes());
        EXPECT_EQ(ReadFileBytes(layout.LicensePath()), LicenseBytes());
        EXPECT_EQ(ReadFileBytes(layout.UninstallerPath()), RunningProgramBytes());
    }

    void ExpectNothingRegistered() {
        EXPECT_FALSE(KeyExists(kTestUninstallKey));
        EXPECT_EQ(ReadRegistryValue(kTestRunKey, L"VelmoTulve").status, ERROR_FILE_NOT_FOUND);
    }
};

}  // namespace

TEST_F(InstallTest, FreshInstallWritesFilesShortcutStartupValueAndUninstallEntry) {
    std::wstring errorText = L"untouched";
    ASSERT_TRUE(Install(errorText));
    EXPECT_EQ(errorText, L"untouched");

    ExpectInstalledFiles();
    EXPECT_TRUE(IsRegularFile(layout.shortcutPath));
    EXPECT_EQ(ValueNames(kTestRunKey), std::vector<std::wstring>{L"VelmoTulve"});
    ExpectRunValue(kTestRunKey, layout.installDir);
    ExpectUninstallEntry(kTestUninstallKey, layout.installDir, FileSizeKb(Widen(VT_APP_PATH)));
    // The settings belong to the application; an install never creates them.
    EXPECT_FALSE(PathExists(layout.settingsDir));
}

TEST_F(InstallTest, ExampleFolderCAppsVTGivesTheDocumentedStrings) {
    const std::wstring apps = L"C:\\Apps";
    const std::wstring folder = L"C:\\Apps\\VT";
    const bool appsExisted = PathExists(apps);
    RemoveTree(folder);
    struct CleanUp {
        std::wstring apps, folder;
        bool appsExisted;
        ~CleanUp() {
            RemoveTree(folder);
            if (!appsExisted) RemoveDirectoryW(apps.c_str());
        }
    } cleanUp{apps, folder, appsExisted};

    setupOptions.installDir = folder;
    std::wstring errorText;
    ASSERT_TRUE(Install(errorText)) << Narrow(errorText);

    EXPECT_EQ(Sorted(ListFolder(folder)), kInstalledFiles);
    const auto expect = [](const wchar_t* key, const wchar_t* name, const wchar_t* text) {
        SCOPED_TRACE(Narrow(name));
        const RegistryValue value = ReadRegistryValue(key, name);
        EXPECT_EQ(value.status, ERROR_SUCCESS);
        EXPECT_EQ(value.type, DWORD(REG_SZ));
        EXPECT_EQ(value.data, StringBytes(text));
    };
    expect(kTestUninstallKey, L"UninstallString", L"\"C:\\Apps\\VT\\VelmoTulve-Setup.exe\" --uninstall");
    expect(kTestUninstallKey, L"QuietUninstallString",
           L"\"C:\\Apps\\VT\\VelmoTulve-Setup.exe\" --uninstall /VERYSILENT");
    expect(kTestUninstallKey, L"InstallLocation", L"C:\\Apps\\VT");
    expect(kTestUninstallKey, L"DisplayIcon", L"C:\\Apps\\VT\\VelmoTulve.exe,0");
    expect(kTestRunKey, L"VelmoTulve", L"\"C:\\Apps\\VT\\VelmoTulve.exe\"");
    ExpectUninstallEntry(kTestUninstallKey, folder, FileSizeKb(folder + L"\\VelmoTulve.exe"));
}

TEST_F(InstallTest, EstimatedSizeIsTheApplicationSizeInKiBRoundedUp) {
    std::wstring errorText;
    ASSERT_TRUE(Install(errorText)) << Narrow(errorText);
    const ULONGLONG bytes = FileSize(layout.AppPath());
    ASSERT_GT(bytes, 0u);
    ASSERT_EQ(bytes, FileSize(Widen(VT_APP_PATH)));
    const RegistryValue value = ReadRegistryValue(kTestUninstallKey, L"EstimatedSize");
    ASSERT_EQ(value.status, ERROR_SUCCESS);
    EXPECT_EQ(value.type, DWORD(REG_DWORD));
    EXPECT_EQ(value.data, DwordBytes(DWORD((bytes + 1023) / 1024)));
}

// The size is measured after the shortcut step; a shortcut path that names the
// application file itself, with the shortcut switched off, removes the file
// before it is measured.
TEST_F(InstallTest, EstimatedSizeIsZeroWhenTheApplicationCannotBeMeasured) {
    setupOptions.shortcutPath = layout.AppPath();
    setupOptions.startMenuShortcut = false;
    std::wstring errorText;
    ASSERT_TRUE(Install(errorText)) << Narrow(errorText);
    ASSERT_FALSE(PathExists(layout.AppPath()));
    const RegistryValue value = ReadRegistryValue(kTestUninstallKey, L"EstimatedSize");
    ASSERT_EQ(value.status, ERROR_SUCCESS);
    EXPECT_EQ(value.type, DWORD(REG_DWORD));
    EXPECT_EQ(value.data, DwordBytes(0));
    EXPECT_EQ(ReadRegistryValue(kTestUninstallKey, L"DisplayName").data, StringBytes(L"Velmo Tulve"));
}

TEST_F(InstallTest, AutoStartOffRemovesOurStartupValueOnly) {
    for (const bool existing : {true, false}) {
        SCOPED_TRACE(existing ? "startup value present" : "startup key missing");
        DeleteTestRegistry();
        if (existing) {
            ASSERT_TRUE(
                SetRegistryString(HKEY_CURRENT_USER, kTestRunKey, L"VelmoTulve", L"\"C:\\Old\\VelmoTulve.exe\""));
            ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestRunKey, L"SomethingElse", L"keep me"));
        }
        setupOptions.autoStart = false;
        std::wstring errorText;
        ASSERT_TRUE(Install(errorText)) << Narrow(errorText);
        EXPECT_EQ(ReadRegistryValue(kTestRunKey, L"VelmoTulve").status, ERROR_FILE_NOT_FOUND);
        if (existing) {
            EXPECT_EQ(ValueNames(kTestRunKey), std::vector<std::wstring>{L"SomethingElse"});
            EXPECT_EQ(ReadRegistryValue(kTestRunKey, L"SomethingElse").data, StringBytes(L"keep me"));
        } else {
            EXPECT_FALSE(KeyExists(kTestRunKey));
        }
        ExpectUninstallEntry(kTestUninstallKey, layout.installDir, FileSizeKb(layout.AppPath()));
    }
}

TEST_F(InstallTest, StartMenuShortcutOffRemovesTheLinkAndAMissingOneIsFine) {
    const std::wstring menuFolder = ParentFolder(layout.shortcutPath);
    for (const bool existing : {true, false}) {
        SCOPED_TRACE(existing ? "link present" : "link and its folder missing");
        RemoveTree(menuFolder);
        if (existing) {
            ASSERT_TRUE(CreateShortcut(layout.shortcutPath, layout.AppPath(), L"Velmo Tulve"));
            ASSERT_TRUE(WriteFileBytes(menuFolder + L"\\Other.lnk", "not ours"));
        }
        setupOptions.startMenuShortcut = false;
        std::wstring errorText;
        ASSERT_TRUE(Install(errorText)) << Narrow(errorText);
        EXPECT_FALSE(PathExists(layout.shortcutPath));
        if (existing) {
            EXPECT_EQ(ListFolder(menuFolder), std::vector<std::wstring>{L"Other.lnk"});
        } else {
            EXPECT_FALSE(PathExists(menuFolder));
        }
        ExpectInstalledFiles();
    }
}

TEST_F(InstallTest, UnwritableStartupValueLeavesTheUninstallEntryAlone) {
    // The Run key would have to be created below a volatile key, which the
    // registry refuses for a non-volatile key.
    ASSERT_TRUE(CreateVolatileKey(kVolatileKey));
    const std::wstring runKey = std::wstring(kVolatileKey) + L"\\Run";
    HKEY probe = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, runKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &probe, nullptr),
        ERROR_CHILD_MUST_BE_VOLATILE);

    for (const bool olderEntry : {false, true}) {
        SCOPED_TRACE(olderEntry ? "older entry present" : "no entry yet");
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestUninstallKey);
        if (olderEntry) {
            ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestUninstallKey, L"DisplayVersion", L"1.0.0"));
            ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestUninstallKey, L"InstallLocation", L"C:\\Old"));
        }
        setupOptions.runKeyPath = runKey;
        std::wstring errorText;
        EXPECT_FALSE(Install(errorText));
        EXPECT_EQ(errorText, L"Could not save the Windows startup or uninstall settings.");
        EXPECT_FALSE(KeyExists(runKey));
        if (olderEntry) {
            EXPECT_EQ(ValueNames(kTestUninstallKey),
                      (std::vector<std::wstring>{L"DisplayVersion", L"InstallLocation"}));
            EXPECT_EQ(ReadRegistryValue(kTestUninstallKey, L"DisplayVersion").data, StringBytes(L"1.0.0"));
            EXPECT_EQ(ReadRegistryValue(kTestUninstallKey, L"InstallLocation").data, StringBytes(L"C:\\Old"));
        } else {
            EXPECT_FALSE(KeyExists(kTestUninstallKey));
            // Not for want of a place: the entry's key could have been written.
            EXPECT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestUninstallKey, L"Probe", L"x"));
            RegDeleteTreeW(HKEY_CURRENT_USER, kTestUninstallKey);
        }
        // The steps before it did their work.
        ExpectInstalledFiles();
    }
}

TEST_F(InstallTest, StartupValueThatCannotBeChangedFailsInBothDirections) {
    ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestRunKey, L"VelmoTulve", L"\"C:\\Old\\VelmoTulve.exe\""));
    LockedRegistryKey locked(kTestRunKey);
    ASSERT_TRUE(locked.locked());
    for (const bool autoStart : {true, false}) {
        SCOPED_TRACE(autoStart ? "writing the value" : "deleting the value");
        setupOptions.autoStart = autoStart;
        std::wstring errorText;
        EXPECT_FALSE(Install(errorText));
        EXPECT_EQ(errorText, L"Could not save the Windows startup or uninstall settings.");
        EXPECT_FALSE(KeyExists(kTestUninstallKey));
    }
}

TEST_F(InstallTest, UninstallEntryThatCannotBeWrittenFails) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"entry key below a volatile key",
         [] {
             ASSERT_TRUE(CreateVolatileKey(kVolatileKey));
             setupOptions.uninstallKeyPath = std::wstring(kVolatileKey) + L"\\Uninstall";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        std::wstring errorText;
        EXPECT_FALSE(Install(errorText));
        EXPECT_EQ(errorText, L"Could not save the Windows startup or uninstall settings.");
        EXPECT_FALSE(KeyExists(setupOptions.uninstallKeyPath));
        // The startup value comes first and was written.
        ExpectRunValue(kTestRunKey, layout.installDir);
    }

    // A locked entry key that exists already refuses every value.
    ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestUninstallKey, L"DisplayVersion", L"1.0.0"));
    setupOptions.uninstallKeyPath = kTestUninstallKey;
    {
        LockedRegistryKey locked(kTestUninstallKey);
        ASSERT_TRUE(locked.locked());
        std::wstring errorText;
        EXPECT_FALSE(Install(errorText));
        EXPECT_EQ(errorText, L"Could not save the Windows startup or uninstall settings.");
    }
    EXPECT_EQ(ValueNames(kTestUninstallKey), std::vector<std::wstring>{L"DisplayVersion"});
    EXPECT_EQ(ReadRegistryValue(kTestUninstallKey, L"DisplayVersion").data, StringBytes(L"1.0.0"));
}

TEST_F(InstallTest, InstallOverAnExistingInstallReplacesFilesAndRewritesValues) {
    ASSERT_TRUE(CreateFolderTree(layout.installDir));
    ASSERT_TRUE(WriteFileBytes(layout.AppPath(), "old application"));
    ASSERT_TRUE(WriteFileBytes(layout.LicensePath(), "old licence"));
    ASSERT_TRUE(WriteFileBytes(layout.UninstallerPath(), "an older uninstaller"));
    ASSERT_TRUE(CreateShortcut(layout.shortcutPath, layout.root / L"Old\\VelmoTulve.exe", L"Old"));
    const auto set = [](const wchar_t* name, const wchar_t* text) {
        ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestUninstallKey, name, text));
    };
    set(L"DisplayVersion", L"1.0.0");
    set(L"Publisher", L"someone");
    set(L"InstallLocation", L"C:\\Old");
    set(L"DisplayIcon", L"C:\\Old\\VelmoTulve.exe,0");
    set(L"UninstallString", L"\"C:\\Old\\VelmoTulve-Setup.exe\" --uninstall");
    set(L"QuietUninstallString", L"old");
    set(L"NoModify", L"0");
    set(L"NoRepair", L"0");
    set(L"EstimatedSize", L"1");
    set(L"DisplayName", L"Old name");
    ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestRunKey, L"VelmoTulve", L"\"C:\\Old\\VelmoTulve.exe\""));
    existingInstall = true;
    existingInstallDir = layout.installDir;

    std::wstring errorText;
    ASSERT_TRUE(Install(errorText)) << Narrow(errorText);
    // Each file is new, including the uninstaller, which is now the running program.
    ExpectInstalledFiles();
    ExpectRunValue(kTestRunKey, layout.installDir);
    // Even the values that were strings before are DWORDs again.
    ExpectUninstallEntry(kTestUninstallKey, layout.installDir, FileSizeKb(layout.AppPath()));
}

TEST_F(InstallTest, MaintenanceRunFromTheInstalledUninstallerKeepsThatFile) {
    BinaryDriveFolder sameDrive;
    const std::wstring installDir = sameDrive.path() + L"\\Velmo Tulve";
    const std::wstring uninstaller = installDir + L"\\VelmoTulve-Setup.exe";
    setupOptions.installDir = installDir;
    ASSERT_TRUE(CreateFolderTree(installDir));
    ASSERT_TRUE(LinkToRunningProgram(uninstaller)) << GetLastError();
    struct Bury {
        std::wstring path;
        ~Bury() { BuryRunningProgramLink(path); }
    } bury{uninstaller};
    ASSERT_TRUE(IsSameFile(uninstaller, GetSetupExePath()));
    BY_HANDLE_FILE_INFORMATION before{};
    {
        UniqueFileHandle file(CreateFileW(uninstaller.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        ASSERT_TRUE(GetFileInformationByHandle(file.get(), &before));
    }

    std::wstring errorText;
    ASSERT_TRUE(Install(errorText)) << Narrow(errorText);
    // Still the very same file, not a copy renamed over it.
    EXPECT_TRUE(IsSameFile(uninstaller, GetSetupExePath()));
    BY_HANDLE_FILE_INFORMATION after{};
    {
        UniqueFileHandle file(CreateFileW(uninstaller.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        ASSERT_TRUE(GetFileInformationByHandle(file.get(), &after));
    }
    EXPECT_EQ(after.nFileIndexHigh, before.nFileIndexHigh);
    EXPECT_EQ(after.nFileIndexLow, before.nFileIndexLow);
    EXPECT_EQ(after.nNumberOfLinks, before.nNumberOfLinks);
    EXPECT_EQ(Sorted(ListFolder(installDir)), kInstalledFiles);
    EXPECT_EQ(ReadFileBytes(installDir + L"\\VelmoTulve.exe"), AppBytes());
    ExpectUninstallEntry(kTestUninstallKey, installDir, FileSizeKb(installDir + L"\\VelmoTulve.exe"));
}

TEST_F(InstallTest, UninstallerThatCannotBeSavedStopsTheRun) {
    struct Case {
        const char* name;
        std::function<std::vector<UniqueFileHandle>(const TestLayout&)> arrange;
    };
    const Case cases[] = {
        {"a folder in the uninstaller's place",
         [](const TestLayout& l) {
             EXPECT_TRUE(CreateFolderTree(l.UninstallerPath()));
             return std::vector<UniqueFileHandle>{};
         }},
        {"the old uninstaller held open without delete sharing",
         [](const TestLayout& l) {
             EXPECT_TRUE(CreateFolderTree(l.installDir));
             EXPECT_TRUE(WriteFileBytes(l.UninstallerPath(), "older uninstaller"));
             std::vector<UniqueFileHandle> held;
             held.push_back(HoldWithoutDeleteSharing(l.UninstallerPath()));
             EXPECT_TRUE(held.back());
             return held;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestLayout local;
        local.Apply();
        std::vector<UniqueFileHandle> held = c.arrange(local);
        std::wstring errorText;
        EXPECT_FALSE(Install(errorText));
        EXPECT_EQ(errorText, L"Could not save the uninstaller in the installation folder.");
        held.clear();
        // The payload is in, no temporary copy is left, and nothing after this step ran.
        EXPECT_EQ(Sorted(ListFolder(local.installDir)), kInstalledFiles);
        EXPECT_NE(ReadFileBytes(local.UninstallerPath()), RunningProgramBytes());
        EXPECT_FALSE(PathExists(local.shortcutPath));
        ExpectNothingRegistered();
    }
}

namespace {

// Wine copies no streams and keeps a named stream as a file with a colon in
// its name; these stand in for Windows, where CopyFileW takes the
// Zone.Identifier stream of a downloaded file along.
std::wstring Mark(const std::wstring& path) { return path + L":Zone.Identifier"; }
template <typename F>
F Kernel32(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}
BOOL WINAPI CopyFileWithStreams(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    static const auto copy = Kernel32<decltype(&CopyFileW)>("CopyFileW");
    return copy(from, to, failIfExists) &&
           (!PathExists(Mark(from)) || copy(Mark(from).c_str(), Mark(to).c_str(), TRUE));
}
int marksRefused = 0;
BOOL WINAPI DeleteFileRefusingMarks(LPCWSTR path) {
    if (std::wstring(path).find(L":Zone.Identifier") == std::wstring::npos) {
        return Kernel32<decltype(&DeleteFileW)>("DeleteFileW")(path);
    }
    ++marksRefused;
    SetLastError(ERROR_WRITE_PROTECT);
    return FALSE;
}

}  // namespace

// A downloaded setup program's Mark of the Web stays off the uninstaller,
// which would otherwise make Windows warn at every uninstall; a mark that
// cannot be taken off keeps the old uninstaller.
TEST_F(InstallTest, UninstallerCopyLeavesTheMarkOfTheWebBehind) {
    const std::wstring setupMark = Mark(GetSetupExePath());
    ASSERT_TRUE(WriteFileBytes(setupMark, "[ZoneTransfer]\r\nZoneId=3\r\n"));
    ScopedImportPatch copy("kernel32.dll", "CopyFileW", reinterpret_cast<void*>(CopyFileWithStreams));
    ASSERT_TRUE(copy.ok());
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "mark cannot be deleted" : "mark deleted");
        TestLayout local;
        local.Apply();
        ASSERT_TRUE(CreateFolderTree(local.installDir));
        ASSERT_TRUE(WriteFileBytes(local.UninstallerPath(), "older uninstaller"));
        std::optional<ScopedImportPatch> refuse;
        if (refused) refuse.emplace("kernel32.dll", "DeleteFileW", reinterpret_cast<void*>(DeleteFileRefusingMarks));
        marksRefused = 0;
        std::wstring errorText;
        const bool installed = Install(errorText);
        refuse.reset();
        std::vector<std::wstring> files, marks;
        for (const std::wstring& name : ListFolder(local.installDir)) {
            (name.find(L':') == std::wstring::npos ? files : marks).push_back(name);
        }
        EXPECT_EQ(Sorted(files), kInstalledFiles);
        if (!refused) {
            EXPECT_TRUE(installed) << Narrow(errorText);
            EXPECT_EQ(ReadFileBytes(local.UninstallerPath()), RunningProgramBytes());
            EXPECT_TRUE(marks.empty()) << Narrow(marks.front());
            continue;
        }
        EXPECT_FALSE(installed);
        EXPECT_EQ(errorText, L"Could not save the uninstaller in the installation folder.");
        EXPECT_EQ(ReadFileBytes(local.UninstallerPath()), "older uninstaller");
        EXPECT_EQ(marksRefused, 1);
        // Windows deletes a stream with its file; the stand-in stays.
        ASSERT_EQ(marks.size(), 1u);
        EXPECT_TRUE(RemoveFile(local.installDir + L"\\" + marks.front()));
    }
    EXPECT_TRUE(RemoveFile(setupMark));
}

TEST_F(InstallTest, ShortcutThatCannotBeCreatedOrRemovedStopsTheRun) {
    struct Case {
        const char* name;
        bool startMenuShortcut;
        std::function<std::vector<UniqueFileHandle>(const TestLayout&)> arrange;
        std::wstring error;
    };
    const Case cases[] = {
        {"link folder is a file", true,
         [](const TestLayout& l) {
             EXPECT_TRUE(WriteFileBytes(l.root / L"StartMenu", "a file where the folder goes"));
             return std::vector<UniqueFileHandle>{};
         },
         L"Could not create the Start menu shortcut."},
        {"link in use while it should go", false,
         [](const TestLayout& l) {
             EXPECT_TRUE(CreateShortcut(l.shortcutPath, l.AppPath(), L"Velmo Tulve"));
             std::vector<UniqueFileHandle> held;
             held.push_back(HoldWithoutDeleteSharing(l.shortcutPath));
             EXPECT_TRUE(held.back());
             return held;
         },
         L"Could not remove the Start menu shortcut."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestLayout local;
        local.Apply();
        setupOptions.startMenuShortcut = c.startMenuShortcut;
        std::vector<UniqueFileHandle> held = c.arrange(local);
        std::wstring errorText;
        EXPECT_FALSE(Install(errorText));
        EXPECT_EQ(errorText, c.error);
        held.clear();
        EXPECT_EQ(Sorted(ListFolder(local.installDir)), kInstalledFiles);
        ExpectNothingRegistered();
        if (!c.startMenuShortcut) {
            EXPECT_TRUE(IsRegularFile(local.shortcutPath));
        }
    }
}
