// How often a process fails to start: starts itself STARTS times as a child
// that exits with 7 at once, and prints each start that failed (with its
// error) or ended otherwise, then one line of counts. Exit code 1 when any
// start failed.
//   wine build/windows/process_start_bench.exe [STARTS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return 7;
    const int starts = argc > 1 ? std::atoi(argv[1]) : 3000;
    wchar_t self[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, self, MAX_PATH)) return 2;
    int failed = 0, wrongExit = 0;
    for (int i = 1; i <= starts; ++i) {
        wchar_t line[] = L"process_start_bench --child";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(self, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            std::printf("start %d failed: error %lu\n", i, GetLastError());
            ++failed;
            continue;
        }
        DWORD code = 0;
        WaitForSingleObject(info.hProcess, INFINITE);
        GetExitCodeProcess(info.hProcess, &code);
        if (code != 7) {
            std::printf("start %d ended with %lu\n", i, code);
            ++wrongExit;
        }
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    std::printf("%d starts: %d failed, %d ended otherwise\n", starts, failed, wrongExit);
    return failed || wrongExit ? 1 : 0;
}
