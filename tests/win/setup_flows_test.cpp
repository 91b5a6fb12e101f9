// The setup program end to end, as a user works it: the real process under
// Xvfb, real clicks and key presses through the X server (xdotool) aimed at
// the targets it painted, from the first page to its exit; then the machine
// state is checked as the silent runs' tests check it. Every flow runs with
// the mouse and again with the keyboard alone (Tab, Space, Enter, Escape).
#include "tests/win/setup_process_support.h"
#include "window/setup_window.h"
#include "window/ui_state.h"

#include <gtest/gtest.h>

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

}  // namespace
