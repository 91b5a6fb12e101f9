// The setup program as a whole process: silent installs and uninstalls with
// their exit codes and what they leave behind, the silent failure paths, the
// self-removal of the installed uninstaller, and one setup process at a time.
// Every run goes into a throwaway test root (VELMO_SETUP_TEST_ROOT).
//
// A silent run that showed a message box would never end by itself: nobody
// closes the box. So "exited within the bound" is the proof that no box was
// shown (setup_window_test shows that the same arguments without a silent
// switch do block on the box until it is closed).
#include "tests/common/payload_cases.h"
#include "tests/win/setup_process_support.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

namespace {

constexpr DWORD kSelfRemovalTimeoutMs = 20000;

using SetupProcessTest = SetupRunTest;

TEST_F(SetupProcessTest, EverySilentSwitchSpellingInstallsEverythingAndExitsWithZero) {
    for (const wchar_t* silentSwitch : {L"/VERYSILENT", L"/verysilent", L"/SILENT", L"/Silent", L"--silent",
                                        L"--SILENT"}) {
        SCOPED_TRACE(Narrow(silentSwitch));
        ResetTestRoot();
        const ProcessResult r = RunSetup(silentSwitch);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0u);
        ExpectInstalled(setupBytes);
    }
    // The same on a Windows 10 that says so whatever the prefix reports.
    ResetTestRoot();
    const SetupCopyOnWindows windows10(L"win10");
    const ProcessResult r = RunSetup(L"/VERYSILENT", windows10.path());
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    ExpectInstalled(setupBytes);
}

TEST_F(SetupProcessTest, SilentUpdateFromTheInstalledUninstallerKeepsEverythingInPlace) {
    InstallSilently();
    // A maintenance run from the installed copy itself, as the uninstall
    // entry's folder would start it.
    const ProcessResult r = RunSetup(L"/VERYSILENT", uninstaller);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    ExpectInstalled(setupBytes);
}

TEST_F(SetupProcessTest, SilentOptionErrorsExitWithOneWithoutABoxAndChangeNothing) {
    const std::wstring otherFolder = root / L"Elsewhere\\Velmo Tulve";
    struct Case {
        const wchar_t* name;
        bool installFirst;
        std::wstring arguments;
        const wchar_t* windows = nullptr;  // another Windows than the prefix's
    };
    const Case cases[] = {
        {L"Windows 8.1", false, L"/VERYSILENT", L"win81"},
        {L"Windows 8.1, uninstall", true, L"--uninstall /SILENT", L"win81"},
        {L"drive root", false, L"--dir=C:\\ /VERYSILENT"},
        {L"drive root with a dot element", false, L"--dir=C:\\.\\ /VERYSILENT"},
        {L"drive root by the short switch", false, L"/dir=C:\\ --silent"},
        {L"another folder than the recorded one", true, QuoteArgument(L"--dir=" + otherFolder) + L" /SILENT"},
        {L"another folder, uninstall", true,
         L"--uninstall " + QuoteArgument(L"--dir=" + otherFolder) + L" /VERYSILENT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        ResetTestRoot();
        if (c.installFirst) {
            ASSERT_NO_FATAL_FAILURE(InstallSilently());
        }

        std::optional<SetupCopyOnWindows> copy;
        if (c.windows) copy.emplace(c.windows);
        const ProcessResult r = RunSetup(c.arguments, copy ? copy->path() : SetupExePath());
        ASSERT_FALSE(r.timedOut) << "the run waited for something: a message box?";
        EXPECT_EQ(r.exitCode, 1u);
        EXPECT_FALSE(PathExists(otherFolder));
        if (c.installFirst) ExpectInstalled(setupBytes);
        else ExpectNothingInstalled();
    }
}

// A run that never started is no run that ended with 0 (it once read as one:
// "exit code 0, nothing installed").
TEST_F(SetupProcessTest, AProgramThatCannotStartIsNeverReadAsSuccess) {
    const ProcessResult r = RunSetup(L"/VERYSILENT", root / L"missing\\VelmoTulve-Setup.exe");
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.exitCode, kNotStarted);
    EXPECT_NE(r.output.find("CreateProcessW failed with error"), std::string::npos) << r.output;
}

TEST_F(SetupProcessTest, SilentUninstallWithNothingInstalledExitsWithOne) {
    const ProcessResult r = RunSetup(L"--uninstall /VERYSILENT");
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1u);
    ExpectNothingInstalled();
}

TEST_F(SetupProcessTest, SilentInstallThatCannotCreateItsFolderExitsWithOneAndRecordsNothing) {
    // The folder would have to be created below a file.
    const std::wstring blocker = root / L"blocker";
    ASSERT_TRUE(WriteFileBytes(blocker, "a file, not a folder"));
    const std::wstring arguments = QuoteArgument(L"--dir=" + blocker + L"\\Velmo Tulve") + L" /VERYSILENT";

    const ProcessResult r = RunSetup(arguments);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(ReadFileBytes(blocker), "a file, not a folder");
    EXPECT_FALSE(PathExists(root / L"StartMenu"));
    EXPECT_FALSE(KeyExists(kTestUninstallKey));
    EXPECT_FALSE(KeyExists(kTestRunKey));

    // The same command succeeds once the file is out of the way: the failure
    // above came from the folder, not from the arguments.
    ASSERT_TRUE(DeleteFileW(blocker.c_str()));
    const ProcessResult again = RunSetup(arguments);
    ASSERT_FALSE(again.timedOut);
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_TRUE(PathExists(blocker + L"\\Velmo Tulve\\VelmoTulve.exe"));
}

TEST_F(SetupProcessTest, QuietUninstallStringRemovesEverythingAndTheUninstallerAfterExit) {
    ASSERT_NO_FATAL_FAILURE(InstallSilently());
    const RegistryValue quiet = ReadRegistryValue(kTestUninstallKey, L"QuietUninstallString");
    ASSERT_EQ(quiet.status, ERROR_SUCCESS);
    // Exactly the command a control panel would run.
    const std::wstring commandLine(reinterpret_cast<const wchar_t*>(quiet.data.data()));
    ASSERT_EQ(commandLine, L"\"" + uninstaller + L"\" --uninstall /VERYSILENT");

    const ProcessResult r = RunProcess({}, commandLine, {}, kRunTimeoutMs);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    ExpectEntriesRemoved();

    // The hidden remover deletes the uninstaller once the setup process has
    // ended, then the folder, now empty.
    const std::wstring programs = root / L"Programs";
    EXPECT_TRUE(WaitForFolderChange(programs, kSelfRemovalTimeoutMs, [&] { return !PathExists(installDir); }))
        << "the install folder is still there";
    EXPECT_TRUE(PathExists(programs));
    EXPECT_TRUE(ListFolder(programs).empty());
}

TEST_F(SetupProcessTest, SelfRemovalLeavesAFolderThatHoldsFilesOfTheUser) {
    ASSERT_NO_FATAL_FAILURE(InstallSilently());
    ASSERT_TRUE(WriteFileBytes(installDir + L"\\notes.txt", "mine"));

    ChildProcess uninstall;
    ASSERT_TRUE(uninstall.StartCommandLine(QuoteArgument(uninstaller) + L" --uninstall /VERYSILENT"));
    ASSERT_TRUE(uninstall.WaitForExit(kRunTimeoutMs));
    EXPECT_EQ(uninstall.exitCode(), 0u);
    ExpectEntriesRemoved();

    // The remover is the setup process's child; once it has ended it has
    // done all it will do.
    const std::vector<PROCESSENTRY32W> removers = ChildProcesses(uninstall.id());
    EXPECT_TRUE(WaitForFolderChange(installDir, kSelfRemovalTimeoutMs, [&] { return !PathExists(uninstaller); }))
        << "the uninstaller is still there";
    EXPECT_TRUE(WaitForProcessesToEnd(removers, kSelfRemovalTimeoutMs));
    EXPECT_EQ(ListFolder(installDir), std::vector<std::wstring>{L"notes.txt"});
    EXPECT_EQ(ReadFileBytes(installDir + L"\\notes.txt"), "mine");
}

TEST_F(SetupProcessTest, UninstallFromACopyElsewhereLeavesNothingAtExit) {
    ASSERT_NO_FATAL_FAILURE(InstallSilently());
    const std::wstring downloads = root / L"Downloads";
    ASSERT_TRUE(CreateDirectoryW(downloads.c_str(), nullptr));
    const std::wstring copy = downloads + L"\\VelmoTulve-Setup-x64.exe";
    ASSERT_TRUE(CopyFileW(SetupExePath().c_str(), copy.c_str(), TRUE));

    ChildProcess uninstall;
    ASSERT_TRUE(uninstall.Start(copy, L"--uninstall /VERYSILENT"));
    ASSERT_TRUE(uninstall.WaitForExit(kRunTimeoutMs));
    EXPECT_EQ(uninstall.exitCode(), 0u);
    // Looked at straight after the exit: nothing is left for later.
    ExpectEntriesRemoved();
    EXPECT_FALSE(PathExists(installDir));
    EXPECT_TRUE(ChildProcesses(uninstall.id()).empty()) << "a copy elsewhere starts no remover";
    EXPECT_TRUE(PathExists(copy));
}

TEST_F(SetupProcessTest, DeleteDataDecidesWhetherTheSavedSettingsGo) {
    const std::wstring settings = root / L"Settings\\StandaloneVelmoTulve";
    struct Case {
        const wchar_t* extraSwitch;
        bool settingsRemain;
    };
    for (const Case& c : {Case{L"", true}, Case{L" --delete-data", false}, Case{L" --DELETE-DATA", false}}) {
        SCOPED_TRACE(Narrow(c.extraSwitch));
        ResetTestRoot();
        ASSERT_NO_FATAL_FAILURE(InstallSilently());
        ASSERT_TRUE(CreateDirectoryW((root / L"Settings").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(settings.c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(settings + L"\\settings.json", "{}"));

        const ProcessResult r = RunSetup(L"--uninstall /VERYSILENT" + std::wstring(c.extraSwitch));
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0u);
        ExpectEntriesRemoved();
        EXPECT_EQ(PathExists(settings + L"\\settings.json"), c.settingsRemain);
        EXPECT_EQ(PathExists(settings), c.settingsRemain);
    }
}

// --- one setup process at a time ------------------------------------------------

TEST_F(SetupProcessTest, EveryKindOfRunExitsWithOneWhileTheMutexExists) {
    // The test plays the first setup process.
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kSetupMutexName));
    ASSERT_TRUE(mutex);
    ASSERT_NE(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));

    for (const wchar_t* arguments : {L"/VERYSILENT", L"--uninstall /VERYSILENT", L"", L"--uninstall",
                                     L"--dir=C:\\"}) {
        SCOPED_TRACE(Narrow(arguments));
        // Without the mutex a window-mode run would stay until its window or
        // box was closed: ending by itself means it showed neither.
        const ProcessResult r = RunSetup(arguments);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 1u);
        ExpectNothingInstalled();
    }

    mutex.reset();
    const ProcessResult r = RunSetup(L"/VERYSILENT");
    EXPECT_EQ(r.exitCode, 0u) << "without the mutex the same program installs";
    EXPECT_TRUE(PathExists(appPath));
}

TEST_F(SetupProcessTest, SecondSetupExitsWithOneWhileAWindowIsOpen) {
    ChildProcess first;
    ASSERT_TRUE(first.Start(SetupExePath(), L""));
    const HWND window = WaitForTopLevelWindow(first, kSetupWindowClass, kRunTimeoutMs);
    ASSERT_NE(window, nullptr) << "exit code " << first.exitCode();
    EXPECT_TRUE(SetupMutexExists());

    for (const wchar_t* arguments : {L"/VERYSILENT", L"", L"--uninstall"}) {
        SCOPED_TRACE(Narrow(arguments));
        const ProcessResult r = RunSetup(arguments);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 1u);
        ExpectNothingInstalled();
        EXPECT_EQ(TopLevelWindows(0, kSetupWindowClass), std::vector<HWND>{window}) << "one setup window only";
    }
    EXPECT_TRUE(first.IsRunning());

    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    ASSERT_TRUE(first.WaitForExit(kRunTimeoutMs));
    EXPECT_EQ(first.exitCode(), 0u);
    EXPECT_FALSE(SetupMutexExists());
    const ProcessResult r = RunSetup(L"/VERYSILENT");
    EXPECT_EQ(r.exitCode, 0u) << "once the first has ended the next one runs";
}

// A real first silent run that is busy for a while: a normal-mode install
// into a folder whose VelmoTulve.exe is running and ignores WM_CLOSE waits
// four seconds for it to end (and then fails). The mutex appears at its
// start; the second run is made inside those four seconds, and the test
// checks afterwards that the first one was indeed still running.
TEST_F(SetupProcessTest, SecondSetupExitsWithOneWhileASilentRunIsWorking) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kNormalUninstallKey);
    const std::wstring busyDir = root / L"Busy";
    ASSERT_TRUE(CreateDirectoryW(busyDir.c_str(), nullptr));
    const std::wstring busyApp = busyDir + L"\\VelmoTulve.exe";
    ASSERT_TRUE(CopyFileW(Widen(VT_STUBBORN_APP_EXE).c_str(), busyApp.c_str(), TRUE));

    const std::wstring readyName = L"VelmoTulveProcessTest.Ready." + std::to_wstring(GetCurrentProcessId());
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    ASSERT_TRUE(ready);
    ChildProcess app;
    ASSERT_TRUE(app.Start(busyApp, L"--ready-event=" + readyName + L" --exit-after-ms=30000"));
    HANDLE waits[] = {ready.get(), app.handle()};
    ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, kRunTimeoutMs), WAIT_OBJECT_0) << "the stand-in never got ready";

    ChildProcess first;
    {
        ScopedEnvironment normalMode(kTestRootVariable, nullptr);
        ASSERT_TRUE(first.Start(SetupExePath(), QuoteArgument(L"--dir=" + busyDir) + L" /VERYSILENT"));
    }
    // No event says "the mutex is there": look for it between short waits on
    // the process.
    const ULONGLONG deadline = GetTickCount64() + kRunTimeoutMs;
    while (!SetupMutexExists() && GetTickCount64() < deadline &&
           WaitForSingleObject(first.handle(), 5) == WAIT_TIMEOUT) {
    }
    ASSERT_TRUE(SetupMutexExists()) << "the first run never took the mutex; exit code " << first.exitCode();

    const ProcessResult second = RunSetup(L"/VERYSILENT");
    const bool overlapped = first.IsRunning();
    ASSERT_FALSE(second.timedOut);
    EXPECT_EQ(second.exitCode, 1u);
    ExpectNothingInstalled();
    ASSERT_TRUE(overlapped) << "the first run had already ended: the overlap did not happen";

    ASSERT_TRUE(first.WaitForExit(kRunTimeoutMs));
    EXPECT_EQ(first.exitCode(), 1u) << "the running application never closed";
    EXPECT_TRUE(app.IsRunning()) << "the setup program never terminates the application";
    EXPECT_FALSE(KeyExists(kNormalUninstallKey));

    const ProcessResult after = RunSetup(L"/VERYSILENT");
    EXPECT_EQ(after.exitCode, 0u) << "once the first has ended the next one runs";
    RegDeleteTreeW(HKEY_CURRENT_USER, kNormalUninstallKey);
}

// A copy of the setup program with one bit of its payload flipped, one the
// LZMS stream still decodes (the table's "app-bit-flipped": only the digest
// tells), run silently over an installation whose application is running,
// outside a test run, where a good copy would close the application. It
// exits with 1 and the machine is as it was, the application still running;
// the good copy then closes the application and installs, so the difference
// is the damage alone.
TEST_F(SetupProcessTest, DamagedCopyExitsWithOneAndChangesNothingWhileTheApplicationRuns) {
    // The program's own resource 301: a signed build's payload holds the
    // signed application.
    HMODULE module =
        LoadLibraryExW(SetupExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(301), RT_RCDATA);
    ASSERT_NE(resource, nullptr);
    const std::string payload(static_cast<const char*>(LockResource(LoadResource(module, resource))),
                              SizeofResource(module, resource));
    FreeLibrary(module);
    std::string damaged = setupBytes;
    const size_t at = damaged.find(payload);
    ASSERT_NE(at, std::string::npos);
    for (const PayloadCase& c : MakePayloadCases(std::vector<uint8_t>(payload.begin(), payload.end()))) {
        if (c.name == "app-bit-flipped")
            damaged.replace(at, payload.size(), std::string(c.archive.begin(), c.archive.end()));
    }
    int flippedBits = 0;
    for (size_t i = 0; i < damaged.size(); ++i) flippedBits += __builtin_popcount(uint8_t(damaged[i] ^ setupBytes[i]));
    ASSERT_EQ(flippedBits, 1);
    const std::wstring damagedCopy = root / L"Downloads\\VelmoTulve-Setup-x64.exe";
    ASSERT_TRUE(CreateDirectoryW((root / L"Downloads").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(damagedCopy, damaged));

    PWSTR programs = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_Programs, 0, nullptr, &programs), S_OK);
    const std::wstring realShortcut = std::wstring(programs) + L"\\Velmo Tulve.lnk";
    CoTaskMemFree(programs);
    constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const auto removeInstallation = [&] {
        CloseApplications();
        RegDeleteTreeW(HKEY_CURRENT_USER, kNormalUninstallKey);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"VelmoTulve");
        DeleteFileW(realShortcut.c_str());
    };
    removeInstallation();
    struct Cleanup {
        std::function<void()> run;
        ~Cleanup() { run(); }
    } cleanup{removeInstallation};
    // Every file with its bytes, the shortcut's bytes, every uninstall value
    // and the Run value.
    const auto machine = [&] {
        std::map<std::wstring, std::string> state;
        for (const std::wstring& name : ListFolder(installDir)) state[name] = ReadFileBytes(installDir + L"\\" + name);
        state[L"shortcut"] = ReadFileBytes(realShortcut);
        for (const std::wstring& name : ValueNames(kNormalUninstallKey)) {
            const RegistryValue v = ReadRegistryValue(kNormalUninstallKey, name);
            state[L"uninstall " + name] = std::to_string(v.type) + std::string(v.data.begin(), v.data.end());
        }
        const RegistryValue run = ReadRegistryValue(kRunKey, L"VelmoTulve");
        state[L"run"] = std::to_string(run.status) + std::string(run.data.begin(), run.data.end());
        return state;
    };

    ScopedEnvironment normalMode(kTestRootVariable, nullptr);
    const std::wstring arguments = QuoteArgument(L"--dir=" + installDir) + L" /VERYSILENT";
    ASSERT_EQ(RunSetup(arguments).exitCode, 0u);
    ChildProcess app;
    ASSERT_TRUE(app.Start(appPath, L"", installDir));
    ASSERT_EQ(WaitForInputIdle(app.handle(), kRunTimeoutMs), 0u);
    ASSERT_FALSE(TopLevelWindows(app.id(), kAppWindowClass).empty());
    const auto before = machine();
    ASSERT_EQ(before.size(), 3u + 2 + kUninstallValueNames.size());

    const ProcessResult r = RunSetup(arguments, damagedCopy);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_TRUE(app.IsRunning()) << "the application was asked to close";
    EXPECT_FALSE(TopLevelWindows(app.id(), kAppWindowClass).empty());
    EXPECT_TRUE(machine() == before) << "the damaged copy changed the installation";

    EXPECT_EQ(RunSetup(arguments).exitCode, 0u);
    EXPECT_TRUE(app.WaitForExit(0)) << "the good copy did not close the application";
}

}  // namespace

// A read-only setup program (a copy from a read-only share or medium) gives
// an uninstaller with normal attributes, which the self-removal deletes; one
// left read-only by an older setup program is still replaced by an update.
TEST_F(SetupProcessTest, ReadOnlySetupProgramGivesAWritableUninstaller) {
    const std::wstring copy = root / L"Media\\VelmoTulve-Setup-x64.exe";
    ASSERT_TRUE(CreateDirectoryW((root / L"Media").c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(SetupExePath().c_str(), copy.c_str(), TRUE));
    ASSERT_TRUE(SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_READONLY));
    const auto readOnly = [](const std::wstring& path) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    };

    for (const bool thenUpdate : {false, true}) {
        SCOPED_TRACE(thenUpdate ? "update over it" : "uninstall with it");
        const ProcessResult install = RunSetup(L"/VERYSILENT", copy);
        ASSERT_FALSE(install.timedOut);
        ASSERT_EQ(install.exitCode, 0u);
        EXPECT_TRUE(readOnly(copy)) << "the source was changed";
        ASSERT_TRUE(PathExists(uninstaller));
        EXPECT_FALSE(readOnly(uninstaller));
        if (thenUpdate) {
            ASSERT_TRUE(SetFileAttributesW(uninstaller.c_str(), FILE_ATTRIBUTE_READONLY));
            const ProcessResult update = RunSetup(L"/VERYSILENT");
            ASSERT_FALSE(update.timedOut);
            EXPECT_EQ(update.exitCode, 0u);
            ExpectInstalled(setupBytes);
            EXPECT_FALSE(readOnly(uninstaller));
        } else {
            const ProcessResult r = RunProcess({}, QuoteArgument(uninstaller) + L" --uninstall /VERYSILENT", {},
                                               kRunTimeoutMs);
            ASSERT_FALSE(r.timedOut);
            EXPECT_EQ(r.exitCode, 0u);
            EXPECT_TRUE(WaitForFolderChange(root / L"Programs", kSelfRemovalTimeoutMs,
                                            [&] { return !PathExists(installDir); }))
                << "the uninstaller was not removed";
        }
    }
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
}
