// The two actions that can follow an operation, both handing work to another
// process: starting the installed application, and removing the installed
// uninstaller after an uninstall that ran from it.
#pragma once

#include <string>

// Opens installDir\VelmoTulve.exe in its own folder; failures show nothing.
void LaunchApplication();

// After an uninstall run from the installed uninstaller (selfRemovalPending),
// starts a hidden process that waits for this process to exit, then deletes
// the uninstaller and the install folder if it is empty. Windows PowerShell
// does it where it exists; elsewhere (Wine ships a stub that does nothing)
// cmd.exe does, woken by the end of this process.
void StartSelfRemoval();

// The PowerShell command line for this process id (391 characters plus the
// digits of the id).
std::wstring SelfRemovalCommandLine(unsigned long processId);

enum SelfRemovalMethod { SelfRemovalNone, SelfRemovalPowerShell, SelfRemovalCmd };
// What the last StartSelfRemoval started (for diagnostics and tests).
SelfRemovalMethod LastSelfRemovalMethod();
