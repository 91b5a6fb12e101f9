// The Start menu link, read back the way the shell reads it: a fresh
// IShellLinkW loaded from the file through IPersistFile.
#include "engine/install.h"
#include "engine/paths.h"
#include "engine/shortcut.h"
#include "setup/setup_state.h"
#include "tests/win/engine_fixture.h"

#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

struct LinkContents {
    HRESULT loaded = E_FAIL;
    std::wstring path, workingDirectory, description, iconPath;
    int iconIndex = -1;
};

LinkContents ReadLink(const std::wstring& linkPath) {
    LinkContents contents;
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)))) {
        return contents;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file))) return contents;
    contents.loaded = file->Load(linkPath.c_str(), STGM_READ);
    if (FAILED(contents.loaded)) return contents;
    wchar_t buffer[MAX_PATH] = {};
    if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH))) contents.path = buffer;
    buffer[0] = 0;
    if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) contents.workingDirectory = buffer;
    buffer[0] = 0;
    if (SUCCEEDED(link->GetDescription(buffer, MAX_PATH))) contents.description = buffer;
    buffer[0] = 0;
    if (SUCCEEDED(link->GetIconLocation(buffer, MAX_PATH, &contents.iconIndex))) contents.iconPath = buffer;
    return contents;
}

void ExpectLinkTo(const std::wstring& linkPath, const std::wstring& target) {
    const LinkContents link = ReadLink(linkPath);
    ASSERT_EQ(link.loaded, S_OK);
    EXPECT_EQ(link.path, target);
    EXPECT_EQ(link.workingDirectory, ParentFolder(target));
    EXPECT_EQ(link.description, L"Velmo Tulve");
    EXPECT_EQ(link.iconPath, target);
    EXPECT_EQ(link.iconIndex, 0);
}

class ShortcutTest : public EngineTest {};

}  // namespace

TEST_F(ShortcutTest, LinkStartsTheTargetInItsFolderWithDescriptionAndIcon) {
    ASSERT_TRUE(CreateFolderTree(layout.installDir));
    ASSERT_TRUE(WriteFileBytes(layout.AppPath(), AppBytes()));
    const std::wstring link = layout.root / L"Menu\\Nested\\Velmo Tulve.lnk";
    ASSERT_FALSE(PathExists(layout.root / L"Menu"));

    ASSERT_TRUE(CreateShortcut(link, layout.AppPath(), L"Velmo Tulve"));
    // The missing folders came first.
    EXPECT_TRUE(PathExists(layout.root / L"Menu\\Nested"));
    ExpectLinkTo(link, layout.AppPath());
}

TEST_F(ShortcutTest, InstallWritesTheLinkToTheInstalledApplication) {
    ASSERT_FALSE(PathExists(ParentFolder(layout.shortcutPath)));
    std::wstring errorText;
    ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
    ExpectLinkTo(layout.shortcutPath, layout.AppPath());
}

TEST_F(ShortcutTest, InstallOverwritesAnExistingLinkToPointAtTheCurrentApplication) {
    struct Case {
        const char* name;
        bool (*arrange)(const TestLayout&);
    };
    const Case cases[] = {
        {"link to an older location",
         [](const TestLayout& l) {
             return CreateFolderTree(l.root / L"Old") && WriteFileBytes(l.root / L"Old\\VelmoTulve.exe", "old") &&
                    CreateShortcut(l.shortcutPath, l.root / L"Old\\VelmoTulve.exe", L"Old description");
         }},
        {"a file that is no link at all",
         [](const TestLayout& l) {
             return CreateFolderTree(ParentFolder(l.shortcutPath)) && WriteFileBytes(l.shortcutPath, "garbage");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestLayout local;
        local.Apply();
        ASSERT_TRUE(c.arrange(local));
        std::wstring errorText;
        ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
        ExpectLinkTo(local.shortcutPath, local.AppPath());
        EXPECT_EQ(ListFolder(ParentFolder(local.shortcutPath)), std::vector<std::wstring>{L"Velmo Tulve.lnk"});
    }
}

TEST_F(ShortcutTest, LinkWhoseFolderCannotBeCreatedIsReported) {
    ASSERT_TRUE(WriteFileBytes(layout.root / L"Menu", "a file where the folder goes"));
    EXPECT_FALSE(CreateShortcut(layout.root / L"Menu\\Velmo Tulve.lnk", layout.AppPath(), L"Velmo Tulve"));
    EXPECT_EQ(ReadFileBytes(layout.root / L"Menu"), "a file where the folder goes");
}
