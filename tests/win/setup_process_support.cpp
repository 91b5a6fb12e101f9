#include "tests/win/setup_process_support.h"

#include "window/setup_window.h"
#include "window/ui_state.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windowsx.h>

#include <utility>

namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixelsValue[] = L"LogPixels";
// Between two looks for a window that has not appeared yet.
constexpr DWORD kWindowPollMs = 20;

}  // namespace

ChildProcess::~ChildProcess() {
    if (IsRunning()) {
        TerminateProcess(process_.get(), 255);
        WaitForSingleObject(process_.get(), 10000);
    }
}

bool ChildProcess::Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDir) {
    return StartCommandLine(QuoteArgument(program) + (arguments.empty() ? L"" : L" " + arguments), workingDir);
}

bool ChildProcess::StartCommandLine(const std::wstring& commandLine, const std::wstring& workingDir) {
    StartedProcess started = StartProgram({}, commandLine, workingDir);
    process_ = std::move(started.process);
    id_ = started.id;
    return bool(process_);
}

bool ChildProcess::WaitForExit(DWORD timeoutMs) {
    return process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool ChildProcess::IsRunning() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

DWORD ChildProcess::exitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_.get(), &code);
    return code;
}

HWND WaitForTopLevelWindow(const ChildProcess& process, const wchar_t* className, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        for (HWND window : TopLevelWindows(process.id(), className)) {
            if (IsWindowVisible(window)) return window;
        }
        if (GetTickCount64() >= deadline) return nullptr;
        // Returns early, and ends the search, when the process has ended.
        if (WaitForSingleObject(process.handle(), kWindowPollMs) != WAIT_TIMEOUT) return nullptr;
    }
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    const int length = GetWindowTextW(window, text, 1024);
    return std::wstring(text, length > 0 ? length : 0);
}

std::wstring ShortcutTarget(const std::wstring& linkPath) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)))) return {};
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file)) || FAILED(file->Load(linkPath.c_str(), STGM_READ))) return {};
    wchar_t target[MAX_PATH] = {};
    if (link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH) != S_OK) return {};
    return target;
}

ScopedLogPixels::ScopedLogPixels(DWORD dpi) : old_(ReadRegistryValue(kDesktopKey, kLogPixelsValue)) {
    applied_ = RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixelsValue, REG_DWORD, &dpi, sizeof(dpi)) ==
               ERROR_SUCCESS;
}

ScopedLogPixels::~ScopedLogPixels() {
    if (old_.status == ERROR_SUCCESS) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixelsValue, old_.type, old_.data.data(),
                        DWORD(old_.data.size()));
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixelsValue);
    }
}

SetupCopyOnWindows::SetupCopyOnWindows(const std::wstring& version)
    : path_(folder_ / (L"VelmoTulve-Setup-" + version + L".exe")),
      key_(L"Software\\Wine\\AppDefaults\\VelmoTulve-Setup-" + version + L".exe") {
    EXPECT_TRUE(CopyFileW(SetupExePath().c_str(), path_.c_str(), TRUE));
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Version", REG_SZ, version.c_str(),
                              DWORD((version.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

SetupCopyOnWindows::~SetupCopyOnWindows() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }

bool SetupMutexExists() {
    UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kSetupMutexName));
    return bool(mutex);
}

void SetupRunTest::SetUp() {
    ASSERT_FALSE(SetupMutexExists()) << "another setup process is still running";
    DeleteTestRegistry();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    comInitialized = true;
    appBytes = ReadFileBytes(PackedAppPath());
    licenseBytes = ReadFileBytes(Widen(VT_LICENSE_PATH));
    setupBytes = ReadFileBytes(SetupExePath());
    ASSERT_FALSE(appBytes.empty());
    ASSERT_FALSE(licenseBytes.empty());
    ASSERT_FALSE(setupBytes.empty());
}

void SetupRunTest::TearDown() {
    DeleteTestRegistry();
    if (comInitialized) CoUninitialize();
}

ProcessResult SetupRunTest::RunSetup(const std::wstring& arguments, const std::wstring& program) {
    return RunProcess(program, QuoteArgument(program) + L" " + arguments, {}, kRunTimeoutMs);
}

void SetupRunTest::InstallSilently() {
    const ProcessResult r = RunSetup(L"/VERYSILENT");
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(r.exitCode, 0u) << r.output;
    ASSERT_TRUE(PathExists(uninstaller)) << "exit code 0, but nothing installed; the program printed: " << r.output;
}

void SetupRunTest::ExpectInstalled(const std::string& ranSetupBytes, bool autoStart, bool shortcutWanted) {
    EXPECT_TRUE(ReadFileBytes(installDir + L"\\VelmoTulve.exe") == appBytes) << "application differs";
    EXPECT_TRUE(ReadFileBytes(installDir + L"\\LICENSE") == licenseBytes) << "licence differs";
    EXPECT_TRUE(ReadFileBytes(uninstaller) == ranSetupBytes) << "uninstaller differs from the setup that ran";
    EXPECT_EQ(PathExists(shortcut), shortcutWanted);
    if (shortcutWanted) {
        EXPECT_EQ(ShortcutTarget(shortcut), appPath);
    }
    if (autoStart) {
        ExpectRunValue(kTestRunKey, installDir);
    } else {
        EXPECT_EQ(ReadRegistryValue(kTestRunKey, L"VelmoTulve").status, ERROR_FILE_NOT_FOUND);
    }
    ExpectUninstallEntry(kTestUninstallKey, installDir, FileSizeKb(PackedAppPath()));
}

void SetupRunTest::ExpectEntriesRemoved() {
    EXPECT_FALSE(PathExists(appPath));
    EXPECT_FALSE(PathExists(installDir + L"\\LICENSE"));
    EXPECT_FALSE(PathExists(shortcut));
    EXPECT_FALSE(KeyExists(kTestUninstallKey));
    EXPECT_EQ(ReadRegistryValue(kTestRunKey, L"VelmoTulve").status, ERROR_FILE_NOT_FOUND);
}

void SetupRunTest::ExpectNothingInstalled() {
    EXPECT_FALSE(PathExists(root / L"Programs"));
    EXPECT_FALSE(PathExists(root / L"StartMenu"));
    EXPECT_FALSE(KeyExists(kTestUninstallKey));
    EXPECT_FALSE(KeyExists(kTestRunKey));
}

void SetupRunTest::ResetTestRoot() {
    for (const std::wstring& name : ListFolder(root.path())) RemoveTree(root / name);
    DeleteTestRegistry();
}

bool Xdotool(const std::wstring& arguments) {
    // Wine starts a Linux program but gives no handle to wait on, so sh runs
    // xdotool and renames its exit status into a file of a scratch folder.
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    static const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    TempFolder folder;
    char* const unixFolder = unixFileName ? unixFileName(folder.path().c_str()) : nullptr;
    if (!unixFolder) return false;
    const std::wstring status = Widen(unixFolder) + L"/status";
    HeapFree(GetProcessHeap(), 0, unixFolder);
    StartProgram(L"Z:\\bin\\sh", L"sh -c \"xdotool " + arguments + L"; echo $? > '" + status + L".tmp' && mv '" +
                                     status + L".tmp' '" + status + L"'\"");
    const std::wstring done = folder / L"status";
    return WaitForFolderChange(folder.path(), kRunTimeoutMs, [&] { return PathExists(done); }) &&
           ReadFileBytes(done) == "0\n";
}

bool SetupWindowDriver::Start(const std::wstring& arguments) {
    if (!process_.Start(SetupExePath(), arguments)) return false;
    window_ = WaitForTopLevelWindow(process_, kSetupWindowClass, kRunTimeoutMs);
    POINT ignored{};
    return window_ && TargetOnScreen(ActionClose, ignored);
}

LRESULT SetupWindowDriver::Query(WPARAM what) const {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window_, RegisterWindowMessageW(kQueryPageMessage), what, 0, SMTO_ABORTIFHUNG,
                             kRunTimeoutMs, &result)) {
        return -1;
    }
    return LRESULT(result);
}

bool SetupWindowDriver::TargetOnScreen(int32_t id, POINT& screen) const {
    LRESULT centre = -1;
    if (!WaitWhileRunning(process_, kRunTimeoutMs, [&] { return (centre = Query(id)) != -1; })) {
        return false;
    }
    screen = {GET_X_LPARAM(centre), GET_Y_LPARAM(centre)};
    return ClientToScreen(window_, &screen);
}

bool SetupWindowDriver::Click(int32_t id, int times, int above) const {
    POINT at{};
    return TargetOnScreen(id, at) &&
           Xdotool(L"mousemove " + std::to_wstring(at.x) + L" " + std::to_wstring(at.y - above) + L" click --repeat " +
                   std::to_wstring(times) + L" --delay 100 1");
}

bool SetupWindowDriver::Keys(const wchar_t* keys) const {
    RECT rect{};
    GetWindowRect(window_, &rect);
    // The top-left corner is background: the pointer rests there, over the
    // window, and presses nothing.
    return Xdotool(L"mousemove " + std::to_wstring(rect.left + 8) + L" " + std::to_wstring(rect.top + 8) +
                   L" key --delay 60 " + keys);
}

bool SetupWindowDriver::TabTo(int32_t id) const {
    POINT ignored{};
    if (!TargetOnScreen(id, ignored)) return false;  // the page it is on is painted
    for (int presses = 0; presses < 12; ++presses) {
        const LRESULT focus = Query(kQueryFocus);
        if (focus == id) return true;
        // The query can overtake the key on its way through the X server:
        // wait for the key's effect before the next one.
        if (!Keys(L"Tab") || !WaitWhileRunning(process_, kRunTimeoutMs, [&] { return Query(kQueryFocus) != focus; })) {
            return false;
        }
    }
    return false;
}

bool SetupWindowDriver::WaitForPage(LRESULT page) const {
    // Drawn as well (the caption buttons are on every frame): keys that come
    // before a page's first frame are not meant for it.
    return WaitWhileRunning(process_, kRunTimeoutMs, [&] { return Query() == page && Query(ActionClose) != -1; });
}

bool SetupWindowDriver::WaitForHeight(int pixels) const {
    return WaitWhileRunning(process_, kRunTimeoutMs, [&] {
        RECT rect{};
        return GetWindowRect(window_, &rect) && rect.bottom - rect.top == pixels;
    });
}

bool SetupWindowDriver::WaitForExit(DWORD& exitCode) {
    const bool ended = process_.WaitForExit(kRunTimeoutMs);
    exitCode = process_.exitCode();
    return ended;
}

void CloseApplications() {
    for (HWND app : TopLevelWindows(0, kAppWindowClass)) {
        DWORD id = 0;
        GetWindowThreadProcessId(app, &id);
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        PostMessageW(app, WM_CLOSE, 0, 0);
        if (process) WaitForSingleObject(process.get(), kRunTimeoutMs);
    }
}
