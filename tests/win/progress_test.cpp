// The progress channel as the setup window sees it: a real window of this
// thread is mainWindow, the transactions run in-process, and the test pumps
// the posted messages out of the queue afterwards and frees their texts.
#include "engine/install.h"
#include "engine/paths.h"
#include "engine/uninstall.h"
#include "setup/progress.h"
#include "setup/setup_state.h"
#include "tests/win/engine_fixture.h"

#include <psapi.h>

#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <malloc.h>

namespace {

using Steps = std::vector<std::pair<WPARAM, std::wstring>>;

const Steps kInstallSteps = {
    {120, L"Closing running Velmo Tulve\u2026"},
    {450, L"Extracting Velmo Tulve files\u2026"},
    {750, L"Configuring shortcuts and uninstaller\u2026"},
    {1000, L"Installation complete."},
};

const Steps kUninstallSteps = {
    {180, L"Stopping Velmo Tulve\u2026"},
    {500, L"Removing shortcuts and registry entries\u2026"},
    {800, L"Removing installed files\u2026"},
    {1000, L"Velmo Tulve removed."},
};

Steps FirstSteps(const Steps& steps, size_t count) { return Steps(steps.begin(), steps.begin() + count); }

// Every step message carries a text; the result is what they said.
Steps TextSteps(const std::vector<ProgressMessage>& messages) {
    Steps steps;
    for (const ProgressMessage& m : messages) {
        EXPECT_TRUE(m.hasText) << "step " << m.code << " came without a text";
        steps.emplace_back(m.code, m.text);
    }
    return steps;
}

// Nothing of the channel is waiting in this thread's queue for any window.
bool ThreadQueueHasProgress() {
    MSG message{};
    return PeekMessageW(&message, nullptr, WM_SETUP_PROGRESS, WM_SETUP_PROGRESS, PM_NOREMOVE) != 0;
}

SIZE_T CommittedBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    // Wine reports the committed size as PagefileUsage and leaves PrivateUsage 0.
    return counters.PrivateUsage > counters.PagefileUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

class ProgressTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        mainWindow = window.handle();
    }

    void InstallQuietly() {
        std::wstring errorText;
        ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
        window.Drain();
        existingInstall = true;
        existingInstallDir = layout.installDir;
    }

    ProgressWindow window;
};

}  // namespace

TEST_F(ProgressTest, FractionsAreClampedAndRoundedToThousandths) {
    struct Case {
        const char* name;
        float fraction;
        const wchar_t* text;
        WPARAM code;
    };
    const Case cases[] = {
        {"above one", 1.5f, L"Almost there", 1000},
        {"below zero without text", -0.2f, nullptr, 0},
        {"not a number", std::nanf(""), nullptr, 0},
        {"half a thousandth rounds up", 0.0625f, nullptr, 63},
        {"first install step", 0.12f, L"Closing", 120},
        {"exactly one", 1.0f, nullptr, 1000},
        {"exactly zero with an empty text", 0.0f, L"", 0},
        {"plus infinity", INFINITY, nullptr, 1000},
        {"minus infinity", -INFINITY, L"x", 0},
        {"just under a thousandth boundary", 0.9994f, nullptr, 999},
    };
    for (const Case& c : cases) PostProgress(c.fraction, c.text);

    const std::vector<ProgressMessage> messages = window.Drain();
    ASSERT_EQ(messages.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(messages[i].code, cases[i].code);
        EXPECT_EQ(messages[i].hasText, cases[i].text != nullptr);
        if (cases[i].text) {
            EXPECT_EQ(messages[i].text, cases[i].text);
        }
    }
}

TEST_F(ProgressTest, EveryTextIsAHeapCopyOfItsOwnForTheReceiverToFree) {
    wchar_t text[] = L"Working on it";
    PostProgress(0.25f, text);
    PostProgress(0.5f, text);
    // What the sender does with its buffer afterwards is no business of the receiver.
    wcscpy(text, L"Overwritten!!");

    std::vector<MSG> raw = window.TakeRaw();
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0].wParam, 250u);
    EXPECT_EQ(raw[1].wParam, 500u);
    auto* first = reinterpret_cast<wchar_t*>(raw[0].lParam);
    auto* second = reinterpret_cast<wchar_t*>(raw[1].lParam);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first, text);
    EXPECT_NE(second, text);
    EXPECT_STREQ(first, L"Working on it");
    EXPECT_STREQ(second, L"Working on it");
    // Blocks of the C run-time heap, each big enough for the text: free() is
    // the right way to give them back, once each.
    EXPECT_GE(_msize(first), sizeof(L"Working on it"));
    EXPECT_GE(_msize(second), sizeof(L"Working on it"));
    free(first);
    free(second);
    EXPECT_FALSE(ThreadQueueHasProgress());
}

TEST_F(ProgressTest, NothingIsPostedInSilentModeOrWithoutAWindow) {
    struct Case {
        const char* name;
        bool silent;
        bool window;
    };
    for (const Case& c : {Case{"silent with a window", true, true}, Case{"no window", false, false}}) {
        SCOPED_TRACE(c.name);
        setupOptions.silent = c.silent;
        mainWindow = c.window ? window.handle() : nullptr;
        PostProgress(0.5f, L"Should not arrive");
        PostProgress(1.0f, nullptr);
        EXPECT_FALSE(ThreadQueueHasProgress());
    }

    // A whole silent install says nothing either, and still succeeds.
    setupOptions.silent = true;
    mainWindow = window.handle();
    std::wstring errorText;
    ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
    EXPECT_TRUE(PathExists(layout.AppPath()));
    EXPECT_FALSE(ThreadQueueHasProgress());
}

TEST_F(ProgressTest, PostToADestroyedWindowArrivesNowhereAndFreesItsCopy) {
    // Texts of a mebibyte make any kept copy show in the committed memory.
    const std::wstring big(1 << 20, L'p');
    constexpr int kPosts = 48;
    const SIZE_T kAllCopies = SIZE_T(kPosts) * (big.size() + 1) * sizeof(wchar_t);

    // Against a live window the copies are held by the queue: the measure sees them.
    const SIZE_T beforeLive = CommittedBytes();
    for (int i = 0; i < kPosts; ++i) PostProgress(0.5f, big.c_str());
    const SIZE_T whileQueued = CommittedBytes();
    const std::vector<ProgressMessage> delivered = window.Drain();
    ASSERT_EQ(delivered.size(), size_t(kPosts));
    EXPECT_GE(whileQueued - beforeLive, kAllCopies * 9 / 10);

    const HWND gone = CreateWindowExW(0, L"STATIC", L"gone", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(gone, nullptr);
    ASSERT_TRUE(DestroyWindow(gone));
    ASSERT_FALSE(IsWindow(gone));
    mainWindow = gone;

    const SIZE_T beforeGone = CommittedBytes();
    for (int i = 0; i < kPosts; ++i) PostProgress(0.5f, big.c_str());
    const SIZE_T afterGone = CommittedBytes();
    EXPECT_FALSE(ThreadQueueHasProgress());
    // Nothing like the copies stays behind.
    EXPECT_LT(afterGone > beforeGone ? afterGone - beforeGone : 0, kAllCopies / 10);
}

TEST_F(ProgressTest, SuccessfulInstallReportsItsFourStepsInOrder) {
    std::wstring errorText;
    ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
    const Steps steps = TextSteps(window.Drain());
    EXPECT_EQ(steps, kInstallSteps);
    // The ellipsis is the one character U+2026, not three dots.
    for (size_t i = 0; i < 3 && i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].second.back(), L'\u2026');
        EXPECT_EQ(steps[i].second.find(L"..."), std::wstring::npos);
    }
}

TEST_F(ProgressTest, SuccessfulUninstallReportsItsFourStepsInOrder) {
    InstallQuietly();
    std::wstring errorText;
    ASSERT_TRUE(RunUninstall(errorText)) << Narrow(errorText);
    const Steps steps = TextSteps(window.Drain());
    EXPECT_EQ(steps, kUninstallSteps);
    for (size_t i = 0; i < 3 && i < steps.size(); ++i) EXPECT_EQ(steps[i].second.back(), L'\u2026');
}

TEST_F(ProgressTest, UninstallWithoutAnInstallationReportsNoProgress) {
    existingInstall = false;
    std::wstring errorText;
    EXPECT_FALSE(RunUninstall(errorText));
    EXPECT_EQ(errorText, L"No Velmo Tulve installation was found in this folder.");
    EXPECT_FALSE(ThreadQueueHasProgress());
}

TEST_F(ProgressTest, FailingRunsReportOnlyTheStepsTheyReached) {
    struct Case {
        const char* name;
        bool uninstall;
        // Prepares the failure; what it returns is held open during the run.
        std::function<std::vector<UniqueFileHandle>(TestLayout&)> arrange;
        std::wstring error;
        size_t stepsReached;
    };
    const auto notAFolder = [](TestLayout& l) {
        EXPECT_TRUE(WriteFileBytes(l.root / L"Programs", "a file where the folder goes"));
        return std::vector<UniqueFileHandle>{};
    };
    const auto uninstallerSlotIsAFolder = [](TestLayout& l) {
        EXPECT_TRUE(CreateFolderTree(l.UninstallerPath()));
        return std::vector<UniqueFileHandle>{};
    };
    const auto runKeyUnderVolatileKey = [](TestLayout&) {
        EXPECT_TRUE(CreateVolatileKey(L"Software\\VelmoTulveSetupTest\\Volatile"));
        setupOptions.runKeyPath = L"Software\\VelmoTulveSetupTest\\Volatile\\Run";
        return std::vector<UniqueFileHandle>{};
    };
    const auto holdAppFile = [](TestLayout& l) {
        std::vector<UniqueFileHandle> held;
        held.push_back(HoldWithoutDeleteSharing(l.AppPath()));
        EXPECT_TRUE(held.back());
        return held;
    };
    const auto holdShortcut = [](TestLayout& l) {
        std::vector<UniqueFileHandle> held;
        held.push_back(HoldWithoutDeleteSharing(l.shortcutPath));
        EXPECT_TRUE(held.back());
        return held;
    };
    const Case cases[] = {
        {"install folder cannot be created", false, notAFolder, L"Cannot create installation folder.", 2},
        {"uninstaller cannot be saved", false, uninstallerSlotIsAFolder,
         L"Could not save the uninstaller in the installation folder.", 3},
        {"startup value cannot be written", false, runKeyUnderVolatileKey,
         L"Could not save the Windows startup or uninstall settings.", 3},
        {"application file in use", true, holdAppFile, L"Could not remove VelmoTulve.exe.", 3},
        {"shortcut in use", true, holdShortcut, L"Could not remove the Windows shortcut or registry entries.", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestLayout local;
        local.Apply();
        DeleteTestRegistry();
        std::wstring errorText;
        if (c.uninstall) {
            ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
            window.Drain();
            existingInstall = true;
        }
        std::vector<UniqueFileHandle> held = c.arrange(local);
        errorText.clear();
        EXPECT_FALSE(c.uninstall ? RunUninstall(errorText) : RunInstall(errorText));
        EXPECT_EQ(errorText, c.error);
        EXPECT_EQ(TextSteps(window.Drain()), FirstSteps(c.uninstall ? kUninstallSteps : kInstallSteps, c.stepsReached));
        existingInstall = false;
    }
}
