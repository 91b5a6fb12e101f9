// The setup window's procedure: turns messages into UI-state changes and
// actions, drives the animation timer, paints, and receives the worker's
// progress messages.
#pragma once

#include <windows.h>

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A registered read-only query for accessibility tools and the tests.
// wParam 0: answers with the current page (a Page value). wParam an Action
// id: the centre of its first target in the last painted frame, in client
// pixels (x in the low word, y in the high word), or -1 when that frame has
// none. wParam kQueryFocus: the focused Action id (0 for none).
// kQueryLicenseScroll: the licence's scroll offset in DIPs.
inline constexpr wchar_t kQueryPageMessage[] = L"VelmoTulveSetup.QueryPage";
inline constexpr WPARAM kQueryFocus = 0x100;
inline constexpr WPARAM kQueryLicenseScroll = 0x101;
