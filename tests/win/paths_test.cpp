// Path joining and file identity against the real file system of the prefix.
#include "engine/paths.h"
#include "setup/owners.h"
#include "tests/win/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(JoinPath, InsertsOneSeparatorOnlyWhereNeeded) {
    struct Case {
        const wchar_t* left;
        const wchar_t* right;
        const wchar_t* joined;
    } cases[] = {
        {L"C:", L"x", L"C:x"},
        {L"C:\\", L"x", L"C:\\x"},
        {L"C:\\Apps", L"x", L"C:\\Apps\\x"},
        {L"C:\\Apps/", L"x", L"C:\\Apps/x"},
        {L"", L"x", L"x"},
        {L"d:", L"Tools", L"d:Tools"},
        {L"C:\\Windows\\system32", L"WindowsPowerShell\\v1.0\\powershell.exe",
         L"C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe"},
    };
    for (const Case& c : cases) EXPECT_EQ(JoinPath(c.left, c.right), c.joined) << Narrow(c.left);
}

TEST(ParentFolder, DropsLastElementAndKeepsRoots) {
    struct Case {
        const wchar_t* path;
        const wchar_t* parent;
    } cases[] = {
        {L"C:\\Apps\\VT\\Velmo Tulve.lnk", L"C:\\Apps\\VT"},
        {L"C:\\Apps\\VT\\", L"C:\\Apps"},
        {L"C:\\Apps\\\\x", L"C:\\Apps"},
        {L"C:\\Apps", L"C:\\"},
        {L"C:\\", L"C:\\"},
        {L"\\\\server\\share\\x", L"\\\\server\\share\\"},
        {L"name", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(ParentFolder(c.path), c.parent) << Narrow(c.path);
}

TEST(LexicallyNormalPath, FoldsDotsAndSeparators) {
    struct Case {
        const wchar_t* path;
        const wchar_t* normal;
    } cases[] = {
        {L"C:\\Apps\\..\\Demo", L"C:\\Demo"},
        {L"C:/Apps//Demo/", L"C:\\Apps\\Demo\\"},
        {L"C:\\.\\", L"C:\\"},
        {L"C:\\a\\.\\b\\..\\..\\c", L"C:\\c"},
        {L"C:\\..\\x", L"C:\\x"},
    };
    for (const Case& c : cases) EXPECT_EQ(LexicallyNormalPath(c.path), c.normal) << Narrow(c.path);
}

TEST(IsSameFile, MatchesOneFileUnderAnySpelling) {
    TempFolder folder;
    ASSERT_TRUE(CreateDirectoryW((folder / L"Apps").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder / L"Apps\\Tool.exe", "same bytes"));
    ASSERT_TRUE(CreateDirectoryW((folder / L"Other").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder / L"Other\\Tool.exe", "same bytes"));

    std::wstring upper = folder / L"APPS\\TOOL.EXE";
    EXPECT_TRUE(IsSameFile(folder / L"Apps\\Tool.exe", upper));
    EXPECT_TRUE(IsSameFile(folder / L"Apps\\Tool.exe", folder / L"Other\\..\\Apps\\.\\Tool.exe"));
    EXPECT_FALSE(IsSameFile(folder / L"Apps\\Tool.exe", folder / L"Other\\Tool.exe"));
    EXPECT_FALSE(IsSameFile(folder / L"Apps\\Missing.exe", folder / L"Apps\\Missing.exe"));
    EXPECT_FALSE(IsSameFile(folder / L"Apps\\Missing.exe", folder / L"Apps\\Tool.exe"));
    // Folders open too, with or without a trailing separator.
    EXPECT_TRUE(IsSameFile(folder / L"Apps", folder / L"Apps\\"));
    EXPECT_FALSE(IsSameFile(folder / L"Apps", folder / L"Other"));
}

TEST(IsRegularFile, TrueOnlyForExistingFiles) {
    TempFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder / L"file.txt", "x"));
    EXPECT_TRUE(IsRegularFile(folder / L"file.txt"));
    EXPECT_FALSE(IsRegularFile(folder.path()));
    EXPECT_FALSE(IsRegularFile(folder / L"missing.txt"));
    EXPECT_FALSE(IsRegularFile(folder / L"missing\\file.txt"));
}

TEST(RemoveFile, RemovesMissingReadOnlyAndEmptyFolders) {
    TempFolder folder;
    EXPECT_TRUE(RemoveFile(folder / L"missing.txt"));
    EXPECT_TRUE(RemoveFile(folder / L"missing-folder\\missing.txt"));

    ASSERT_TRUE(WriteFileBytes(folder / L"readonly.txt", "x"));
    ASSERT_TRUE(SetFileAttributesW((folder / L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(RemoveFile(folder / L"readonly.txt"));
    EXPECT_FALSE(PathExists(folder / L"readonly.txt"));

    ASSERT_TRUE(CreateDirectoryW((folder / L"empty").c_str(), nullptr));
    EXPECT_TRUE(RemoveFile(folder / L"empty"));
    EXPECT_FALSE(PathExists(folder / L"empty"));

    ASSERT_TRUE(CreateDirectoryW((folder / L"full").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder / L"full\\x", "x"));
    // Not an error a scanner causes: not one wait before it fails (the
    // held file below shows that a retry does wait).
    {
        ScopedSleepCount waits;
        EXPECT_FALSE(RemoveFile(folder / L"full"));
        EXPECT_EQ(waits.count(), 0);
    }
    EXPECT_TRUE(PathExists(folder / L"full\\x"));
    ASSERT_TRUE(WriteFileBytes(folder / L"held.txt", "x"));
    TimedHold held(folder / L"held.txt", 300);
    ScopedSleepCount waits;
    EXPECT_TRUE(RemoveFile(folder / L"held.txt"));
    EXPECT_GT(waits.count(), 0);
}

// A scanner's hold is waited for up to the bound; a longer one fails after it.
TEST(RemoveFile, WaitsForAFileOpenWithoutDeleteSharingUpToTheBound) {
    TempFolder folder;
    const std::wstring path = folder / L"busy.txt";
    for (const DWORD holdMs : {DWORD(300), DWORD(1500), DWORD(INFINITE)}) {
        SCOPED_TRACE(holdMs);
        ASSERT_TRUE(WriteFileBytes(path, "busy"));
        TimedHold held(path, holdMs);
        ASSERT_TRUE(held);
        const ULONGLONG started = GetTickCount64();
        const bool removed = RemoveFile(path);
        const ULONGLONG took = GetTickCount64() - started;
        std::printf("[ info ] hold of %ld ms: %s after %llu ms\n", long(holdMs), removed ? "removed" : "failed", took);
        if (holdMs == INFINITE) {
            EXPECT_FALSE(removed);
            EXPECT_GE(took, kBusyFileRetryMs);
            EXPECT_EQ(ReadFileBytes(path), "busy");
        } else {
            // A single try would have failed: the file was held when it began.
            EXPECT_TRUE(removed);
            EXPECT_FALSE(PathExists(path));
        }
    }
    EXPECT_TRUE(RemoveFile(path));
}

TEST(CreateFolderTree, CreatesEveryMissingParent) {
    TempFolder folder;
    EXPECT_TRUE(CreateFolderTree(folder / L"a\\b\\c"));
    EXPECT_TRUE(PathExists(folder / L"a\\b\\c"));
    EXPECT_TRUE(CreateFolderTree(folder / L"a\\b\\c"));  // existing is fine
    EXPECT_FALSE(CreateFolderTree(L""));
    ASSERT_TRUE(WriteFileBytes(folder / L"file", "x"));
    EXPECT_FALSE(CreateFolderTree(folder / L"file\\sub"));
}
