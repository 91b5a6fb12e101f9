// Pages, actions and focus on a real setup window, clicked at the centres of
// the targets it painted: the whole page-transition table, the focus order of
// every page, hit testing, the worker running the real install against the
// test root, and the licence resource.
#include "window/actions.h"
#include "engine/install.h"
#include "engine/paths.h"
#include "setup/progress.h"
#include "setup/setup_state.h"
#include "tests/win/setup_process_support.h"
#include "tests/win/window_fixture.h"
#include "window/accessibility.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

using ActionsTest = WindowTest;

constexpr int32_t kEnter = -1, kEscape = -2, kFinal = -3;  // inputs that are not clicks

TEST_F(ActionsTest, DispatchAction_EveryPageTransition) {
    struct Transition {
        Page from;
        bool uninstallMode, existing, succeeded;
        int32_t input;  // a target to click, or one of the keys above
        Page to;        // PageWelcome when the window closes
        bool closed;
        int32_t started;
        int32_t kind = OperationInstall;  // of the operation whose result is shown
    };
    const bool n = false, y = true;
    const Transition table[] = {
        {PageWelcome, n, n, y, ActionInstall, PageProgress, n, OperationInstall},
        {PageWelcome, n, n, y, kEnter, PageProgress, n, OperationInstall},
        {PageMaintenance, n, y, y, ActionInstall, PageProgress, n, OperationInstall},
        {PageMaintenance, n, y, y, kEnter, PageProgress, n, OperationInstall},
        {PageMaintenance, n, y, y, ActionUninstall, PageConfirmUninstall, n, 0},
        {PageConfirmUninstall, n, y, y, ActionUninstall, PageProgress, n, OperationUninstall},
        {PageConfirmUninstall, n, y, y, kEnter, PageProgress, n, OperationUninstall},
        {PageConfirmUninstall, n, y, y, ActionCustomize, PageMaintenance, n, 0},  // Cancel
        {PageConfirmUninstall, n, n, y, ActionCustomize, PageWelcome, n, 0},
        {PageConfirmUninstall, n, y, y, kEscape, PageMaintenance, n, 0},
        {PageConfirmUninstall, y, y, y, ActionCustomize, PageWelcome, y, 0},
        {PageConfirmUninstall, y, y, y, kEscape, PageWelcome, y, 0},
        {PageProgress, n, n, y, kFinal, PageResult, n, 0},
        {PageWelcome, n, n, y, ActionViewLicense, PageLicense, n, 0},
        {PageMaintenance, n, y, y, ActionViewLicense, PageLicense, n, 0},
        {PageLicense, n, y, y, ActionBack, PageMaintenance, n, 0},
        {PageLicense, n, y, y, kEscape, PageMaintenance, n, 0},
        {PageLicense, n, y, y, kEnter, PageMaintenance, n, 0},
        {PageResult, n, n, y, ActionLaunch, PageWelcome, y, 0},
        {PageResult, n, n, y, ActionFinish, PageWelcome, y, 0},
        {PageResult, n, n, n, ActionFinish, PageWelcome, y, 0},
        // "Try again": back to where the failed operation began.
        {PageResult, n, n, n, ActionRetry, PageWelcome, n, 0},
        {PageResult, n, y, n, ActionRetry, PageMaintenance, n, 0},
        {PageResult, n, y, n, ActionRetry, PageConfirmUninstall, n, 0, OperationUninstall},
        {PageResult, y, y, n, kEnter, PageConfirmUninstall, n, 0, OperationUninstall},
        {PageResult, n, n, n, kEnter, PageWelcome, n, 0},
        {PageResult, n, y, n, kEscape, PageWelcome, y, 0},
        {PageMaintenance, n, y, y, ActionClose, PageWelcome, y, 0},
        {PageWelcome, n, n, y, kEscape, PageWelcome, y, 0},
    };
    for (const Transition& t : table) {
        SCOPED_TRACE(testing::Message() << "from page " << t.from << " input " << t.input);
        ResetUiState();
        layout.Apply();
        setupOptions.uninstallMode = t.uninstallMode;
        existingInstall = t.existing;
        OpenWindow(t.from);
        returnPage = PageMaintenance;
        operationKind = t.kind;
        operationSucceeded = t.succeeded;
        if (t.input == kEnter || t.input == kEscape) {
            Key(window, t.input == kEnter ? VK_RETURN : VK_ESCAPE);
        } else if (t.input == kFinal) {
            operationRunning = true;
            Progress(window, kProgressSucceeded);
        } else {
            Click(window, t.input);
        }
        EXPECT_EQ(!WindowAlive(), t.closed);
        EXPECT_EQ(operationRunning.load() ? operationKind : 0, t.started);
        if (!t.closed) {
            EXPECT_EQ(page, t.to);
        }
        if (t.to == PageLicense) {
            EXPECT_EQ(returnPage, t.from);
        }
        if (t.from == PageResult && !t.closed) {
            EXPECT_TRUE(operationSucceeded) << "the page it returns to shows no failure";
        }
        if (t.started) {
            EXPECT_TRUE(WaitForOperationEnd() && page == PageResult);
        }
        CloseWindow();
        RemoveTree(layout.installDir);
        DeleteTestRegistry();
    }
    // Actions on pages where they mean nothing.
    OpenWindow(PageConfirmUninstall);
    DispatchAction(ActionInstall);
    page = PageWelcome;
    DispatchAction(ActionUninstall);
    EXPECT_TRUE(page == PageWelcome && !operationRunning.load());
    page = PageResult;  // a success offers no way back
    DispatchAction(ActionRetry);
    EXPECT_EQ(page, PageResult);
}

// Tab walks the painted targets in order without the caption buttons and
// wraps; Shift+Tab walks back, from nothing to the last. Held Tab moves on.
TEST_F(ActionsTest, CycleFocus_FollowsThePaintedOrderOnEveryPageWithWrapAround) {
    const int32_t panel[] = {ActionToggleAutoStart, ActionToggleShortcut, ActionToggleLaunch, ActionViewLicense};
    struct Case {
        Page page;
        bool expanded, existing, succeeded;
        std::vector<int32_t> order;
    };
    const Case cases[] = {
        {PageWelcome, false, false, true, {ActionInstall, ActionCustomize, ActionViewLicense}},
        {PageWelcome,
         true,
         false,
         true,
         {ActionInstall, ActionCustomize, ActionBrowse, panel[0], panel[1], panel[2], panel[3]}},
        {PageMaintenance,
         true,
         true,
         true,
         {ActionInstall, ActionCustomize, ActionUninstall, panel[0], panel[1], panel[2], panel[3]}},
        {PageConfirmUninstall, false, true, true, {ActionToggleDeleteData, ActionUninstall, ActionCustomize}},
        {PageProgress, false, false, true, {}},
        {PageResult, false, false, true, {ActionLaunch, ActionFinish}},
        {PageResult, false, false, false, {ActionRetry, ActionFinish}},
        {PageLicense, false, false, true, {ActionBack}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.page << " panel " << c.expanded);
        ResetUiState();
        existingInstall = c.existing;
        OpenWindow(c.page);
        customizeExpanded = c.expanded;
        operationKind = OperationInstall;
        operationSucceeded = c.succeeded;
        Paint(window);
        std::vector<int32_t> forwards, backwards, expected = c.order;
        focusedAction = ActionMinimize;  // not in the order: Tab starts at the first
        for (size_t i = 0; i <= c.order.size(); ++i) {
            Key(window, VK_TAB, i % 2 == 1);
            forwards.push_back(focusedAction);
        }
        focusedAction = ActionNone;
        ShiftHeld shift;
        for (size_t i = 0; i <= c.order.size(); ++i) {
            Key(window, VK_TAB);
            backwards.push_back(focusedAction);
        }
        expected.push_back(c.order.empty() ? ActionNone : c.order.front());
        EXPECT_EQ(forwards, expected);
        expected.assign(c.order.rbegin(), c.order.rend());
        expected.push_back(c.order.empty() ? ActionNone : c.order.back());
        EXPECT_EQ(backwards, expected);
        CloseWindow();
    }
}

TEST_F(ActionsTest, HitTest_LeftAndTopEdgesHitRightAndBottomMissTheLaterTargetWins) {
    hitTargets = {{ActionInstall, 10, 10, 20, 20}, {ActionCustomize, 15, 15, 30, 30}};
    const std::pair<POINT, int32_t> cases[] = {{{10, 10}, ActionInstall},   {{12, 20}, ActionNone},
                                               {{30, 16}, ActionNone},      {{16, 16}, ActionCustomize},
                                               {{29, 29}, ActionCustomize}, {{5, 5}, ActionNone}};
    for (const auto& [at, id] : cases) EXPECT_EQ(HitTest(float(at.x), float(at.y)), id) << at.x << "," << at.y;
}

// --- the worker ---------------------------------------------------------------------

class WorkerTest : public WindowTest {
protected:
    // Gives the input that starts an operation; returns once it has ended,
    // its one worker thread is gone and every message it sent is handled.
    void RunOperation(void (*start)(HWND)) {
        Paint(window);
        // Counted as they are made: a worker that fails at once may have
        // ended before anyone could look for it.
        WorkerThreads workers;
        const int finalsBefore = finalMessages();
        start(window);
        EXPECT_EQ(page, PageProgress);
        EXPECT_EQ(workers.count(), 1u);
        ASSERT_TRUE(WaitForOperationEnd());
        ASSERT_TRUE(workers.WaitForAllToEnd());
        PumpMessages();
        EXPECT_EQ(finalMessages(), finalsBefore + 1);
        EXPECT_EQ(page, PageResult);
    }
};

// The second press lands on the frame that still shows "Install" and fires
// nothing; a third start is refused by the running operation.
TEST_F(WorkerTest, StartOperation_TwoQuickInstallClicksRunOneRealInstall) {
    OpenWindow(PageWelcome);
    RunOperation([](HWND w) {
        POINT install{};
        ASSERT_TRUE(TargetCentre(w, ActionInstall, install));
        Press(w, install, install);
        EXPECT_EQ(statusText, L"Starting installation\u2026");
        EXPECT_FLOAT_EQ(progressShown, 0.06f);
        Press(w, install, install);
        StartOperation(OperationInstall);
    });
    EXPECT_TRUE(operationSucceeded);
    EXPECT_EQ(statusText, L"Installed to " + layout.installDir);
    EXPECT_EQ(ReadFileBytes(layout.AppPath()), AppBytes());
    ExpectUninstallEntry(kTestUninstallKey, layout.installDir, FileSizeKb(layout.AppPath()));
}

// Then "Try again", once the cause is gone, runs it again with the options
// as they were; a double click or a double Enter on it does not also start
// the operation on the page it brings back ("Install" lies under it).
TEST_F(WorkerTest, StartOperation_FailureShowsTheTransactionsExactMessageAndTryAgainRunsItAgain) {
    ASSERT_TRUE(CreateFolderTree(ParentFolder(layout.installDir)));
    ASSERT_TRUE(WriteFileBytes(layout.installDir, "a file where the folder goes"));
    OpenWindow(PageWelcome);
    setupOptions.autoStart = false;
    customizeExpanded = true;
    RunOperation([](HWND w) { Key(w, VK_RETURN); });
    EXPECT_FALSE(operationSucceeded);
    EXPECT_EQ(errorText, L"Cannot create installation folder.");

    POINT retry{};
    for (const bool keys : {false, true}) {
        ASSERT_TRUE(TargetCentre(window, ActionRetry, retry));
        // Another key between: an Enter soon after the one that started the
        // operation would continue that gesture, meant for another page.
        Key(window, VK_F5);
        if (keys) {
            Key(window, VK_RETURN);
            Key(window, VK_RETURN);
        } else {
            Press(window, retry, retry);
            Press(window, retry, retry, WM_LBUTTONDBLCLK);
        }
        EXPECT_EQ(page, PageWelcome);
        EXPECT_FALSE(operationRunning.load()) << "the second press started the install";
        EXPECT_TRUE(customizeExpanded && !setupOptions.autoStart) << "the options changed";
        Key(window, VK_F5);
        if (!keys) RunOperation([](HWND w) { Key(w, VK_RETURN); });  // fails again
    }
    ASSERT_TRUE(DeleteFileW(layout.installDir.c_str()));
    Key(window, VK_F5);
    RunOperation([](HWND w) { Key(w, VK_RETURN); });
    EXPECT_TRUE(operationSucceeded) << Narrow(errorText);
    EXPECT_EQ(ReadFileBytes(layout.AppPath()), AppBytes());
    EXPECT_EQ(ReadRegistryValue(kTestRunKey, L"VelmoTulve").status, ERROR_FILE_NOT_FOUND);
}

// A file a scanner holds is waited for on the worker, not on the window. The
// install's new application file lies beside the held one once the worker
// has begun to retry its rename; while the hold lasts (until the test lets
// go), another thread asks the window something, and it answers. Waited for
// on the window's thread, the install would keep the window from answering
// for the whole 5 s retry bound.
TEST_F(WorkerTest, StartOperation_AHeldFileIsWaitedForOnTheWorkerNotTheWindow) {
    std::wstring first;
    ASSERT_TRUE(RunInstall(first)) << Narrow(first);
    TimedHold held(layout.AppPath(), INFINITE);
    ASSERT_TRUE(held);
    OpenWindow(PageWelcome);
    Paint(window);  // the first frame, with Direct2D's start-up, comes before anything is asked

    struct Question {
        HWND window;
        std::wstring folder;
        bool waiting = false, answered = false, stillWaiting = false;
    } question{window, layout.installDir};
    static constexpr auto kAsk = [](void* parameter) -> DWORD {
        Question& q = *static_cast<Question*>(parameter);
        const auto retrying = [&] { return !TemporaryFiles(q.folder).empty(); };
        q.waiting = WaitForFolderChange(q.folder, kRunTimeoutMs, retrying);
        if (!q.waiting) return 0;
        DWORD_PTR result = 0;
        constexpr UINT kAnswerWithinMs = 3000;  // an idle window answers in milliseconds
        q.answered = SendMessageTimeoutW(q.window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerWithinMs, &result) != 0;
        q.stillWaiting = retrying();
        return 0;
    };
    UniqueHandle asker(CreateThread(nullptr, 0, kAsk, &question, 0, nullptr));
    ASSERT_TRUE(asker);
    Key(window, VK_RETURN);
    const HANDLE waits[] = {asker.get()};
    while (MsgWaitForMultipleObjects(1, waits, FALSE, kRunTimeoutMs, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        PumpMessages();
    }
    ASSERT_EQ(WaitForSingleObject(asker.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(question.waiting) << "the install never came to the held file";
    EXPECT_TRUE(question.answered) << "the window did not answer while the worker waited";
    EXPECT_TRUE(question.stillWaiting) << "the answer came only after the wait";
    EXPECT_TRUE(operationRunning.load());

    held.Release();
    ASSERT_TRUE(WaitForOperationEnd());
    PumpMessages();
    EXPECT_TRUE(operationSucceeded) << Narrow(errorText);
    EXPECT_EQ(ReadFileBytes(layout.AppPath()), AppBytes());
}

int createThreadCalls = 0;
HANDLE WINAPI FailingCreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    ++createThreadCalls;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

TEST_F(WorkerTest, StartOperation_WithoutAThreadFailsAtOnceAndTheWindowCanClose) {
    OpenWindow(PageWelcome);
    {
        ScopedImportPatch patch("kernel32.dll", "CreateThread", reinterpret_cast<void*>(FailingCreateThread));
        ASSERT_TRUE(patch.ok());
        Key(window, VK_RETURN);
    }
    EXPECT_EQ(createThreadCalls, 1);
    EXPECT_TRUE(page == PageResult && !operationRunning.load() && !operationSucceeded);
    EXPECT_EQ(errorText, L"Setup could not complete the operation.");
    EXPECT_FALSE(PathExists(layout.installDir));
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(WindowAlive());
}

// --- the licence --------------------------------------------------------------------------

// A copy of this test program whose only resource is `bytes` as 302 (none
// for null). Wine keeps a resource that is deleted by itself, so all go.
std::wstring ModuleWithLicence(const TempFolder& folder, const wchar_t* name, const std::string* bytes) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path = folder / name;
    CopyFileW(self, path.c_str(), FALSE);
    const HANDLE update = BeginUpdateResourceW(path.c_str(), TRUE);
    if (bytes) {
        UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(302), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                        const_cast<char*>(bytes->data()), DWORD(bytes->size()));
    }
    EndUpdateResourceW(update, FALSE);
    return path;
}

TEST_F(ActionsTest, LoadLicenseText_DecodesTheResourceOrFallsBack) {
    const std::string invalid("MIT \xff\xfe License\r\n", 16), license = LicenseBytes();
    const std::pair<std::wstring, std::wstring> cases[] = {
        {ModuleWithLicence(layout.root, L"licence.exe", &license), Widen(license)},
        {ModuleWithLicence(layout.root, L"invalid.exe", &invalid), L"MIT \uFFFD\uFFFD License\r\n"},
        {ModuleWithLicence(layout.root, L"missing.exe", nullptr), L"MIT License (c) Velmo Tulve contributors"},
        {Widen(VT_EMPTY_LICENCE_MODULE), L"MIT License"},
    };
    for (const auto& [path, text] : cases) {
        const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        LoadLicenseTextFrom(module);
        EXPECT_EQ(licenseText, text) << Narrow(path);
        FreeLibrary(module);
    }
    EXPECT_NE(Widen(license).find(L"\r\n"), std::wstring::npos) << "CR LF as stored";
}

TEST_F(ActionsTest, DispatchAction_ViewLicenseReadsTheResourceOnceAndBackClearsTheFocus) {
    OpenWindow(PageMaintenance);
    Click(window, ActionViewLicense);
    EXPECT_EQ(licenseText, Widen(LicenseBytes()));
    focusedAction = ActionBack;
    Key(window, VK_RETURN);
    EXPECT_TRUE(page == PageMaintenance && focusedAction == ActionNone);
    licenseText = L"kept";
    Click(window, ActionViewLicense);
    EXPECT_EQ(licenseText, L"kept") << "read again";

    // Two queued default actions: the second finds the licence, not the page
    // it was asked on; from the licence itself the way back stays.
    Key(window, VK_ESCAPE);
    for (int i = 0; i < 2; ++i) PostMessageW(window, WM_SETUP_ACCESSIBLE_ACTION, ActionViewLicense, page);
    PumpMessages();
    EXPECT_TRUE(page == PageLicense && returnPage == PageMaintenance);
    DispatchAction(ActionViewLicense);
    EXPECT_EQ(returnPage, PageMaintenance);
    Key(window, VK_RETURN);
    EXPECT_EQ(page, PageMaintenance);
}

}  // namespace
