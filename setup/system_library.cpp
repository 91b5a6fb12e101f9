#include "setup/system_library.h"

namespace {

// user32 is imported, so it is always there.
template <typename Function>
Function User32Proc(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

UINT WindowDpi(HWND window) {
    // GetDpiForSystem takes no argument; the one passed is ignored.
    const auto getDpi = User32Proc<UINT(WINAPI*)(HWND)>(window ? "GetDpiForWindow" : "GetDpiForSystem");
    return getDpi ? getDpi(window) : 0;
}

void SetPerMonitorDpiAwareness() {
    if (const auto set = User32Proc<BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT)>("SetProcessDpiAwarenessContext"))
        set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

bool IsSupportedWindows() {
    // ntdll is in every process; RtlGetVersion returns an NTSTATUS, 0 on success.
    const auto getVersion = reinterpret_cast<LONG(WINAPI*)(OSVERSIONINFOW*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    return getVersion && getVersion(&version) == 0 &&
           IsSupportedWindowsVersion(version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
}
// Windows 11 is 10.0.22000 and later; 8.1 is 6.3, 10 version 1607 10.0.14393.
static_assert(IsSupportedWindowsVersion(10, 0, 15063) && IsSupportedWindowsVersion(10, 0, 22631) &&
              IsSupportedWindowsVersion(11, 0, 0));
static_assert(!IsSupportedWindowsVersion(10, 0, 14393) && !IsSupportedWindowsVersion(6, 3, 9600) &&
              !IsSupportedWindowsVersion(6, 4, 20000) && !IsSupportedWindowsVersion(5, 2, 99999));

// VT_TEST_UNPROTECTED_DLL_SEARCH is a test-only switch: it builds the
// variant that the DLL planting test uses as its negative control, with
// Windows' default search order. The shipped program never defines it.
#ifndef VT_TEST_UNPROTECTED_DLL_SEARCH

void RestrictDllSearchToSystem32() { SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

HMODULE LoadSystemLibrary(const wchar_t* name) {
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

#else

void RestrictDllSearchToSystem32() {}

HMODULE LoadSystemLibrary(const wchar_t* name) { return LoadLibraryW(name); }

#endif
