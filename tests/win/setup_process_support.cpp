#include "tests/win/setup_process_support.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixelsValue[] = L"LogPixels";
// Between two looks for a window that has not appeared yet.
constexpr DWORD kWindowPollMs = 20;

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((search->processId == 0 || owner == search->processId) && ClassName(window) == search->className) {
        search->found.push_back(window);
    }
    return TRUE;
}

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
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
    return true;
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

std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className) {
    WindowSearch search{processId, className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
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

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? length : 0);
}

StoredValue ReadStoredValue(HKEY root, const std::wstring& subKey, const std::wstring& name) {
    StoredValue value;
    DWORD size = 0;
    value.status = RegGetValueW(root, subKey.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type, nullptr,
                                &size);
    if (value.status != ERROR_SUCCESS) return value;
    value.data.resize(size);
    value.status = RegGetValueW(root, subKey.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                                value.data.empty() ? nullptr : value.data.data(), &size);
    value.data.resize(size);
    return value;
}

std::vector<BYTE> SzBytes(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> DwordBytes(DWORD value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(bytes, bytes + sizeof(value));
}

bool RegistryKeyExists(HKEY root, const std::wstring& subKey) {
    UniqueRegKey key;
    return RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

int RegistryValueCount(HKEY root, const std::wstring& subKey) {
    UniqueRegKey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return -1;
    DWORD count = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return -1;
    }
    return int(count);
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

ScopedLogPixels::ScopedLogPixels(DWORD dpi) : old_(ReadStoredValue(HKEY_CURRENT_USER, kDesktopKey, kLogPixelsValue)) {
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

std::vector<DWORD> ChildProcessIds(DWORD parentId) {
    std::vector<DWORD> ids;
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parentId && entry.th32ProcessID != parentId) ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

bool WaitForProcessesToEnd(const std::vector<DWORD>& processIds, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (DWORD id : processIds) {
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
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
