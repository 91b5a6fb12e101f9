// Helpers for the tests that run under Wine: child processes, scratch
// folders, files, and the registry a test run reads and writes.
#pragma once

#include "setup/owners.h"

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

// The window class of the tray application.
inline constexpr wchar_t kAppWindowClass[] = L"StandaloneVelmoTulveHost";

// The exit code of a run whose program could not be started.
inline constexpr DWORD kNotStarted = 0xFFFFFFFF;

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = kNotStarted;
    std::string output;  // stdout and stderr, as written; why it did not start
};

// Runs `commandLine` (the whole line, program included) and waits for it.
// `application` may be empty to let the command line name the program.
ProcessResult RunProcess(const std::wstring& application, const std::wstring& commandLine,
                         const std::wstring& workingDir = {}, DWORD timeoutMs = 120000);

// Folder of the running test executable; the build puts the programs under
// test there or beside it.
std::wstring TestBinaryFolder();
// Full path of the setup program built by this tree, or the one named by
// VT_TEST_SETUP_EXE.
std::wstring SetupExePath();
// The application that setup program packs: this tree's, or the one named by
// VT_TEST_PACKED_APP.
std::wstring PackedAppPath();

// Sets an environment variable for the lifetime of the object; restores the
// old value (or absence) afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value);  // null value: unset
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring name_;
    std::wstring old_;
    bool hadOld_ = false;
};

// A fresh, empty folder below the temporary folder, removed with everything
// in it when the object goes away.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const;

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
bool PathExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Names in a folder, "." and ".." left out.
std::vector<std::wstring> ListFolder(const std::wstring& folder);
// The ".tulve-*.tmp" files in `folder`: what the engine writes before it
// renames, and none may outlive a run.
std::vector<std::wstring> TemporaryFiles(const std::wstring& folder);

// Removes HKCU\Software\VelmoTulveSetupTest and everything below it.
void DeleteTestRegistry();

// The keys a run with a test root writes, and the real uninstall key.
inline constexpr wchar_t kTestUninstallKey[] = L"Software\\VelmoTulveSetupTest\\Uninstall";
inline constexpr wchar_t kTestRunKey[] = L"Software\\VelmoTulveSetupTest\\Run";
inline constexpr wchar_t kNormalUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelmoTulve";

// --- registry (HKEY_CURRENT_USER) -------------------------------------------------

struct RegistryValue {
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The value exactly as stored (no expansion, no added terminator).
RegistryValue ReadRegistryValue(const std::wstring& subKey, const std::wstring& name);
// The bytes a REG_SZ holding `text` and its terminator has.
std::vector<BYTE> StringBytes(const std::wstring& text);
std::vector<BYTE> DwordBytes(DWORD value);
bool KeyExists(const std::wstring& subKey);
// Names of the values in the key, sorted; empty when the key is missing.
std::vector<std::wstring> ValueNames(const std::wstring& subKey);

// The ten values of the uninstall entry, in the order they are written.
extern const std::vector<std::wstring> kUninstallValueNames;
// Checks the uninstall entry holds exactly the ten values for this folder
// and application size, and the Run value starts the application there.
void ExpectUninstallEntry(const std::wstring& subKey, const std::wstring& installDir, DWORD estimatedSizeKb);
void ExpectRunValue(const std::wstring& subKey, const std::wstring& installDir);

// (bytes + 1023) / 1024 of the file; 0 when it cannot be read.
DWORD FileSizeKb(const std::wstring& path);
ULONGLONG FileSize(const std::wstring& path);

// --- processes and windows --------------------------------------------------------

// A started program (hidden error boxes, no handles inherited).
struct StartedProcess {
    UniqueHandle process;
    DWORD id = 0;
    explicit operator bool() const { return bool(process); }
};
// An empty `application` lets the command line name the program.
StartedProcess StartProgram(const std::wstring& application, const std::wstring& commandLine,
                            const std::wstring& workingDir = {});
// Ends the process if it still runs and waits (bounded) for it.
void EndProcess(StartedProcess& started);
// The running processes whose parent was `parentId` (a snapshot).
std::vector<PROCESSENTRY32W> ChildProcesses(DWORD parentId);
// Waits, at most `timeoutMs` in all, until each of these processes has ended;
// one that is already gone counts as ended.
bool WaitForProcessesToEnd(const std::vector<PROCESSENTRY32W>& processes, DWORD timeoutMs);

// Top-level windows of the process with this class name (all of them when
// `processId` is 0).
std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className);
std::wstring ClassName(HWND window);

// Points this program's import of `function` from `dll` at `replacement`
// while the object lives, so that code under test linked into the test
// program meets a failing platform call. ok() is false when there is no such
// import.
class ScopedImportPatch {
public:
    ScopedImportPatch(const char* dll, const char* function, void* replacement);
    ~ScopedImportPatch();
    ScopedImportPatch(const ScopedImportPatch&) = delete;
    ScopedImportPatch& operator=(const ScopedImportPatch&) = delete;
    bool ok() const { return slot_ != nullptr; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// The display in another mode while the object lives, for every process:
// ChangeDisplaySettingsExW without saving it. In the tests' Wine virtual
// desktop this resizes the desktop, and the monitor and its work area with
// it, as a smaller screen is. The registry's mode comes back afterwards.
class ScopedDisplayMode {
public:
    ScopedDisplayMode(DWORD width, DWORD height);
    ~ScopedDisplayMode();
    ScopedDisplayMode(const ScopedDisplayMode&) = delete;
    ScopedDisplayMode& operator=(const ScopedDisplayMode&) = delete;
    bool applied() const { return applied_; }

private:
    bool applied_ = false;
};

// The work area of the monitor the window is on.
RECT MonitorWorkArea(HWND window);

// Counts the calls of Sleep made by the code under test while the object
// lives (they still sleep): how often a retry loop waited, whatever the clock.
class ScopedSleepCount {
public:
    ScopedSleepCount();
    ~ScopedSleepCount();
    ScopedSleepCount(const ScopedSleepCount&) = delete;
    ScopedSleepCount& operator=(const ScopedSleepCount&) = delete;
    int count() const;

private:
    ScopedImportPatch patch_;
};

// Holds a file open without delete sharing, as a virus scanner does, and
// lets go after `holdMs` on a thread of its own (never, for INFINITE), or
// when Release is called.
class TimedHold {
public:
    TimedHold(const std::wstring& path, DWORD holdMs);
    ~TimedHold();
    void Release();
    TimedHold(const TimedHold&) = delete;
    TimedHold& operator=(const TimedHold&) = delete;
    explicit operator bool() const { return bool(file_); }

private:
    UniqueFileHandle file_;
    UniqueHandle release_;
    DWORD holdMs_ = 0;
    UniqueHandle thread_;
};

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);
// Quotes one argument by CommandLineToArgvW's rules.
std::wstring QuoteArgument(const std::wstring& argument);
