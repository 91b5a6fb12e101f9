// The progress channel from the transaction's thread to the setup window: a
// posted private message carrying a fraction in thousandths, or the final
// outcome, and a heap copy of a text that the receiver frees.
#pragma once

#include <windows.h>

#include <atomic>

// wParam 0..1000: progress, lParam null or the new status text.
// wParam 1001: success (lParam null); 1002: failure, lParam the error text.
inline constexpr UINT WM_SETUP_PROGRESS = WM_APP + 10;
inline constexpr WPARAM kProgressSucceeded = 1001;
inline constexpr WPARAM kProgressFailed = 1002;
static_assert(WM_SETUP_PROGRESS == 0x800A);

// The setup window; null before it is created and after it is destroyed.
// Written on the UI thread, read by the worker to post.
extern std::atomic<HWND> mainWindow;

// Posts the fraction (clamped to 0..1) and a copy of `text` (may be null) to
// mainWindow. Does nothing in silent mode or without a window.
void PostProgress(float fraction, const wchar_t* text);

// Posts a text-carrying message with the channel's ownership rule: the copy
// (made with _wcsdup) passes to the receiver, or is freed here when the post
// fails.
void PostProgressMessage(WPARAM code, const wchar_t* text);
