// Stops the installed copy of the application before its files are replaced
// or removed. The application's side of the contract: it owns a top-level
// window of class "StandaloneVelmoTulveHost" and ends its process on WM_CLOSE
// to that window. A copy running from anywhere else is left alone.
#pragma once

#include <string>

inline constexpr unsigned kStopWaitMs = 4000;

// True when the setup program may go on: nothing to stop, or the copy
// installed in `installDir` was asked to close and has ended. False when it
// was still running after kStopWaitMs.
bool StopRunningInstance(const std::wstring& installDir);
