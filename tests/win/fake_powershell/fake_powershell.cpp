// A stand-in for powershell.exe, copied over System32's
// WindowsPowerShell\v1.0\powershell.exe by the self-removal tests. It does
// what the setup program's script asks PowerShell to do and writes down what
// it found on the way:
//
//   VT_FAKE_POWERSHELL_LOG    file it appends its findings to (UTF-8, key=value)
//   VT_FAKE_POWERSHELL_READY  event it sets once the findings before the wait
//                             are written
//
// Like the script it takes the working folder as the install folder, moves to
// the temporary folder, waits for the process named after "Wait-Process -Id",
// deletes the uninstaller and removes the folder only when it is empty.
//
// It is a GUI program: started with CREATE_NO_WINDOW, a console program gets
// a console host under Wine that starts in the same folder and keeps it in
// use until the console closes, so the folder could never be removed.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Variable(const wchar_t* name) {
    wchar_t buffer[32768] = {};
    const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
    return (length > 0 && length < 32768) ? std::wstring(buffer, length) : std::wstring();
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), length, nullptr, nullptr);
    return out;
}

void Append(const std::wstring& log, const std::wstring& key, const std::wstring& value) {
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string line = Utf8(key) + "=" + Utf8(value) + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring Flag(bool value) { return value ? L"1" : L"0"; }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring log = Variable(L"VT_FAKE_POWERSHELL_LOG");
    if (log.empty()) return 2;
    const std::wstring commandLine = GetCommandLineW();
    wchar_t current[MAX_PATH + 1] = {};
    const DWORD currentLength = GetCurrentDirectoryW(MAX_PATH + 1, current);
    std::wstring folder(current, currentLength);
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    const std::wstring uninstaller = folder + L"\\VelmoTulve-Setup.exe";

    const std::wstring marker = L"Wait-Process -Id ";
    const size_t at = commandLine.find(marker);
    const unsigned long processId =
        at == std::wstring::npos ? 0 : wcstoul(commandLine.c_str() + at + marker.size(), nullptr, 10);
    HANDLE process = processId ? OpenProcess(SYNCHRONIZE, FALSE, processId) : nullptr;

    Append(log, L"commandLine", commandLine);
    Append(log, L"workingFolder", folder);
    Append(log, L"fakePid", std::to_wstring(GetCurrentProcessId()));
    Append(log, L"uninstallerExistedBeforeWait",
           Flag(GetFileAttributesW(uninstaller.c_str()) != INVALID_FILE_ATTRIBUTES));
    Append(log, L"setupAliveBeforeWait", Flag(process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT));
    const std::wstring ready = Variable(L"VT_FAKE_POWERSHELL_READY");
    if (!ready.empty()) {
        if (HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready.c_str())) {
            SetEvent(event);
            CloseHandle(event);
        }
    }

    // The script leaves the install folder before it waits.
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    SetCurrentDirectoryW(temp);
    const bool waited = process && WaitForSingleObject(process, 60000) == WAIT_OBJECT_0;
    if (process) CloseHandle(process);
    Append(log, L"waitedForSetup", Flag(waited));
    if (!waited) return 3;
    Append(log, L"uninstallerDeleted", Flag(DeleteFileW(uninstaller.c_str()) != 0));
    const bool removed = RemoveDirectoryW(folder.c_str()) != 0;
    const DWORD error = removed ? 0 : GetLastError();
    Append(log, L"folderRemoved", Flag(removed));
    if (!removed) Append(log, L"folderError", std::to_wstring(error));
    return 0;
}
