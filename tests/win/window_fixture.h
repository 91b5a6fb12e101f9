// Shared ground for the in-process tests of the setup window: a real window
// of the setup class (SetupWindowProc) on the test's thread over the engine
// tests' throwaway layout, and one helper per kind of input, each sending the
// message Windows would send.
#pragma once

#include "tests/win/engine_fixture.h"
#include "window/ui_state.h"

#include <windows.h>

#include <vector>

// Puts the UI state back to what a fresh process has.
void ResetUiState();

class WindowTest : public EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Creates the window on `first` as the entry point does, at (100, 100).
    void OpenWindow(Page first);
    void CloseWindow();
    bool WindowAlive() const { return window && IsWindow(window); }
    int finalMessages() const;  // final progress messages received

    HWND window = nullptr;
};

// Runs every message queued for this thread now (WM_QUIT is dropped).
void PumpMessages();
// Paints now: hitTargets then describes what the window shows.
void Paint(HWND window);
// The centre, in client pixels, of the first painted target with `id`.
bool TargetCentre(HWND window, int32_t id, POINT& centre);
// Posts the message and runs it now, as input arrives: GetMessageTime is
// then the time it was posted.
void Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Left button down at `down` (`message`: the second press of a double click
// is WM_LBUTTONDBLCLK), up at `up` (client pixels).
void Press(HWND window, POINT down, POINT up, UINT message = WM_LBUTTONDOWN);
// A click on the target's centre; a test failure when it is not painted.
void Click(HWND window, int32_t id);
// WM_KEYDOWN on the frame painted now; `repeat` sets the auto-repeat bit
// (30) of lParam.
void Key(HWND window, UINT key, bool repeat = false);
// One animation tick, exactly `elapsedMs` after the previous one on the
// clock the step reads.
void Tick(HWND window, ULONGLONG elapsedMs);
// A progress message as the worker posts it, with a copy of `text`.
void Progress(HWND window, WPARAM code, const wchar_t* text = nullptr);
// Runs messages until no operation runs any more; false on time-out.
bool WaitForOperationEnd();
// The threads the code under test creates while the object lives, kept
// even when they end at once (StartOperation closes its handle).
class WorkerThreads {
public:
    WorkerThreads();
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    size_t count() const { return started_.size(); }
    bool WaitForAllToEnd() const;
    void Keep(HANDLE thread) { started_.emplace_back(thread); }  // by the patched CreateThread

private:
    ScopedImportPatch patch_;
    std::vector<UniqueHandle> started_;
};

// The Shift key held for this thread's GetKeyState while the object lives.
struct ShiftHeld {
    ShiftHeld();
    ~ShiftHeld();
};
