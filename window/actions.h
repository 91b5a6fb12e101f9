// What the setup window's targets and keys do: hit testing over the targets
// of the last frame, keyboard focus, the action of each target on each page,
// starting an install or uninstall on a worker thread, and the licence text.
#pragma once

#include "window/ui_state.h"

#include <windows.h>

#include <string>

// The target under (x, y) in DIPs, the last registered winning; 0 for none.
int32_t HitTest(float x, float y);

// The focused target is in the last frame and can take the focus.
bool FocusIsDrawn();

// Moves the focus to the next (or previous) target of the last frame, with
// wrap-around; the caption buttons are left out.
void CycleFocus(bool backwards);

// Runs the action on the current page, then refreshes the window.
void DispatchAction(int32_t id);

// After a change by an action or key: the height follows the page, a new
// page drops the focus, the press and the targets of the frame still on
// screen, and waits for its own first frame; then animate and repaint.
void RefreshWindow(Page previous);

// Switches to the progress page and runs the operation on a detached worker
// thread, which reports only through WM_SETUP_PROGRESS. Ignored while one
// runs.
void StartOperation(OperationKind kind);

// The worker's body; `kind` is the OperationKind itself.
DWORD WINAPI OperationThreadMain(void* kind);

// Fills licenseText from this program's licence resource.
void LoadLicenseText();

// Fills licenseText from the UTF-8 licence resource (302) of `module`, or
// with a fallback when it is missing or cannot be decoded; never empty.
void LoadLicenseTextFrom(HMODULE module);
