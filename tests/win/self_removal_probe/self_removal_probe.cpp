// self_removal_probe.exe: plays a setup process at its very end. It settles
// the install folder and whether a self-removal is pending, calls
// StartSelfRemoval, reports what was started, and then stays alive until the
// test lets it go, so the test can see that nothing is removed before the
// setup process has exited.
//
//   self_removal_probe --install-dir=DIR --pending=0|1 --report=FILE
//                      --started-event=NAME --release-event=NAME
//
// The report holds "method=none|powershell|cmd" and "pid=N", one a line.
// Exit codes: 0 released, 2 bad command line, 3 events missing or never
// released within a minute.
#include "setup/finishing.h"
#include "setup/owners.h"
#include "setup/setup_state.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

bool TakeValue(const std::wstring& argument, const wchar_t* prefix, std::wstring& value) {
    const std::wstring p = prefix;
    if (argument.compare(0, p.size(), p) != 0) return false;
    value = argument.substr(p.size());
    return true;
}

const char* MethodName(SelfRemovalMethod method) {
    switch (method) {
        case SelfRemovalPowerShell: return "powershell";
        case SelfRemovalCmd: return "cmd";
        default: return "none";
    }
}

}  // namespace

int wmain() {
    int count = 0;
    UniqueLocalArgv arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments) return 2;
    std::wstring installDir, pending, report, startedName, releaseName;
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments.get()[i];
        if (!TakeValue(argument, L"--install-dir=", installDir) && !TakeValue(argument, L"--pending=", pending) &&
            !TakeValue(argument, L"--report=", report) && !TakeValue(argument, L"--started-event=", startedName) &&
            !TakeValue(argument, L"--release-event=", releaseName)) {
            return 2;
        }
    }
    if (installDir.empty() || (pending != L"0" && pending != L"1") || report.empty()) return 2;

    UniqueHandle started(OpenEventW(EVENT_MODIFY_STATE, FALSE, startedName.c_str()));
    UniqueHandle release(OpenEventW(SYNCHRONIZE, FALSE, releaseName.c_str()));
    if (!started || !release) return 3;

    setupOptions.installDir = installDir;
    selfRemovalPending = pending == L"1";
    StartSelfRemoval();

    const std::string text = std::string("method=") + MethodName(LastSelfRemovalMethod()) +
                             "\npid=" + std::to_string(GetCurrentProcessId()) + "\n";
    UniqueFileHandle file(
        CreateFileW(report.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), text.data(), DWORD(text.size()), &written, nullptr)) return 3;
    file.reset();

    SetEvent(started.get());
    return WaitForSingleObject(release.get(), 60000) == WAIT_OBJECT_0 ? 0 : 3;
}
