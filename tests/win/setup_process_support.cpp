#include "tests/win/setup_process_support.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

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

bool WaitForProcessesToEnd(const std::vector<PROCESSENTRY32W>& processes, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (const PROCESSENTRY32W& entry : processes) {
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (!process) continue;
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < deadline ? DWORD(deadline - now) : 0;
        if (WaitForSingleObject(process.get(), left) != WAIT_OBJECT_0) return false;
    }
    return true;
}

bool SetupMutexExists() {
    UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kSetupMutexName));
    return bool(mutex);
}
