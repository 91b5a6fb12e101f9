// The setup program under faults, as whole processes: silent runs killed with
// TerminateProcess at many points and then run again, and repeated rounds of
// install, update with changed options in the window, and uninstall.
//
// Kill points come from a fixed seed, spread over the time one whole run
// takes; where each kill lands still depends on the machine, so the tests
// check what must hold wherever it lands, and print where they landed.
#include "tests/win/setup_process_support.h"
#include "window/setup_window.h"
#include "window/ui_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

namespace {

constexpr int kKillPoints = 45;
constexpr DWORD kSelfRemovalTimeoutMs = 20000;
const std::vector<std::wstring> kInstalledFiles = {L"LICENSE", L"VelmoTulve-Setup.exe", L"VelmoTulve.exe"};

bool IsTemporaryName(const std::wstring& name) {
    return name.size() == 49 && name.compare(0, 8, L".tulve-{") == 0 && name.compare(45, 4, L".tmp") == 0;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

enum class Scenario { InstallOverNothing, InstallOverAnInstall, Uninstall };

class KilledRunTest : public SetupRunTest, public testing::WithParamInterface<Scenario> {
protected:
    std::wstring KilledArguments() const {
        return GetParam() == Scenario::Uninstall ? L"--uninstall /VERYSILENT" : L"/VERYSILENT";
    }

    // The state a killed run starts from. Over an installation every file
    // holds an old version of its own, so a torn replacement shows.
    void Arrange() {
        if (GetParam() == Scenario::InstallOverNothing) {
            ResetTestRoot();
            return;
        }
        if (!PathExists(uninstaller)) {
            ASSERT_NO_FATAL_FAILURE(InstallSilently());
        }
        if (GetParam() == Scenario::InstallOverAnInstall) {
            for (const auto& [path, bytes] : OldVersions()) ASSERT_TRUE(WriteFileBytes(path, bytes));
        }
    }
    std::map<std::wstring, std::string> OldVersions() const {
        return {{appPath, "old application"}, {installDir + L"\\LICENSE", "old licence"}, {uninstaller, "old uninstaller"}};
    }

    // Every file the program writes is absent, or whole in its old or new
    // form; besides them only its temporary files may be there. Returns how
    // far the run got, for the report.
    std::string ExpectNothingTorn() {
        const std::map<std::wstring, std::string> newVersions = {
            {appPath, appBytes}, {installDir + L"\\LICENSE", licenseBytes}, {uninstaller, setupBytes}};
        const std::map<std::wstring, std::string> old = OldVersions();
        const bool overOld = GetParam() == Scenario::InstallOverAnInstall;
        int newFiles = 0;
        for (const std::wstring& name : ListFolder(installDir)) {
            const std::wstring path = installDir + L"\\" + name;
            if (IsTemporaryName(name)) continue;
            const auto wanted = newVersions.find(path);
            if (wanted == newVersions.end()) {
                ADD_FAILURE() << "unexpected file " << Narrow(name);
                continue;
            }
            const std::string bytes = ReadFileBytes(path);
            if (bytes == wanted->second) ++newFiles;
            else EXPECT_TRUE(overOld && bytes == old.at(path)) << Narrow(name) << " is torn: " << bytes.size() << " bytes";
        }
        const bool run = ReadRegistryValue(kTestRunKey, L"VelmoTulve").status == ERROR_SUCCESS;
        const size_t values = KeyExists(kTestUninstallKey) ? ValueNames(kTestUninstallKey).size() : 0;
        return std::to_string(newFiles) + " new files" + (PathExists(shortcut) ? ", shortcut" : "") +
               (run ? ", Run value" : "") + ", " + std::to_string(values) + " entry values";
    }

    void ExpectOneCleanRun() {
        if (GetParam() == Scenario::Uninstall) {
            ExpectEntriesRemoved();
            EXPECT_FALSE(PathExists(installDir));
        } else {
            EXPECT_EQ(Sorted(ListFolder(installDir)), kInstalledFiles) << "a temporary file or stray is left";
            ExpectInstalled(setupBytes);
        }
    }
};

TEST_P(KilledRunTest, RunningAgainAfterAKillAnywhereGivesOneCleanRun) {
    // Where the work lies in a whole run (medians of three): it starts once
    // the process has started and read its options, which is all a run
    // that finds nothing to uninstall does. Most of a run is that start, so
    // a third of the kill points spread over the whole run and the rest over
    // the work.
    const auto medianRun = [&](const std::wstring& arguments, DWORD expectedExit, bool arrange) {
        std::vector<ULONGLONG> times;
        for (int i = 0; i < 3; ++i) {
            if (arrange) Arrange();
            const ULONGLONG started = GetTickCount64();
            const ProcessResult r = RunSetup(arguments);
            EXPECT_FALSE(r.timedOut);
            EXPECT_EQ(r.exitCode, expectedExit);
            times.push_back(GetTickCount64() - started);
        }
        std::sort(times.begin(), times.end());
        return DWORD(times[1]);
    };
    DWORD startup = 0;
    {
        TempFolder empty;
        ScopedEnvironment elsewhere(kTestRootVariable, empty.path().c_str());
        startup = medianRun(L"--uninstall /VERYSILENT", 1, false);
    }
    const DWORD span = std::max<DWORD>(medianRun(KilledArguments(), 0, true), 2 * kKillPoints);
    const DWORD work = std::min<DWORD>(startup * 9 / 10, span - kKillPoints);
    ASSERT_FALSE(HasFailure());

    std::mt19937 random(20261209);
    std::vector<DWORD> delays;
    while (delays.size() < size_t(kKillPoints)) {
        const DWORD from = delays.size() < size_t(kKillPoints) / 3 ? 0 : work;
        const DWORD delay = std::uniform_int_distribution<DWORD>(from, span)(random);
        if (std::find(delays.begin(), delays.end(), delay) == delays.end()) delays.push_back(delay);
    }
    std::sort(delays.begin(), delays.end());

    int landed = 0;
    std::map<std::string, int> reached;
    for (const DWORD delay : delays) {
        SCOPED_TRACE("killed after " + std::to_string(delay) + " ms");
        ASSERT_NO_FATAL_FAILURE(Arrange());
        ChildProcess run;
        ASSERT_TRUE(run.Start(SetupExePath(), KilledArguments()));
        if (WaitForSingleObject(run.handle(), delay) == WAIT_TIMEOUT) {
            ASSERT_TRUE(TerminateProcess(run.handle(), 255));
            ++landed;
        }
        ASSERT_TRUE(run.WaitForExit(kRunTimeoutMs));
        const bool killed = run.exitCode() == 255;
        const std::string state = ExpectNothingTorn();
        ++reached[killed ? state : "ended by itself"];

        const bool anythingLeft = PathExists(installDir) || KeyExists(kTestUninstallKey);
        const ProcessResult again = RunSetup(KilledArguments());
        ASSERT_FALSE(again.timedOut);
        // Only an uninstall that had removed everything finds nothing to do.
        EXPECT_EQ(again.exitCode, GetParam() == Scenario::Uninstall && !anythingLeft ? 1u : 0u);
        ExpectOneCleanRun();
    }
    std::printf("[ info ] run of %lu ms, work from %lu ms; %d of %d kills landed before the end:", span, work,
                landed, kKillPoints);
    for (const auto& [state, count] : reached) std::printf(" %s %d;", state.c_str(), count);
    std::printf("\n");
    EXPECT_GT(landed, 0);
}

std::string ScenarioName(const testing::TestParamInfo<Scenario>& info) {
    switch (info.param) {
        case Scenario::InstallOverNothing: return "InstallOverNothing";
        case Scenario::InstallOverAnInstall: return "InstallOverAnInstall";
        default: return "Uninstall";
    }
}

INSTANTIATE_TEST_SUITE_P(Silent, KilledRunTest,
                         testing::Values(Scenario::InstallOverNothing, Scenario::InstallOverAnInstall,
                                         Scenario::Uninstall),
                         ScenarioName);

// --- repeated rounds -----------------------------------------------------------

int RoundCount() {
    wchar_t text[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"VT_ROUNDS", text, 16);
    const int rounds = length > 0 && length < 16 ? _wtoi(text) : 0;
    return rounds > 0 ? rounds : 10;
}

// The programs of this product still running anywhere.
std::vector<std::wstring> ProductProcesses() {
    std::vector<std::wstring> names;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsnicmp(entry.szExeFile, L"VelmoTulve", 10) == 0) names.push_back(entry.szExeFile);
    }
    return names;
}

std::vector<std::wstring> FilesBelow(const std::wstring& folder) {
    std::vector<std::wstring> files;
    for (const std::wstring& name : ListFolder(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            for (const std::wstring& below : FilesBelow(path)) files.push_back(below);
        } else {
            files.push_back(path);
        }
    }
    return files;
}

std::wstring TempFolderPath() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, length > 0 && buffer[length - 1] == L'\\' ? length - 1 : length);
}

using RoundsTest = SetupRunTest;

// Install silently, update in the window with every option turned off (real
// clicks), uninstall with the installed uninstaller; after each round
// nothing of the product is left. VT_ROUNDS sets the count (10 by default).
TEST_F(RoundsTest, EveryRoundLeavesNothingBehind) {
    const int rounds = RoundCount();
    const std::vector<std::wstring> tempBefore = Sorted(ListFolder(TempFolderPath()));
    std::vector<ULONGLONG> times;
    for (int round = 1; round <= rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const ULONGLONG started = GetTickCount64();
        ASSERT_NO_FATAL_FAILURE(InstallSilently());
        ExpectInstalled(setupBytes);

        SetupWindowDriver setup;
        ASSERT_TRUE(setup.Start());
        ASSERT_EQ(setup.Query(), PageMaintenance);
        ASSERT_TRUE(setup.Click(ActionCustomize) && setup.WaitForHeight(452));
        ASSERT_TRUE(setup.Click(ActionToggleAutoStart) && setup.Click(ActionToggleShortcut) &&
                    setup.Click(ActionToggleLaunch));
        ASSERT_TRUE(setup.Click(ActionInstall) && setup.WaitForPage(PageResult));
        ExpectInstalled(setupBytes, false, false);
        DWORD exitCode = STILL_ACTIVE;
        ASSERT_TRUE(setup.Click(ActionFinish) && setup.WaitForExit(exitCode));
        EXPECT_EQ(exitCode, 0u);

        ChildProcess uninstall;
        ASSERT_TRUE(uninstall.StartCommandLine(QuoteArgument(uninstaller) + L" --uninstall /VERYSILENT"));
        ASSERT_TRUE(uninstall.WaitForExit(kRunTimeoutMs));
        EXPECT_EQ(uninstall.exitCode(), 0u);
        // The remover is the uninstaller's child. Process ids are soon used
        // again, so an older process may name the ended uninstaller as its
        // parent too: only a shell counts.
        std::vector<PROCESSENTRY32W> removers = ChildProcesses(uninstall.id());
        removers.erase(std::remove_if(removers.begin(), removers.end(),
                                      [](const PROCESSENTRY32W& p) {
                                          return _wcsicmp(p.szExeFile, L"cmd.exe") != 0 &&
                                                 _wcsicmp(p.szExeFile, L"powershell.exe") != 0;
                                      }),
                       removers.end());
        EXPECT_TRUE(WaitForFolderChange(root / L"Programs", kSelfRemovalTimeoutMs,
                                        [&] { return !PathExists(installDir); }));
        EXPECT_TRUE(WaitForProcessesToEnd(removers, kSelfRemovalTimeoutMs));
        times.push_back(GetTickCount64() - started);

        ExpectEntriesRemoved();
        EXPECT_FALSE(KeyExists(kTestRunKey) && !ValueNames(kTestRunKey).empty());
        EXPECT_EQ(FilesBelow(root.path()), std::vector<std::wstring>{}) << "files left below the test root";
        EXPECT_EQ(ProductProcesses(), std::vector<std::wstring>{}) << "processes left";
        EXPECT_EQ(Sorted(ListFolder(TempFolderPath())), tempBefore) << "the temporary folder changed";
        if (HasFailure()) break;
    }
    std::sort(times.begin(), times.end());
    ULONGLONG total = 0;
    for (const ULONGLONG t : times) total += t;
    if (!times.empty()) {
        std::printf("[ info ] %zu rounds in %llu ms: median %llu ms, slowest %llu ms\n", times.size(), total,
                    times[times.size() / 2], times.back());
    }
}

}  // namespace
