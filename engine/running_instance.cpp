#include "engine/running_instance.h"

#include "engine/paths.h"
#include "setup/owners.h"
#include "setup/product.h"
#include "setup/setup_state.h"

#include <windows.h>

#include <vector>

bool StopRunningInstance(const std::wstring& installDir) {
    // A test run never touches a real running copy.
    if (!setupOptions.testRoot.empty()) return true;

    const HWND window = FindWindowW(product::kAppWindowClass, nullptr);
    if (!window) return true;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return true;

    std::vector<wchar_t> image(32768, L'\0');
    DWORD length = DWORD(image.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) return true;
    if (!IsSameFile(std::wstring(image.data(), length), JoinPath(installDir, product::kAppExe))) return true;

    // One request, one bounded wait; the process is never terminated.
    PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitForSingleObject(process.get(), kStopWaitMs) == WAIT_OBJECT_0;
}
