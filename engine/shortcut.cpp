#include "engine/shortcut.h"

#include "engine/paths.h"
#include "setup/owners.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

bool CreateShortcut(const std::wstring& linkPath, const std::wstring& targetPath, const std::wstring& description) {
    // If this fails the folder is still missing and Save reports it.
    CreateFolderTree(ParentFolder(linkPath));

    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))) || !link) {
        return false;
    }
    link->SetPath(targetPath.c_str());
    link->SetWorkingDirectory(ParentFolder(targetPath).c_str());
    link->SetDescription(description.c_str());
    link->SetIconLocation(targetPath.c_str(), 0);

    ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file)) || !file) return false;
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}
