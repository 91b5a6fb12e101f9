#include "engine/uninstall.h"

#include "engine/install.h"
#include "engine/paths.h"
#include "engine/payload_extract.h"
#include "engine/running_instance.h"
#include "setup/owners.h"
#include "setup/product.h"
#include "setup/progress.h"
#include "setup/setup_state.h"

#include <windows.h>

namespace {

bool Fail(std::wstring& errorText, const std::wstring& message) {
    errorText = message;
    return false;
}

enum Emptiness { EmptinessUnknown, EmptinessEmpty, EmptinessNotEmpty };

// Follows links, as a status query does: a folder is empty when listing it
// yields nothing besides "." and ".." without an error, a file when its size
// is 0. Unknown when the path cannot be examined (for example it is gone).
Emptiness TestEmptiness(const std::wstring& path) {
    UniqueFileHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return EmptinessUnknown;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.get(), &info)) return EmptinessUnknown;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0) ? EmptinessEmpty : EmptinessNotEmpty;
    }
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(FindFirstFileW(JoinPath(path, L"*").c_str(), &data));
    if (!find) return EmptinessUnknown;
    do {
        if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0) return EmptinessNotEmpty;
    } while (FindNextFileW(find.get(), &data));
    return GetLastError() == ERROR_NO_MORE_FILES ? EmptinessEmpty : EmptinessUnknown;
}

}  // namespace

bool RemoveFolderTree(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    // A link or junction goes as a link: what it points at is not ours.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return RemoveFile(folder);
    }
    WIN32_FIND_DATAW data{};
    {
        UniqueFindHandle find(FindFirstFileW(JoinPath(folder, L"*").c_str(), &data));
        if (!find) return false;
        do {
            if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
            if (!RemoveFolderTree(JoinPath(folder, data.cFileName))) return false;
        } while (FindNextFileW(find.get(), &data));
        if (GetLastError() != ERROR_NO_MORE_FILES) return false;
    }
    return RemoveFile(folder);
}

bool RunUninstall(std::wstring& errorText) {
    const SetupOptions& options = setupOptions;
    if (!existingInstall) return Fail(errorText, L"No Velmo Tulve installation was found in this folder.");

    PostProgress(0.18f, L"Stopping Velmo Tulve\u2026");
    if (!StopRunningInstance(options.installDir)) {
        return Fail(errorText, L"Velmo Tulve is still running. Close it from the system tray and try again.");
    }

    // What starts or points to the program goes first: a run that stops on a
    // file then leaves no shortcut or startup value naming a program that is
    // gone. The Apps & Features entry goes last, once the files and the
    // folder it stands for are gone, so that an uninstall cut short can
    // always be run again from there; only the running uninstaller itself is
    // left to remove after this process exits.
    PostProgress(0.5f, L"Removing shortcuts and registry entries\u2026");
    const wchar_t* entriesMessage = L"Could not remove the Windows shortcut or registry entries.";
    if (!RemoveFile(options.shortcutPath)) return Fail(errorText, entriesMessage);
    if (!IsRemovedRegistryResult(
            RegDeleteKeyValueW(HKEY_CURRENT_USER, options.runKeyPath.c_str(), product::kRegistryName))) {
        return Fail(errorText, entriesMessage);
    }

    PostProgress(0.8f, L"Removing installed files\u2026");
    const std::wstring uninstallerPath = JoinPath(options.installDir, product::kUninstallerExe);
    const std::wstring setupPath = GetSetupExePath();
    const bool runningFromUninstaller = !setupPath.empty() && IsSameFile(setupPath, uninstallerPath);

    for (const wchar_t* name : {product::kAppExe, product::kLicenseFile}) {
        if (!RemoveFile(JoinPath(options.installDir, name))) {
            return Fail(errorText, std::wstring(L"Could not remove ") + name + L".");
        }
    }
    if (options.deleteData && !RemoveFolderTree(options.settingsDir)) {
        return Fail(errorText, L"Could not remove the saved settings.");
    }
    RemoveStrayTemporaryFiles(options.installDir);
    if (!runningFromUninstaller) {
        if (!RemoveFile(uninstallerPath)) return Fail(errorText, L"Could not remove the uninstaller.");
        if (TestEmptiness(options.installDir) == EmptinessEmpty && !RemoveFile(options.installDir)) {
            return Fail(errorText, L"Could not remove the empty installation folder.");
        }
    }
    if (!IsRemovedRegistryResult(RegDeleteTreeW(HKEY_CURRENT_USER, options.uninstallKeyPath.c_str()))) {
        return Fail(errorText, entriesMessage);
    }
    selfRemovalPending = runningFromUninstaller;

    PostProgress(1.0f, L"Velmo Tulve removed.");
    return true;
}
