// Removal of the installed uninstaller after the setup process has exited.
// self_removal_probe.exe plays the setup process and stays alive until the
// test releases it; the prefix's powershell.exe is, case by case, a stand-in
// that logs what it found, missing, or Wine's own placeholder, which leaves
// the work to cmd.exe.
#include "engine/paths.h"
#include "setup/finishing.h"
#include "tests/win/engine_fixture.h"

#include <algorithm>
#include <deque>
#include <map>

namespace {

constexpr DWORD kBoundMs = 15000;

std::wstring ExpectedCommandLine(unsigned long processId) {
    return L"powershell.exe -NoProfile -NonInteractive -Command \"$folder=[Environment]::CurrentDirectory; "
           L"Set-Location -LiteralPath ([IO.Path]::GetTempPath()); [Environment]::CurrentDirectory=[IO.Path]::"
           L"GetTempPath(); Wait-Process -Id " +
           std::to_wstring(processId) +
           L" -ErrorAction SilentlyContinue; [IO.File]::Delete([IO.Path]::Combine($folder,'VelmoTulve-Setup.exe'))"
           L"; try { [IO.Directory]::Delete($folder) } catch [IO.IOException] {}\"";
}

using Fields = std::map<std::string, std::wstring>;

Fields ReadFields(const std::wstring& path) {
    Fields fields;
    const std::string text = ReadFileBytes(path);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        const size_t equals = line.find('=');
        if (equals != std::string::npos) fields[line.substr(0, equals)] = Widen(line.substr(equals + 1));
        pos = end + 1;
    }
    return fields;
}

bool IsWinePlaceholder(const std::wstring& path) {
    const std::string bytes = ReadFileBytes(path);
    return bytes.size() >= 0x50 && bytes.compare(0x40, 16, "Wine builtin DLL") == 0;
}

enum class PowerShell { Standin, Missing, WinePlaceholder };

const char* PowerShellName(PowerShell state) {
    switch (state) {
        case PowerShell::Standin: return "stand-in";
        case PowerShell::Missing: return "missing";
        default: return "Wine's placeholder";
    }
}

class SelfRemovalTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        powershell = std::wstring(system) + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
        backup = powershell + L".vt-engine-backup";
        RestorePowerShell();  // after a run that never reached its TearDown
        ASSERT_TRUE(IsWinePlaceholder(powershell)) << "the prefix's powershell.exe is not Wine's placeholder";
        ASSERT_TRUE(CreateFolderTree(installDir));
        ASSERT_TRUE(WriteFileBytes(uninstaller, "the installed uninstaller"));
    }

    void TearDown() override {
        for (StartedProcess& p : probes) EndProcess(p);
        RestorePowerShell();
        EXPECT_TRUE(IsWinePlaceholder(powershell));
    }

    void RestorePowerShell() {
        if (!PathExists(backup)) return;
        DeleteFileW(powershell.c_str());
        EXPECT_TRUE(MoveFileW(backup.c_str(), powershell.c_str())) << GetLastError();
    }

    void Arrange(PowerShell state) {
        if (state == PowerShell::WinePlaceholder) return;
        ASSERT_TRUE(MoveFileW(powershell.c_str(), backup.c_str())) << GetLastError();
        if (state == PowerShell::Standin) {
            ASSERT_TRUE(CopyFileW(Widen(VT_FAKE_POWERSHELL_PATH).c_str(), powershell.c_str(), FALSE));
            ASSERT_FALSE(IsWinePlaceholder(powershell));
        }
    }

    // Starts the probe with the environment the stand-in needs; returns once
    // StartSelfRemoval has returned in it and its report is written.
    StartedProcess& StartProbe(bool pending) {
        ScopedEnvironment overrides(L"WINEDLLOVERRIDES", L"powershell.exe=n;winemenubuilder.exe=d");
        ScopedEnvironment logVariable(L"VT_FAKE_POWERSHELL_LOG", log.c_str());
        ScopedEnvironment readyVariable(L"VT_FAKE_POWERSHELL_READY", standinReady.name.c_str());
        const std::wstring probe = Widen(VT_SELF_REMOVAL_PROBE_PATH);
        probes.push_back(StartProgram(
            probe, QuoteArgument(probe) + L" " + QuoteArgument(L"--install-dir=" + installDir) + L" --pending=" +
                       (pending ? L"1" : L"0") + L" " + QuoteArgument(L"--report=" + report) + L" --started-event=" +
                       started.name + L" --release-event=" + release.name));
        StartedProcess& p = probes.back();
        EXPECT_TRUE(p) << GetLastError();
        if (!p) return p;
        const HANDLE waits[] = {started.handle.get(), p.process.get()};
        EXPECT_EQ(WaitForMultipleObjects(2, waits, FALSE, kBoundMs), WAIT_OBJECT_0) << "the probe did not start";
        return p;
    }

    // Lets the probe end and checks that it ended as released.
    void ReleaseProbe(StartedProcess& p) {
        ASSERT_TRUE(SetEvent(release.handle.get()));
        ASSERT_EQ(WaitForSingleObject(p.process.get(), kBoundMs), WAIT_OBJECT_0);
        DWORD exitCode = 99;
        GetExitCodeProcess(p.process.get(), &exitCode);
        EXPECT_EQ(exitCode, 0u);
    }

    std::wstring powershell, backup;
    TempFolder root;
    std::wstring installDir = root / L"Programs\\Velmo Tulve";
    std::wstring uninstaller = installDir + L"\\VelmoTulve-Setup.exe";
    std::wstring log = root / L"powershell.log";
    std::wstring report = root / L"probe.report";
    NamedEvent started = NamedEvent::Create(L"probe-started");
    NamedEvent release = NamedEvent::Create(L"probe-release");
    NamedEvent standinReady = NamedEvent::Create(L"standin-ready");
    std::deque<StartedProcess> probes;
};

}  // namespace

TEST(SelfRemovalCommandLine, IsTheFixedScriptAroundTheProcessId) {
    for (const unsigned long pid : {0ul, 7ul, 4242ul, 4294967295ul}) {
        SCOPED_TRACE(pid);
        const std::wstring line = SelfRemovalCommandLine(pid);
        EXPECT_EQ(line, ExpectedCommandLine(pid));
        EXPECT_EQ(line.size(), 391 + std::to_wstring(pid).size());
    }
}

TEST_F(SelfRemovalTest, PowerShellRemovesTheUninstallerAndFolderOnceTheSetupProcessHasExited) {
    Arrange(PowerShell::Standin);
    StartedProcess& probe = StartProbe(true);
    ASSERT_TRUE(probe);
    const Fields result = ReadFields(report);
    ASSERT_EQ(result.at("method"), L"powershell");
    ASSERT_EQ(result.at("pid"), std::to_wstring(probe.id));

    ASSERT_EQ(WaitForSingleObject(standinReady.handle.get(), kBoundMs), WAIT_OBJECT_0) << "the stand-in never ran";
    const Fields before = ReadFields(log);
    const std::wstring commandLine = before.at("commandLine");
    EXPECT_EQ(commandLine, ExpectedCommandLine(probe.id));
    EXPECT_EQ(commandLine.size(), 391 + std::to_wstring(probe.id).size());
    EXPECT_EQ(before.at("workingFolder"), installDir);
    EXPECT_EQ(before.at("uninstallerExistedBeforeWait"), L"1");
    EXPECT_EQ(before.at("setupAliveBeforeWait"), L"1");

    UniqueHandle standin(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(Narrow(before.at("fakePid")))));
    ASSERT_TRUE(standin);
    // Waiting for the setup process, not removing anything yet.
    EXPECT_EQ(WaitForSingleObject(standin.get(), 500), WAIT_TIMEOUT);
    EXPECT_TRUE(PathExists(uninstaller));

    ReleaseProbe(probe);
    ASSERT_EQ(WaitForSingleObject(standin.get(), kBoundMs), WAIT_OBJECT_0);
    const Fields after = ReadFields(log);
    EXPECT_EQ(after.at("waitedForSetup"), L"1");
    EXPECT_EQ(after.at("uninstallerDeleted"), L"1");
    EXPECT_EQ(after.at("folderRemoved"), L"1")
        << "error " << Narrow(after.count("folderError") ? after.at("folderError") : L"");
    EXPECT_FALSE(PathExists(uninstaller));
    EXPECT_FALSE(PathExists(installDir));
    EXPECT_TRUE(PathExists(root / L"Programs"));
}

TEST_F(SelfRemovalTest, CmdRemovesTheUninstallerOnceTheSetupProcessHasExited) {
    struct Case {
        PowerShell powershell;
        bool userFile;
    };
    const Case cases[] = {
        {PowerShell::Missing, false},
        {PowerShell::WinePlaceholder, false},
        {PowerShell::WinePlaceholder, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(PowerShellName(c.powershell)) + (c.userFile ? ", user file" : ", empty folder"));
        RestorePowerShell();
        ASSERT_TRUE(CreateFolderTree(installDir));
        ASSERT_TRUE(WriteFileBytes(uninstaller, "the installed uninstaller"));
        if (c.userFile) {
            ASSERT_TRUE(WriteFileBytes(installDir + L"\\notes.txt", "mine"));
        }
        ResetEvent(started.handle.get());
        ResetEvent(release.handle.get());
        Arrange(c.powershell);

        StartedProcess& probe = StartProbe(true);
        ASSERT_TRUE(probe);
        EXPECT_EQ(ReadFields(report).at("method"), L"cmd");
        std::vector<PROCESSENTRY32W> children = ChildProcesses(probe.id);
        ASSERT_EQ(children.size(), 1u);
        EXPECT_EQ(_wcsicmp(children[0].szExeFile, L"cmd.exe"), 0) << Narrow(children[0].szExeFile);
        UniqueHandle cmd(OpenProcess(SYNCHRONIZE, FALSE, children[0].th32ProcessID));
        ASSERT_TRUE(cmd);

        // While the setup process lives cmd waits in its read, and the file stays.
        EXPECT_EQ(WaitForSingleObject(cmd.get(), 1000), WAIT_TIMEOUT);
        EXPECT_TRUE(PathExists(uninstaller));

        ReleaseProbe(probe);
        ASSERT_EQ(WaitForSingleObject(cmd.get(), kBoundMs), WAIT_OBJECT_0) << "cmd did not finish";
        EXPECT_FALSE(PathExists(uninstaller));
        if (c.userFile) {
            EXPECT_EQ(ListFolder(installDir), std::vector<std::wstring>{L"notes.txt"});
            EXPECT_EQ(ReadFileBytes(installDir + L"\\notes.txt"), "mine");
        } else {
            EXPECT_FALSE(PathExists(installDir));
        }
        EXPECT_TRUE(PathExists(root / L"Programs"));
        EXPECT_FALSE(PathExists(log));
        RemoveTree(installDir);
        probes.clear();
    }
}

TEST_F(SelfRemovalTest, NothingStartsWithoutAPendingSelfRemoval) {
    for (const PowerShell state : {PowerShell::Standin, PowerShell::Missing}) {
        SCOPED_TRACE(PowerShellName(state));
        RestorePowerShell();
        ResetEvent(started.handle.get());
        ResetEvent(release.handle.get());
        Arrange(state);

        StartedProcess& probe = StartProbe(false);
        ASSERT_TRUE(probe);
        EXPECT_EQ(ReadFields(report).at("method"), L"none");
        EXPECT_TRUE(ChildProcesses(probe.id).empty());
        ReleaseProbe(probe);
        EXPECT_EQ(WaitForSingleObject(standinReady.handle.get(), 0), WAIT_TIMEOUT);
        EXPECT_FALSE(PathExists(log));
        EXPECT_EQ(ReadFileBytes(uninstaller), "the installed uninstaller");
        probes.clear();
    }
}

// No folder name may change what cmd deletes. A name cmd could read as
// anything but text is refused: no cmd starts and the files stay. Beside
// every folder lies Windows_NT, which is what %OS% would turn into, with a
// file of the same name that must survive.
TEST_F(SelfRemovalTest, NoFolderNameChangesWhatCmdDeletes) {
    struct Case {
        const wchar_t* leaf;
        bool removed;
        bool trailingSeparator = false;
        const wchar_t* prefix = L"";  // before the whole path
    };
    const Case cases[] = {
        {L"Velmo Tulve", true, true},
        {L"Caf\u00e9 Stra\u00dfe \u65e5\u672c \U0001F600", true},
        {L"a(1) b[2] {c} ~$#@;,=+'-_.x", true},
        {L"a&b", true},
        {L"fullwidth \uff05OS\uff05", true},
        {L"p%OS%q", false},
        {L"%OS%", false},
        {L"p%PATH:~0,1%q", false},
        {L"x%VT_REMOVE_FOLDER%y", false},
        {L"100%", false},
        {L"a!OS!b", false},
        {L"a^b", false},
        {L"Velmo Tulve", false, false, L"\\\\?\\"},
    };
    const std::wstring programs = root / L"Programs";
    const std::wstring decoy = programs + L"\\Windows_NT\\VelmoTulve-Setup.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.leaf));
        RemoveTree(programs);
        installDir = programs + L"\\" + c.leaf;
        uninstaller = installDir + L"\\VelmoTulve-Setup.exe";
        ASSERT_TRUE(CreateFolderTree(installDir));
        ASSERT_TRUE(CreateFolderTree(programs + L"\\Windows_NT"));
        ASSERT_TRUE(WriteFileBytes(uninstaller, "the installed uninstaller"));
        ASSERT_TRUE(WriteFileBytes(decoy, "another folder's file"));
        ResetEvent(started.handle.get());
        ResetEvent(release.handle.get());
        if (c.trailingSeparator) installDir += L"\\";
        installDir = c.prefix + installDir;

        StartedProcess& probe = StartProbe(true);
        ASSERT_TRUE(probe);
        EXPECT_EQ(ReadFields(report).at("method"), c.removed ? L"cmd" : L"none");
        const std::vector<PROCESSENTRY32W> removers = ChildProcesses(probe.id);
        EXPECT_EQ(removers.size(), c.removed ? 1u : 0u);
        ReleaseProbe(probe);
        EXPECT_TRUE(WaitForProcessesToEnd(removers, kBoundMs)) << "cmd did not finish";

        EXPECT_EQ(ReadFileBytes(decoy), "another folder's file");
        std::vector<std::wstring> expected{L"Windows_NT"};
        if (!c.removed) {
            EXPECT_EQ(ReadFileBytes(uninstaller), "the installed uninstaller");
            expected.push_back(c.leaf);
            std::sort(expected.begin(), expected.end());
        }
        std::vector<std::wstring> left = ListFolder(programs);
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, expected);
        probes.clear();
    }
}
