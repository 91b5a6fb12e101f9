// The setup window's procedure.
#pragma once

#include <windows.h>

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A registered message that answers with the current page (a Page value).
// Read-only; lets accessibility tools and the tests see which page is shown.
inline constexpr wchar_t kQueryPageMessage[] = L"VelmoTulveSetup.QueryPage";
