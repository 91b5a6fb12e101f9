// The setup program in window mode, seen from another process: the window's
// class, title, styles, first page, size at 96, 120 and 144 DPI and position,
// the exit code when it is closed, and the error box of a bad command line.
// Then the window procedure in-process, on a real window of the setup class
// with real messages.
//
// DPI: Wine's GetDpiForSystem follows HKCU\Control Panel\Desktop LogPixels,
// read when a process starts; a running wineserver does not keep an old
// value, so setting it before starting the setup program is enough. The
// test process keeps the DPI it started with, and GetWindowRect from here
// reports the setup window's pixels as they are.
#include "window/setup_window.h"
#include "setup/progress.h"
#include "setup/setup_state.h"
#include "tests/win/setup_process_support.h"
#include "tests/win/window_fixture.h"
#include "window/actions.h"
#include "window/animation.h"
#include "render/text_formats.h"
#include "window/ui_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

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

// The message box of a bad command line or of a Windows older than 10
// version 1703 (which wins over the command line): no owner, caption "Velmo
// Tulve", the error text, one OK button and an icon; the process waits on it
// and ends with 1 once it is answered, without ever creating the setup window.
TEST_F(SetupWindowTest, OptionErrorShowsAnErrorBoxAndExitsWithOneWhenItIsClosed) {
    const std::wstring otherFolder = root / L"Elsewhere";
    struct Case {
        const wchar_t* name;
        bool installFirst;
        std::wstring arguments;
        const wchar_t* text;
        const wchar_t* windows = nullptr;  // another Windows than the prefix's
    };
    const wchar_t* const needsWindows10 = L"Velmo Tulve needs Windows 10 version 1703 or later.";
    const Case cases[] = {
        {L"Windows 8.1", false, L"", needsWindows10, L"win81"},
        {L"Windows 8.1, a bad folder too", true, QuoteArgument(L"--dir=" + otherFolder), needsWindows10, L"win81"},
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

        std::optional<SetupCopyOnWindows> copy;
        if (c.windows) copy.emplace(c.windows);
        ChildProcess setup;
        ASSERT_TRUE(setup.Start(copy ? copy->path() : SetupExePath(), c.arguments));
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

// --- the window procedure, in-process ---------------------------------------------

namespace {

using SetupWindowProcTest = WindowTest;

// Space and Enter fire once per press (auto-repeat ignored) and only on a
// focused target that is drawn; Enter with nothing focused runs the page's
// default; Escape closes the panel before the window, moving the focus off
// the panel, and on any other page closes the window. Unlisted keys do
// nothing.
TEST_F(SetupWindowProcTest, WmKeyDown_SpaceEnterAndEscapePerPage) {
    struct Case {
        Page page;
        bool expanded;
        int32_t focused;
        UINT key;
        bool repeat;
        Page to;
        bool expandedAfter, autoStartAfter, closed;
        int32_t focusedAfter = -1;  // -1: kept unless the page changed
    };
    const Case cases[] = {
        {PageWelcome, false, ActionNone, VK_SPACE, false, PageWelcome, false, true, false},
        {PageWelcome, false, ActionCustomize, VK_SPACE, false, PageWelcome, true, true, false},
        {PageWelcome, false, ActionCustomize, VK_SPACE, true, PageWelcome, false, true, false},
        {PageWelcome, true, ActionToggleAutoStart, VK_RETURN, false, PageWelcome, true, false, false},
        {PageWelcome, false, ActionNone, VK_RETURN, true, PageWelcome, false, true, false},
        {PageWelcome, false, ActionNone, VK_F5, false, PageWelcome, false, true, false},
        {PageLicense, false, ActionNone, VK_RETURN, false, PageMaintenance, false, true, false},
        {PageProgress, false, ActionNone, VK_RETURN, false, PageProgress, false, true, false},
        // After a failure Enter tries again, from where the operation began;
        // Escape still closes.
        {PageResult, false, ActionNone, VK_RETURN, false, PageWelcome, false, true, false},
        {PageResult, false, ActionNone, VK_RETURN, true, PageResult, false, true, false},
        {PageResult, false, ActionFinish, VK_RETURN, false, PageResult, false, true, true},
        {PageWelcome, false, ActionToggleAutoStart, VK_RETURN, false, PageWelcome, false, true, false},  // hidden
        {PageMaintenance, true, ActionToggleShortcut, VK_ESCAPE, false, PageMaintenance, false, true, false,
         ActionCustomize},
        {PageMaintenance, true, ActionInstall, VK_ESCAPE, false, PageMaintenance, false, true, false},
        {PageLicense, true, ActionBack, VK_ESCAPE, false, PageMaintenance, true, true, false},
        {PageResult, true, ActionNone, VK_ESCAPE, false, PageResult, true, true, true},
        {PageWelcome, false, ActionNone, VK_ESCAPE, false, PageWelcome, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.page << " key " << c.key << " focus " << c.focused);
        ResetUiState();
        setupOptions.autoStart = true;
        OpenWindow(c.page);
        returnPage = PageMaintenance;
        operationSucceeded = false;
        customizeExpanded = c.expanded;
        focusedAction = c.focused;
        Key(window, c.key, c.repeat);
        EXPECT_EQ(!WindowAlive(), c.closed);
        EXPECT_EQ(page, c.to);
        EXPECT_EQ(customizeExpanded, c.expandedAfter);
        EXPECT_EQ(setupOptions.autoStart, c.autoStartAfter);
        EXPECT_EQ(focusedAction, c.focusedAfter >= 0 ? c.focusedAfter : c.page == c.to ? c.focused : ActionNone);
        CloseWindow();
    }
}

TEST_F(SetupWindowProcTest, WmClose_IsRefusedWhileAnOperationRuns) {
    for (const int input : {0, 1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << "Escape, WM_CLOSE, Alt+F4, close button: " << input);
        OpenWindow(PageProgress);
        const auto close = [&] {
            if (input == 0) Key(window, VK_ESCAPE);
            if (input == 1) SendMessageW(window, WM_CLOSE, 0, 0);
            if (input == 2) SendMessageW(window, WM_SYSKEYDOWN, VK_F4, 1 | (LPARAM(1) << 29));  // DefWindowProc
            if (input == 3) Click(window, ActionClose);
            PumpMessages();
        };
        operationRunning = true;
        close();
        EXPECT_TRUE(WindowAlive());
        operationRunning = false;
        page = PageResult;
        close();
        EXPECT_FALSE(WindowAlive());
        CloseWindow();
    }
}

TEST_F(SetupWindowProcTest, WmSetupProgress_ProgressKeepsThePageAndCompletionShowsTheResult) {
    setupOptions.installDir = L"C:\\Apps\\Velmo Tulve";
    struct Case {
        int32_t kind;
        bool update;
        WPARAM code;
        const wchar_t *text, *status, *error;
    };
    const Case cases[] = {
        {OperationInstall, false, kProgressSucceeded, nullptr, L"Installed to C:\\Apps\\Velmo Tulve", L""},
        {OperationInstall, true, kProgressSucceeded, nullptr, L"Velmo Tulve updated successfully.", L""},
        {OperationUninstall, true, kProgressSucceeded, nullptr, L"Velmo Tulve has been removed from this PC.", L""},
        {OperationInstall, false, kProgressFailed, L"Disk full.", L"step", L"Disk full."},
        {OperationUninstall, true, kProgressFailed, nullptr, L"step", L"Setup could not complete the operation."},
        {OperationInstall, false, 5000, L"", L"step", L""},
    };
    OpenWindow(PageWelcome);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << " kind " << c.kind << " update " << c.update);
        operationRunning = true;
        page = PageProgress;
        operationKind = c.kind;
        operationIsUpdate = c.update;
        focusedAction = ActionFinish;
        errorText = L"stale";
        Progress(window, 250, L"step");
        Progress(window, 1000);
        EXPECT_TRUE(page == PageProgress && operationRunning.load()) << "1000 is progress, not completion";
        EXPECT_EQ(progressTarget, 1.0f);
        Progress(window, c.code, c.text);
        EXPECT_FALSE(operationRunning.load());
        EXPECT_EQ(page, PageResult);
        EXPECT_EQ(operationSucceeded, c.code == kProgressSucceeded);
        EXPECT_EQ(statusText, c.status);
        EXPECT_EQ(errorText, c.code == kProgressSucceeded ? L"stale" : c.error);
        EXPECT_EQ(progressShown, 1.0f);
        EXPECT_EQ(focusedAction, ActionNone);
    }
    // Not the worker's: any program can post WM_APP + 10. Its lParam (a bad
    // pointer here) is neither read nor freed, and no result is shown.
    page = PageWelcome;
    for (const WPARAM code : {WPARAM(500), kProgressSucceeded}) SendMessageW(window, WM_SETUP_PROGRESS, code, 0x10);
    EXPECT_EQ(page, PageWelcome);
}

// The progress step and the percentage change in place: each frame that
// draws a new one raises a name change on its text child, and nothing for
// the texts that stayed.
TEST_F(SetupWindowProcTest, WmPaint_TextsThatChangeInPlaceRaiseNameChanges) {
    static std::vector<LONG> renamed;
    renamed.clear();
    const HWINEVENTHOOK hook = SetWinEventHook(
        EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
        [](HWINEVENTHOOK, DWORD, HWND, LONG object, LONG child, DWORD, DWORD) {
            if (object == OBJID_CLIENT) renamed.push_back(child);
        },
        GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    OpenWindow(PageWelcome);
    reducedMotion = true;  // the drawn progress follows each report at once
    operationRunning = true;
    operationKind = OperationInstall;
    page = PageProgress;
    Progress(window, 60, L"Starting installation\u2026");
    Paint(window);
    const auto childOf = [](const std::wstring& text) {
        for (size_t k = 0; k < frameTextCount; ++k) {
            if (FrameTextString(frameTexts[k]) == text) return LONG(frameTexts[k].targetsBefore + k + 1);
        }
        return LONG(-1);
    };
    const LONG step = childOf(L"Starting installation\u2026"), percentage = childOf(L"6%");
    ASSERT_TRUE(step > 0 && percentage > step);
    const auto events = [&] {
        for (int i = 0; i < 3; ++i) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
        std::vector<LONG> seen;
        seen.swap(renamed);
        return seen;
    };
    events();
    Progress(window, 500, L"Extracting Velmo Tulve\u2026");
    Paint(window);
    EXPECT_EQ(events(), (std::vector<LONG>{step, percentage}));
    Paint(window);
    EXPECT_EQ(events(), std::vector<LONG>{}) << "nothing changed";
    Progress(window, 520);
    Paint(window);
    EXPECT_EQ(events(), std::vector<LONG>{percentage});
    UnhookWinEvent(hook);
    operationRunning = false;
}

// A click fires only when the button goes down and up over the same target;
// a press on the background captures nothing; only targets are client area.
TEST_F(SetupWindowProcTest, WmLButtonUp_FiresOnlyWhenReleasedOverThePressedTarget) {
    OpenWindow(PageWelcome);
    POINT install{}, customize{}, background{5, 150}, screen{};
    ASSERT_TRUE(TargetCentre(window, ActionInstall, install));
    ASSERT_TRUE(TargetCentre(window, ActionCustomize, customize));
    Press(window, customize, install);
    EXPECT_TRUE(page == PageWelcome && !customizeExpanded && pressedAction == ActionNone);
    const auto send = [&](UINT message, POINT at) { Deliver(window, message, 0, MAKELPARAM(at.x, at.y)); };
    send(WM_LBUTTONDOWN, customize);
    EXPECT_EQ(GetCapture(), window);
    send(WM_MOUSEMOVE, background);
    send(WM_LBUTTONUP, customize);  // back over it before the release
    EXPECT_TRUE(customizeExpanded);
    Press(window, background, background);
    EXPECT_EQ(pressedAction, ActionNone);
    EXPECT_EQ(GetCapture(), nullptr);

    EXPECT_EQ(hoveredAction, ActionNone) << "the last move was over the background";
    send(WM_MOUSEMOVE, install);
    EXPECT_EQ(hoveredAction, ActionInstall);
    SendMessageW(window, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(hoveredAction, ActionNone);
    for (const POINT& at : {install, background}) {
        screen = at;
        ClientToScreen(window, &screen);
        EXPECT_EQ(SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)),
                  at.x == install.x ? HTCLIENT : HTCAPTION);
    }

    // A double click or key counts from its first press: it acts twice on one
    // page, once across a page change; a held press goes with its page.
    Press(window, customize, customize);
    Press(window, customize, customize, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(customizeExpanded);
    POINT license{}, back{};
    ASSERT_TRUE(TargetCentre(window, ActionViewLicense, license));
    Press(window, license, license);
    ASSERT_TRUE(page == PageLicense && TargetCentre(window, ActionBack, back));
    Press(window, back, back, WM_LBUTTONDBLCLK);
    EXPECT_EQ(page, PageLicense);
    send(WM_LBUTTONDOWN, back);
    Key(window, VK_ESCAPE);
    EXPECT_TRUE(page == PageWelcome && pressedAction == ActionNone);
    Key(window, VK_ESCAPE);
    EXPECT_TRUE(WindowAlive() && customizeExpanded) << "a double Escape acted on the page it brought";
}

// The licence page drawn with `text`: the frame measures how far it reaches
// below its view, here measured again with DirectWrite's own layout.
int32_t ShowLicence(HWND window, const std::wstring& text) {
    page = PageLicense;
    licenseText = text;
    Paint(window);
    ComPtr<IDWriteTextLayout> layout;
    DWRITE_TEXT_METRICS metrics{};
    EXPECT_HRESULT_SUCCEEDED(dwriteFactory->CreateTextLayout(text.c_str(), UINT32(text.size()), licenseFormat.Get(),
                                                             380, 1e6f, &layout));
    EXPECT_HRESULT_SUCCEEDED(layout->GetMetrics(&metrics));
    const int32_t below = std::max(int32_t(ceilf(metrics.height)) - int32_t(windowHeight - 218), 0);
    EXPECT_EQ(licenseSteps[LicenseStepAll], below);
    EXPECT_EQ(licenseSteps[LicenseStepLine], lroundf(metrics.height / float(metrics.lineCount)));
    return below;
}

std::wstring LicenceOfTheBuild() { return Widen(ReadFileBytes(Widen(VT_LICENSE_PATH))); }

// A licence that fits does not move; a longer one scrolls 30 DIPs a notch
// and stops at its ends.
TEST_F(SetupWindowProcTest, WmMouseWheel_ScrollsOnlyTheLicenceWithinItsText) {
    OpenWindow(PageLicense);
    page = PageWelcome;
    SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
    EXPECT_EQ(licenseScroll, 0);
    ASSERT_EQ(ShowLicence(window, LicenceOfTheBuild()), 0) << "the licence fits at 96 DPI";
    for (int notch = 0; notch < 6; ++notch) SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
    EXPECT_EQ(licenseScroll, 0) << "a licence that fits scrolled";

    const int32_t end = ShowLicence(window, LicenceOfTheBuild() + LicenceOfTheBuild());
    ASSERT_GT(end, 150);
    const std::pair<short, int32_t> steps[] = {{-120, 30}, {-120, 60}, {-120, 90},  {-120, 120},  {-600, end},
                                               {-120, end}, {360, end - 90}, {-3, end - 90}, {720, 0}, {-32768, end}};
    for (const auto& [delta, offset] : steps) {
        SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0);
        EXPECT_EQ(licenseScroll, offset) << "delta " << delta;
    }
    // A frame with room for all of it draws it from its top.
    ShowLicence(window, LicenceOfTheBuild());
    EXPECT_EQ(licenseScroll, 0);
}

// Up and Down by a line, Page Up and Page Down by the view less a line, Home
// and End to the ends; held keys repeat; only on the licence page.
TEST_F(SetupWindowProcTest, WmKeyDown_LicenceKeysScrollByLineAndPageWithinTheText) {
    OpenWindow(PageLicense);
    const int32_t end = ShowLicence(window, LicenceOfTheBuild() + LicenceOfTheBuild() + LicenceOfTheBuild());
    const int32_t line = licenseSteps[LicenseStepLine], view = 234 - line;
    ASSERT_GT(line, 5);
    ASSERT_GT(end, view + 2 * line);
    EXPECT_EQ(licenseSteps[LicenseStepPage], view);
    struct Step {
        UINT key;
        bool repeat;
        int32_t offset;
    };
    const Step steps[] = {{VK_DOWN, false, line},    {VK_DOWN, true, 2 * line},     {VK_NEXT, false, 2 * line + view},
                          {VK_UP, false, line + view}, {VK_END, false, end},        {VK_DOWN, true, end},
                          {VK_NEXT, false, end},     {VK_LEFT, false, end},         {VK_PRIOR, false, end - view},
                          {VK_HOME, false, 0},       {VK_UP, true, 0},              {VK_PRIOR, false, 0},
                          {VK_RIGHT, false, 0},      {VK_END, false, end}};
    for (const Step& step : steps) {
        Key(window, step.key, step.repeat);
        EXPECT_EQ(licenseScroll, step.offset) << "key " << step.key;
    }
    EXPECT_EQ(page, PageLicense);
    Key(window, VK_ESCAPE);
    ASSERT_EQ(page, PageWelcome);
    licenseScroll = 0;
    for (const UINT key : {VK_DOWN, VK_NEXT, VK_END}) Key(window, key);
    EXPECT_EQ(licenseScroll, 0) << "scrolled from another page";
}

// The suggested corner, moved where the window would leave the work area.
TEST_F(SetupWindowProcTest, WmDpiChanged_ResizesForTheNewDpiAtTheSuggestedCornerWithinTheWorkArea) {
    OpenWindow(PageWelcome);
    const RECT area = MonitorWorkArea(window);
    struct Case {
        WORD dpi;
        SIZE size;
        POINT suggested, expected;
    };
    const Case cases[] = {
        {144, {690, 474}, {344, 150}, {344, 150}},
        {120, {575, 395}, {320, 150}, {320, 150}},
        {0, {460, 316}, {200, 150}, {200, 150}},
        {144, {690, 474}, {area.right - 300, area.bottom - 100}, {area.right - 690, area.bottom - 474}},
        {120, {575, 395}, {area.left - 40, area.top - 30}, {area.left, area.top}},
    };
    for (const Case& c : cases) {
        RECT suggested{c.suggested.x, c.suggested.y, 9999, 9999}, actual{};  // only the corner is used
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(c.dpi, c.dpi), reinterpret_cast<LPARAM>(&suggested));
        GetWindowRect(window, &actual);
        EXPECT_EQ(dpi, c.dpi ? c.dpi : 96u);
        EXPECT_EQ(Describe(actual), Describe({c.expected.x, c.expected.y, c.expected.x + c.size.cx,
                                              c.expected.y + c.size.cy}));
    }
}

// WM_CREATE sends itself WM_SETTINGCHANGE, which reads the client-area
// animation setting; other timer ids do nothing; WM_DESTROY ends the loop.
TEST_F(SetupWindowProcTest, WmSettingChangeFollowsClientAreaAnimationAndWmDestroyPostsQuit) {
    BOOL original = TRUE;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &original, 0));
    OpenWindow(PageWelcome);
    EXPECT_EQ(reducedMotion, !original);
    for (const INT_PTR animate : {FALSE, TRUE}) {
        ASSERT_TRUE(SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0, reinterpret_cast<void*>(animate), 0));
        SendMessageW(window, WM_SETTINGCHANGE, 0, 0);
        EXPECT_EQ(reducedMotion, !animate);
    }
    SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0, reinterpret_cast<void*>(INT_PTR(original)), 0);

    DispatchAction(ActionCustomize);
    SendMessageW(window, WM_TIMER, AnimationTimerId + 1, 0);
    EXPECT_EQ(windowHeight, 316.0f);
    EXPECT_EQ(SendMessageW(window, WM_ERASEBKGND, 0, 0), 1);
    DestroyWindow(window);
    EXPECT_EQ(mainWindow.load(), nullptr);
    MSG quit{};
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
