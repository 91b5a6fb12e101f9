// Runs ReadSetupOptions in a process of its own, with the command line and
// environment the test gave it, and prints what it settled, one field a line
// (UTF-8), so the tests see the real argument splitting, variable and registry.
#include "setup/setup_options.h"
#include "setup/setup_state.h"

#include <windows.h>
#include <objbase.h>

#include <string>

namespace {

void Print(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), utf8.data(), length, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), DWORD(utf8.size()), &written, nullptr);
}

void Field(const wchar_t* name, const std::wstring& value) { Print(std::wstring(name) + L"=" + value + L"\n"); }
void Field(const wchar_t* name, bool value) { Field(name, std::wstring(value ? L"1" : L"0")); }

}  // namespace

int wmain() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring errorText;
    const bool ok = ReadSetupOptions(errorText);
    const SetupOptions& o = setupOptions;
    Field(L"ok", ok);
    Field(L"error", errorText);
    Field(L"installDir", o.installDir);
    Field(L"settingsDir", o.settingsDir);
    Field(L"shortcutPath", o.shortcutPath);
    Field(L"uninstallKeyPath", o.uninstallKeyPath);
    Field(L"runKeyPath", o.runKeyPath);
    Field(L"testRoot", o.testRoot);
    Field(L"autoStart", o.autoStart);
    Field(L"startMenuShortcut", o.startMenuShortcut);
    Field(L"launchWhenFinished", o.launchWhenFinished);
    Field(L"deleteData", o.deleteData);
    Field(L"silent", o.silent);
    Field(L"uninstallMode", o.uninstallMode);
    Field(L"existingInstall", existingInstall);
    Field(L"existingInstallDir", existingInstallDir);
    CoUninitialize();
    return ok ? 0 : 1;
}
