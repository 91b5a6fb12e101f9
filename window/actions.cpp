#include "window/actions.h"

#include "engine/install.h"
#include "engine/uninstall.h"
#include "setup/finishing.h"
#include "setup/product.h"
#include "setup/progress.h"
#include "setup/setup_state.h"
#include "window/animation.h"
#include "window/folder_picker.h"

#include <objbase.h>

#include <climits>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace {

// The bar starts visibly filled.
constexpr float kStartProgress = 0.06f;
constexpr wchar_t kLicenseMissingText[] = L"MIT License (c) Velmo Tulve contributors";
static_assert(std::wstring_view(kLicenseMissingText).starts_with(L"MIT License") &&
              std::wstring_view(kLicenseMissingText).ends_with(product::kPublisher));

bool IsOptionsPage(Page p) { return p == PageWelcome || p == PageMaintenance; }

// Toggles 7..10 flip these options.
constexpr bool SetupOptions::*kToggledOptions[] = {&SetupOptions::autoStart, &SetupOptions::startMenuShortcut,
                                                   &SetupOptions::launchWhenFinished, &SetupOptions::deleteData};
static_assert(std::size(kToggledOptions) == ActionToggleDeleteData - ActionToggleAutoStart + 1);

}  // namespace

int32_t HitTest(float x, float y) {
    for (auto target = hitTargets.rbegin(); target != hitTargets.rend(); ++target) {
        if (x >= target->left && x < target->right && y >= target->top && y < target->bottom) return target->id;
    }
    return ActionNone;
}

bool FocusIsDrawn() {
    if (focusedAction <= ActionClose) return false;  // none, or a caption button
    for (const HitTarget& target : hitTargets) {
        if (target.id == focusedAction) return true;
    }
    return false;
}

void CycleFocus(bool backwards) {
    // The focus order: the targets in registration order, the caption
    // buttons left out (they are for the mouse only).
    int32_t order[32];
    int count = 0, at = -1;
    for (const HitTarget& target : hitTargets) {
        if (target.id == ActionMinimize || target.id == ActionClose || count == 32) continue;
        if (at < 0 && target.id == focusedAction) at = count;
        order[count++] = target.id;
    }
    if (count == 0) {
        focusedAction = ActionNone;
        return;
    }
    focusedAction = order[at < 0 ? (backwards ? count - 1 : 0) : (at + (backwards ? count - 1 : 1)) % count];
    RequestRepaint();
}

void RefreshWindow(Page previous) {
    UpdateWindowHeight(false);
    if (page != previous) {
        focusedAction = ActionNone;
        // The old page stays on screen until the next paint. Its targets
        // must not fire actions on the new page: a double click on
        // "Uninstall" would otherwise also press "Uninstall now". A press
        // still held goes with its page.
        hitTargets.clear();
        pressedAction = ActionNone;
        pageDrawn = false;
        pageChangedAt = DWORD(GetMessageTime());
    }
    StartAnimation();
    RequestRepaint();
}

void DispatchAction(int32_t id) {
    const Page previous = page;
    const HWND window = mainWindow;
    // The worker reads the options while it runs; they stay as they are.
    if (operationRunning.load() && id >= ActionBrowse && id <= ActionToggleDeleteData) id = ActionNone;
    switch (id) {
        case ActionMinimize: ShowWindow(window, SW_MINIMIZE); break;
        case ActionClose:
        case ActionFinish: SendMessageW(window, WM_CLOSE, 0, 0); return;
        case ActionInstall:
            if (IsOptionsPage(page)) StartOperation(OperationInstall);
            break;
        case ActionCustomize:
            if (IsOptionsPage(page)) {
                customizeExpanded = !customizeExpanded;
                // The focus must not stay on a hidden option.
                if (!customizeExpanded && focusedAction >= ActionBrowse && focusedAction <= ActionToggleLaunch)
                    focusedAction = ActionCustomize;
            } else if (page == PageConfirmUninstall) {
                // "Cancel": an uninstall run has nothing to go back to.
                if (setupOptions.uninstallMode) {
                    DestroyWindow(window);
                    return;
                }
                page = existingInstall ? PageMaintenance : PageWelcome;
            }
            break;
        case ActionUninstall:
            if (page == PageMaintenance) {
                page = PageConfirmUninstall;
            } else if (page == PageConfirmUninstall) {
                StartOperation(OperationUninstall);
            }
            break;
        case ActionBrowse: ChooseInstallFolder(); break;
        case ActionToggleAutoStart:
        case ActionToggleShortcut:
        case ActionToggleLaunch:
        case ActionToggleDeleteData: {
            bool& option = setupOptions.*kToggledOptions[id - ActionToggleAutoStart];
            option = !option;
            break;
        }
        case ActionViewLicense:
            // From the licence itself it would be its own way back.
            if (page == PageLicense) break;
            if (licenseText.empty()) LoadLicenseText();
            returnPage = page;
            page = PageLicense;
            break;
        case ActionBack: page = returnPage; break;
        case ActionLaunch:
            LaunchApplication();
            DestroyWindow(window);
            return;
        case ActionRetry:
            // Back to the page the failed operation began on (an install only
            // begins on the page of its installation's state, an uninstall on
            // the confirmation), with every option as it was.
            if (page == PageResult && !operationSucceeded) {
                page = operationKind == OperationUninstall ? PageConfirmUninstall
                       : existingInstall                   ? PageMaintenance
                                                           : PageWelcome;
                operationSucceeded = true;  // no failure shown any more
            }
            break;
        default: break;
    }
    RefreshWindow(previous);
}

void StartOperation(OperationKind kind) {
    if (operationRunning.exchange(true)) return;
    operationKind = kind;
    page = PageProgress;
    focusedAction = ActionNone;
    progressTarget = progressShown = kStartProgress;
    operationIsUpdate = existingInstall;
    statusText = kind == OperationUninstall ? L"Preparing to uninstall\u2026" : L"Starting installation\u2026";
    errorText.clear();

    // The kind travels by value in the thread's parameter: nothing to
    // allocate, nothing shared.
    const HANDLE thread =
        CreateThread(nullptr, 0, OperationThreadMain, reinterpret_cast<void*>(intptr_t(kind)), 0, nullptr);
    if (thread) {
        CloseHandle(thread);  // detached: the final message is the only way back
        return;
    }
    // No worker will ever report: fail at once (with the receiver's own
    // text), so that the window leaves the progress page and can close.
    SendMessageW(mainWindow, WM_SETUP_PROGRESS, kProgressFailed, 0);
}

DWORD WINAPI OperationThreadMain(void* kind) {
    // The worker's own apartment; a failure here shows up as the
    // transaction's own error (the shortcut needs COM).
    const bool comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    std::wstring failure;
    const bool succeeded = intptr_t(kind) == OperationUninstall ? RunUninstall(failure) : RunInstall(failure);
    if (comReady) CoUninitialize();
    PostProgressMessage(succeeded ? kProgressSucceeded : kProgressFailed, succeeded ? nullptr : failure.c_str());
    return 0;
}

void LoadLicenseTextFrom(HMODULE module) {
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(product::kLicenseResource), RT_RCDATA);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const DWORD size = found ? SizeofResource(module, found) : 0;
    const char* const data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    // No terminator and no byte-order mark: the size is the length. Invalid
    // sequences become U+FFFD (no MB_ERR_INVALID_CHARS).
    const int length =
        (data && size > 0 && size <= INT_MAX) ? MultiByteToWideChar(CP_UTF8, 0, data, int(size), nullptr, 0) : 0;
    if (length <= 0) {
        // Not there: the whole line; there but not decodable: "MIT License".
        licenseText.assign(kLicenseMissingText, found ? 11 : std::size(kLicenseMissingText) - 1);
        return;
    }
    licenseText.resize(size_t(length));
    MultiByteToWideChar(CP_UTF8, 0, data, int(size), licenseText.data(), length);
}

// A null module is this program's own.
void LoadLicenseText() { LoadLicenseTextFrom(nullptr); }
