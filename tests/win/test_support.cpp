#include "tests/win/test_support.h"

#include "setup/owners.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include <thread>

namespace {

// Reads the child's output until the child has ended and the pipe is empty,
// never waiting for the pipe's end: a grandchild can hold its write end for
// ever. Wine's desktop process, started by the first program that needs a
// desktop, inherits that program's standard handles and lives as long as the
// test does; a blocking read waited for it (CancelIoEx does not end a
// synchronous ReadFile under Wine).
void ReadUntilExit(HANDLE pipe, HANDLE process, std::string& out) {
    char buffer[4096];
    for (;;) {
        const bool exited = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;  // no writer left
        if (available == 0) {
            if (exited) return;  // it had ended before the look: nothing more comes
            WaitForSingleObject(process, 5);
            continue;
        }
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof(buffer)), &read, nullptr)) return;
        out.append(buffer, read);
    }
}

}  // namespace

ProcessResult RunProcess(const std::wstring& application, const std::wstring& commandLine,
                         const std::wstring& workingDir, DWORD timeoutMs) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inherit, 0)) return result;
    UniqueHandle readEnd(readRaw), writeEnd(writeRaw);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr, TRUE,
                        0, nullptr, workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
        // Never read as a run that ended with 0.
        result.exitCode = kNotStarted;
        result.output = "CreateProcessW failed with error " + std::to_string(GetLastError());
        return result;
    }
    result.started = true;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    writeEnd.reset();  // the child holds the only write end now

    std::thread reader([&] { ReadUntilExit(readEnd.get(), process.get(), result.output); });
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        TerminateProcess(process.get(), 255);
        WaitForSingleObject(process.get(), INFINITE);
    }
    GetExitCodeProcess(process.get(), &result.exitCode);
    reader.join();
    return result;
}

std::wstring TestBinaryFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of(L"\\/"));
}

namespace {

// The release tests run the process tests against another build's signed
// programs by naming them in these variables.
std::wstring PathFromEnvironment(const wchar_t* name, const char* builtIn) {
    std::wstring path(32768, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, path.data(), DWORD(path.size()));
    if (length == 0 || length >= path.size()) return Widen(builtIn);
    path.resize(length);
    return path;
}

}  // namespace

std::wstring SetupExePath() { return PathFromEnvironment(L"VT_TEST_SETUP_EXE", VT_SETUP_EXE_PATH); }
std::wstring PackedAppPath() { return PathFromEnvironment(L"VT_TEST_PACKED_APP", VT_APP_PATH); }

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, buffer.data(), DWORD(buffer.size()));
    hadOld_ = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    old_.assign(buffer.data(), length);
    SetEnvironmentVariableW(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    SetEnvironmentVariableW(name_.c_str(), hadOld_ ? old_.c_str() : nullptr);
}

TempFolder::TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t name[64] = {};
    swprintf(name, 64, L"vt-test-%08lX%04X", guid.Data1, guid.Data2);
    path_ = std::wstring(temp) + name;
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::wstring TempFolder::operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        for (const std::wstring& name : ListFolder(path)) RemoveTree(path + L"\\" + name);
        RemoveDirectoryW(path.c_str());
        return;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryW(path.c_str());
    else DeleteFileW(path.c_str());
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFileBytes(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    if (!file) return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(file.get(), &size);
    bytes.resize(size_t(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &read, nullptr)) bytes.clear();
    bytes.resize(read);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

std::vector<std::wstring> ListFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find.get(), &data));
    return names;
}

std::vector<std::wstring> TemporaryFiles(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const std::wstring& name : ListFolder(folder)) {
        if (name.rfind(L".tulve-", 0) == 0 && name.size() >= 4 && name.substr(name.size() - 4) == L".tmp") {
            found.push_back(name);
        }
    }
    return found;
}

void DeleteTestRegistry() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VelmoTulveSetupTest"); }

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), length);
    return text;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') quoted.append(backslashes * 2 + 1, L'\\');
        else quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

// --- registry -----------------------------------------------------------------------

const std::vector<std::wstring> kUninstallValueNames = {
    L"DisplayVersion",       L"Publisher", L"InstallLocation", L"DisplayIcon",   L"UninstallString",
    L"QuietUninstallString", L"NoModify",  L"NoRepair",        L"EstimatedSize", L"DisplayName",
};

RegistryValue ReadRegistryValue(const std::wstring& subKey, const std::wstring& name) {
    RegistryValue value;
    DWORD size = 0;
    value.status = RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                                nullptr, &size);
    if (value.status != ERROR_SUCCESS) return value;
    value.data.resize(size);
    value.status = RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                                value.data.data(), &size);
    value.data.resize(size);
    return value;
}

std::vector<BYTE> StringBytes(const std::wstring& text) {
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> DwordBytes(DWORD value) {
    const BYTE* begin = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(begin, begin + sizeof(value));
}

bool KeyExists(const std::wstring& subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::wstring> ValueNames(const std::wstring& subKey) {
    std::vector<std::wstring> names;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return names;
    UniqueRegKey key(raw);
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD length = 256;
        if (RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

void ExpectValue(const std::wstring& subKey, const std::wstring& name, DWORD type, const std::vector<BYTE>& data) {
    SCOPED_TRACE(Narrow(name));
    const RegistryValue value = ReadRegistryValue(subKey, name);
    ASSERT_EQ(value.status, ERROR_SUCCESS);
    EXPECT_EQ(value.type, type);
    EXPECT_EQ(value.data, data);
}

}  // namespace

void ExpectUninstallEntry(const std::wstring& subKey, const std::wstring& installDir, DWORD estimatedSizeKb) {
    std::vector<std::wstring> expectedNames = kUninstallValueNames;
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(ValueNames(subKey), expectedNames);

    const std::wstring uninstaller = L"\"" + installDir + L"\\VelmoTulve-Setup.exe\" --uninstall";
    ExpectValue(subKey, L"DisplayVersion", REG_SZ, StringBytes(L"1.2.6"));
    ExpectValue(subKey, L"Publisher", REG_SZ, StringBytes(L"Velmo Tulve contributors"));
    ExpectValue(subKey, L"InstallLocation", REG_SZ, StringBytes(installDir));
    ExpectValue(subKey, L"DisplayIcon", REG_SZ, StringBytes(installDir + L"\\VelmoTulve.exe,0"));
    ExpectValue(subKey, L"UninstallString", REG_SZ, StringBytes(uninstaller));
    ExpectValue(subKey, L"QuietUninstallString", REG_SZ, StringBytes(uninstaller + L" /VERYSILENT"));
    ExpectValue(subKey, L"NoModify", REG_DWORD, DwordBytes(1));
    ExpectValue(subKey, L"NoRepair", REG_DWORD, DwordBytes(1));
    ExpectValue(subKey, L"EstimatedSize", REG_DWORD, DwordBytes(estimatedSizeKb));
    ExpectValue(subKey, L"DisplayName", REG_SZ, StringBytes(L"Velmo Tulve"));
}

void ExpectRunValue(const std::wstring& subKey, const std::wstring& installDir) {
    ExpectValue(subKey, L"VelmoTulve", REG_SZ, StringBytes(L"\"" + installDir + L"\\VelmoTulve.exe\""));
}

ULONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

DWORD FileSizeKb(const std::wstring& path) { return DWORD((FileSize(path) + 1023) / 1024); }

// --- processes and windows ----------------------------------------------------------

StartedProcess StartProgram(const std::wstring& application, const std::wstring& commandLine,
                            const std::wstring& workingDir) {
    StartedProcess started;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
        return started;
    }
    CloseHandle(info.hThread);
    started.process.reset(info.hProcess);
    started.id = info.dwProcessId;
    return started;
}

void EndProcess(StartedProcess& started) {
    if (!started) return;
    if (WaitForSingleObject(started.process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(started.process.get(), 99);
        WaitForSingleObject(started.process.get(), 10000);
    }
    started.process.reset();
}

std::vector<PROCESSENTRY32W> ChildProcesses(DWORD parentId) {
    std::vector<PROCESSENTRY32W> children;
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return children;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parentId && entry.th32ProcessID != parentId) children.push_back(entry);
    }
    return children;
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

namespace {

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

std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className) {
    WindowSearch search{processId, className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? length : 0);
}

namespace {

void** FindImportSlot(const char* dll, const char* function) {
    auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0 || !d->OriginalFirstThunk) continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&slot->u1.Function);
            }
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), protection, &protection);
}

}  // namespace

ScopedDisplayMode::ScopedDisplayMode(DWORD width, DWORD height) {
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    applied_ = ChangeDisplaySettingsExW(nullptr, &mode, nullptr, 0, nullptr) == DISP_CHANGE_SUCCESSFUL;
}

ScopedDisplayMode::~ScopedDisplayMode() {
    if (applied_) ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
}

RECT MonitorWorkArea(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

TimedHold::TimedHold(const std::wstring& path, DWORD holdMs)
    : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                        nullptr)),
      release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    // The hold ends at its time, or when the object goes away.
    static constexpr auto kRelease = [](void* hold) -> DWORD {
        auto* self = static_cast<TimedHold*>(hold);
        WaitForSingleObject(self->release_.get(), self->holdMs_);
        self->file_.reset();
        return 0;
    };
    holdMs_ = holdMs;
    if (file_ && release_) thread_.reset(CreateThread(nullptr, 0, kRelease, this, 0, nullptr));
}

TimedHold::~TimedHold() { Release(); }

void TimedHold::Release() {
    SetEvent(release_.get());
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

namespace {
std::atomic<int> sleepCalls;
void WINAPI CountedSleep(DWORD ms) {
    ++sleepCalls;
    SleepEx(ms, FALSE);
}
}  // namespace

ScopedSleepCount::ScopedSleepCount() : patch_("kernel32.dll", "Sleep", reinterpret_cast<void*>(CountedSleep)) {
    EXPECT_TRUE(patch_.ok()) << "no import of Sleep to count";
    sleepCalls = 0;
}

ScopedSleepCount::~ScopedSleepCount() = default;

int ScopedSleepCount::count() const { return sleepCalls.load(); }

ScopedImportPatch::ScopedImportPatch(const char* dll, const char* function, void* replacement)
    : slot_(FindImportSlot(dll, function)) {
    if (!slot_) return;
    original_ = *slot_;
    WriteSlot(slot_, replacement);
}

ScopedImportPatch::~ScopedImportPatch() {
    if (slot_) WriteSlot(slot_, original_);
}
