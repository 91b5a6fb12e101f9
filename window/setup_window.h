// The setup window's procedure.
#pragma once

#include <windows.h>

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
