#include "tests/win/engine_fixture.h"

#include "engine/install.h"
#include "setup/progress.h"
#include "setup/setup_state.h"

#include <objbase.h>

#include <atomic>
#include <cstdlib>
#include <utility>

void ResetSetupState() {
    setupOptions = SetupOptions{};
    existingInstall = false;
    existingInstallDir.clear();
    selfRemovalPending = false;
    mainWindow = nullptr;
}

void TestLayout::Apply(bool testRoot) const {
    SetupOptions& o = setupOptions;
    o = SetupOptions{};
    o.installDir = installDir;
    o.settingsDir = settingsDir;
    o.shortcutPath = shortcutPath;
    o.uninstallKeyPath = kTestUninstallKey;
    o.runKeyPath = kTestRunKey;
    o.testRoot = testRoot ? root.path() : std::wstring();
    o.autoStart = true;
    o.startMenuShortcut = true;
    o.launchWhenFinished = false;
}

void EngineTest::SetUp() {
    SweepBuriedLinks();
    comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ASSERT_TRUE(comInitialized);
    DeleteTestRegistry();
    ResetSetupState();
    layout.Apply();
}

void EngineTest::TearDown() {
    ResetSetupState();
    DeleteTestRegistry();
    if (comInitialized) CoUninitialize();
}

// --- registry -----------------------------------------------------------------

bool CreateVolatileKey(const std::wstring& subKey) {
    // Missing parents would be created volatile too; they must stay ordinary
    // keys so that the test's other keys can live beside this one.
    const size_t separator = subKey.find_last_of(L'\\');
    if (separator != std::wstring::npos) {
        HKEY parent = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.substr(0, separator).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &parent, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(parent);
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

namespace {

bool SetKeyDacl(const std::wstring& subKey, PACL dacl) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, WRITE_DAC, &raw) != ERROR_SUCCESS) return false;
    UniqueRegKey key(raw);
    SECURITY_DESCRIPTOR descriptor{};
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
    return RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
}

}  // namespace

LockedRegistryKey::LockedRegistryKey(std::wstring subKey) : subKey_(std::move(subKey)) {
    ACL empty{};
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    locked_ = SetKeyDacl(subKey_, &empty);
}

LockedRegistryKey::~LockedRegistryKey() {
    // A null DACL grants everything again; the key is deleted by the test's
    // clean-up afterwards.
    if (locked_) SetKeyDacl(subKey_, nullptr);
}

// --- progress channel ------------------------------------------------------------

namespace {

constexpr wchar_t kProgressWindowClass[] = L"VelmoTulveEngineTestProgress";

void RegisterProgressWindowClass() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kProgressWindowClass;
        return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

}  // namespace

ProgressWindow::ProgressWindow() {
    RegisterProgressWindowClass();
    window_ = CreateWindowExW(0, kProgressWindowClass, L"progress", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    mainWindow = window_;
}

ProgressWindow::~ProgressWindow() {
    mainWindow = nullptr;
    Drain();
    if (window_) DestroyWindow(window_);
}

std::vector<MSG> ProgressWindow::TakeRaw() {
    std::vector<MSG> messages;
    MSG message{};
    while (window_ && PeekMessageW(&message, window_, WM_SETUP_PROGRESS, WM_SETUP_PROGRESS, PM_REMOVE)) {
        messages.push_back(message);
    }
    return messages;
}

std::vector<ProgressMessage> ProgressWindow::Drain() {
    std::vector<ProgressMessage> result;
    for (const MSG& message : TakeRaw()) {
        ProgressMessage m;
        m.code = message.wParam;
        auto* text = reinterpret_cast<wchar_t*>(message.lParam);
        m.hasText = text != nullptr;
        if (text) m.text = text;
        free(text);
        result.push_back(m);
    }
    return result;
}

// --- files and processes --------------------------------------------------------

std::string AppBytes() {
    static const std::string bytes = ReadFileBytes(Widen(VT_APP_PATH));
    return bytes;
}

std::string LicenseBytes() {
    static const std::string bytes = ReadFileBytes(Widen(VT_LICENSE_PATH));
    return bytes;
}

std::string RunningProgramBytes() {
    static const std::string bytes = ReadFileBytes(GetSetupExePath());
    return bytes;
}

UniqueFileHandle HoldWithoutDeleteSharing(const std::wstring& path, bool folder) {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr));
}

namespace {

std::wstring BuriedLinksFolder() { return TestBinaryFolder() + L"\\engine-running-links"; }

}  // namespace

BinaryDriveFolder::BinaryDriveFolder() {
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t name[64] = {};
    swprintf(name, 64, L"\\vt-test-%08lX%04X", guid.Data1, guid.Data2);
    const std::wstring parent = TestBinaryFolder() + L"\\engine-scratch";
    CreateDirectoryW(parent.c_str(), nullptr);
    path_ = parent + name;
    CreateDirectoryW(path_.c_str(), nullptr);
}

BinaryDriveFolder::~BinaryDriveFolder() { RemoveTree(path_); }

bool LinkToRunningProgram(const std::wstring& link) {
    return CreateHardLinkW(link.c_str(), GetSetupExePath().c_str(), nullptr) != 0;
}

void BuryRunningProgramLink(const std::wstring& link) {
    if (!PathExists(link)) return;
    const std::wstring folder = BuriedLinksFolder();
    CreateDirectoryW(folder.c_str(), nullptr);
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t name[64] = {};
    swprintf(name, 64, L"\\%08lX%04X%04X.exe", guid.Data1, guid.Data2, guid.Data3);
    // A name of a mapped image can be renamed though not deleted.
    EXPECT_TRUE(MoveFileExW(link.c_str(), (folder + name).c_str(), 0)) << GetLastError();
}

void SweepBuriedLinks() {
    const std::wstring folder = BuriedLinksFolder();
    // Names of programs still running stay; the rest go.
    for (const std::wstring& name : ListFolder(folder)) DeleteFileW((folder + L"\\" + name).c_str());
}

NamedEvent NamedEvent::Create(const std::wstring& purpose) {
    static std::atomic<unsigned> counter{0};
    NamedEvent event;
    event.name = L"Local\\vt-engine-test-" + purpose + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter);
    event.handle.reset(CreateEventW(nullptr, TRUE, FALSE, event.name.c_str()));
    return event;
}
