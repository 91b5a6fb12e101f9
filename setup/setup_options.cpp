// Setup options: command-line switches, test-root mode, per-user locations
// and detection of an existing installation.
#include "setup/setup_options.h"

#include "engine/paths.h"
#include "setup/owners.h"
#include "setup/product.h"
#include "setup/setup_state.h"

#include <windows.h>
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

namespace {

constexpr wchar_t kInstallLocationValue[] = L"InstallLocation";

// The text after `prefix` when `argument` starts with it (case-sensitive).
bool TakePrefixValue(const wchar_t* argument, const wchar_t* prefix, std::wstring& value) {
    const size_t length = wcslen(prefix);
    if (wcsncmp(argument, prefix, length) != 0) return false;
    value = argument + length;
    return true;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    UniqueCoTaskString path;
    if (FAILED(SHGetKnownFolderPath(id, 0, nullptr, path.put())) || !path) return {};
    return path.get();
}

bool FullPath(const std::wstring& candidate, std::wstring& result) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFullPathNameW(candidate.c_str(), DWORD(buffer.size()), buffer.data(), nullptr);
        if (length == 0) return false;
        if (length < buffer.size()) {
            result.assign(buffer.data(), length);
            return true;
        }
        buffer.resize(length);  // the required size, terminator included
    }
}

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

}  // namespace

bool EqualsAsciiNoCase(const wchar_t* text, const wchar_t* expected) {
    for (; *text && *expected; ++text, ++expected) {
        if (AsciiLower(*text) != AsciiLower(*expected)) return false;
    }
    return *text == *expected;
}

std::wstring ReadEnvironmentVariable(const std::wstring& name) {
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetEnvironmentVariableW(name.c_str(), buffer.data(), DWORD(buffer.size()));
    if (length == 0 || length > 32767) return {};
    return std::wstring(buffer.data(), length);
}

std::wstring ReadRegistryString(const std::wstring& subKey, const std::wstring& valueName) {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), valueName.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS ||
        size < 2) {
        return {};
    }
    // size may be odd: the buffer gets a character more than size / 2, so
    // that the size the first call asked for always fits.
    std::wstring value(size / 2 + 1, L'\0');
    DWORD room = size;
    if (RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), valueName.c_str(), RRF_RT_REG_SZ, nullptr, value.data(),
                     &room) != ERROR_SUCCESS) {
        return {};
    }
    // Only the bytes the call reports are the value; the rest of the buffer
    // may hold anything.
    value.resize(std::min<size_t>(value.size(), room / sizeof(wchar_t)));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return value;
}

bool DetectExistingInstall() {
    existingInstall = false;
    existingInstallDir.clear();
    const std::wstring recorded = ReadRegistryString(setupOptions.uninstallKeyPath, kInstallLocationValue);
    if (!recorded.empty()) {
        existingInstall = true;
        existingInstallDir = recorded;
        setupOptions.installDir = recorded;
        return true;
    }
    // An uninstall cut short after the entry went leaves the uninstaller
    // alone; removing it is still an uninstall's work.
    const bool hasApp = IsRegularFile(JoinPath(setupOptions.installDir, product::kAppExe));
    if ((hasApp || setupOptions.uninstallMode) &&
        IsRegularFile(JoinPath(setupOptions.installDir, product::kUninstallerExe))) {
        existingInstall = true;
        existingInstallDir = setupOptions.installDir;
    }
    return false;
}

bool ReadSetupOptions(std::wstring& errorText) {
    SetupOptions& options = setupOptions;
    options.testRoot = ReadEnvironmentVariable(product::kTestRootVariable);

    int count = 0;
    UniqueLocalArgv arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments) {
        errorText = L"Could not read setup arguments.";
        return false;
    }
    std::wstring dirArgument;
    for (int i = 1; i < count; ++i) {
        const wchar_t* argument = arguments.get()[i];
        if (EqualsAsciiNoCase(argument, L"/VERYSILENT") || EqualsAsciiNoCase(argument, L"/SILENT") ||
            EqualsAsciiNoCase(argument, L"--silent")) {
            options.silent = true;
        } else if (EqualsAsciiNoCase(argument, L"--uninstall") || EqualsAsciiNoCase(argument, L"/uninstall")) {
            options.uninstallMode = true;
        } else if (TakePrefixValue(argument, L"--dir=", dirArgument) ||
                   TakePrefixValue(argument, L"/dir=", dirArgument) ||
                   TakePrefixValue(argument, L"--test-root=", options.testRoot)) {
        } else if (EqualsAsciiNoCase(argument, L"--delete-data")) {
            options.deleteData = true;
        }
    }
    arguments.reset();

    std::wstring defaultInstallDir;
    if (!options.testRoot.empty()) {
        const std::wstring& root = options.testRoot;
        defaultInstallDir = JoinPath(JoinPath(root, L"Programs"), product::kName);
        options.settingsDir = JoinPath(JoinPath(root, L"Settings"), product::kSettingsFolder);
        options.shortcutPath = JoinPath(JoinPath(root, L"StartMenu"), product::kShortcutFile);
        options.uninstallKeyPath = product::kTestUninstallKey;
        options.runKeyPath = product::kTestRunKey;
    } else {
        const std::wstring localAppData = KnownFolder(FOLDERID_LocalAppData);
        const std::wstring programs = localAppData.empty() ? std::wstring() : KnownFolder(FOLDERID_Programs);
        if (localAppData.empty() || programs.empty()) {
            errorText = L"Could not locate the Windows folders for this user.";
            return false;
        }
        defaultInstallDir = JoinPath(JoinPath(localAppData, L"Programs"), product::kName);
        options.settingsDir = JoinPath(localAppData, product::kSettingsFolder);
        options.shortcutPath = JoinPath(programs, product::kShortcutFile);
        options.uninstallKeyPath = product::kUninstallKey;
        options.runKeyPath = product::kRunKey;
    }
    options.installDir = dirArgument.empty() ? defaultInstallDir : dirArgument;

    const bool entryRecorded = DetectExistingInstall();

    const std::wstring candidate = dirArgument.empty() ? options.installDir : dirArgument;
    std::wstring resolved;
    if (!candidate.empty() && FullPath(candidate, resolved)) resolved = LexicallyNormalPath(resolved);
    else resolved.clear();
    if (resolved.empty() || resolved.size() <= PathRootLength(resolved)) {
        errorText = L"Choose a valid installation folder.";
        return false;
    }

    if (existingInstall && !dirArgument.empty() && !IsSameFile(existingInstallDir, resolved)) {
        errorText = L"Use the existing installation folder, or uninstall before changing it.";
        return false;
    }
    options.installDir = resolved;

    // Files without an entry are an install cut short before its shortcut
    // and Run value were settled: those keep their defaults.
    if (existingInstall && entryRecorded) {
        options.autoStart = !ReadRegistryString(options.runKeyPath, product::kRegistryName).empty();
        options.startMenuShortcut = IsRegularFile(options.shortcutPath);
    }
    return true;
}
