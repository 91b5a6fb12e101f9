// Tools for the tests that run the built setup program as a process of its
// own: starting it without waiting, finding the windows it shows, waiting
// for changes on disk, reading what it left in the registry and in its
// shortcut, and a scoped DPI setting for the processes started meanwhile.
#pragma once

#include "tests/win/test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline constexpr wchar_t kSetupWindowClass[] = L"VelmoTulveSetupWindow";
inline constexpr wchar_t kSetupWindowTitle[] = L"Velmo Tulve Setup";
inline constexpr wchar_t kSetupMutexName[] = L"Local\\VelmoTulveSetup";
inline constexpr wchar_t kTestRootVariable[] = L"VELMO_SETUP_TEST_ROOT";
inline constexpr wchar_t kDialogClass[] = L"#32770";

// A program started without waiting for it. Whatever still runs when the
// object goes away is terminated, so a failed test leaves no process behind.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // `arguments` follow the program's quoted path on the command line.
    bool Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDir = {});
    // The whole command line as given; the system finds the program in it.
    bool StartCommandLine(const std::wstring& commandLine, const std::wstring& workingDir = {});
    // True when the process ended within `timeoutMs`; its exit code is then
    // in exitCode().
    bool WaitForExit(DWORD timeoutMs);
    bool IsRunning() const;
    DWORD exitCode() const;
    DWORD id() const { return id_; }
    HANDLE handle() const { return process_.get(); }

private:
    UniqueHandle process_;
    DWORD id_ = 0;
};

// Waits, at most `timeoutMs`, for a visible top-level window of the class
// owned by the process. There is no event for "a window appeared", so it
// looks again every few milliseconds, waiting on the process in between:
// null at once when the process ends first, or when the time is up.
HWND WaitForTopLevelWindow(const ChildProcess& process, const wchar_t* className, DWORD timeoutMs);

std::wstring WindowText(HWND window);

// Waits, at most `timeoutMs`, until `condition` holds, woken by every change
// of file or folder names below `watchedFolder` (FindFirstChangeNotificationW).
// The condition is looked at once before the first wait and after each change.
template <typename Condition>
bool WaitForFolderChange(const std::wstring& watchedFolder, DWORD timeoutMs, Condition condition);

// The target path of a shell link file (IShellLinkW::GetPath); empty when it
// cannot be loaded. COM must be initialised on the calling thread.
std::wstring ShortcutTarget(const std::wstring& linkPath);

// Sets HKCU\Control Panel\Desktop LogPixels for the processes started while
// the object lives, and puts the old value (or its absence) back afterwards.
// Wine reads the value when a process starts, also with a running server.
class ScopedLogPixels {
public:
    explicit ScopedLogPixels(DWORD dpi);
    ~ScopedLogPixels();
    ScopedLogPixels(const ScopedLogPixels&) = delete;
    ScopedLogPixels& operator=(const ScopedLogPixels&) = delete;
    bool applied() const { return applied_; }

private:
    RegistryValue old_;
    bool applied_ = false;
};

// A copy of the setup program that Wine runs as on another Windows: `version`
// is one of winecfg's names ("win81", "win10"), set for the copy's own file
// name under HKCU\Software\Wine\AppDefaults, as winecfg sets a program's
// version. The copy and the key go with the object.
class SetupCopyOnWindows {
public:
    explicit SetupCopyOnWindows(const std::wstring& version);
    ~SetupCopyOnWindows();
    SetupCopyOnWindows(const SetupCopyOnWindows&) = delete;
    SetupCopyOnWindows& operator=(const SetupCopyOnWindows&) = delete;
    const std::wstring& path() const { return path_; }

private:
    TempFolder folder_;
    std::wstring path_, key_;
};

// The setup program's single-instance mutex exists (someone holds a handle).
bool SetupMutexExists();

// Ends the tray applications a test started (they end on WM_CLOSE) and waits
// for each, bounded.
void CloseApplications();

// Bound of one run of the setup program.
inline constexpr DWORD kRunTimeoutMs = 20000;

// Every test that runs the built setup program as a process against a
// throwaway test root (VELMO_SETUP_TEST_ROOT set while the test runs), with
// the checks of what a run left behind.
class SetupRunTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs `program` (the built setup program by default) with `arguments`
    // and waits for it, bounded.
    ProcessResult RunSetup(const std::wstring& arguments, const std::wstring& program = SetupExePath());
    void InstallSilently();

    // Everything an install leaves, compared with the packed inputs and with
    // the setup program that ran; the Run value and the shortcut only when
    // their options were on (and then no trace of them).
    void ExpectInstalled(const std::string& ranSetupBytes, bool autoStart = true, bool shortcutWanted = true);
    // The application's files, the shortcut and both registry entries are gone.
    void ExpectEntriesRemoved();
    // Nothing of an installation anywhere: no file below the test root, no
    // test registry key.
    void ExpectNothingInstalled();
    void ResetTestRoot();

    TempFolder root;
    ScopedEnvironment testRootVariable{kTestRootVariable, root.path().c_str()};
    std::wstring installDir = root / L"Programs\\Velmo Tulve";
    std::wstring appPath = installDir + L"\\VelmoTulve.exe";
    std::wstring uninstaller = installDir + L"\\VelmoTulve-Setup.exe";
    std::wstring shortcut = root / L"StartMenu\\Velmo Tulve.lnk";
    std::wstring settingsDir = root / L"Settings\\StandaloneVelmoTulve";
    std::string appBytes, licenseBytes, setupBytes;
    bool comInitialized = false;
};

// Runs xdotool with `arguments` (in sh's syntax: quote with ') and waits for
// it; true when it exits with 0. It talks to the X server Wine draws on, so
// its clicks and keys are real input to the Windows programs.
bool Xdotool(const std::wstring& arguments);

// The setup program's window in another process, driven as a user drives it:
// mouse clicks and key presses through the X server, aimed at the centres of
// the targets the window reports for the frame it painted last.
class SetupWindowDriver {
public:
    // Starts the setup program and waits until it has painted its first page.
    bool Start(const std::wstring& arguments = {});
    ChildProcess& process() { return process_; }
    HWND window() const { return window_; }

    // The window's query (kQueryPageMessage); -1 when it does not answer.
    LRESULT Query(WPARAM what = 0) const;
    // Waits until the painted frame has the target: its centre on screen.
    bool TargetOnScreen(int32_t id, POINT& screen) const;
    // `times` clicks in a row, as a double click is, `above` pixels above
    // the centre.
    bool Click(int32_t id, int times = 1, int above = 0) const;
    // Presses the keys (xdotool key names) with the pointer over the window,
    // where Wine's X11 driver sends them.
    bool Keys(const wchar_t* keys) const;
    // Tab until the focus is on `id`; false when it never gets there.
    bool TabTo(int32_t id) const;
    // Waits until the page is shown and drawn.
    bool WaitForPage(LRESULT page) const;
    bool WaitForHeight(int pixels) const;
    bool WaitForExit(DWORD& exitCode);

private:
    ChildProcess process_;
    HWND window_ = nullptr;
};

// Looks at `condition` between short waits, for at most `timeoutMs`: there
// is no event for what these tests wait for on screen. The waits are on
// `process` when one is given; false when it ends first or the time is up.
template <typename Condition>
bool WaitUntil(HANDLE process, DWORD timeoutMs, Condition condition);
template <typename Condition>
bool WaitWhileRunning(const ChildProcess& process, DWORD timeoutMs, Condition condition) {
    return WaitUntil(process.handle(), timeoutMs, condition);
}

// --- template -------------------------------------------------------------------

template <typename Condition>
bool WaitForFolderChange(const std::wstring& watchedFolder, DWORD timeoutMs, Condition condition) {
    HANDLE change = FindFirstChangeNotificationW(watchedFolder.c_str(), TRUE,
                                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool met = condition();
    while (!met && change != INVALID_HANDLE_VALUE) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        const DWORD wait = WaitForSingleObject(change, DWORD(deadline - now));
        met = condition();
        if (wait != WAIT_OBJECT_0 || !FindNextChangeNotification(change)) break;
    }
    if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
    return met;
}

template <typename Condition>
bool WaitUntil(HANDLE process, DWORD timeoutMs, Condition condition) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        if (!process) {
            Sleep(20);
        } else if (WaitForSingleObject(process, 20) != WAIT_TIMEOUT) {
            return condition();
        }
    }
}
