// The uninstall transaction: removes what the install transaction created.
// Run from the installed uninstaller it leaves that file and the folder for
// the self-removal that follows the process's exit.
#pragma once

#include <string>

bool RunUninstall(std::wstring& errorText);

// Removes `folder` and everything below it: files are deleted, folders
// removed bottom-up, symbolic links and junctions removed as links without
// following them. A missing folder counts as removed.
bool RemoveFolderTree(const std::wstring& folder);
