// Reads the setup options once at start-up: the switches, the test root, the
// per-user locations and registry keys, an existing installation, and the
// install folder that will be used.
#pragma once

#include <string>

// Settles every field of setupOptions, existingInstall and existingInstallDir.
// On failure `errorText` receives one sentence for the user.
bool ReadSetupOptions(std::wstring& errorText);

// Looks for an installation by its uninstall entry, then by its two files in
// setupOptions.installDir (in an uninstall, the uninstaller alone is enough).
// True when the entry found it.
bool DetectExistingInstall();

// A REG_SZ value under HKEY_CURRENT_USER without trailing NULs; empty when the
// key or value is missing, of another type, empty or unreadable.
std::wstring ReadRegistryString(const std::wstring& subKey, const std::wstring& valueName);

// Case-insensitive for the ASCII letters A-Z only; every other character must
// match exactly. The rule of the switches and of the product's folder name.
bool EqualsAsciiNoCase(const wchar_t* text, const wchar_t* expected);

// Empty when the variable is unset, empty or longer than 32767 characters.
std::wstring ReadEnvironmentVariable(const std::wstring& name);
