// Tools for the tests that run the built setup program as a process of its
// own: starting it without waiting, finding the windows it shows, waiting
// for changes on disk, reading what it left in the registry and in its
// shortcut, and a scoped DPI setting for the processes started meanwhile.
#pragma once

#include "tests/win/test_support.h"

#include <windows.h>

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

// Waits, at most `timeoutMs` in all, until each of these processes has ended;
// one that is already gone counts as ended.
bool WaitForProcessesToEnd(const std::vector<PROCESSENTRY32W>& processes, DWORD timeoutMs);

// The setup program's single-instance mutex exists (someone holds a handle).
bool SetupMutexExists();

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
