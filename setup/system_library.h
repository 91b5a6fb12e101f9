// Where DLLs come from. A setup program usually starts from a Downloads
// folder, where anyone can drop a DLL beside it; Windows looks in the
// program's own folder first for every DLL that is not a known DLL. So the
// program restricts the search to System32 before anything is loaded, imports
// only known DLLs at load time, and loads the others here.
#pragma once

#include <windows.h>

// Restricts the default DLL search of this process to System32. First thing
// the program does.
void RestrictDllSearchToSystem32();

// LoadLibraryExW(name, LOAD_LIBRARY_SEARCH_SYSTEM32): never from the
// program's folder, the current folder or PATH. Null when absent.
HMODULE LoadSystemLibrary(const wchar_t* name);

// GetProcAddress cast to the function type the caller names.
template <typename Function>
Function SystemProc(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Functions of Windows 10 versions 1607 and 1703, looked up in user32 at run
// time: imported, they would keep the program from starting at all on an
// older Windows, which could then not be told why.
// GetDpiForWindow, or GetDpiForSystem for a null window; 0 where missing.
UINT WindowDpi(HWND window);
void SetPerMonitorDpiAwareness();

// Windows 10 version 1703 (10.0.15063) or later, as RtlGetVersion reports it:
// GetVersionExW reports no newer Windows than the manifest names.
bool IsSupportedWindows();
constexpr bool IsSupportedWindowsVersion(unsigned long major, unsigned long minor, unsigned long build) {
    return major != 10 ? major > 10 : minor != 0 || build >= 15063;
}
