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
