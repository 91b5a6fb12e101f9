// Shared ground for the in-process tests of the install and uninstall
// transactions: a throwaway per-user layout below a temporary folder, the
// test registry keys, readers for what a run left in the registry, a window
// that collects the progress channel's messages, and the small process and
// file tools those tests share.
#pragma once

#include "setup/owners.h"
#include "tests/win/test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Puts the process-wide setup state back to what a fresh process has.
void ResetSetupState();

// A test root with the same shape ReadSetupOptions gives a test run.
struct TestLayout {
    TempFolder root;
    std::wstring installDir = root / L"Programs\\Velmo Tulve";
    std::wstring settingsDir = root / L"Settings\\StandaloneVelmoTulve";
    std::wstring shortcutPath = root / L"StartMenu\\Velmo Tulve.lnk";

    std::wstring AppPath() const { return installDir + L"\\VelmoTulve.exe"; }
    std::wstring LicensePath() const { return installDir + L"\\LICENSE"; }
    std::wstring UninstallerPath() const { return installDir + L"\\VelmoTulve-Setup.exe"; }

    // Fills setupOptions with this layout; `testRoot` says whether the run
    // counts as a test run (which never stops a running copy).
    void Apply(bool testRoot = true) const;
};

// Every transaction test: COM for the shell link, a clean test registry and
// a clean process state before and after.
class EngineTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TestLayout layout;
    bool comInitialized = false;
};

// --- registry -----------------------------------------------------------------

// Creates the key with REG_OPTION_VOLATILE. Windows and Wine refuse to create
// a non-volatile key below it (ERROR_CHILD_MUST_BE_VOLATILE).
bool CreateVolatileKey(const std::wstring& subKey);

// Gives an existing key an empty DACL while the object lives, so nobody may
// read, write or delete it; the owner's right to change the DACL brings the
// open one back.
class LockedRegistryKey {
public:
    explicit LockedRegistryKey(std::wstring subKey);
    ~LockedRegistryKey();
    LockedRegistryKey(const LockedRegistryKey&) = delete;
    LockedRegistryKey& operator=(const LockedRegistryKey&) = delete;
    bool locked() const { return locked_; }

private:
    std::wstring subKey_;
    bool locked_ = false;
};

// --- progress channel ------------------------------------------------------------

struct ProgressMessage {
    WPARAM code = 0;
    bool hasText = false;
    std::wstring text;
};

// A real top-level window of the test's own thread that stands in for the
// setup window; it is made mainWindow while the object lives.
class ProgressWindow {
public:
    ProgressWindow();
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    HWND handle() const { return window_; }
    // Removes every queued WM_SETUP_PROGRESS, frees each text with free() and
    // returns what they said, in order.
    std::vector<ProgressMessage> Drain();
    // The same, but hands over the raw lParam of each message unfreed.
    std::vector<MSG> TakeRaw();

private:
    HWND window_ = nullptr;
};

// --- files and processes --------------------------------------------------------

std::string AppBytes();
std::string LicenseBytes();
// The bytes of the running test program, which plays the setup program.
std::string RunningProgramBytes();

// A file handle that keeps `path` from being deleted or renamed over.
UniqueFileHandle HoldWithoutDeleteSharing(const std::wstring& path, bool folder = false);

// A fresh folder on the drive of the test program, removed with its contents
// afterwards. Wine gives each drive its own volume serial number, so a second
// name of the test program only counts as the same file on its own drive.
class BinaryDriveFolder {
public:
    BinaryDriveFolder();
    ~BinaryDriveFolder();
    BinaryDriveFolder(const BinaryDriveFolder&) = delete;
    BinaryDriveFolder& operator=(const BinaryDriveFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// Makes `link` a second name of the running test program, so it counts as the
// setup program's own file. Such a name cannot be deleted while this process
// runs; Bury moves it into a folder beside the test programs that the next
// run of a test program empties (SweepBuriedLinks).
bool LinkToRunningProgram(const std::wstring& link);
void BuryRunningProgramLink(const std::wstring& link);
void SweepBuriedLinks();

// A named manual-reset event with a name unique to this run.
struct NamedEvent {
    std::wstring name;
    UniqueHandle handle;
    static NamedEvent Create(const std::wstring& purpose);
};
