// The process-wide setup state that the options reader settles at start-up
// and the transactions read. Plain fields: one process, one run.
#pragma once

#include <string>

struct SetupOptions {
    std::wstring installDir;        // absolute and lexically normal once read
    std::wstring settingsDir;       // the application's saved settings
    std::wstring shortcutPath;      // Start menu link file
    std::wstring uninstallKeyPath;  // under HKEY_CURRENT_USER
    std::wstring runKeyPath;        // under HKEY_CURRENT_USER
    std::wstring testRoot;          // non-empty: everything lives below it
    bool autoStart = true;
    bool startMenuShortcut = true;
    bool launchWhenFinished = true;
    bool deleteData = false;
    bool silent = false;
    bool uninstallMode = false;
};

extern SetupOptions setupOptions;
extern bool existingInstall;
extern std::wstring existingInstallDir;
// Set by a successful uninstall that ran from the installed uninstaller; the
// file and folder are then removed after this process has exited.
extern bool selfRemovalPending;
