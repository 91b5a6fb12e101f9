// VelmoTulve.exe: the tray program that the setup program installs.
//
// For now it is an icon in the notification area whose menu quits it. The part
// that must not change lightly is its contract with the setup program, which
// has to stop a running copy before it replaces or removes the file: the setup
// program finds the hidden top-level window of class kHostClass, checks that
// the window's process runs the installed image, posts WM_CLOSE and waits a few
// seconds for the process to end. So WM_CLOSE always ends the process at once,
// without asking anything.
//
// One copy runs per logon session; a second start exits immediately.

#include <windows.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "resource.h"

namespace {

// Also spelled in the setup program's own header, which this separate program
// does not include. Change both or neither.
constexpr wchar_t kHostClass[] = L"StandaloneVelmoTulveHost";
constexpr wchar_t kInstanceMutex[] = L"Local\\VelmoTulveApp";

constexpr wchar_t kProductName[] = L"Velmo Tulve";
constexpr wchar_t kQuitText[] = L"Quit Velmo Tulve";

constexpr UINT kTrayCallback = WM_APP + 1;
constexpr UINT kTrayIconId = 1;
constexpr UINT kQuitCommand = 1;  // TrackPopupMenuEx returns 0 for "nothing chosen"

// At logon the shell may not take icons yet; keep trying for about a minute.
constexpr UINT_PTR kTrayRetryTimer = 1;
constexpr UINT kTrayRetryIntervalMs = 3000;
constexpr int kTrayRetryAttempts = 20;

// --- owners --------------------------------------------------------------------

template <typename T, typename Traits>
class Owned {
public:
    Owned() = default;
    explicit Owned(T value) : value_(value) {}
    Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, T{});
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != T{}; }
    void reset(T value = T{}) {
        if (value_ != T{}) Traits::close(value_);
        value_ = value;
    }

private:
    T value_{};
};

struct HandleTraits {
    static void close(HANDLE handle) { CloseHandle(handle); }
};
struct IconTraits {
    static void close(HICON icon) { DestroyIcon(icon); }
};
struct MenuTraits {
    static void close(HMENU menu) { DestroyMenu(menu); }
};

using OwnedHandle = Owned<HANDLE, HandleTraits>;
using OwnedIcon = Owned<HICON, IconTraits>;
using OwnedMenu = Owned<HMENU, MenuTraits>;

// --- state -----------------------------------------------------------------------

struct AppState {
    HINSTANCE instance = nullptr;
    UINT taskbar_created = 0;  // registered message; 0 if registration failed
    OwnedIcon tray_icon;
    bool tray_shown = false;
    bool tray_version_4 = false;  // decides how tray callbacks are packed
    int tray_attempts_left = 0;
};

AppState* state_of(HWND window) {
    return reinterpret_cast<AppState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// --- notification area --------------------------------------------------------

OwnedIcon load_tray_icon(HINSTANCE instance) {
    // The small-icon metric is the size the notification area draws at; the
    // resource holds several sizes and LoadImageW picks the closest one.
    return OwnedIcon{static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VELMOTULVE), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                   LR_DEFAULTCOLOR))};
}

NOTIFYICONDATAW tray_data(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = kTrayIconId;
    return data;
}

bool add_tray_icon(HWND window, AppState& state) {
    NOTIFYICONDATAW data = tray_data(window);
    // NIF_SHOWTIP: with version 4 the shell shows the plain tooltip only on request.
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = kTrayCallback;
    data.hIcon = state.tray_icon ? state.tray_icon.get() : LoadIconW(nullptr, IDI_APPLICATION);
    static_assert(sizeof kProductName <= sizeof NOTIFYICONDATAW::szTip);
    std::copy(std::begin(kProductName), std::end(kProductName), data.szTip);

    // A busy shell can time out on NIM_ADD and still add the icon afterwards;
    // the next attempt then finds it there, and only NIM_MODIFY succeeds.
    if (!Shell_NotifyIconW(NIM_ADD, &data) && !Shell_NotifyIconW(NIM_MODIFY, &data)) return false;

    data.uVersion = NOTIFYICON_VERSION_4;
    state.tray_version_4 = Shell_NotifyIconW(NIM_SETVERSION, &data) != FALSE;
    state.tray_shown = true;
    return true;
}

void remove_tray_icon(HWND window, AppState& state) {
    if (!state.tray_shown) return;
    NOTIFYICONDATAW data = tray_data(window);
    Shell_NotifyIconW(NIM_DELETE, &data);
    state.tray_shown = false;
}

// Without a tray icon the program still runs: the setup program can stop it,
// and the shell announces itself with TaskbarCreated when it arrives.
void show_tray_icon(HWND window, AppState& state) {
    if (add_tray_icon(window, state)) {
        KillTimer(window, kTrayRetryTimer);
        return;
    }
    state.tray_attempts_left = kTrayRetryAttempts;
    SetTimer(window, kTrayRetryTimer, kTrayRetryIntervalMs, nullptr);
}

void show_tray_menu(HWND window, POINT anchor) {
    OwnedMenu menu{CreatePopupMenu()};
    if (!menu || !AppendMenuW(menu.get(), MF_STRING, kQuitCommand, kQuitText)) return;

    // A tray menu only closes on a click elsewhere if its owner is the
    // foreground window. The message posted afterwards is the shell's old
    // remedy for the next menu vanishing as soon as it opens.
    SetForegroundWindow(window);
    UINT flags = TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN | TPM_LEFTALIGN;
    if (GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0) flags |= TPM_RIGHTALIGN;  // the user's handedness setting
    const auto command = static_cast<UINT>(TrackPopupMenuEx(menu.get(), flags, anchor.x, anchor.y, window, nullptr));
    PostMessageW(window, WM_NULL, 0, 0);

    // The window may already be gone: a WM_CLOSE posted while the menu was
    // open is dispatched by the menu's own message loop.
    if (command == kQuitCommand && IsWindow(window)) DestroyWindow(window);
}

// --- message handlers ---------------------------------------------------------

LRESULT on_nccreate(HWND window, WPARAM wparam, LPARAM lparam) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, WM_NCCREATE, wparam, lparam);
}

LRESULT on_create(HWND window, AppState& state) {
    // If this process runs elevated, UIPI would drop the shell's broadcast.
    if (state.taskbar_created != 0)
        ChangeWindowMessageFilterEx(window, state.taskbar_created, MSGFLT_ALLOW, nullptr);
    show_tray_icon(window, state);
    return 0;
}

LRESULT on_close(HWND window) {
    DestroyWindow(window);
    return 0;
}

LRESULT on_destroy(HWND window, AppState& state) {
    remove_tray_icon(window, state);
    PostQuitMessage(0);
    return 0;
}

LRESULT on_timer(HWND window, WPARAM timer, AppState& state) {
    if (timer != kTrayRetryTimer) return 0;
    if (add_tray_icon(window, state) || --state.tray_attempts_left <= 0) KillTimer(window, kTrayRetryTimer);
    return 0;
}

LRESULT on_tray_callback(HWND window, WPARAM wparam, LPARAM lparam, const AppState& state) {
    if (state.tray_version_4) {
        // The event is in the low word of lParam; wParam carries the anchor
        // point, which is the icon itself when the keyboard was used.
        if (HIWORD(lparam) != kTrayIconId) return 0;
        switch (LOWORD(lparam)) {
        case NIN_SELECT:
        case NIN_KEYSELECT:
        case WM_CONTEXTMENU:
            show_tray_menu(window, POINT{GET_X_LPARAM(wparam), GET_Y_LPARAM(wparam)});
            break;
        default:
            break;
        }
        return 0;
    }
    // Older shells pass the bare mouse message and no position.
    if (wparam != kTrayIconId) return 0;
    if (lparam == WM_LBUTTONUP || lparam == WM_RBUTTONUP) {
        POINT cursor{};
        GetCursorPos(&cursor);
        show_tray_menu(window, cursor);
    }
    return 0;
}

LRESULT on_taskbar_created(HWND window, AppState& state) {
    // A new shell knows none of the old icons.
    state.tray_shown = false;
    show_tray_icon(window, state);
    return 0;
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) return on_nccreate(window, wparam, lparam);
    AppState* state = state_of(window);
    if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);

    switch (message) {
    case WM_CREATE:
        return on_create(window, *state);
    case WM_CLOSE:
        return on_close(window);
    case WM_DESTROY:
        return on_destroy(window, *state);
    case WM_TIMER:
        return on_timer(window, wparam, *state);
    case kTrayCallback:
        return on_tray_callback(window, wparam, lparam, *state);
    default:
        if (state->taskbar_created != 0 && message == state->taskbar_created)
            return on_taskbar_created(window, *state);
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

HWND create_host_window(AppState& state) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = state.instance;
    window_class.hIcon = LoadIconW(state.instance, MAKEINTRESOURCEW(IDI_VELMOTULVE));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kHostClass;
    if (RegisterClassExW(&window_class) == 0) return nullptr;

    // Top-level and never shown, not a message-only window: FindWindowW, which
    // the setup program relies on, does not see message-only windows.
    return CreateWindowExW(WS_EX_TOOLWINDOW, kHostClass, kProductName, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           state.instance, &state);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The mutex only has to exist; nobody waits on it. Access denied means it
    // exists under another token, such as an elevated copy in this session.
    OwnedHandle instance_mutex{CreateMutexW(nullptr, FALSE, kInstanceMutex)};
    const DWORD mutex_error = GetLastError();
    if (mutex_error == ERROR_ALREADY_EXISTS || (!instance_mutex && mutex_error == ERROR_ACCESS_DENIED)) return 0;

    AppState state;
    state.instance = instance;
    state.taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
    state.tray_icon = load_tray_icon(instance);

    if (create_host_window(state) == nullptr) return 1;

    MSG message{};
    for (;;) {
        const BOOL result = GetMessageW(&message, nullptr, 0, 0);
        if (result == 0) return static_cast<int>(message.wParam);
        if (result == -1) return 1;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
