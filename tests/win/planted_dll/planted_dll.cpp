// A DLL that tells when it is loaded: on process attach it creates, beside
// itself, an empty file named after its own file name plus ".loaded" (copied
// as cabinet.dll it writes cabinet.dll.loaded). The DLL planting test puts
// copies of it under the names of system DLLs beside the setup program.
// It exports nothing; only the loading matters.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH + 16] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    lstrcatW(path, L".loaded");
    // Kernel32 only: it is loaded already, so this is safe under the loader lock.
    HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    return TRUE;
}
