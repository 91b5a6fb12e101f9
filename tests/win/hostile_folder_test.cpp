// Install folders a user may pick or a script may pass, and what interrupted
// runs leave in them: every install and uninstall either succeeds or fails
// with its own message, loses nothing, and touches nothing outside the
// install folder, the shortcut and the test registry keys.
#include "engine/install.h"
#include "engine/paths.h"
#include "engine/payload_archive.h"
#include "engine/uninstall.h"
#include "setup/setup_state.h"
#include "tests/win/engine_fixture.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Every file below `folder` with its bytes; the paths in `skipped` (and what
// is below them) are left out.
using Tree = std::map<std::wstring, std::string>;
void ReadTree(const std::wstring& folder, const std::vector<std::wstring>& skipped, Tree& tree) {
    for (const std::wstring& name : ListFolder(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (std::find(skipped.begin(), skipped.end(), path) != skipped.end()) continue;
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            ReadTree(path, skipped, tree);
        } else {
            tree[path] = ReadFileBytes(path);
        }
    }
}

std::string Message(const std::wstring& text) { return Narrow(text); }

enum class Arrange { Nothing, FileInTheWay, AppHeldOpen };

class HostileFolderTest : public EngineTest {
protected:
    // What lies outside the install folder: a neighbour folder with a file,
    // and a value of another program beside ours in the Run key.
    void SetUpNeighbours() {
        ASSERT_TRUE(CreateFolderTree(layout.root / L"Neighbour"));
        ASSERT_TRUE(WriteFileBytes(layout.root / L"Neighbour\\VelmoTulve.exe", "someone else's program"));
        ASSERT_TRUE(SetRegistryString(HKEY_CURRENT_USER, kTestRunKey, L"OtherApp", L"other.exe"));
    }
    Tree Outside() {
        Tree tree;
        std::wstring folder = layout.installDir;
        while (folder.back() == L'\\') folder.pop_back();
        ReadTree(layout.root.path(), {folder, layout.shortcutPath}, tree);
        return tree;
    }
    void ExpectNeighboursKept(const Tree& before) {
        EXPECT_TRUE(Outside() == before) << "something outside the install folder changed";
        const RegistryValue other = ReadRegistryValue(kTestRunKey, L"OtherApp");
        EXPECT_EQ(other.status, ERROR_SUCCESS);
    }
};

// Names, lengths and obstacles; a failure must leave what was there whole.
TEST_F(HostileFolderTest, EveryFolderInstallsAndUninstallsOrFailsWithItsMessage) {
    const std::wstring programs = layout.root / L"Programs";
    // The longest name the program writes is its temporary file's.
    const size_t longestName = std::wstring(L".tulve-{00000000-0000-0000-0000-000000000000}.tmp").size();
    const auto padded = [&](size_t length) {
        const size_t base = programs.size() + 1;
        return programs + L"\\" + std::wstring(length > base ? length - base : 1, L'v');
    };
    struct Case {
        const char* what;
        std::wstring folder;
        Arrange arrange;
        std::string installError;    // empty: must succeed
        std::string uninstallError;  // empty: must succeed
        bool mayFailForLength = false;
    };
    const std::string replaceApp = PayloadReplaceFailedMessage(PayloadFileApp);
    const Case cases[] = {
        {"spaces", programs + L"\\My  Apps\\Velmo  Tulve", Arrange::Nothing, "", ""},
        {"accents", programs + L"\\Caf\u00e9 Stra\u00dfe", Arrange::Nothing, "", ""},
        {"CJK and emoji", programs + L"\\\u65e5\u672c \U0001F600", Arrange::Nothing, "", ""},
        {"shell characters", programs + L"\\p%OS%q a!b^c&d (x) [y] 'z'", Arrange::Nothing, "", ""},
        {"trailing separator", programs + L"\\Velmo Tulve\\", Arrange::Nothing, "", ""},
        {"just under the path limit", padded(MAX_PATH - 2 - longestName), Arrange::Nothing, "", ""},
        {"over the path limit", padded(MAX_PATH + 8), Arrange::Nothing, "", "", true},
        {"an existing file", programs + L"\\Velmo Tulve", Arrange::FileInTheWay, kPayloadMessageFolder, ""},
        {"application open without sharing", programs + L"\\Velmo Tulve", Arrange::AppHeldOpen, replaceApp,
         "Could not remove VelmoTulve.exe."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(programs);
        DeleteTestRegistry();
        ASSERT_NO_FATAL_FAILURE(SetUpNeighbours());
        layout.installDir = c.folder;
        ResetSetupState();
        layout.Apply();

        UniqueFileHandle held;
        std::string appBefore = AppBytes();
        if (c.arrange == Arrange::FileInTheWay) {
            ASSERT_TRUE(CreateFolderTree(programs));
            ASSERT_TRUE(WriteFileBytes(c.folder, "a file of the user"));
        } else if (c.arrange == Arrange::AppHeldOpen) {
            std::wstring first;
            ASSERT_TRUE(RunInstall(first)) << Message(first);
            appBefore = "an older application";
            ASSERT_TRUE(WriteFileBytes(layout.AppPath(), appBefore));
            held.reset(CreateFileW(layout.AppPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held) << GetLastError();
        }
        const Tree outside = Outside();

        std::wstring errorText;
        const bool installed = RunInstall(errorText);
        const bool lengthFailure = c.mayFailForLength && !installed;
        if (c.mayFailForLength) {
            std::printf("[ info ] %zu characters: install %s\n", c.folder.size(),
                        installed ? "succeeded" : Message(errorText).c_str());
        }
        if (c.installError.empty() && !lengthFailure) {
            ASSERT_TRUE(installed) << Message(errorText);
            EXPECT_EQ(Sorted(ListFolder(c.folder)),
                      (std::vector<std::wstring>{L"LICENSE", L"VelmoTulve-Setup.exe", L"VelmoTulve.exe"}));
            EXPECT_EQ(ReadFileBytes(layout.AppPath()), AppBytes());
            // The entry names the files just written, whatever the spelling.
            const RegistryValue icon = ReadRegistryValue(kTestUninstallKey, L"DisplayIcon");
            ASSERT_EQ(icon.status, ERROR_SUCCESS);
            std::wstring iconPath(reinterpret_cast<const wchar_t*>(icon.data.data()));
            ASSERT_GT(iconPath.size(), 2u);
            iconPath.resize(iconPath.size() - 2);  // ",0"
            EXPECT_TRUE(IsSameFile(iconPath, layout.AppPath())) << Narrow(iconPath);
            EXPECT_EQ(ReadRegistryValue(kTestUninstallKey, L"DisplayName").status, ERROR_SUCCESS);
        } else {
            EXPECT_FALSE(installed);
            if (!lengthFailure) {
                EXPECT_EQ(Message(errorText), c.installError);
            }
            if (c.arrange == Arrange::FileInTheWay) {
                EXPECT_EQ(ReadFileBytes(c.folder), "a file of the user");
            }
            if (c.arrange == Arrange::AppHeldOpen) {
                // The old installation is whole: its files, its entry, no temporary file.
                EXPECT_EQ(Sorted(ListFolder(c.folder)),
                          (std::vector<std::wstring>{L"LICENSE", L"VelmoTulve-Setup.exe", L"VelmoTulve.exe"}));
                EXPECT_TRUE(KeyExists(kTestUninstallKey));
            } else {
                EXPECT_FALSE(KeyExists(kTestUninstallKey));
            }
        }
        ExpectNeighboursKept(outside);
        if (!KeyExists(kTestUninstallKey)) continue;

        existingInstall = true;
        errorText.clear();
        const bool uninstalled = RunUninstall(errorText);
        if (c.uninstallError.empty()) {
            ASSERT_TRUE(uninstalled) << Message(errorText);
            EXPECT_FALSE(PathExists(c.folder));
            EXPECT_FALSE(KeyExists(kTestUninstallKey));
        } else {
            EXPECT_FALSE(uninstalled);
            EXPECT_EQ(Message(errorText), c.uninstallError);
            held.reset();
            EXPECT_EQ(ReadFileBytes(layout.AppPath()), appBefore);
            EXPECT_TRUE(PathExists(layout.UninstallerPath()));
            EXPECT_TRUE(KeyExists(kTestUninstallKey));
        }
        ExpectNeighboursKept(outside);
    }
}

// What an interrupted run leaves of its temporary files goes with the next
// install or uninstall; files of the user with similar names stay.
TEST_F(HostileFolderTest, StrayTemporaryFilesGoWithTheNextRunAndOnlyThey) {
    const std::vector<std::wstring> stray = {L".tulve-{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}.tmp",
                                             L".tulve-{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}.tmp"};
    const std::vector<std::wstring> kept = {L".tulve-notes.tmp", L".tulve-{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}.tmp.txt",
                                            L"x.tulve-{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}.tmp",
                                            L".tulve-{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1FG}.tmp"};
    const std::wstring keptFolder = L".tulve-{11111111-2222-3333-4444-555555555555}.tmp";
    const auto plant = [&] {
        ASSERT_TRUE(CreateFolderTree(layout.installDir));
        for (const auto& name : stray) ASSERT_TRUE(WriteFileBytes(layout.installDir + L"\\" + name, "partial"));
        for (const auto& name : kept) ASSERT_TRUE(WriteFileBytes(layout.installDir + L"\\" + name, "mine"));
        ASSERT_TRUE(CreateFolderTree(layout.installDir + L"\\" + keptFolder));
    };
    std::vector<std::wstring> userNames = kept;
    userNames.push_back(keptFolder);
    std::vector<std::wstring> afterInstall = userNames;
    afterInstall.insert(afterInstall.end(), {L"LICENSE", L"VelmoTulve-Setup.exe", L"VelmoTulve.exe"});

    for (const bool uninstall : {false, true}) {
        SCOPED_TRACE(uninstall ? "uninstall" : "install");
        ASSERT_NO_FATAL_FAILURE(plant());
        ResetSetupState();
        layout.Apply();
        existingInstall = uninstall;
        std::wstring errorText;
        ASSERT_TRUE(uninstall ? RunUninstall(errorText) : RunInstall(errorText)) << Message(errorText);
        EXPECT_EQ(Sorted(ListFolder(layout.installDir)), Sorted(uninstall ? userNames : afterInstall));
        for (const auto& name : kept) EXPECT_EQ(ReadFileBytes(layout.installDir + L"\\" + name), "mine");
    }
}

}  // namespace
