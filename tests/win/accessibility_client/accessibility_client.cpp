// A screen reader stand-in in a process of its own: it reads and drives the
// setup window only through Microsoft Active Accessibility and WinEvents.
//   accessibility_client dump HWND        the object and its children, a line each
//                                         (line breaks in texts written as \n)
//   accessibility_client do HWND NAME...  waits for a child of each name in turn
//                                         and runs its default action
//   accessibility_client events HWND      Tab, then a check box: the focus and
//                                         state-change events that follow; then
//                                         closes the window and calls again
// Every wait ends on a WinEvent or after 20 s; exit code 0 on success.
#include <oleacc.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

HWND target = nullptr;

// One line of output, UTF-8 (the test reads it so; wprintf would narrow it
// to the console's code page).
template <typename... Args>
void Print(const wchar_t* format, Args... args) {
    static wchar_t line[16384];
    const int length = swprintf(line, 16384, format, args...);
    static char utf8[65536];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line, length, utf8, sizeof(utf8), nullptr, nullptr);
    fwrite(utf8, 1, size_t(bytes), stdout);
    fflush(stdout);
}
std::vector<std::pair<DWORD, LONG>> events;  // of the target's client object

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (window == target && object == OBJID_CLIENT) events.push_back({event, child});
}

// Pumps messages until an event arrives or `ms` have passed.
void WaitForEvents(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    const size_t before = events.size();
    while (events.size() == before && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(end - GetTickCount64()), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

IAccessible* Client() {
    IAccessible* client = nullptr;
    AccessibleObjectFromWindow(target, DWORD(OBJID_CLIENT), IID_IAccessible, reinterpret_cast<void**>(&client));
    return client;
}

VARIANT Child(LONG id) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// One of the string properties, empty when there is none.
template <typename Getter>
std::wstring Text(IAccessible* a, LONG id, Getter getter) {
    BSTR text = nullptr;
    const HRESULT hr = (a->*getter)(Child(id), &text);
    std::wstring s;
    for (const wchar_t* c = SUCCEEDED(hr) && text ? text : L""; *c; ++c) {
        if (*c == L'\r') continue;
        s += *c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, *c);
    }
    SysFreeString(text);
    return s;
}

std::wstring Name(IAccessible* a, LONG id) { return Text(a, id, &IAccessible::get_accName); }

// The child of that name; 0 when there is none.
LONG ChildNamed(IAccessible* a, const wchar_t* name) {
    LONG count = 0;
    a->get_accChildCount(&count);
    for (LONG id = 1; id <= count; ++id) {
        if (Name(a, id) == name) return id;
    }
    return 0;
}

void Dump(IAccessible* a) {
    LONG count = 0;
    a->get_accChildCount(&count);
    std::vector<VARIANT> children(size_t(count) + 1);
    LONG obtained = 0;
    AccessibleChildren(a, 0, count, children.data(), &obtained);
    Print(L"children %ld %ld\n", count, obtained);
    for (LONG id = 0; id <= count; ++id) {
        const std::wstring description = Text(a, id, &IAccessible::get_accDescription);
        const std::wstring value = Text(a, id, &IAccessible::get_accValue);
        const std::wstring action = Text(a, id, &IAccessible::get_accDefaultAction);
        VARIANT role{}, state{};
        a->get_accRole(Child(id), &role);
        a->get_accState(Child(id), &state);
        LONG x = 0, y = 0, w = 0, h = 0;
        a->accLocation(&x, &y, &w, &h, Child(id));
        IDispatch* dispatch = nullptr;
        const HRESULT child = id ? a->get_accChild(Child(id), &dispatch) : S_FALSE;
        VARIANT hit{};
        a->accHitTest(x + w / 2, y + h / 2, &hit);
        Print(L"%ld|%ls|%ld|%lx|%ld,%ld,%ld,%ld|%ls|%ls|%ls|%lx|%ld\n", id, Name(a, id).c_str(), role.lVal, state.lVal,
              x, y, w, h, action.c_str(), description.c_str(), value.c_str(), unsigned(child), hit.lVal);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    target = reinterpret_cast<HWND>(wcstoull(argv[2], nullptr, 0));
    DWORD processId = 0;
    GetWindowThreadProcessId(target, &processId);
    SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, OnEvent, processId, 0, WINEVENT_OUTOFCONTEXT);
    IAccessible* a = Client();
    if (!a) return 3;
    const std::wstring mode = argv[1];
    if (mode == L"dump") {
        Dump(a);
    } else if (mode == L"do") {
        for (int i = 3; i < argc; ++i) {
            LONG id = 0;
            for (ULONGLONG end = GetTickCount64() + 20000; !(id = ChildNamed(a, argv[i])) && GetTickCount64() < end;) {
                WaitForEvents(DWORD(end - GetTickCount64()));
            }
            if (!id || FAILED(a->accDoDefaultAction(Child(id)))) {
                Print(L"no %ls\n", argv[i]);
                return 1;
            }
            Print(L"done %ls\n", argv[i]);
        }
    } else if (mode == L"events") {
        const auto await = [](DWORD event) {
            for (ULONGLONG end = GetTickCount64() + 20000; GetTickCount64() < end; WaitForEvents(1000)) {
                for (const auto& e : events) {
                    if (e.first == event) return e.second;
                }
            }
            return -1L;
        };
        PostMessageW(target, WM_KEYDOWN, VK_TAB, 1);
        Print(L"focus %ld\n", await(EVENT_OBJECT_FOCUS));
        VARIANT focus{};
        a->get_accFocus(&focus);
        Print(L"accFocus %ld\n", focus.vt == VT_I4 ? focus.lVal : -1);
        const LONG box = ChildNamed(a, L"Add Start Menu shortcut");
        a->accDoDefaultAction(Child(box));
        Print(L"box %ld state %ld\n", box, await(EVENT_OBJECT_STATECHANGE));
        // Once the window is gone the object answers, but with a failure.
        const HANDLE setup = OpenProcess(SYNCHRONIZE, FALSE, processId);
        PostMessageW(target, WM_CLOSE, 0, 0);
        if (setup) WaitForSingleObject(setup, 20000);
        LONG count = 0;
        Print(L"after close %lx\n", unsigned(a->get_accChildCount(&count)));
    }
    a->Release();
    return 0;
}
