#include "setup/finishing.h"

#include "engine/paths.h"
#include "setup/owners.h"
#include "setup/product.h"
#include "setup/setup_state.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

namespace {

SelfRemovalMethod lastMethod = SelfRemovalNone;

// std::to_wstring would link the C run-time's whole printf engine for this.
std::wstring Decimal(unsigned long value) {
    wchar_t digits[24];
    wchar_t* const end = digits + 24;
    wchar_t* first = end;
    do {
        *--first = wchar_t(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::wstring(first, end);
}

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(buffer, length);
}

// Wine installs builtin programs as placeholder PE files that say so right
// after the DOS header; its powershell.exe is such a stub and does nothing.
bool IsUsableProgram(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    char header[0x60] = {};
    DWORD read = 0;
    if (!ReadFile(file.get(), header, sizeof(header), &read, nullptr) || read < 2) return false;
    if (header[0] != 'M' || header[1] != 'Z') return false;
    if (read >= 0x40 + 16 && (memcmp(header + 0x40, "Wine builtin DLL", 16) == 0 ||
                              memcmp(header + 0x40, "Wine placeholder DLL", 20) == 0)) {
        return false;
    }
    return true;
}

bool StartPowerShellRemoval(const std::wstring& powershell) {
    std::wstring commandLine = SelfRemovalCommandLine(GetCurrentProcessId());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(powershell.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        setupOptions.installDir.c_str(), &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

// cmd expands %NAME% anywhere on its command line, quotes or not, and Wine's
// cmd expands the result once more; no escaping is reliable in both. So no
// path reaches cmd: it starts in the folder above the install folder and is
// given only the install folder's own name, and only a name made of
// characters that no cmd treats specially. For any other name the files
// stay where they are.
bool IsPlainFolderName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (const wchar_t c : name) {
        if (c < 0x20 || c == 0x7f) return false;
        const bool alphanumeric = (c >= L'0' && c <= L'9') || ((c | 0x20) >= L'a' && (c | 0x20) <= L'z');
        if (c < 0x80 && !alphanumeric && !wcschr(L" -_.,'()+=@#$~[]{};&", c)) return false;
    }
    return true;
}

// cmd.exe reads its standard input, a pipe whose only write end belongs to
// this process, so the read returns only when this process has exited and
// the system has closed that end. Then it deletes the uninstaller and removes
// the folder without /s, which fails on a folder that is not empty.
bool StartCmdRemoval(const std::wstring& systemFolder) {
    std::wstring folder = setupOptions.installDir;
    while (folder.size() > PathRootLength(folder) && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    const std::wstring parent = ParentFolder(folder);
    if (parent.empty() || parent.size() >= folder.size() || parent.size() >= MAX_PATH) return false;
    // cmd cannot start in a UNC or \\?\ folder: it would fall back to the
    // Windows folder, and the name would be looked for there.
    if (parent.size() >= 2 && (parent[0] == L'\\' || parent[0] == L'/') && (parent[1] == L'\\' || parent[1] == L'/')) {
        return false;
    }
    size_t leafStart = parent.size();
    while (leafStart < folder.size() && (folder[leafStart] == L'\\' || folder[leafStart] == L'/')) ++leafStart;
    const std::wstring leaf = folder.substr(leafStart);
    if (!IsPlainFolderName(leaf)) return false;

    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inheritable, 0)) return false;
    UniqueHandle readEnd(readRaw);
    // Never inherited by anyone; closed by the system when this process ends.
    SetHandleInformation(writeRaw, HANDLE_FLAG_INHERIT, 0);

    SIZE_T attributeSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
    std::vector<unsigned char> attributeBuffer(attributeSize);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBuffer.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize)) {
        CloseHandle(writeRaw);
        return false;
    }
    // The child inherits the read end and nothing else of ours.
    HANDLE inherited[] = {readEnd.get()};
    const bool listed = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                  sizeof(inherited), nullptr, nullptr) != 0;

    const std::wstring cmd = JoinPath(systemFolder, L"cmd.exe");
    std::wstring commandLine = L"cmd.exe /d /q /v:off /s /c \"set /p _= >nul 2>nul & del /f /q \"" + leaf +
                               L"\\VelmoTulve-Setup.exe\" >nul 2>nul & rmdir \"" + leaf + L"\" >nul 2>nul\"";

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = readEnd.get();
    startup.lpAttributeList = attributes;
    PROCESS_INFORMATION info{};
    const bool started = listed && CreateProcessW(cmd.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                                  CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                                  parent.c_str(), &startup.StartupInfo, &info);
    DeleteProcThreadAttributeList(attributes);
    if (!started) {
        CloseHandle(writeRaw);
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    // writeRaw stays open on purpose until this process ends.
    return true;
}

}  // namespace

std::wstring SelfRemovalCommandLine(unsigned long processId) {
    // The fixed prefix and suffix as one literal each: every + costs code.
    return L"powershell.exe -NoProfile -NonInteractive -Command \""
           L"$folder=[Environment]::CurrentDirectory; Set-Location -LiteralPath ([IO.Path]::GetTempPath()); "
           L"[Environment]::CurrentDirectory=[IO.Path]::GetTempPath(); Wait-Process -Id " +
           Decimal(processId) +
           L" -ErrorAction SilentlyContinue; [IO.File]::Delete([IO.Path]::Combine($folder,'VelmoTulve-Setup.exe')); "
           L"try { [IO.Directory]::Delete($folder) } catch [IO.IOException] {}\"";
}

SelfRemovalMethod LastSelfRemovalMethod() { return lastMethod; }

void LaunchApplication() {
    const std::wstring path = JoinPath(setupOptions.installDir, product::kAppExe);
    ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, setupOptions.installDir.c_str(), SW_SHOWNORMAL);
}

void StartSelfRemoval() {
    lastMethod = SelfRemovalNone;
    if (!selfRemovalPending) return;
    const std::wstring systemFolder = SystemFolder();
    if (systemFolder.empty()) return;
    const std::wstring powershell = JoinPath(systemFolder, L"WindowsPowerShell\\v1.0\\powershell.exe");
    if (IsUsableProgram(powershell)) {
        if (StartPowerShellRemoval(powershell)) lastMethod = SelfRemovalPowerShell;
        return;
    }
    if (StartCmdRemoval(systemFolder)) lastMethod = SelfRemovalCmd;
}
