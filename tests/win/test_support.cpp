#include "tests/win/test_support.h"

#include "setup/owners.h"

#include <objbase.h>

#include <thread>

namespace {

void ReadAll(HANDLE pipe, std::string& out) {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) out.append(buffer, read);
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
        return result;
    }
    result.started = true;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    writeEnd.reset();  // the child holds the only write end now

    std::thread reader([&] { ReadAll(readEnd.get(), result.output); });
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        TerminateProcess(process.get(), 255);
        WaitForSingleObject(process.get(), INFINITE);
    }
    GetExitCodeProcess(process.get(), &result.exitCode);
    // A grandchild may still hold the pipe; don't wait for it forever.
    CancelIoEx(readEnd.get(), nullptr);
    reader.join();
    return result;
}

std::wstring TestBinaryFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring SetupExePath() { return Widen(VT_SETUP_EXE_PATH); }

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
