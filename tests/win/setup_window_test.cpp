// The setup program in window mode, seen from another process: the window's
// class, title, styles, first page, size at 96, 120 and 144 DPI and position,
// the exit code when it is closed, and the error box of a bad command line.
//
// DPI: Wine's GetDpiForSystem follows HKCU\Control Panel\Desktop LogPixels,
// read when a process starts; a running wineserver does not keep an old
// value, so setting it before starting the setup program is enough. The
// test process keeps the DPI it started with, and GetWindowRect from here
// reports the setup window's pixels as they are.
#include "tests/win/setup_process_support.h"
#include "window/setup_window.h"
#include "window/ui_state.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kTimeoutMs = 15000;
constexpr DWORD kSetupWindowStyle = WS_POPUP | WS_VISIBLE | WS_SYSMENU | WS_MINIMIZEBOX;
static_assert(kSetupWindowStyle == 0x900A0000);

class SetupWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SetupMutexExists()) << "another setup process is still running";
        DeleteTestRegistry();
    }
    void TearDown() override { DeleteTestRegistry(); }

    void InstallSilently() {
        const std::wstring setup = SetupExePath();
        const ProcessResult r = RunProcess(setup, QuoteArgument(setup) + L" /VERYSILENT", {}, kTimeoutMs);
        ASSERT_FALSE(r.timedOut);
        ASSERT_EQ(r.exitCode, 0u);
    }

    void ResetTestRoot() {
        for (const std::wstring& name : ListFolder(root.path())) RemoveTree(root / name);
        DeleteTestRegistry();
    }

    TempFolder root;
    ScopedEnvironment testRootVariable{kTestRootVariable, root.path().c_str()};
};

// The page the window reports through its query message; -1 when it does not
// answer.
LRESULT QueryPage(HWND window) {
    const UINT message = RegisterWindowMessageW(kQueryPageMessage);
    DWORD_PTR result = 0;
    if (!message || !SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &result)) return -1;
    return LRESULT(result);
}

RECT WorkArea() {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// Where the window must be: centred in the work area, the halves truncated.
RECT ExpectedRect(int width, int height) {
    const RECT area = WorkArea();
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    return RECT{x, y, x + width, y + height};
}

std::string Describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

// Starts the setup program in window mode, checks the window it shows, then
// closes it and expects exit code 0.
void ExpectWindow(const std::wstring& arguments, LRESULT page, int width, int height) {
    ChildProcess setup;
    ASSERT_TRUE(setup.Start(SetupExePath(), arguments));
    const HWND window = WaitForTopLevelWindow(setup, kSetupWindowClass, kTimeoutMs);
    ASSERT_NE(window, nullptr) << "no window; exit code " << setup.exitCode();

    EXPECT_EQ(WindowText(window), kSetupWindowTitle);
    // Windows and Wine add WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(DWORD(GetWindowLongW(window, GWL_STYLE)) & ~DWORD(WS_CLIPSIBLINGS), kSetupWindowStyle);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
    EXPECT_EQ(QueryPage(window), page);

    RECT actual{};
    ASSERT_TRUE(GetWindowRect(window, &actual));
    const RECT expected = ExpectedRect(width, height);
    EXPECT_TRUE(EqualRect(&actual, &expected)) << "window " << Describe(actual) << ", expected " << Describe(expected);

    EXPECT_EQ(TopLevelWindows(setup.id(), kSetupWindowClass).size(), 1u);
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    ASSERT_TRUE(setup.WaitForExit(kTimeoutMs)) << "still running after WM_CLOSE";
    EXPECT_EQ(setup.exitCode(), 0u);
}

struct FirstPageCase {
    const wchar_t* name;
    const wchar_t* arguments;
    LRESULT page;
    int height;  // pixels at 96 DPI
};

template <size_t N>
void ExpectFirstPages(const FirstPageCase (&cases)[N]) {
    for (const FirstPageCase& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        ExpectWindow(c.arguments, c.page, 460, c.height);
    }
}

TEST_F(SetupWindowTest, FirstPageWithNothingInstalledIsWelcomeOrTheUninstallConfirmation) {
    ScopedLogPixels dpi(96);
    ASSERT_TRUE(dpi.applied());
    const FirstPageCase cases[] = {
        {L"no switch", L"", PageWelcome, 316},
        {L"unknown arguments are ignored", L"--frobnicate /x", PageWelcome, 316},
        {L"uninstall switch", L"--uninstall", PageConfirmUninstall, 326},
    };
    ExpectFirstPages(cases);
}

TEST_F(SetupWindowTest, FirstPageWithAnInstallationIsMaintenanceOrTheUninstallConfirmation) {
    ScopedLogPixels dpi(96);
    ASSERT_TRUE(dpi.applied());
    ASSERT_NO_FATAL_FAILURE(InstallSilently());
    const FirstPageCase cases[] = {
        {L"no switch", L"", PageMaintenance, 316},
        {L"uninstall switch", L"--uninstall", PageConfirmUninstall, 326},
        {L"short uninstall switch in capitals", L"/UNINSTALL", PageConfirmUninstall, 326},
    };
    ExpectFirstPages(cases);
}

TEST_F(SetupWindowTest, SizeScalesWithTheSystemDpiAndStaysCentred) {
    struct Case {
        DWORD dpi;
        const wchar_t* arguments;
        LRESULT page;
        int width, height;
    };
    // At 120 DPI the confirmation page is 407.5 pixels high, rounded away
    // from zero; 1280 - 575 is odd, so the window sits half a pixel left.
    const Case cases[] = {
        {120, L"", PageWelcome, 575, 395},
        {120, L"--uninstall", PageConfirmUninstall, 575, 408},
        {144, L"", PageWelcome, 690, 474},
        {144, L"--uninstall", PageConfirmUninstall, 690, 489},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dpi) + " DPI " + Narrow(c.arguments));
        ScopedLogPixels dpi(c.dpi);
        ASSERT_TRUE(dpi.applied());
        ExpectWindow(c.arguments, c.page, c.width, c.height);
    }
}

// The message box of a bad command line: no owner, caption "Velmo Tulve",
// the error text, one OK button and an icon; the process waits on it and
// ends with 1 once it is answered, without ever creating the setup window.
TEST_F(SetupWindowTest, OptionErrorShowsAnErrorBoxAndExitsWithOneWhenItIsClosed) {
    const std::wstring otherFolder = root / L"Elsewhere";
    struct Case {
        const wchar_t* name;
        bool installFirst;
        std::wstring arguments;
        const wchar_t* text;
    };
    const Case cases[] = {
        {L"drive root", false, L"--dir=C:\\", L"Choose a valid installation folder."},
        {L"drive root by the short switch", false, L"/dir=C:\\.\\", L"Choose a valid installation folder."},
        {L"another folder than the recorded one", true, QuoteArgument(L"--dir=" + otherFolder),
         L"Use the existing installation folder, or uninstall before changing it."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        ResetTestRoot();
        if (c.installFirst) {
            ASSERT_NO_FATAL_FAILURE(InstallSilently());
        }

        ChildProcess setup;
        ASSERT_TRUE(setup.Start(SetupExePath(), c.arguments));
        const HWND box = WaitForTopLevelWindow(setup, kDialogClass, kTimeoutMs);
        ASSERT_NE(box, nullptr) << "no message box; exit code " << setup.exitCode();

        EXPECT_EQ(WindowText(box), L"Velmo Tulve");
        EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
        wchar_t text[512] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 512);
        EXPECT_STREQ(text, c.text);
        int buttons = 0, icons = 0;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const std::wstring kind = ClassName(child);
            if (kind == L"Button") {
                ++buttons;
                EXPECT_EQ(GetDlgCtrlID(child), IDOK);
                EXPECT_EQ(WindowText(child), L"OK");
            } else if (kind == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                ++icons;
                EXPECT_NE(SendMessageW(child, STM_GETICON, 0, 0), 0);
            }
        }
        EXPECT_EQ(buttons, 1) << "MB_OK has one button";
        EXPECT_EQ(icons, 1);
        EXPECT_TRUE(TopLevelWindows(setup.id(), kSetupWindowClass).empty());
        EXPECT_TRUE(setup.IsRunning()) << "the box did not hold the process";

        ASSERT_TRUE(PostMessageW(box, WM_COMMAND, IDOK, 0));
        ASSERT_TRUE(setup.WaitForExit(kTimeoutMs)) << "still running after the box was answered";
        EXPECT_EQ(setup.exitCode(), 1u);
        EXPECT_FALSE(PathExists(otherFolder));
    }
}

}  // namespace
