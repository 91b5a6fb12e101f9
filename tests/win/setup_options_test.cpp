// Setup options read in real processes: the probe program runs
// ReadSetupOptions with a real command line, environment and registry, and
// prints what it settled.
#include "engine/paths.h"
#include "setup/owners.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <map>

namespace {

using Fields = std::map<std::string, std::wstring>;

Fields RunProbe(const std::wstring& arguments) {
    const std::wstring probe = TestBinaryFolder() + L"\\options_probe.exe";
    ProcessResult result = RunProcess(probe, QuoteArgument(probe) + (arguments.empty() ? L"" : L" " + arguments));
    Fields fields;
    EXPECT_TRUE(result.started && !result.timedOut);
    size_t pos = 0;
    while (pos < result.output.size()) {
        size_t end = result.output.find('\n', pos);
        if (end == std::string::npos) end = result.output.size();
        const std::string line = result.output.substr(pos, end - pos);
        const size_t equals = line.find('=');
        if (equals != std::string::npos) fields[line.substr(0, equals)] = Widen(line.substr(equals + 1));
        pos = end + 1;
    }
    EXPECT_EQ(result.exitCode, fields[std::string("ok")] == L"1" ? 0u : 1u);
    return fields;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    UniqueCoTaskString path;
    if (FAILED(SHGetKnownFolderPath(id, 0, nullptr, path.put()))) return {};
    return path.get();
}

void SetString(const wchar_t* key, const wchar_t* name, const std::wstring& data, size_t extraNuls = 0) {
    std::wstring stored = data;
    stored.append(extraNuls, L'\0');
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_SZ, stored.c_str(),
                              DWORD((stored.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// Every test starts from a machine with no installation of either kind.
class SetupOptionsTest : public testing::Test {
protected:
    void SetUp() override {
        DeleteTestRegistry();
        RegDeleteTreeW(HKEY_CURRENT_USER, kNormalUninstallKey);
    }
    void TearDown() override { SetUp(); }

    std::wstring TestRootArgument() const { return QuoteArgument(L"--test-root=" + root.path()); }
    std::wstring DefaultDir() const { return root / L"Programs\\Velmo Tulve"; }

    TempFolder root;
};

}  // namespace

TEST_F(SetupOptionsTest, NormalModeUsesPerUserFoldersAndKeys) {
    ScopedEnvironment noTestRoot(L"VELMO_SETUP_TEST_ROOT", nullptr);
    const std::wstring local = KnownFolder(FOLDERID_LocalAppData);
    const std::wstring programs = KnownFolder(FOLDERID_Programs);
    ASSERT_FALSE(local.empty());
    ASSERT_FALSE(programs.empty());

    Fields f = RunProbe(L"");
    EXPECT_EQ(f["ok"], L"1") << Narrow(f["error"]);
    EXPECT_EQ(f["installDir"], local + L"\\Programs\\Velmo Tulve");
    EXPECT_EQ(f["settingsDir"], local + L"\\StandaloneVelmoTulve");
    EXPECT_EQ(f["shortcutPath"], programs + L"\\Velmo Tulve.lnk");
    EXPECT_EQ(f["uninstallKeyPath"], kNormalUninstallKey);
    EXPECT_EQ(f["runKeyPath"], L"Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(f["testRoot"], L"");
    EXPECT_EQ(f["autoStart"], L"1");
    EXPECT_EQ(f["startMenuShortcut"], L"1");
    EXPECT_EQ(f["launchWhenFinished"], L"1");
    EXPECT_EQ(f["deleteData"], L"0");
    EXPECT_EQ(f["silent"], L"0");
    EXPECT_EQ(f["uninstallMode"], L"0");
    EXPECT_EQ(f["existingInstall"], L"0");
}

TEST_F(SetupOptionsTest, TestRootFromVariablePutsEverythingBelowIt) {
    ScopedEnvironment testRoot(L"VELMO_SETUP_TEST_ROOT", root.path().c_str());
    Fields f = RunProbe(L"");
    EXPECT_EQ(f["ok"], L"1") << Narrow(f["error"]);
    EXPECT_EQ(f["testRoot"], root.path());
    EXPECT_EQ(f["installDir"], DefaultDir());
    EXPECT_EQ(f["settingsDir"], root / L"Settings\\StandaloneVelmoTulve");
    EXPECT_EQ(f["shortcutPath"], root / L"StartMenu\\Velmo Tulve.lnk");
    EXPECT_EQ(f["uninstallKeyPath"], kTestUninstallKey);
    EXPECT_EQ(f["runKeyPath"], kTestRunKey);
}

TEST_F(SetupOptionsTest, EmptyTestRootSwitchTurnsVariableOff) {
    ScopedEnvironment testRoot(L"VELMO_SETUP_TEST_ROOT", root.path().c_str());
    Fields f = RunProbe(L"--test-root=");
    EXPECT_EQ(f["testRoot"], L"");
    EXPECT_EQ(f["uninstallKeyPath"], kNormalUninstallKey);
    EXPECT_EQ(f["installDir"], KnownFolder(FOLDERID_LocalAppData) + L"\\Programs\\Velmo Tulve");
}

TEST_F(SetupOptionsTest, SwitchTableAndLetterCaseRules) {
    ScopedEnvironment noTestRoot(L"VELMO_SETUP_TEST_ROOT", nullptr);
    const std::wstring apps = root / L"Apps";
    const std::wstring spaced = root / L"My Apps\\Demo";
    struct Case {
        std::wstring arguments;
        const wchar_t* silent;
        const wchar_t* uninstall;
        const wchar_t* deleteData;
        std::wstring installDir;
    } cases[] = {
        {L"/VERYSILENT", L"1", L"0", L"0", DefaultDir()},
        {L"/verysilent", L"1", L"0", L"0", DefaultDir()},
        {L"/VerySilent", L"1", L"0", L"0", DefaultDir()},
        {L"/silent", L"1", L"0", L"0", DefaultDir()},
        {L"--SILENT", L"1", L"0", L"0", DefaultDir()},
        {L"-silent /quiet --silently", L"0", L"0", L"0", DefaultDir()},
        // Only ASCII letters fold: a dotted capital I is another character.
        {L"/VERYS\u0130LENT", L"0", L"0", L"0", DefaultDir()},
        {L"--Uninstall", L"0", L"1", L"0", DefaultDir()},
        {L"/UNINSTALL --DELETE-DATA", L"0", L"1", L"1", DefaultDir()},
        {L"--delete-data", L"0", L"0", L"1", DefaultDir()},
        {L"--dir=" + apps, L"0", L"0", L"0", apps},
        {L"/dir=" + apps, L"0", L"0", L"0", apps},
        {L"--DIR=" + apps, L"0", L"0", L"0", DefaultDir()},
        {L"/Dir=" + apps, L"0", L"0", L"0", DefaultDir()},
        {L"--dir=", L"0", L"0", L"0", DefaultDir()},
        {L"--dir=" + apps + L" --dir=" + apps + L"2", L"0", L"0", L"0", apps + L"2"},
        {L"--dir=" + apps + L" --dir=", L"0", L"0", L"0", DefaultDir()},
        {QuoteArgument(L"--dir=" + spaced), L"0", L"0", L"0", spaced},
        {L"--dir=\"" + spaced + L"\"", L"0", L"0", L"0", spaced},
        {L"--dir=" + apps + L"\\..\\Demo\\.\\x", L"0", L"0", L"0", root / L"Demo\\x"},
        {L"--dir=" + apps + L"\\", L"0", L"0", L"0", apps + L"\\"},
        {L"unknown --whatever /X", L"0", L"0", L"0", DefaultDir()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.arguments));
        Fields f = RunProbe(TestRootArgument() + L" " + c.arguments);
        EXPECT_EQ(f["ok"], L"1") << Narrow(f["error"]);
        EXPECT_EQ(f["silent"], c.silent);
        EXPECT_EQ(f["uninstallMode"], c.uninstall);
        EXPECT_EQ(f["deleteData"], c.deleteData);
        EXPECT_EQ(f["installDir"], c.installDir);
    }
}

TEST_F(SetupOptionsTest, RelativeFolderIsMadeAbsolute) {
    const std::wstring probe = TestBinaryFolder() + L"\\options_probe.exe";
    ProcessResult r = RunProcess(probe, QuoteArgument(probe) + L" " + TestRootArgument() + L" --dir=sub\\..\\Chosen",
                                 root.path());
    EXPECT_NE(r.output.find(Narrow(L"installDir=" + root / L"Chosen") + "\n"), std::string::npos) << r.output;
}

TEST_F(SetupOptionsTest, DriveRootIsRefused) {
    for (const wchar_t* argument : {L"--dir=C:\\", L"--dir=C:\\.\\", L"--dir=C:\\Apps\\..", L"/dir=C:/"}) {
        SCOPED_TRACE(Narrow(argument));
        Fields f = RunProbe(TestRootArgument() + L" " + argument);
        EXPECT_EQ(f["ok"], L"0");
        EXPECT_EQ(f["error"], L"Choose a valid installation folder.");
    }
    Fields f = RunProbe(TestRootArgument() + L" --dir=C:\\Apps\\..\\Demo");
    EXPECT_EQ(f["ok"], L"1");
    EXPECT_EQ(f["installDir"], L"C:\\Demo");
}

TEST_F(SetupOptionsTest, MissingKnownFoldersAreReportedInNormalModeOnly) {
    // Point the per-user local application data folder at nothing.
    const wchar_t* shellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const std::wstring saved = [&] {
        std::wstring value(32768, L'\0');
        DWORD size = DWORD(value.size() * sizeof(wchar_t));
        if (RegGetValueW(HKEY_CURRENT_USER, shellFolders, L"Local AppData", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                         nullptr, value.data(), &size) != ERROR_SUCCESS) {
            return std::wstring();
        }
        value.resize(size / sizeof(wchar_t) - 1);
        return value;
    }();
    ASSERT_FALSE(saved.empty());
    const std::wstring bogus = L"Q:\\no\\such\\folder";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, shellFolders, L"Local AppData", REG_EXPAND_SZ, bogus.c_str(),
                              DWORD((bogus.size() + 1) * 2)),
              ERROR_SUCCESS);
    Fields normal, testRoot;
    {
        ScopedEnvironment noTestRoot(L"VELMO_SETUP_TEST_ROOT", nullptr);
        normal = RunProbe(L"");
        testRoot = RunProbe(TestRootArgument());
    }
    RegSetKeyValueW(HKEY_CURRENT_USER, shellFolders, L"Local AppData", REG_EXPAND_SZ, saved.c_str(),
                    DWORD((saved.size() + 1) * 2));
    EXPECT_EQ(normal["ok"], L"0");
    EXPECT_EQ(normal["error"], L"Could not locate the Windows folders for this user.");
    EXPECT_EQ(testRoot["ok"], L"1") << Narrow(testRoot["error"]);
}

TEST_F(SetupOptionsTest, UninstallEntryRecordsTheFolder) {
    const std::wstring recorded = root / L"Tools\\App";
    ASSERT_TRUE(CreateFolderTree(recorded));
    SetString(kTestUninstallKey, L"InstallLocation", recorded);

    Fields f = RunProbe(TestRootArgument());
    EXPECT_EQ(f["ok"], L"1");
    EXPECT_EQ(f["existingInstall"], L"1");
    EXPECT_EQ(f["existingInstallDir"], recorded);
    EXPECT_EQ(f["installDir"], recorded);

    // The same folder spelt in another letter case passes.
    std::wstring otherCase = recorded;
    for (wchar_t& c : otherCase) c = (c >= L'a' && c <= L'z') ? wchar_t(c - 32) : c;
    f = RunProbe(TestRootArgument() + L" " + QuoteArgument(L"--dir=" + otherCase));
    EXPECT_EQ(f["ok"], L"1") << Narrow(f["error"]);
    EXPECT_EQ(f["installDir"], otherCase);

    f = RunProbe(TestRootArgument() + L" --uninstall " + QuoteArgument(L"--dir=" + root / L"Other"));
    EXPECT_EQ(f["ok"], L"0");
    EXPECT_EQ(f["error"], L"Use the existing installation folder, or uninstall before changing it.");

    // Once the recorded folder is gone, any --dir= is refused, even its own name.
    RemoveTree(recorded);
    f = RunProbe(TestRootArgument() + L" " + QuoteArgument(L"--dir=" + recorded));
    EXPECT_EQ(f["error"], L"Use the existing installation folder, or uninstall before changing it.");
    f = RunProbe(TestRootArgument());
    EXPECT_EQ(f["ok"], L"1");
    EXPECT_EQ(f["installDir"], recorded);
}

TEST_F(SetupOptionsTest, RegistryStringLosesTrailingNuls) {
    const std::wstring recorded = root / L"Nul";
    SetString(kTestUninstallKey, L"InstallLocation", recorded, 3);
    Fields f = RunProbe(TestRootArgument());
    EXPECT_EQ(f["existingInstallDir"], recorded);
    EXPECT_EQ(f["installDir"], recorded);

    // Stored with an odd number of bytes and no terminator: the whole
    // characters are read, and the half character after them is not a path.
    const std::wstring odd = root / L"Odd";
    std::string bytes(reinterpret_cast<const char*>(odd.c_str()), odd.size() * sizeof(wchar_t));
    bytes.push_back('\0');
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kTestUninstallKey, L"InstallLocation", REG_SZ, bytes.data(),
                              DWORD(bytes.size())),
              ERROR_SUCCESS);
    f = RunProbe(TestRootArgument());
    EXPECT_EQ(f["existingInstall"], L"1");
    EXPECT_EQ(f["existingInstallDir"], odd);
}

TEST_F(SetupOptionsTest, EmptyOrNonStringInstallLocationIsNoInstallation) {
    SetString(kTestUninstallKey, L"InstallLocation", L"");
    EXPECT_EQ(RunProbe(TestRootArgument())["existingInstall"], L"0");
    const DWORD number = 7;
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kTestUninstallKey, L"InstallLocation", REG_DWORD, &number, 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RunProbe(TestRootArgument())["existingInstall"], L"0");
}

TEST_F(SetupOptionsTest, BothFilesInFolderMakeAnInstallation) {
    ASSERT_TRUE(CreateFolderTree(DefaultDir()));
    ASSERT_TRUE(WriteFileBytes(DefaultDir() + L"\\VelmoTulve.exe", "app"));
    Fields f = RunProbe(TestRootArgument());
    EXPECT_EQ(f["existingInstall"], L"0");  // the application alone is not an installation

    ASSERT_TRUE(WriteFileBytes(DefaultDir() + L"\\VelmoTulve-Setup.exe", "setup"));
    f = RunProbe(TestRootArgument());
    EXPECT_EQ(f["existingInstall"], L"1");
    EXPECT_EQ(f["existingInstallDir"], DefaultDir());

    ASSERT_TRUE(DeleteFileW((DefaultDir() + L"\\VelmoTulve.exe").c_str()));
    EXPECT_EQ(RunProbe(TestRootArgument())["existingInstall"], L"0");
}

TEST_F(SetupOptionsTest, ExistingInstallationReadsCurrentChoices) {
    const std::wstring recorded = root / L"Installed";
    ASSERT_TRUE(CreateFolderTree(recorded));
    SetString(kTestUninstallKey, L"InstallLocation", recorded);

    Fields f = RunProbe(TestRootArgument());
    EXPECT_EQ(f["autoStart"], L"0");
    EXPECT_EQ(f["startMenuShortcut"], L"0");
    EXPECT_EQ(f["launchWhenFinished"], L"1");

    SetString(kTestRunKey, L"VelmoTulve", L"");
    EXPECT_EQ(RunProbe(TestRootArgument())["autoStart"], L"0");

    SetString(kTestRunKey, L"VelmoTulve", L"\"" + recorded + L"\\VelmoTulve.exe\"");
    ASSERT_TRUE(CreateFolderTree(root / L"StartMenu"));
    ASSERT_TRUE(WriteFileBytes(root / L"StartMenu\\Velmo Tulve.lnk", "link"));
    f = RunProbe(TestRootArgument());
    EXPECT_EQ(f["autoStart"], L"1");
    EXPECT_EQ(f["startMenuShortcut"], L"1");

    // A folder where the link file should be is not a shortcut.
    ASSERT_TRUE(DeleteFileW((root / L"StartMenu\\Velmo Tulve.lnk").c_str()));
    ASSERT_TRUE(CreateDirectoryW((root / L"StartMenu\\Velmo Tulve.lnk").c_str(), nullptr));
    EXPECT_EQ(RunProbe(TestRootArgument())["startMenuShortcut"], L"0");
}

TEST_F(SetupOptionsTest, WithoutInstallationChoicesKeepTheirDefaults) {
    SetString(kTestRunKey, L"VelmoTulve", L"");  // stray value, no installation
    Fields f = RunProbe(TestRootArgument());
    EXPECT_EQ(f["existingInstall"], L"0");
    EXPECT_EQ(f["autoStart"], L"1");
    EXPECT_EQ(f["startMenuShortcut"], L"1");
}
