// The setup program's own process entry, in place of the C run-time's
// startup code. That code parses a command line, installs TLS callbacks, a
// top-level exception filter and math error hooks, and applies runtime
// pseudo-relocations: nothing this program uses, and 9 KB of an installer
// whose size is a feature. What C++ needs of it stays: the static
// constructors run before wWinMain (__main), and what they register with
// atexit runs after it, last registered first. Linked into the setup
// executable only (-nostartfiles); the tests keep the full start-up code.
#include <windows.h>

extern "C" void __main();  // libgcc's constructor runner on this target
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

namespace {

using ExitHandler = void (*)();
// The static destructors of the program: about twenty.
ExitHandler exitHandlers[64];
unsigned exitHandlerCount = 0;

}  // namespace

// Static initialisation runs on the one thread that exists, so no lock.
extern "C" int atexit(ExitHandler handler) {
    if (exitHandlerCount == sizeof(exitHandlers) / sizeof(exitHandlers[0])) return -1;
    exitHandlers[exitHandlerCount++] = handler;
    return 0;
}

extern "C" void SetupEntry() {
    __main();
    const int code = wWinMain(GetModuleHandleW(nullptr), nullptr, GetCommandLineW(), SW_SHOWDEFAULT);
    while (exitHandlerCount > 0) exitHandlers[--exitHandlerCount]();
    // The detached worker, if one still runs, ends with the process.
    ExitProcess(UINT(code));
}
