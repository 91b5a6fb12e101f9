// The install transaction: installs, updates or re-configures Velmo Tulve for
// the current user from the settled setup options.
#pragma once

#include <windows.h>

#include <string>

// Runs every step in order and stops at the first failure (nothing is rolled
// back; running it again repeats every step). On failure `errorText` holds
// the user's message.
bool RunInstall(std::wstring& errorText);

// Full path of the running setup program; empty when it cannot be read whole.
std::wstring GetSetupExePath();

// RegSetKeyValueW with REG_SZ data, creating missing keys; true on success.
bool SetRegistryString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                       const std::wstring& text);

// "RegDeleteKeyValueW succeeded, or there was nothing to delete".
bool IsRemovedRegistryResult(LSTATUS status);
