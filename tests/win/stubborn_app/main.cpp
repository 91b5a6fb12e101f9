// stubborn-app.exe: a stand-in for VelmoTulve.exe that does not close on request.
//
// The setup program stops a running application by posting WM_CLOSE to its
// host window and waiting a few seconds for the process to end. This program
// owns a window of the same class but ignores WM_CLOSE, or obeys it late, so
// that tests can show both the give-up path and the slow-but-successful one.
//
//   --ready-event=NAME          set this event (the test creates it) once the
//                               window exists, so the test need not sleep
//   --exit-after-ms=N           end after N ms whatever happens (default 30000),
//                               so a copy the test forgot never outlives the run
//   --exit-on-close-after-ms=N  end N ms after the first WM_CLOSE
//
// Exit codes: 0 ended after WM_CLOSE, 1 lifetime over, 2 bad command line,
// 3 could not read the command line, create the window or set the ready event.

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string_view>
#include <utility>

namespace {

constexpr wchar_t kHostClass[] = L"StandaloneVelmoTulveHost";

constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT_PTR kCloseTimer = 2;
constexpr UINT kDefaultLifetimeMs = 30000;

constexpr int kExitAfterClose = 0;
constexpr int kExitLifetimeOver = 1;
constexpr int kExitBadCommandLine = 2;
constexpr int kExitSetupFailed = 3;

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// The argument vector from CommandLineToArgvW, which is one LocalAlloc block.
class OwnedArgv {
public:
    OwnedArgv(LPWSTR* argv, int argc) : argv_(argv), argc_(argv != nullptr ? argc : 0) {}
    OwnedArgv(OwnedArgv&& other) noexcept
        : argv_(std::exchange(other.argv_, nullptr)), argc_(std::exchange(other.argc_, 0)) {}
    OwnedArgv& operator=(OwnedArgv&& other) noexcept {
        std::swap(argv_, other.argv_);
        std::swap(argc_, other.argc_);
        return *this;
    }
    OwnedArgv(const OwnedArgv&) = delete;
    OwnedArgv& operator=(const OwnedArgv&) = delete;
    ~OwnedArgv() {
        if (argv_ != nullptr) LocalFree(argv_);
    }
    explicit operator bool() const { return argv_ != nullptr; }
    int size() const { return argc_; }
    std::wstring_view operator[](int index) const { return argv_[index]; }

private:
    LPWSTR* argv_;
    int argc_;
};

struct Options {
    std::wstring_view ready_event;
    UINT lifetime_ms = kDefaultLifetimeMs;
    std::optional<UINT> close_delay_ms;
};

struct State {
    Options options;
    bool close_timer_armed = false;
    int exit_code = kExitLifetimeOver;
};

// Decimal milliseconds within what SetTimer accepts.
std::optional<UINT> parse_ms(std::wstring_view text) {
    if (text.empty()) return std::nullopt;
    unsigned long long value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
        if (value > USER_TIMER_MAXIMUM) return std::nullopt;
    }
    return static_cast<UINT>(value);
}

std::optional<Options> parse_options(const OwnedArgv& args) {
    constexpr std::wstring_view kReady = L"--ready-event=";
    constexpr std::wstring_view kLifetime = L"--exit-after-ms=";
    constexpr std::wstring_view kCloseDelay = L"--exit-on-close-after-ms=";
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        if (arg.starts_with(kReady) && arg.size() > kReady.size()) {
            options.ready_event = arg.substr(kReady.size());
        } else if (arg.starts_with(kLifetime)) {
            const auto ms = parse_ms(arg.substr(kLifetime.size()));
            if (!ms) return std::nullopt;
            options.lifetime_ms = *ms;
        } else if (arg.starts_with(kCloseDelay)) {
            options.close_delay_ms = parse_ms(arg.substr(kCloseDelay.size()));
            if (!options.close_delay_ms) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// CommandLineToArgvW's strings end in a terminator, so the view's data is a
// proper C string.
bool signal_ready(std::wstring_view name) {
    if (name.empty()) return true;
    OwnedHandle event{OpenEventW(EVENT_MODIFY_STATE, FALSE, name.data())};
    return event.get() != nullptr && SetEvent(event.get());
}

LRESULT on_nccreate(HWND window, WPARAM wparam, LPARAM lparam) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, WM_NCCREATE, wparam, lparam);
}

LRESULT on_create(HWND window, const State& state) {
    return SetTimer(window, kLifetimeTimer, state.options.lifetime_ms, nullptr) != 0 ? 0 : -1;
}

// The point of this program: the window survives the request. Only the first
// WM_CLOSE starts the delay, so repeated requests cannot postpone the end.
LRESULT on_close(HWND window, State& state) {
    if (state.options.close_delay_ms && !state.close_timer_armed) {
        state.close_timer_armed = SetTimer(window, kCloseTimer, *state.options.close_delay_ms, nullptr) != 0;
    }
    return 0;
}

LRESULT on_timer(HWND window, WPARAM timer, State& state) {
    if (timer == kCloseTimer) {
        state.exit_code = kExitAfterClose;
    } else if (timer == kLifetimeTimer) {
        state.exit_code = kExitLifetimeOver;
    } else {
        return 0;
    }
    DestroyWindow(window);
    return 0;
}

LRESULT on_destroy(const State& state) {
    PostQuitMessage(state.exit_code);
    return 0;
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) return on_nccreate(window, wparam, lparam);
    auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);

    switch (message) {
    case WM_CREATE:
        return on_create(window, *state);
    case WM_CLOSE:
        return on_close(window, *state);
    case WM_TIMER:
        return on_timer(window, wparam, *state);
    case WM_DESTROY:
        return on_destroy(*state);
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

HWND create_host_window(HINSTANCE instance, State& state) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.lpszClassName = kHostClass;
    if (RegisterClassExW(&window_class) == 0) return nullptr;
    // Top-level and hidden, like the real application's window.
    return CreateWindowExW(WS_EX_TOOLWINDOW, kHostClass, L"stubborn-app", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           instance, &state);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const OwnedArgv args{argv, argc};
    if (!args) return kExitSetupFailed;
    const auto options = parse_options(args);
    if (!options) return kExitBadCommandLine;

    State state;
    state.options = *options;
    const HWND window = create_host_window(instance, state);
    if (window == nullptr) return kExitSetupFailed;
    if (!signal_ready(state.options.ready_event)) {
        DestroyWindow(window);
        return kExitSetupFailed;
    }

    MSG message{};
    for (;;) {
        const BOOL result = GetMessageW(&message, nullptr, 0, 0);
        if (result == 0) return static_cast<int>(message.wParam);
        if (result == -1) return kExitSetupFailed;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
