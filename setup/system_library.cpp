#include "setup/system_library.h"

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
