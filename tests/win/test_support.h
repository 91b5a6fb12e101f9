// Helpers for the tests that run under Wine: child processes with captured
// output, scratch folders, files and registry clean-up.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::string output;  // stdout and stderr, as written
};

// Runs `commandLine` (the whole line, program included) and waits for it.
// `application` may be empty to let the command line name the program.
ProcessResult RunProcess(const std::wstring& application, const std::wstring& commandLine,
                         const std::wstring& workingDir = {}, DWORD timeoutMs = 120000);

// Folder of the running test executable; the build puts the programs under
// test there or beside it.
std::wstring TestBinaryFolder();
// Full path of the setup program built by this tree.
std::wstring SetupExePath();

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

// Removes HKCU\Software\VelmoTulveSetupTest and everything below it.
void DeleteTestRegistry();

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);
// Quotes one argument by CommandLineToArgvW's rules.
std::wstring QuoteArgument(const std::wstring& argument);
