// The product's fixed names. Every file, registry, window and mutex name used
// by the setup program is spelled here once; nothing else retypes them.
#pragma once

namespace product {

inline constexpr wchar_t kName[] = L"Velmo Tulve";
inline constexpr wchar_t kVersion[] = L"1.2.6";
inline constexpr wchar_t kPublisher[] = L"Velmo Tulve contributors";

inline constexpr wchar_t kAppExe[] = L"VelmoTulve.exe";
inline constexpr wchar_t kUninstallerExe[] = L"VelmoTulve-Setup.exe";
inline constexpr wchar_t kLicenseFile[] = L"LICENSE";

// The auto-start value's name and the last element of the uninstall key.
// Not the product name: no blank.
inline constexpr wchar_t kRegistryName[] = L"VelmoTulve";
inline constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelmoTulve";
inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kTestUninstallKey[] = L"Software\\VelmoTulveSetupTest\\Uninstall";
inline constexpr wchar_t kTestRunKey[] = L"Software\\VelmoTulveSetupTest\\Run";
inline constexpr wchar_t kTestRootVariable[] = L"VELMO_SETUP_TEST_ROOT";

inline constexpr wchar_t kSettingsFolder[] = L"StandaloneVelmoTulve";
inline constexpr wchar_t kShortcutFile[] = L"Velmo Tulve.lnk";

inline constexpr wchar_t kMutexName[] = L"Local\\VelmoTulveSetup";
inline constexpr wchar_t kWindowClass[] = L"VelmoTulveSetupWindow";
inline constexpr wchar_t kWindowTitle[] = L"Velmo Tulve Setup";
inline constexpr wchar_t kAppWindowClass[] = L"StandaloneVelmoTulveHost";

// Payload entry names as stored in the archive (ASCII bytes, no terminator).
inline constexpr char kPayloadAppName[] = "VelmoTulve.exe";
inline constexpr char kPayloadLicenseName[] = "LICENSE";

// Resource ids (RT_RCDATA, language 1033).
inline constexpr int kPayloadResource = 301;
inline constexpr int kLicenseResource = 302;

}  // namespace product
