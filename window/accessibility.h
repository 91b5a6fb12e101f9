// The custom-drawn window as Microsoft Active Accessibility sees it: the
// client area as one object whose simple children are the hit targets of the
// last frame, in Tab order, with names, roles, states, screen locations and
// default actions, and WinEvents when the focus, a check box, the progress or
// the page changes. Screen readers read MSAA directly; UI Automation maps it.
#pragma once

#include <windows.h>

// Posted by accDoDefaultAction: wParam is the action id, lParam the page it
// was asked on; run on the UI thread exactly as a click on its target would
// run it, and only if that page is still shown.
inline constexpr UINT WM_SETUP_ACCESSIBLE_ACTION = WM_APP + 11;

// WM_GETOBJECT: the client object for OBJID_CLIENT, DefWindowProcW otherwise.
LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam);

// Raises the WinEvents for what changed since the last call. Called after
// every painted frame, which follows every change of what the window shows.
void NotifyAccessibilityChanges();

// WM_DESTROY: clients that still hold the object get RPC_E_DISCONNECTED.
void ReleaseAccessibleObject();
