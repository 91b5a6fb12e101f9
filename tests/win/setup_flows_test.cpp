// The setup program end to end, as a user works it: the real process under
// Xvfb, real clicks and key presses through the X server (xdotool) aimed at
// the targets it painted, from the first page to its exit; then the machine
// state is checked as the silent runs' tests check it. Every flow runs with
// the mouse and again with the keyboard alone (Tab, Space, Enter, Escape).
#include "tests/win/setup_process_support.h"
#include "window/setup_window.h"
#include "window/ui_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

enum Drive { DriveMouse, DriveKeyboard };

class SetupFlowTest : public SetupRunTest {
protected:
    void TearDown() override {
        CloseApplications();
        SetupRunTest::TearDown();
    }
    // Starts a flow: a clean test root, optionally an installation.
    void Begin(Drive drive, bool installed, LRESULT firstPage) {
        mouse = drive == DriveMouse;
        CloseApplications();
        ResetTestRoot();
        if (installed) {
            ASSERT_NO_FATAL_FAILURE(InstallSilently());
        }
        ASSERT_TRUE(setup.Start());
        ASSERT_EQ(setup.Query(), firstPage);
    }
    // A click on the target, or Tab until it has the focus and Space.
    void Press(int32_t id) {
        ASSERT_TRUE(mouse ? setup.Click(id) : setup.TabTo(id) && setup.Keys(L"space")) << "target " << id;
    }
    // A double click, or Enter twice: the second press must not act on the
    // page the first one opens.
    void PressTwice(int32_t id) {
        ASSERT_TRUE(mouse ? setup.Click(id, 2) : setup.TabTo(id) && setup.Keys(L"Return Return")) << id;
    }
    void OpenOptions() {
        Press(ActionCustomize);
        ASSERT_TRUE(setup.WaitForHeight(452));
    }
    void ExpectExit() {
        DWORD exitCode = STILL_ACTIVE;
        ASSERT_TRUE(setup.WaitForExit(exitCode)) << "the window did not close";
        EXPECT_EQ(exitCode, 0u);
    }

    SetupWindowDriver setup;
    bool mouse = true;
};

class SetupFlowByInput : public SetupFlowTest, public testing::WithParamInterface<Drive> {};

// Welcome: the panel, "Launch Velmo Tulve when finished" off, Install twice
// (its second press lands on "Launch Velmo Tulve"), "All set", then "Launch
// Velmo Tulve" (Enter) starts the tray application.
TEST_P(SetupFlowByInput, InstallFromTheWelcomePageThenLaunch) {
    ASSERT_NO_FATAL_FAILURE(Begin(GetParam(), false, PageWelcome));
    ASSERT_NO_FATAL_FAILURE(OpenOptions());
    ASSERT_NO_FATAL_FAILURE(Press(ActionToggleLaunch));
    if (!mouse) {
        ASSERT_TRUE(setup.Keys(L"Escape") && setup.WaitForHeight(316)) << "Escape closes the panel only";
        // The focus left the hidden check box for "Customize".
        EXPECT_EQ(setup.Query(kQueryFocus), ActionCustomize);
        ASSERT_TRUE(setup.Keys(L"Return") && setup.WaitForHeight(452) && setup.Keys(L"Escape") &&
                    setup.WaitForHeight(316));
    }
    ASSERT_NO_FATAL_FAILURE(PressTwice(ActionInstall));
    POINT launch{};
    ASSERT_TRUE(setup.WaitForPage(PageResult) && setup.TargetOnScreen(ActionLaunch, launch)) << "no \"All set\"";
    ASSERT_TRUE(setup.TabTo(ActionLaunch)) << "the second press acted on the result page";
    ExpectInstalled(setupBytes);
    EXPECT_TRUE(TopLevelWindows(0, kAppWindowClass).empty()) << "launched although the option was off";
    ASSERT_TRUE(mouse ? setup.Click(ActionLaunch) : setup.Keys(L"Return"));
    ASSERT_NO_FATAL_FAILURE(ExpectExit());
    EXPECT_TRUE(WaitUntil(nullptr, kRunTimeoutMs, [] { return !TopLevelWindows(0, kAppWindowClass).empty(); }))
        << "the tray application did not start";
}

// Maintenance: auto-start and the shortcut off, Update twice, Done. The Run
// value and the shortcut follow the check boxes; the application starts
// once, by "Launch Velmo Tulve when finished".
TEST_P(SetupFlowByInput, UpdateWithChangedOptionsFromTheMaintenancePage) {
    ASSERT_NO_FATAL_FAILURE(Begin(GetParam(), true, PageMaintenance));
    ASSERT_NO_FATAL_FAILURE(OpenOptions());
    for (const int32_t toggle : {ActionToggleAutoStart, ActionToggleShortcut}) {
        ASSERT_NO_FATAL_FAILURE(Press(toggle));
    }
    ASSERT_NO_FATAL_FAILURE(PressTwice(ActionInstall));
    ASSERT_TRUE(setup.WaitForPage(PageResult));
    ASSERT_TRUE(setup.TabTo(ActionFinish)) << "the second press acted on the result page";
    ExpectInstalled(setupBytes, false, false);
    EXPECT_TRUE(WaitUntil(nullptr, kRunTimeoutMs, [] { return !TopLevelWindows(0, kAppWindowClass).empty(); }));
    ASSERT_NO_FATAL_FAILURE(Press(ActionFinish));
    ASSERT_NO_FATAL_FAILURE(ExpectExit());
    EXPECT_EQ(TopLevelWindows(0, kAppWindowClass).size(), 1u);
}

// Maintenance: "Uninstall" (a double click on its upper part, where the next
// page's check box lies), back with Cancel (Escape), "Uninstall" again, "Also
// delete saved settings & preferences", "Uninstall now", "Close" (Enter with
// nothing focused).
TEST_P(SetupFlowByInput, UninstallThroughTheConfirmationWithTheSavedSettings) {
    ASSERT_NO_FATAL_FAILURE(Begin(GetParam(), true, PageMaintenance));
    ASSERT_TRUE(CreateDirectoryW((root / L"Settings").c_str(), nullptr) &&
                CreateDirectoryW(settingsDir.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(settingsDir + L"\\settings.json", "{}"));
    ASSERT_TRUE(mouse ? setup.Click(ActionUninstall, 2, 14) : setup.TabTo(ActionUninstall) && setup.Keys(L"space"));
    ASSERT_TRUE(setup.WaitForPage(PageConfirmUninstall));
    ASSERT_TRUE(mouse ? setup.Click(ActionCustomize) : setup.Keys(L"Escape"));
    ASSERT_TRUE(setup.WaitForPage(PageMaintenance));
    ASSERT_NO_FATAL_FAILURE(Press(ActionUninstall));
    ASSERT_NO_FATAL_FAILURE(Press(ActionToggleDeleteData));
    ASSERT_NO_FATAL_FAILURE(Press(ActionUninstall));
    ASSERT_TRUE(setup.WaitForPage(PageResult));
    ExpectEntriesRemoved();
    EXPECT_FALSE(PathExists(installDir));
    EXPECT_FALSE(PathExists(settingsDir));
    ASSERT_TRUE(mouse ? setup.Click(ActionFinish) : setup.Keys(L"Return"));
    ASSERT_NO_FATAL_FAILURE(ExpectExit());
}

// LICENSE held open without delete sharing: "Uninstall now" fails after the
// shortcut and the startup value are gone, before the uninstall entry and
// the uninstaller, so nothing starts or names the deleted application and
// the entry still finds the uninstaller. Once the file is let go, "Try
// again" (Enter with nothing focused) and "Uninstall now" finish it.
TEST_P(SetupFlowByInput, HeldFileStopsAnUninstallThenTryAgainFinishesIt) {
    ASSERT_NO_FATAL_FAILURE(Begin(GetParam(), true, PageMaintenance));
    std::optional<TimedHold> held(std::in_place, installDir + L"\\LICENSE", INFINITE);
    ASSERT_TRUE(*held);
    ASSERT_NO_FATAL_FAILURE(Press(ActionUninstall));
    ASSERT_TRUE(setup.WaitForPage(PageConfirmUninstall));
    ASSERT_NO_FATAL_FAILURE(Press(ActionUninstall));
    POINT retry{};
    ASSERT_TRUE(setup.WaitForPage(PageResult) && setup.TargetOnScreen(ActionRetry, retry)) << "no failure shown";
    EXPECT_FALSE(PathExists(appPath));
    EXPECT_TRUE(PathExists(installDir + L"\\LICENSE"));
    EXPECT_FALSE(PathExists(shortcut)) << "a shortcut to the deleted application";
    EXPECT_EQ(ReadRegistryValue(kTestRunKey, L"VelmoTulve").status, ERROR_FILE_NOT_FOUND)
        << "a startup value for the deleted application";
    EXPECT_TRUE(KeyExists(kTestUninstallKey) && PathExists(uninstaller)) << "the entry goes with its uninstaller";
    held.reset();
    ASSERT_TRUE(mouse ? setup.Click(ActionRetry) : setup.Keys(L"Return"));
    ASSERT_TRUE(setup.WaitForPage(PageConfirmUninstall));
    ASSERT_NO_FATAL_FAILURE(Press(ActionUninstall));
    ASSERT_TRUE(setup.WaitForPage(PageResult) && setup.TargetOnScreen(ActionFinish, retry));
    ExpectEntriesRemoved();
    EXPECT_FALSE(PathExists(installDir));
    ASSERT_TRUE(mouse ? setup.Click(ActionFinish) : setup.Keys(L"Escape"));
    ASSERT_NO_FATAL_FAILURE(ExpectExit());
}

// The application running from the installation: its file cannot be
// replaced (under Wine as on Windows), and the update fails with its message.
// Once it is closed, "Try again" and "Update" succeed with the options kept.
TEST_P(SetupFlowByInput, TryAgainAfterAFailedUpdateSucceedsOnceTheApplicationIsClosed) {
    ASSERT_NO_FATAL_FAILURE(Begin(GetParam(), true, PageMaintenance));
    ChildProcess app;
    ASSERT_TRUE(app.Start(appPath, L""));
    // The tray application's window is hidden.
    HWND appWindow = nullptr;
    ASSERT_TRUE(WaitWhileRunning(app, kRunTimeoutMs, [&] {
        const std::vector<HWND> windows = TopLevelWindows(app.id(), kAppWindowClass);
        appWindow = windows.empty() ? nullptr : windows.front();
        return appWindow != nullptr;
    }));
    ASSERT_NO_FATAL_FAILURE(OpenOptions());
    ASSERT_NO_FATAL_FAILURE(Press(ActionToggleShortcut));
    ASSERT_NO_FATAL_FAILURE(Press(ActionInstall));
    POINT at{};
    ASSERT_TRUE(setup.WaitForPage(PageResult) && setup.TargetOnScreen(ActionRetry, at)) << "the update did not fail";
    ASSERT_TRUE(PostMessageW(appWindow, WM_CLOSE, 0, 0) && app.WaitForExit(kRunTimeoutMs));
    ASSERT_NO_FATAL_FAILURE(Press(ActionRetry));
    ASSERT_TRUE(setup.WaitForPage(PageMaintenance) && setup.WaitForHeight(452)) << "not back with the panel open";
    ASSERT_NO_FATAL_FAILURE(Press(ActionInstall));
    ASSERT_TRUE(setup.WaitForPage(PageResult) && setup.TargetOnScreen(ActionFinish, at));
    EXPECT_EQ(setup.Query(ActionRetry), -1) << "the update failed again";
    ExpectInstalled(setupBytes, true, false);
    ASSERT_NO_FATAL_FAILURE(Press(ActionFinish));
    ASSERT_NO_FATAL_FAILURE(ExpectExit());
}

INSTANTIATE_TEST_SUITE_P(MouseAndKeyboard, SetupFlowByInput, testing::Values(DriveMouse, DriveKeyboard),
                         [](const auto& info) { return info.param == DriveMouse ? "Mouse" : "Keyboard"; });

// "Browse…" opens the system folder dialog; a folder is typed into it with
// the pointer over it (Wine sends keys there) and Return, or Escape cancels.
// The sub-folder is added unless the folder already is one.
TEST_F(SetupFlowTest, FolderPickerChoosesWhereTheInstallGoes) {
    const std::wstring apps = root / L"Apps", named = root / L"VELMO TULVE";
    const std::pair<std::wstring, std::wstring> cases[] = {
        {apps, apps + L"\\Velmo Tulve"}, {named, named}, {L"", installDir}};  // empty: cancel
    for (const auto& [typed, installed] : cases) {
        SCOPED_TRACE(Narrow(typed));
        ASSERT_NO_FATAL_FAILURE(Begin(DriveMouse, false, PageWelcome));
        ASSERT_TRUE(CreateDirectoryW(apps.c_str(), nullptr) && CreateDirectoryW(named.c_str(), nullptr));
        ASSERT_NO_FATAL_FAILURE(OpenOptions());
        // A tray application started at the end would outlive the test.
        ASSERT_TRUE(setup.Click(ActionToggleLaunch));
        ASSERT_TRUE(setup.Click(ActionBrowse));
        HWND dialog = nullptr;
        ASSERT_TRUE(WaitWhileRunning(setup.process(), kRunTimeoutMs, [&] {
            for (HWND d : TopLevelWindows(setup.process().id(), kDialogClass)) dialog = IsWindowVisible(d) ? d : dialog;
            return dialog != nullptr;
        })) << "no folder dialog";
        RECT rect{};
        GetWindowRect(dialog, &rect);
        const std::wstring over = L"mousemove " + std::to_wstring((rect.left + rect.right) / 2) + L" " +
                                  std::to_wstring((rect.top + rect.bottom) / 2);
        // "type" takes every later argument as text: Return goes on its own.
        ASSERT_TRUE(typed.empty() ? Xdotool(over + L" key Escape")
                                  : Xdotool(over + L" type --delay 20 '" + typed + L"'") && Xdotool(L"key Return"));
        ASSERT_TRUE(WaitWhileRunning(setup.process(), kRunTimeoutMs, [&] { return !IsWindow(dialog); }));
        ASSERT_TRUE(setup.Click(ActionInstall) && setup.WaitForPage(PageResult));
        EXPECT_TRUE(PathExists(installed + L"\\VelmoTulve.exe")) << Narrow(installed);
        EXPECT_EQ(ReadRegistryValue(kTestUninstallKey, L"InstallLocation").data, StringBytes(installed));
        ASSERT_TRUE(setup.Click(ActionFinish));
        ASSERT_NO_FATAL_FAILURE(ExpectExit());
    }
}

// Waits until the licence's scroll offset is `offset`.
bool WaitForScroll(const SetupWindowDriver& setup, LRESULT offset) {
    return WaitUntil(nullptr, kRunTimeoutMs, [&] { return setup.Query(kQueryLicenseScroll) == offset; });
}

// At 96 DPI the licence fits its view: six wheel notches over it move
// nothing (a Tab after them shows they were handled).
TEST_F(SetupFlowTest, LicenceThatFitsDoesNotMoveUnderTheWheel) {
    ScopedLogPixels dpi(96);
    ASSERT_TRUE(dpi.applied());
    ASSERT_NO_FATAL_FAILURE(Begin(DriveMouse, false, PageWelcome));
    ASSERT_TRUE(setup.Click(ActionViewLicense) && setup.WaitForPage(PageLicense) && setup.WaitForHeight(452));
    RECT rect{};
    GetWindowRect(setup.window(), &rect);
    ASSERT_TRUE(Xdotool(L"mousemove " + std::to_wstring(rect.left + 230) + L" " + std::to_wstring(rect.top + 260) +
                        L" click --repeat 6 --delay 50 5"));
    ASSERT_TRUE(setup.Keys(L"Tab"));
    ASSERT_TRUE(WaitUntil(nullptr, kRunTimeoutMs, [&] { return setup.Query(kQueryFocus) == ActionBack; }));
    EXPECT_EQ(setup.Query(kQueryLicenseScroll), 0);
    ASSERT_TRUE(setup.Keys(L"Escape") && setup.WaitForPage(PageWelcome) && setup.Click(ActionClose));
    ASSERT_NO_FATAL_FAILURE(ExpectExit());
}

// At 192 DPI on a 1280 x 800 screen (the test desktop's display mode set to
// it): the window opens centred; the options panel makes it 904 pixels
// high, so it moves up to the top of the work area and every button and
// check box stays on screen; the licence page takes the work area's 800
// pixels, its text no longer fits, and the keys and the wheel scroll it
// within its ends.
TEST_F(SetupFlowTest, SmallScreenAtHighDpiKeepsTheButtonsOnScreenAndTheLicenceScrolls) {
    ScopedDisplayMode screen(1280, 800);
    ASSERT_TRUE(screen.applied());
    ScopedLogPixels dpi(192);
    ASSERT_TRUE(dpi.applied());
    ASSERT_NO_FATAL_FAILURE(Begin(DriveMouse, false, PageWelcome));
    const RECT area = MonitorWorkArea(setup.window());
    ASSERT_EQ(area.bottom - area.top, 800);
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(setup.window(), &rect));
    EXPECT_EQ(rect.top, area.top + (800 - 632) / 2);
    ASSERT_NO_FATAL_FAILURE(Press(ActionCustomize));
    ASSERT_TRUE(setup.WaitForHeight(904));
    ASSERT_TRUE(GetWindowRect(setup.window(), &rect));
    EXPECT_EQ(rect.top, area.top) << "taller than the work area: its top edge at the top";
    // The centre of each, and below it half of the tallest (36 DIPs).
    for (const int32_t id : {ActionInstall, ActionCustomize, ActionBrowse, ActionToggleAutoStart,
                             ActionToggleShortcut, ActionToggleLaunch}) {
        POINT centre{};
        ASSERT_TRUE(setup.TargetOnScreen(id, centre)) << id;
        EXPECT_TRUE(centre.y - 36 >= area.top && centre.y + 36 <= area.bottom) << "target " << id << " at " << centre.y;
    }
    ASSERT_TRUE(setup.Keys(L"Escape") && setup.WaitForHeight(632));
    ASSERT_TRUE(setup.Click(ActionViewLicense) && setup.WaitForPage(PageLicense) && setup.WaitForHeight(800));
    ASSERT_TRUE(GetWindowRect(setup.window(), &rect));
    EXPECT_TRUE(rect.top >= area.top && rect.bottom <= area.bottom) << "the licence page is not wholly on screen";
    POINT back{};
    ASSERT_TRUE(setup.TargetOnScreen(ActionBack, back));
    EXPECT_LE(back.y + 36, area.bottom);

    // Down a line; End; Down at the end stays, then Up a line back from it;
    // Home; Up at the top stays, then Down a line from it; Page Down.
    ASSERT_TRUE(setup.Keys(L"Down"));
    ASSERT_TRUE(WaitUntil(nullptr, kRunTimeoutMs, [&] { return setup.Query(kQueryLicenseScroll) > 0; }));
    const LRESULT line = setup.Query(kQueryLicenseScroll);
    ASSERT_TRUE(setup.Keys(L"End"));
    ASSERT_TRUE(WaitUntil(nullptr, kRunTimeoutMs, [&] { return setup.Query(kQueryLicenseScroll) > line; }));
    const LRESULT end = setup.Query(kQueryLicenseScroll);
    std::printf("[ info ] licence at 192 DPI in 800 pixels: a line %d DIPs, %d DIPs below the view\n", int(line),
                int(end));
    EXPECT_GT(end, 2 * line);
    ASSERT_TRUE(setup.Keys(L"Down Down Up"));
    EXPECT_TRUE(WaitForScroll(setup, end - line)) << "scrolled past the end";
    ASSERT_TRUE(setup.Keys(L"Home"));
    EXPECT_TRUE(WaitForScroll(setup, 0));
    ASSERT_TRUE(setup.Keys(L"Up Up Down"));
    EXPECT_TRUE(WaitForScroll(setup, line)) << "scrolled past the top";
    ASSERT_TRUE(setup.Keys(L"Next"));
    EXPECT_TRUE(WaitForScroll(setup, end)) << "a page is longer than what is below";
    ASSERT_TRUE(setup.Keys(L"Prior"));
    EXPECT_TRUE(WaitForScroll(setup, 0));
    ASSERT_TRUE(GetWindowRect(setup.window(), &rect));
    ASSERT_TRUE(Xdotool(L"mousemove " + std::to_wstring(rect.left + 460) + L" " + std::to_wstring(rect.top + 500) +
                        L" click 5"));
    EXPECT_TRUE(WaitForScroll(setup, std::min<LRESULT>(30, end))) << "the wheel";
    ASSERT_TRUE(setup.Keys(L"Escape") && setup.WaitForPage(PageWelcome) && setup.Click(ActionClose));
    ASSERT_NO_FATAL_FAILURE(ExpectExit());
}

}  // namespace
