// The folder picker of the options panel: the system's folder dialog, owned
// by the setup window, chooses where a first installation goes.
#pragma once

#include <string>

// Runs the dialog and stores the chosen folder, with a "Velmo Tulve"
// sub-folder unless it already is one, in installDir. Does nothing when an
// installation exists (its folder is fixed); a cancelled dialog or any
// failure leaves installDir as it was.
void ChooseInstallFolder();

// `chosen` with "Velmo Tulve" appended as a new last element, unless its last
// element already is that name (A-Z compared case-insensitively).
std::wstring WithProductFolder(const wchar_t* chosen);
