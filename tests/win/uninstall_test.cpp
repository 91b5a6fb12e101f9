// The uninstall transaction in-process, after a real install into a test
// layout: what goes, what stays, and each way a step can fail on a real
// machine.
#include "engine/install.h"
#include "engine/paths.h"
#include "engine/uninstall.h"
#include "setup/setup_state.h"
#include "tests/win/engine_fixture.h"

#include <winioctl.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

constexpr char kSettingsText[] = "volume=7\n";
constexpr char kCacheText[] = "cached";

class UninstallTest : public EngineTest {
protected:
    // A finished install, the application's saved settings, and a startup
    // value of another program beside ours.
    void InstallFirst(TestLayout& l) {
        l.Apply();
        std::wstring errorText;
        ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
        ASSERT_TRUE(CreateFolderTree(l.settingsDir + L"\\cache"));
        ASSERT_TRUE(WriteFileBytes(l.settingsDir + L"\\settings.ini", kSettingsText));
        ASSERT_TRUE(WriteFileBytes(l.settingsDir + L"\\cache\\data.bin", kCacheText));
        ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestRunKey, L"SomethingElse", L"keep me"));
        existingInstall = true;
        existingInstallDir = l.installDir;
    }

    static void ExpectSettingsKept(const TestLayout& l) {
        EXPECT_EQ(ReadFileBytes(l.settingsDir + L"\\settings.ini"), kSettingsText);
        EXPECT_EQ(ReadFileBytes(l.settingsDir + L"\\cache\\data.bin"), kCacheText);
    }

    static void ExpectRegistryGone() {
        EXPECT_FALSE(KeyExists(kTestUninstallKey));
        EXPECT_EQ(ValueNames(kTestRunKey), std::vector<std::wstring>{L"SomethingElse"});
    }

    // The uninstall entry alone: the startup value is gone, another
    // program's beside it stays.
    static void ExpectEntryOnly(const TestLayout& l) {
        ExpectUninstallEntry(kTestUninstallKey, l.installDir, FileSizeKb(Widen(VT_APP_PATH)));
        EXPECT_EQ(ValueNames(kTestRunKey), std::vector<std::wstring>{L"SomethingElse"});
        EXPECT_FALSE(PathExists(l.shortcutPath));
    }

    static void ExpectRegistryKept(const TestLayout& l) {
        ExpectUninstallEntry(kTestUninstallKey, l.installDir, FileSizeKb(Widen(VT_APP_PATH)));
        ExpectRunValue(kTestRunKey, l.installDir);
    }
};

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// --- links out of the settings tree -------------------------------------------

enum class LinkKind { None, WindowsSymbolicLink, Junction, UnixSymbolicLink };

const char* LinkKindName(LinkKind kind) {
    switch (kind) {
        case LinkKind::WindowsSymbolicLink: return "CreateSymbolicLinkW";
        case LinkKind::Junction: return "mount point (FSCTL_SET_REPARSE_POINT)";
        case LinkKind::UnixSymbolicLink: return "host symbolic link";
        default: return "none";
    }
}

bool IsReparsePoint(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    UniqueFileHandle folder(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    bool made = false;
    if (folder) {
        const std::wstring substitute = L"\\??\\" + target;
        const USHORT substituteBytes = USHORT(substitute.size() * sizeof(wchar_t));
        const USHORT printBytes = USHORT(target.size() * sizeof(wchar_t));
        // Mount point layout: tag, length, reserved, then four USHORT offsets
        // and lengths and the two terminated names.
        std::vector<BYTE> buffer(8 + 8 + substituteBytes + 2 + printBytes + 2, 0);
        const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
        const USHORT dataLength = USHORT(buffer.size() - 8);
        const USHORT fields[4] = {0, substituteBytes, USHORT(substituteBytes + 2), printBytes};
        memcpy(buffer.data(), &tag, 4);
        memcpy(buffer.data() + 4, &dataLength, 2);
        memcpy(buffer.data() + 8, fields, 8);
        memcpy(buffer.data() + 16, substitute.data(), substituteBytes);
        memcpy(buffer.data() + 16 + substituteBytes + 2, target.data(), printBytes);
        DWORD returned = 0;
        made = DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, buffer.data(), DWORD(buffer.size()), nullptr, 0,
                               &returned, nullptr) != 0;
    }
    folder.reset();
    if (!made) RemoveDirectoryW(link.c_str());
    return made && IsReparsePoint(link);
}

// Wine names every Windows path on the host; Windows has no such function.
std::string HostPath(const std::wstring& path) {
    using Function = char*(CDECL*)(const wchar_t*);
    const auto function = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!function) return {};
    char* name = function(path.c_str());
    std::string result = name ? name : "";
    if (name) HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Under Wine a host program can be started like a Windows one, though
// CreateProcessW hands back no process to wait for. The command's effect on
// `folder` is waited for instead, through change notifications, until
// `done` holds (bounded).
bool RunHostCommand(const std::wstring& program, const std::wstring& commandLine, const std::wstring& folder,
                    const std::function<bool()>& done) {
    HANDLE change =
        FindFirstChangeNotificationW(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
    if (change == INVALID_HANDLE_VALUE) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    const bool started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &info) != 0;
    if (info.hThread) CloseHandle(info.hThread);
    if (info.hProcess) CloseHandle(info.hProcess);
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (started && !done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline || WaitForSingleObject(change, DWORD(deadline - now)) != WAIT_OBJECT_0) break;
        FindNextChangeNotification(change);
    }
    FindCloseChangeNotification(change);
    return started && done();
}

bool MakeHostSymbolicLink(const std::wstring& link, const std::wstring& target) {
    const std::string hostLink = HostPath(link), hostTarget = HostPath(target);
    if (hostLink.empty() || hostTarget.empty() || !PathExists(L"Z:\\bin\\ln")) return false;
    return RunHostCommand(L"Z:\\bin\\ln",
                          L"/bin/ln -s " + QuoteArgument(Widen(hostTarget)) + L" " + QuoteArgument(Widen(hostLink)),
                          ParentFolder(link), [&] { return IsReparsePoint(link); });
}

void RemoveHostSymbolicLink(const std::wstring& link) {
    RunHostCommand(L"Z:\\bin\\rm", L"/bin/rm " + QuoteArgument(Widen(HostPath(link))), ParentFolder(link),
                   [&] { return !PathExists(link); });
}

// The first kind of folder link this system can make.
LinkKind MakeFolderLink(const std::wstring& link, const std::wstring& target) {
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        IsReparsePoint(link)) {
        return LinkKind::WindowsSymbolicLink;
    }
    if (MakeJunction(link, target)) return LinkKind::Junction;
    if (MakeHostSymbolicLink(link, target)) return LinkKind::UnixSymbolicLink;
    return LinkKind::None;
}

}  // namespace

TEST_F(UninstallTest, RunFromElsewhereRemovesEverythingAndTheFolder) {
    for (const bool deleteData : {false, true}) {
        SCOPED_TRACE(deleteData ? "settings deleted" : "settings kept");
        TestLayout local;
        DeleteTestRegistry();
        InstallFirst(local);
        setupOptions.deleteData = deleteData;

        std::wstring errorText = L"untouched";
        ASSERT_TRUE(RunUninstall(errorText)) << Narrow(errorText);
        EXPECT_EQ(errorText, L"untouched");
        EXPECT_FALSE(selfRemovalPending);
        EXPECT_FALSE(PathExists(local.installDir));
        EXPECT_TRUE(PathExists(ParentFolder(local.installDir)));
        EXPECT_FALSE(PathExists(local.shortcutPath));
        ExpectRegistryGone();
        if (deleteData) {
            EXPECT_FALSE(PathExists(local.settingsDir));
            EXPECT_TRUE(PathExists(ParentFolder(local.settingsDir)));
        } else {
            ExpectSettingsKept(local);
        }
    }
}

TEST_F(UninstallTest, UninstallerThatIsTheRunningProgramStaysForSelfRemoval) {
    BinaryDriveFolder sameDrive;
    layout.installDir = sameDrive.path() + L"\\Velmo Tulve";
    InstallFirst(layout);
    ASSERT_TRUE(DeleteFileW(layout.UninstallerPath().c_str()));
    ASSERT_TRUE(LinkToRunningProgram(layout.UninstallerPath())) << GetLastError();
    struct Bury {
        std::wstring path;
        ~Bury() { BuryRunningProgramLink(path); }
    } bury{layout.UninstallerPath()};
    ASSERT_TRUE(IsSameFile(layout.UninstallerPath(), GetSetupExePath()));

    std::wstring errorText;
    ASSERT_TRUE(RunUninstall(errorText)) << Narrow(errorText);
    EXPECT_TRUE(selfRemovalPending);
    EXPECT_EQ(ListFolder(layout.installDir), std::vector<std::wstring>{L"VelmoTulve-Setup.exe"});
    EXPECT_TRUE(IsSameFile(layout.UninstallerPath(), GetSetupExePath()));
    EXPECT_FALSE(PathExists(layout.shortcutPath));
    ExpectRegistryGone();
}

TEST_F(UninstallTest, AFileOfTheUserKeepsTheFolder) {
    InstallFirst(layout);
    ASSERT_TRUE(WriteFileBytes(layout.installDir + L"\\notes.txt", "mine"));
    std::wstring errorText;
    ASSERT_TRUE(RunUninstall(errorText)) << Narrow(errorText);
    EXPECT_EQ(ListFolder(layout.installDir), std::vector<std::wstring>{L"notes.txt"});
    EXPECT_EQ(ReadFileBytes(layout.installDir + L"\\notes.txt"), "mine");
    ExpectRegistryGone();
}

TEST_F(UninstallTest, HardLinkedSettingsFileGoesWithoutTouchingItsOtherName) {
    InstallFirst(layout);
    const std::wstring outside = layout.root / L"outside.txt";
    ASSERT_TRUE(WriteFileBytes(outside, "still here"));
    ASSERT_TRUE(CreateHardLinkW((layout.settingsDir + L"\\linked.txt").c_str(), outside.c_str(), nullptr));
    setupOptions.deleteData = true;

    std::wstring errorText;
    ASSERT_TRUE(RunUninstall(errorText)) << Narrow(errorText);
    EXPECT_FALSE(PathExists(layout.settingsDir));
    EXPECT_EQ(ReadFileBytes(outside), "still here");
}

TEST_F(UninstallTest, FolderLinkInTheSettingsIsNeverFollowed) {
    InstallFirst(layout);
    const std::wstring outside = layout.root / L"Outside";
    ASSERT_TRUE(CreateFolderTree(outside + L"\\deeper"));
    ASSERT_TRUE(WriteFileBytes(outside + L"\\keep.txt", "keep"));
    ASSERT_TRUE(WriteFileBytes(outside + L"\\deeper\\keep-too.txt", "keep too"));
    const std::wstring link = layout.settingsDir + L"\\linked";
    const LinkKind kind = MakeFolderLink(link, outside);
    // A host link is removed on the host too; Wine cannot remove it.
    struct HostLinkCleanUp {
        std::wstring link;
        bool host;
        ~HostLinkCleanUp() {
            if (host && PathExists(link)) RemoveHostSymbolicLink(link);
        }
    } cleanUp{link, kind == LinkKind::UnixSymbolicLink};
    RecordProperty("link_kind", LinkKindName(kind));
    if (kind == LinkKind::None) GTEST_SKIP() << "this system can make no folder link";
    setupOptions.deleteData = true;

    std::wstring errorText;
    const bool removed = RunUninstall(errorText);
    // Whatever the link's kind, what it points at is not the settings' to lose.
    EXPECT_EQ(Sorted(ListFolder(outside)), (std::vector<std::wstring>{L"deeper", L"keep.txt"}));
    EXPECT_EQ(ReadFileBytes(outside + L"\\keep.txt"), "keep");
    EXPECT_EQ(ReadFileBytes(outside + L"\\deeper\\keep-too.txt"), "keep too");
    if (kind == LinkKind::UnixSymbolicLink) {
        // Wine lists a host link to a folder as a reparse point but cannot
        // remove it with RemoveDirectoryW (ERROR_DIR_NOT_EMPTY): the link
        // stays and the uninstall says so instead of deleting through it.
        EXPECT_FALSE(removed);
        EXPECT_EQ(errorText, L"Could not remove the saved settings.");
        EXPECT_TRUE(IsReparsePoint(link));
    } else {
        EXPECT_TRUE(removed) << Narrow(errorText);
        EXPECT_FALSE(PathExists(layout.settingsDir));
    }
}

TEST_F(UninstallTest, MissingFilesAndKeysAreNoError) {
    struct Case {
        const char* name;
        std::function<void(const TestLayout&)> arrange;
    };
    const Case cases[] = {
        {"nothing left at all", [](const TestLayout&) {}},
        {"only the uninstall entry",
         [](const TestLayout& l) {
             ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestUninstallKey, L"InstallLocation", l.installDir));
         }},
        {"only the uninstaller in its folder",
         [](const TestLayout& l) {
             ASSERT_TRUE(CreateFolderTree(l.installDir));
             ASSERT_TRUE(WriteFileBytes(l.UninstallerPath(), "uninstaller"));
         }},
        {"an empty folder and a startup value",
         [](const TestLayout& l) {
             ASSERT_TRUE(CreateFolderTree(l.installDir));
             ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestRunKey, L"VelmoTulve", L"x"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestLayout local;
        local.Apply();
        DeleteTestRegistry();
        c.arrange(local);
        existingInstall = true;
        setupOptions.deleteData = true;
        std::wstring errorText;
        EXPECT_TRUE(RunUninstall(errorText)) << Narrow(errorText);
        EXPECT_FALSE(PathExists(local.installDir));
        EXPECT_FALSE(PathExists(local.shortcutPath));
        EXPECT_FALSE(KeyExists(kTestUninstallKey));
        EXPECT_EQ(ReadRegistryValue(kTestRunKey, L"VelmoTulve").status, ERROR_FILE_NOT_FOUND);
    }
}

TEST_F(UninstallTest, WithoutAnInstallationNothingIsTouched) {
    InstallFirst(layout);
    existingInstall = false;
    setupOptions.deleteData = true;
    std::wstring errorText;
    EXPECT_FALSE(RunUninstall(errorText));
    EXPECT_EQ(errorText, L"No Velmo Tulve installation was found in this folder.");
    EXPECT_EQ(Sorted(ListFolder(layout.installDir)),
              (std::vector<std::wstring>{L"LICENSE", L"VelmoTulve-Setup.exe", L"VelmoTulve.exe"}));
    EXPECT_TRUE(IsRegularFile(layout.shortcutPath));
    ExpectSettingsKept(layout);
    ExpectRegistryKept(layout);
}

TEST_F(UninstallTest, EachStepThatCannotBeDoneStopsWithItsMessage) {
    struct Held {
        std::vector<UniqueFileHandle> files;
        std::vector<std::unique_ptr<LockedRegistryKey>> keys;
    };
    struct Case {
        const char* name;
        bool deleteData;
        std::function<void(const TestLayout&, Held&)> arrange;
        std::wstring error;
        std::function<void(const TestLayout&)> check;
    };
    const auto holdFile = [](const std::wstring& path, bool folder = false) {
        return [path, folder](const TestLayout&, Held& held) {
            held.files.push_back(HoldWithoutDeleteSharing(path, folder));
            EXPECT_TRUE(held.files.back()) << Narrow(path);
        };
    };
    const auto lockKey = [](const wchar_t* key) {
        return [key](const TestLayout&, Held& held) {
            held.keys.push_back(std::make_unique<LockedRegistryKey>(key));
            EXPECT_TRUE(held.keys.back()->locked());
        };
    };
    const wchar_t* entries = L"Could not remove the Windows shortcut or registry entries.";

    TestLayout shared;  // every case starts from it afresh
    const Case cases[] = {
        // The shortcut and the startup value go first: whatever stops the
        // run later leaves nothing that starts a program that is gone.
        {"application in use", false, holdFile(shared.AppPath()), L"Could not remove VelmoTulve.exe.",
         [](const TestLayout& l) {
             EXPECT_EQ(ReadFileBytes(l.AppPath()), AppBytes());
             EXPECT_TRUE(PathExists(l.LicensePath()));
             EXPECT_FALSE(PathExists(l.shortcutPath));
             ExpectEntryOnly(l);
         }},
        {"licence in use", false, holdFile(shared.LicensePath()), L"Could not remove LICENSE.",
         [](const TestLayout& l) {
             EXPECT_FALSE(PathExists(l.AppPath()));
             EXPECT_EQ(ReadFileBytes(l.LicensePath()), LicenseBytes());
             ExpectEntryOnly(l);
         }},
        {"settings file in use", true, holdFile(shared.settingsDir + L"\\settings.ini"),
         L"Could not remove the saved settings.",
         [](const TestLayout& l) {
             EXPECT_FALSE(PathExists(l.AppPath()));
             EXPECT_FALSE(PathExists(l.LicensePath()));
             EXPECT_EQ(ReadFileBytes(l.settingsDir + L"\\settings.ini"), kSettingsText);
             ExpectEntryOnly(l);
         }},
        {"shortcut in use", false, holdFile(shared.shortcutPath), entries,
         [](const TestLayout& l) {
             EXPECT_TRUE(IsRegularFile(l.shortcutPath));
             ExpectRegistryKept(l);
             EXPECT_EQ(ReadFileBytes(l.AppPath()), AppBytes());
             EXPECT_TRUE(PathExists(l.UninstallerPath()));
         }},
        {"startup key locked", false, lockKey(kTestRunKey), entries,
         [](const TestLayout& l) {
             EXPECT_FALSE(PathExists(l.shortcutPath));
             ExpectRegistryKept(l);
             EXPECT_EQ(ReadFileBytes(l.AppPath()), AppBytes());
         }},
        // The entry stays until the files are gone: a run that stops before
        // can be repeated from Windows' settings.
        {"uninstaller in use", false, holdFile(shared.UninstallerPath()), L"Could not remove the uninstaller.",
         [](const TestLayout& l) {
             ExpectEntryOnly(l);
             EXPECT_EQ(ListFolder(l.installDir), std::vector<std::wstring>{L"VelmoTulve-Setup.exe"});
         }},
        {"empty folder in use", false, holdFile(shared.installDir, true),
         L"Could not remove the empty installation folder.",
         [](const TestLayout& l) {
             ExpectEntryOnly(l);
             EXPECT_TRUE(PathExists(l.installDir));
             EXPECT_TRUE(ListFolder(l.installDir).empty());
         }},
        // The entry goes last of all.
        {"uninstall key locked", false, lockKey(kTestUninstallKey), entries,
         [](const TestLayout& l) {
             ExpectEntryOnly(l);
             EXPECT_FALSE(PathExists(l.installDir));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(shared.root.path());
        ASSERT_TRUE(CreateDirectoryW(shared.root.path().c_str(), nullptr));
        DeleteTestRegistry();
        InstallFirst(shared);
        setupOptions.deleteData = c.deleteData;
        Held held;
        c.arrange(shared, held);

        std::wstring errorText;
        EXPECT_FALSE(RunUninstall(errorText));
        EXPECT_EQ(errorText, c.error);
        EXPECT_FALSE(selfRemovalPending);
        held = Held{};
        c.check(shared);
        // Nothing starts or names a program that is gone.
        if (!PathExists(shared.AppPath())) {
            EXPECT_FALSE(PathExists(shared.shortcutPath));
            EXPECT_EQ(ReadRegistryValue(kTestRunKey, L"VelmoTulve").status, ERROR_FILE_NOT_FOUND);
        }
        if (PathExists(shared.UninstallerPath())) {
            EXPECT_TRUE(KeyExists(kTestUninstallKey)) << "the uninstaller is there but Windows cannot find it";
        }
    }
}
