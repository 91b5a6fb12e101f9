// The Start menu shortcut, written through the shell's link object.
#pragma once

#include <string>

// Saves a shell link at `linkPath` that starts `targetPath` in its own folder,
// with `description` as comment and the target's first icon. Creates the
// link's folder first. The calling thread has COM initialised.
bool CreateShortcut(const std::wstring& linkPath, const std::wstring& targetPath, const std::wstring& description);
