// The folder picker: the rule that adds the product's sub-folder, and the real
// system dialog opened from the window, cancelled as a user would cancel it.
// A typed folder is chosen end to end in setup_flows_test.
#include "window/folder_picker.h"
#include "setup/setup_state.h"
#include "tests/win/setup_process_support.h"
#include "tests/win/window_fixture.h"
#include "window/actions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(FolderPickerTest, WithProductFolder_AddsTheSubFolderUnlessTheLastElementIsIt) {
    struct Case {
        const wchar_t* chosen;
        const wchar_t* result;
    };
    const Case cases[] = {
        {L"C:\\Apps", L"C:\\Apps\\Velmo Tulve"},
        {L"D:\\", L"D:\\Velmo Tulve"},
        {L"C:", L"C:\\Velmo Tulve"},
        {L"C:\\Tools\\velmo tulve", L"C:\\Tools\\velmo tulve"},
        {L"C:\\Tools\\VELMO TULVE", L"C:\\Tools\\VELMO TULVE"},
        {L"C:/Tools/Velmo Tulve", L"C:/Tools/Velmo Tulve"},
        {L"C:\\Apps\\Velmo Tulve Beta", L"C:\\Apps\\Velmo Tulve Beta\\Velmo Tulve"},
        {L"C:\\Apps\\", L"C:\\Apps\\Velmo Tulve"},
        {L"C:/Apps/", L"C:/Apps/Velmo Tulve"},
        {L"\\\\server\\share", L"\\\\server\\share\\Velmo Tulve"},
        {L"\\\\server\\Velmo Tulve", L"\\\\server\\Velmo Tulve"},
        {L"\\\\Velmo Tulve", L"\\\\Velmo Tulve\\Velmo Tulve"},  // a server name is no folder
        {L"C:Velmo Tulve", L"C:Velmo Tulve"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithProductFolder(c.chosen), c.result) << Narrow(c.chosen);
}

// From another thread, because the test's thread is inside the modal dialog:
// records every folder dialog of this process and cancels it.
class DialogCanceller {
public:
    DialogCanceller() : thread_([this] { Run(); }) {}
    ~DialogCanceller() { Stop(); }
    // Stops watching; what was seen is stable afterwards.
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int seen() const { return seen_; }
    const std::wstring& title() const { return title_; }
    HWND owner() const { return owner_; }

private:
    void Run() {
        HWND last = nullptr;
        while (!stop_) {
            for (HWND dialog : TopLevelWindows(GetCurrentProcessId(), kDialogClass)) {
                if (!IsWindowVisible(dialog)) continue;
                if (dialog != last) {
                    last = dialog;
                    title_ = WindowText(dialog);
                    owner_ = GetWindow(dialog, GW_OWNER);
                    ++seen_;
                }
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
            Sleep(10);
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    std::wstring title_;
    HWND owner_ = nullptr;
    std::thread thread_;
};

using FolderPickerWindowTest = WindowTest;

TEST_F(FolderPickerWindowTest, ChooseInstallFolder_CancelledDialogChangesNothing) {
    OpenWindow(PageWelcome);
    const std::wstring before = setupOptions.installDir;
    DialogCanceller canceller;
    DispatchAction(ActionBrowse);
    canceller.Stop();
    EXPECT_EQ(canceller.seen(), 1);
    EXPECT_EQ(canceller.title(), L"Choose install folder for Velmo Tulve");
    EXPECT_EQ(canceller.owner(), window);
    EXPECT_EQ(setupOptions.installDir, before);
}

TEST_F(FolderPickerWindowTest, ChooseInstallFolder_WithAnInstallationOpensNoDialog) {
    existingInstall = true;
    OpenWindow(PageMaintenance);
    const std::wstring before = setupOptions.installDir;
    DialogCanceller canceller;
    DispatchAction(ActionBrowse);
    canceller.Stop();
    EXPECT_EQ(canceller.seen(), 0);
    EXPECT_EQ(setupOptions.installDir, before);
}

}  // namespace
