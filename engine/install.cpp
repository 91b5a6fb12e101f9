#include "engine/install.h"

#include "engine/paths.h"
#include "engine/payload_extract.h"
#include "engine/running_instance.h"
#include "engine/shortcut.h"
#include "setup/product.h"
#include "setup/progress.h"
#include "setup/setup_state.h"

#include <vector>

namespace {

bool Fail(std::wstring& errorText, const wchar_t* message) {
    errorText = message;
    return false;
}

// Size of the file in whole KiB, rounded up; 0 when it cannot be measured.
DWORD EstimatedSizeKb(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    const ULONGLONG bytes = (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const ULONGLONG kb = (bytes + 1023) / 1024;
    return kb > MAXDWORD ? MAXDWORD : DWORD(kb);
}

bool SetRegistryDword(const std::wstring& subKey, const wchar_t* valueName, DWORD value) {
    return RegSetKeyValueW(HKEY_CURRENT_USER, subKey.c_str(), valueName, REG_DWORD, &value, sizeof(value)) ==
           ERROR_SUCCESS;
}

// Copies the running setup program over the uninstaller by way of a
// temporary file beside it.
bool SaveUninstaller(const std::wstring& setupPath, const std::wstring& uninstallerPath) {
    const std::wstring temporary = MakeUniqueTempPath(setupOptions.installDir);
    if (temporary.empty()) return false;
    ULONGLONG firstFailure = 0;
    BOOL copied;
    while (!(copied = CopyFileW(setupPath.c_str(), temporary.c_str(), TRUE)) && WaitWhileFileBusy(firstFailure)) {
    }
    // CopyFileW copies the attributes too; a read-only uninstaller could not
    // be replaced by a later update nor deleted by the self-removal. It also
    // copies a downloaded setup program's Mark of the Web, which would make
    // Windows warn at every uninstall; a file system without streams has none.
    const std::wstring mark = temporary + L":Zone.Identifier";
    if (!copied || !SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL) ||
        !(RemoveFile(mark) || GetFileAttributesW(mark.c_str()) == INVALID_FILE_ATTRIBUTES)) {
        RemoveFile(temporary);
        return false;
    }
    return MoveOverTarget(temporary, uninstallerPath);
}

}  // namespace

std::wstring GetSetupExePath() {
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    if (length == 0 || length >= buffer.size()) return {};
    return std::wstring(buffer.data(), length);
}

bool SetRegistryString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                       const std::wstring& text) {
    return RegSetKeyValueW(root, subKey.c_str(), valueName.c_str(), REG_SZ, text.c_str(),
                           DWORD((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool IsRemovedRegistryResult(LSTATUS status) {
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

bool RunInstall(std::wstring& errorText) {
    const SetupOptions& options = setupOptions;
    const std::wstring appPath = JoinPath(options.installDir, product::kAppExe);
    const std::wstring uninstallerPath = JoinPath(options.installDir, product::kUninstallerExe);

    // A damaged setup program stops here, before anything on the machine
    // changes: not even the running application is asked to close.
    DecodedPayload payload;
    if (!LoadPayload(payload, errorText)) return false;

    PostProgress(0.12f, L"Closing running Velmo Tulve\u2026");
    if (!StopRunningInstance(options.installDir)) {
        return Fail(errorText, L"Velmo Tulve is still running. Close it from the system tray and try again.");
    }

    PostProgress(0.45f, L"Extracting Velmo Tulve files\u2026");
    RemoveStrayTemporaryFiles(options.installDir);
    if (!WritePayload(payload, options.installDir, errorText)) return false;

    PostProgress(0.75f, L"Configuring shortcuts and uninstaller\u2026");
    const std::wstring setupPath = GetSetupExePath();
    if (setupPath.empty()) return Fail(errorText, L"Could not locate the setup executable.");
    // A maintenance run from the installed uninstaller keeps that very file.
    if (!IsSameFile(setupPath, uninstallerPath) && !SaveUninstaller(setupPath, uninstallerPath)) {
        return Fail(errorText, L"Could not save the uninstaller in the installation folder.");
    }

    if (options.startMenuShortcut) {
        if (!CreateShortcut(options.shortcutPath, appPath, product::kName)) {
            return Fail(errorText, L"Could not create the Start menu shortcut.");
        }
    } else if (!RemoveFile(options.shortcutPath)) {
        return Fail(errorText, L"Could not remove the Start menu shortcut.");
    }

    bool autoStartSaved;
    if (options.autoStart) {
        autoStartSaved = SetRegistryString(HKEY_CURRENT_USER, options.runKeyPath, product::kRegistryName,
                                           L"\"" + appPath + L"\"");
    } else {
        autoStartSaved = IsRemovedRegistryResult(
            RegDeleteKeyValueW(HKEY_CURRENT_USER, options.runKeyPath.c_str(), product::kRegistryName));
    }

    const DWORD estimatedSizeKb = EstimatedSizeKb(appPath);
    const std::wstring uninstallString = L"\"" + uninstallerPath + L"\" --uninstall";
    const std::wstring& key = options.uninstallKeyPath;
    // The entry is written only once the startup value is right, value by
    // value in this order, DisplayName last.
    const bool entrySaved =
        autoStartSaved && SetRegistryString(HKEY_CURRENT_USER, key, L"DisplayVersion", product::kVersion) &&
        SetRegistryString(HKEY_CURRENT_USER, key, L"Publisher", product::kPublisher) &&
        SetRegistryString(HKEY_CURRENT_USER, key, L"InstallLocation", options.installDir) &&
        SetRegistryString(HKEY_CURRENT_USER, key, L"DisplayIcon", appPath + L",0") &&
        SetRegistryString(HKEY_CURRENT_USER, key, L"UninstallString", uninstallString) &&
        SetRegistryString(HKEY_CURRENT_USER, key, L"QuietUninstallString", uninstallString + L" /VERYSILENT") &&
        SetRegistryDword(key, L"NoModify", 1) && SetRegistryDword(key, L"NoRepair", 1) &&
        SetRegistryDword(key, L"EstimatedSize", estimatedSizeKb) &&
        SetRegistryString(HKEY_CURRENT_USER, key, L"DisplayName", product::kName);
    if (!entrySaved) return Fail(errorText, L"Could not save the Windows startup or uninstall settings.");

    PostProgress(1.0f, L"Installation complete.");
    return true;
}
