#include "tests/win/engine_fixture.h"

#include "engine/install.h"
#include "setup/progress.h"
#include "setup/setup_state.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <utility>

const std::vector<std::wstring> kUninstallValueNames = {
    L"DisplayVersion",       L"Publisher", L"InstallLocation", L"DisplayIcon",   L"UninstallString",
    L"QuietUninstallString", L"NoModify",  L"NoRepair",        L"EstimatedSize", L"DisplayName",
};

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

RegistryValue ReadRegistryValue(const std::wstring& subKey, const std::wstring& name) {
    RegistryValue value;
    DWORD size = 0;
    value.status = RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                                nullptr, &size);
    if (value.status != ERROR_SUCCESS) return value;
    value.data.resize(size);
    value.status = RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                                value.data.data(), &size);
    value.data.resize(size);
    return value;
}

std::vector<BYTE> StringBytes(const std::wstring& text) {
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> DwordBytes(DWORD value) {
    const BYTE* begin = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(begin, begin + sizeof(value));
}

bool KeyExists(const std::wstring& subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::wstring> ValueNames(const std::wstring& subKey) {
    std::vector<std::wstring> names;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return names;
    UniqueRegKey key(raw);
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD length = 256;
        if (RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

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

namespace {

void ExpectValue(const std::wstring& subKey, const std::wstring& name, DWORD type, const std::vector<BYTE>& data) {
    SCOPED_TRACE(Narrow(name));
    const RegistryValue value = ReadRegistryValue(subKey, name);
    ASSERT_EQ(value.status, ERROR_SUCCESS);
    EXPECT_EQ(value.type, type);
    EXPECT_EQ(value.data, data);
}

}  // namespace

void ExpectUninstallEntry(const std::wstring& subKey, const std::wstring& installDir, DWORD estimatedSizeKb) {
    std::vector<std::wstring> expectedNames = kUninstallValueNames;
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(ValueNames(subKey), expectedNames);

    const std::wstring uninstaller = L"\"" + installDir + L"\\VelmoTulve-Setup.exe\" --uninstall";
    ExpectValue(subKey, L"DisplayVersion", REG_SZ, StringBytes(L"1.2.6"));
    ExpectValue(subKey, L"Publisher", REG_SZ, StringBytes(L"Velmo Tulve contributors"));
    ExpectValue(subKey, L"InstallLocation", REG_SZ, StringBytes(installDir));
    ExpectValue(subKey, L"DisplayIcon", REG_SZ, StringBytes(installDir + L"\\VelmoTulve.exe,0"));
    ExpectValue(subKey, L"UninstallString", REG_SZ, StringBytes(uninstaller));
    ExpectValue(subKey, L"QuietUninstallString", REG_SZ, StringBytes(uninstaller + L" /VERYSILENT"));
    ExpectValue(subKey, L"NoModify", REG_DWORD, DwordBytes(1));
    ExpectValue(subKey, L"NoRepair", REG_DWORD, DwordBytes(1));
    ExpectValue(subKey, L"EstimatedSize", REG_DWORD, DwordBytes(estimatedSizeKb));
    ExpectValue(subKey, L"DisplayName", REG_SZ, StringBytes(L"Velmo Tulve"));
}

void ExpectRunValue(const std::wstring& subKey, const std::wstring& installDir) {
    ExpectValue(subKey, L"VelmoTulve", REG_SZ, StringBytes(L"\"" + installDir + L"\\VelmoTulve.exe\""));
}

ULONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

DWORD FileSizeKb(const std::wstring& path) { return DWORD((FileSize(path) + 1023) / 1024); }

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

StartedProcess StartProgram(const std::wstring& application, const std::wstring& commandLine,
                            const std::wstring& workingDir) {
    StartedProcess started;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
        return started;
    }
    CloseHandle(info.hThread);
    started.process.reset(info.hProcess);
    started.id = info.dwProcessId;
    return started;
}

void EndProcess(StartedProcess& started) {
    if (!started) return;
    if (WaitForSingleObject(started.process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(started.process.get(), 99);
        WaitForSingleObject(started.process.get(), 10000);
    }
    started.process.reset();
}

HWND FindProcessWindow(const wchar_t* className, DWORD processId) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

NamedEvent NamedEvent::Create(const std::wstring& purpose) {
    static std::atomic<unsigned> counter{0};
    NamedEvent event;
    event.name = L"Local\\vt-engine-test-" + purpose + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter);
    event.handle.reset(CreateEventW(nullptr, TRUE, FALSE, event.name.c_str()));
    return event;
}
