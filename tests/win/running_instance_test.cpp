// Stopping the installed copy of the application, against real processes:
// the tray application itself, copied into a temporary install folder, and
// stubborn-app.exe, which owns a window of the same class but ignores
// WM_CLOSE. Only a run that is not a test run (testRoot empty) may stop
// anything.
#include "engine/install.h"
#include "engine/paths.h"
#include "engine/running_instance.h"
#include "engine/uninstall.h"
#include "setup/progress.h"
#include "setup/setup_state.h"
#include "tests/win/engine_fixture.h"

#include <algorithm>
#include <deque>

namespace {

constexpr DWORD kStartTimeoutMs = 15000;

class RunningInstanceTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // Another copy would be the one FindWindowW finds.
        ASSERT_EQ(FindWindowW(kAppWindowClass, nullptr), nullptr) << "a window of the application's class is open";
    }

    void TearDown() override {
        for (StartedProcess& p : started) EndProcess(p);
        EngineTest::TearDown();
    }

    // Copies the real tray application to `path`, starts it and waits until
    // its window exists.
    StartedProcess& StartApplication(const std::wstring& path) {
        EXPECT_TRUE(CreateFolderTree(ParentFolder(path)));
        EXPECT_TRUE(CopyFileW(Widen(VT_APP_PATH).c_str(), path.c_str(), FALSE));
        started.push_back(StartProgram(path, QuoteArgument(path), ParentFolder(path)));
        StartedProcess& p = started.back();
        EXPECT_TRUE(p) << GetLastError();
        if (!p) return p;
        EXPECT_EQ(WaitForInputIdle(p.process.get(), kStartTimeoutMs), 0u);
        EXPECT_FALSE(TopLevelWindows(p.id, kAppWindowClass).empty());
        return p;
    }

    // The stubborn program under the installed application's name, started
    // and waited for through its ready event.
    StartedProcess& StartStubborn(const std::wstring& path, const std::wstring& options = {}) {
        EXPECT_TRUE(CreateFolderTree(ParentFolder(path)));
        EXPECT_TRUE(CopyFileW(Widen(VT_STUBBORN_APP_PATH).c_str(), path.c_str(), FALSE));
        NamedEvent ready = NamedEvent::Create(L"stubborn-ready");
        EXPECT_TRUE(ready.handle);
        started.push_back(StartProgram(path, QuoteArgument(path) + L" --ready-event=" + ready.name +
                                                 L" --exit-after-ms=30000" + (options.empty() ? L"" : L" " + options)));
        StartedProcess& p = started.back();
        EXPECT_TRUE(p) << GetLastError();
        if (!p) return p;
        const HANDLE waits[] = {ready.handle.get(), p.process.get()};
        EXPECT_EQ(WaitForMultipleObjects(2, waits, FALSE, kStartTimeoutMs), WAIT_OBJECT_0) << "not ready";
        EXPECT_FALSE(TopLevelWindows(p.id, kAppWindowClass).empty());
        return p;
    }

    static bool StillRunning(const StartedProcess& p, DWORD forMs) {
        return WaitForSingleObject(p.process.get(), forMs) == WAIT_TIMEOUT;
    }

    std::deque<StartedProcess> started;  // references to its elements stay valid
};

// Far from both outcomes: a stop that asks nothing or sees a prompt close
// takes milliseconds, one that gives up takes kStopWaitMs, also on a loaded
// machine.
constexpr ULONGLONG kPromptMs = kStopWaitMs / 2;

struct Timed {
    bool result;
    ULONGLONG elapsedMs;
};

Timed TimedStop(const std::wstring& installDir) {
    const ULONGLONG start = GetTickCount64();
    const bool result = StopRunningInstance(installDir);
    return {result, GetTickCount64() - start};
}

}  // namespace

TEST_F(RunningInstanceTest, NothingRunningMeansNothingToStop) {
    layout.Apply(false);
    const Timed stop = TimedStop(layout.installDir);
    EXPECT_TRUE(stop.result);
    EXPECT_LT(stop.elapsedMs, kPromptMs);
}

TEST_F(RunningInstanceTest, InstalledCopyIsClosedAndHasExitedWhenTheCallReturns) {
    layout.Apply(false);
    StartedProcess& app = StartApplication(layout.AppPath());
    ASSERT_TRUE(app);

    // Success: it ended before the give-up, and is already over, not merely
    // asked to end.
    const Timed stop = TimedStop(layout.installDir);
    EXPECT_TRUE(stop.result);
    ASSERT_EQ(WaitForSingleObject(app.process.get(), 0), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(app.process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(FindWindowW(kAppWindowClass, nullptr), nullptr);
}

TEST_F(RunningInstanceTest, CopyRunningFromAnotherFolderIsLeftAlone) {
    struct Case {
        const char* name;
        bool installedCopyExists;
    };
    for (const Case& c : {Case{"another copy installed here", true}, Case{"nothing installed here", false}}) {
        SCOPED_TRACE(c.name);
        TestLayout local;
        local.Apply(false);
        if (c.installedCopyExists) {
            ASSERT_TRUE(CreateFolderTree(local.installDir));
            ASSERT_TRUE(CopyFileW(Widen(VT_APP_PATH).c_str(), local.AppPath().c_str(), FALSE));
        }
        StartedProcess& elsewhere = StartApplication(local.root / L"Elsewhere\\VelmoTulve.exe");
        ASSERT_TRUE(elsewhere);

        const Timed stop = TimedStop(local.installDir);
        EXPECT_TRUE(stop.result);
        EXPECT_LT(stop.elapsedMs, kPromptMs);
        // Never asked to close: it would be gone at once if it had been.
        EXPECT_TRUE(StillRunning(elsewhere, 1000));
        EXPECT_FALSE(TopLevelWindows(elsewhere.id, kAppWindowClass).empty());
        EndProcess(elsewhere);
    }
}

TEST_F(RunningInstanceTest, TestRunNeverTouchesARunningInstalledCopy) {
    layout.Apply(true);
    StartedProcess& app = StartApplication(layout.AppPath());
    ASSERT_TRUE(app);

    const Timed stop = TimedStop(layout.installDir);
    EXPECT_TRUE(stop.result);
    EXPECT_LT(stop.elapsedMs, kPromptMs);
    EXPECT_TRUE(StillRunning(app, 1000));
    EXPECT_FALSE(TopLevelWindows(app.id, kAppWindowClass).empty());
}

TEST_F(RunningInstanceTest, CopyThatIgnoresTheRequestMakesItGiveUpAfterFourSeconds) {
    layout.Apply(false);
    StartedProcess& stubborn = StartStubborn(layout.AppPath());
    ASSERT_TRUE(stubborn);

    const Timed stop = TimedStop(layout.installDir);
    EXPECT_FALSE(stop.result);
    EXPECT_GE(stop.elapsedMs, 3900u);
    EXPECT_LT(stop.elapsedMs, 2 * kStopWaitMs) << "it did not give up at its bound";
    EXPECT_TRUE(StillRunning(stubborn, 0));
}

TEST_F(RunningInstanceTest, CopyThatClosesLateIsWaitedFor) {
    layout.Apply(false);
    StartedProcess& slow = StartStubborn(layout.AppPath(), L"--exit-on-close-after-ms=1500");
    ASSERT_TRUE(slow);

    const Timed stop = TimedStop(layout.installDir);
    EXPECT_TRUE(stop.result);
    // Success itself says it did not give up; 1,500 ms is when the copy ends.
    EXPECT_GE(stop.elapsedMs, 1400u);
    ASSERT_EQ(WaitForSingleObject(slow.process.get(), 0), WAIT_OBJECT_0);
    // Exit code 0: it ended because of the WM_CLOSE it was sent.
    DWORD exitCode = 99;
    GetExitCodeProcess(slow.process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(RunningInstanceTest, InstallFailsBeforeChangingAnythingWhileTheCopyKeepsRunning) {
    layout.Apply(false);
    StartedProcess& stubborn = StartStubborn(layout.AppPath());
    ASSERT_TRUE(stubborn);
    const std::string runningBytes = ReadFileBytes(layout.AppPath());
    ProgressWindow window;

    std::wstring errorText;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(RunInstall(errorText));
    EXPECT_GE(GetTickCount64() - start, 3900u);
    EXPECT_EQ(errorText, L"Velmo Tulve is still running. Close it from the system tray and try again.");

    EXPECT_EQ(ListFolder(layout.installDir), std::vector<std::wstring>{L"VelmoTulve.exe"});
    EXPECT_EQ(ReadFileBytes(layout.AppPath()), runningBytes);
    EXPECT_FALSE(PathExists(layout.shortcutPath));
    EXPECT_FALSE(KeyExists(kTestUninstallKey));
    EXPECT_FALSE(KeyExists(kTestRunKey));
    const std::vector<ProgressMessage> progress = window.Drain();
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0].code, 120u);
    EXPECT_EQ(progress[0].text, L"Closing running Velmo Tulve\u2026");
    EXPECT_TRUE(StillRunning(stubborn, 0));
}

TEST_F(RunningInstanceTest, UninstallFailsBeforeRemovingAnythingWhileTheCopyKeepsRunning) {
    std::wstring errorText;
    ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);  // a test run: nothing to stop yet
    existingInstall = true;
    setupOptions.testRoot.clear();
    StartedProcess& stubborn = StartStubborn(layout.AppPath());
    ASSERT_TRUE(stubborn);
    const std::string runningBytes = ReadFileBytes(layout.AppPath());
    ProgressWindow window;

    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(RunUninstall(errorText));
    EXPECT_GE(GetTickCount64() - start, 3900u);
    EXPECT_EQ(errorText, L"Velmo Tulve is still running. Close it from the system tray and try again.");

    std::vector<std::wstring> files = ListFolder(layout.installDir);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"LICENSE", L"VelmoTulve-Setup.exe", L"VelmoTulve.exe"}));
    EXPECT_EQ(ReadFileBytes(layout.AppPath()), runningBytes);
    EXPECT_TRUE(IsRegularFile(layout.shortcutPath));
    ExpectUninstallEntry(kTestUninstallKey, layout.installDir, FileSizeKb(Widen(VT_APP_PATH)));
    ExpectRunValue(kTestRunKey, layout.installDir);
    const std::vector<ProgressMessage> progress = window.Drain();
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0].code, 180u);
    EXPECT_EQ(progress[0].text, L"Stopping Velmo Tulve\u2026");
}
