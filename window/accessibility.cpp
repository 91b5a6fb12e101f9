#include "window/accessibility.h"

#include "render/page_painters.h"
#include "setup/owners.h"
#include "setup/product.h"
#include "setup/progress.h"
#include "setup/setup_state.h"
#include "setup/system_library.h"
#include "window/ui_state.h"

#include <oleacc.h>

#include <cmath>
#include <cwchar>
#include <string>

namespace {

using AccessibleObjectFromWindowFunction = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
using LresultFromObjectFunction = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

// oleacc.dll is not a known DLL: from System32 only, at run time.
HMODULE Oleacc() {
    static const HMODULE oleacc = LoadSystemLibrary(L"oleacc.dll");
    return oleacc;
}

bool IsCheckBox(int32_t id) { return id >= ActionToggleAutoStart && id <= ActionToggleDeleteData; }

bool IsChecked(int32_t id) {
    const SetupOptions& o = setupOptions;
    return id == ActionToggleAutoStart    ? o.autoStart
           : id == ActionToggleShortcut   ? o.startMenuShortcut
           : id == ActionToggleLaunch     ? o.launchWhenFinished
           : id == ActionToggleDeleteData ? o.deleteData
                                          : false;
}

// The children in reading order: the frame's targets, each of its texts
// after the targets drawn before it. A page change drops the targets of the
// frame still on screen (RefreshWindow); its texts go with them.
size_t TextCount() { return hitTargets.empty() ? 0 : frameTextCount; }
LONG ChildCount() { return LONG(hitTargets.size() + TextCount()); }

// A child: one of the two is set.
struct Element {
    const HitTarget* target = nullptr;
    const FrameText* text = nullptr;
};

// Child `id`, 1 to ChildCount().
Element ElementAt(LONG id) {
    // No text comes after more targets than the frame has: the loop never
    // runs past hitTargets.
    size_t targets = 0, texts = 0;
    const size_t textCount = TextCount();
    Element e;
    for (LONG i = 0; i < id; ++i) {
        e = Element{};
        if (texts < textCount && frameTexts[texts].targetsBefore <= targets) {
            e.text = &frameTexts[texts++];
        } else {
            e.target = &hitTargets[targets++];
        }
    }
    return e;
}

// The child id of the first target of `action`; 0 for none.
LONG ChildOf(int32_t action) {
    for (LONG child = 1; child <= ChildCount(); ++child) {
        const HitTarget* const target = ElementAt(child).target;
        if (target && target->id == action) return child;
    }
    return 0;
}

HRESULT ReturnString(std::wstring_view text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), UINT(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void SetChild(VARIANT* out, LONG child) {
    out->vt = VT_I4;
    out->lVal = child;
}

std::wstring Description() {
    const wchar_t* title;
    std::wstring_view subtitle;
    PageTexts(title, subtitle);
    std::wstring text = title;
    // A title that ends in punctuation of its own ("Uninstall Velmo Tulve?")
    // gets no full stop after it.
    if (!subtitle.empty()) text.append(!text.empty() && wcschr(L"?!.", text.back()) ? L" " : L". ").append(subtitle);
    return text;
}

// Calls arrive on the UI thread: the object lives in its single-threaded
// apartment and other processes reach it through COM's marshalling.
class ClientAccessible final : public IAccessible {
public:
    explicit ClientAccessible(HWND window) : window_(window) {}
    void Disconnect() { window_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid != __uuidof(IUnknown) && iid != __uuidof(IDispatch) && iid != __uuidof(IAccessible)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return ULONG(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        *parent = nullptr;
        if (!window_) return RPC_E_DISCONNECTED;
        const auto fromWindow = SystemProc<AccessibleObjectFromWindowFunction>(Oleacc(), "AccessibleObjectFromWindow");
        return fromWindow
                   ? fromWindow(window_, DWORD(OBJID_WINDOW), __uuidof(IDispatch), reinterpret_cast<void**>(parent))
                   : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        *count = ChildCount();
        return window_ ? S_OK : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        *out = nullptr;
        Element e;
        const HRESULT hr = Resolve(child, e);
        return FAILED(hr) ? hr : e.target || e.text ? S_FALSE : E_INVALIDARG;  // simple elements only
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        *name = nullptr;
        Element e;
        const HRESULT hr = Resolve(child, e);
        if (FAILED(hr)) return hr;
        // The licence view is named by the subtitle drawn above it.
        if (e.text) return ReturnString(e.text->document ? L"MIT License" : FrameTextString(*e.text), name);
        return ReturnString(e.target ? (e.target->name ? e.target->name : L"") : product::kWindowTitle, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        *value = nullptr;
        Element e;
        const HRESULT hr = Resolve(child, e);
        if (FAILED(hr)) return hr;
        if (e.text) return e.text->document ? ReturnString(FrameTextString(*e.text), value) : S_FALSE;
        return e.target || page != PageProgress ? S_FALSE : ReturnString(PercentageText(progressShown), value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        *description = nullptr;
        Element e;
        const HRESULT hr = Resolve(child, e);
        if (FAILED(hr)) return hr;
        return e.target || e.text ? S_FALSE : ReturnString(Description(), description);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        role->vt = VT_EMPTY;
        Element e;
        const HRESULT hr = Resolve(child, e);
        if (FAILED(hr)) return hr;
        const HitTarget* const target = e.target;
        SetChild(role, e.text                   ? (e.text->document ? ROLE_SYSTEM_TEXT : ROLE_SYSTEM_STATICTEXT)
                       : !target                ? ROLE_SYSTEM_CLIENT
                       : IsCheckBox(target->id) ? ROLE_SYSTEM_CHECKBUTTON
                       : target->id == ActionViewLicense ? ROLE_SYSTEM_LINK
                                                         : ROLE_SYSTEM_PUSHBUTTON);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        state->vt = VT_EMPTY;
        Element e;
        const HRESULT hr = Resolve(child, e);
        if (FAILED(hr)) return hr;
        const HitTarget* const target = e.target;
        LONG bits = STATE_SYSTEM_FOCUSABLE;
        if (e.text) {
            bits = STATE_SYSTEM_READONLY;
        } else if (!target) {
            if (GetFocus() == window_ && focusedAction == ActionNone) bits |= STATE_SYSTEM_FOCUSED;
        } else {
            const int32_t id = target->id;
            // The caption buttons are for the mouse only; closing waits for
            // a running operation.
            if (id == ActionMinimize || id == ActionClose) bits = 0;
            if (id == focusedAction) bits |= STATE_SYSTEM_FOCUSED;
            if (IsChecked(id)) bits |= STATE_SYSTEM_CHECKED;
            if ((id == ActionClose || id == ActionFinish) && operationRunning.load()) bits |= STATE_SYSTEM_UNAVAILABLE;
            if (id == ActionCustomize && (page == PageWelcome || page == PageMaintenance)) {
                bits |= customizeExpanded ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED;
            }
        }
        SetChild(state, bits);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override {
        *help = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        *file = nullptr;
        *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* shortcut) override {
        *shortcut = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        focus->vt = VT_EMPTY;
        if (!window_) return RPC_E_DISCONNECTED;
        if (GetFocus() != window_) return S_FALSE;
        SetChild(focus, focusedAction ? ChildOf(focusedAction) : CHILDID_SELF);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        selection->vt = VT_EMPTY;
        return window_ ? S_FALSE : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        *action = nullptr;
        Element e;
        const HRESULT hr = Resolve(child, e);
        const HitTarget* const target = e.target;
        if (FAILED(hr) || !target) return FAILED(hr) ? hr : S_FALSE;
        return ReturnString(IsCheckBox(target->id)            ? (IsChecked(target->id) ? L"Uncheck" : L"Check")
                            : target->id == ActionViewLicense ? L"Jump"
                                                              : L"Press",
                            action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        *left = *top = *width = *height = 0;
        Element e;
        const HRESULT hr = Resolve(child, e);
        if (FAILED(hr)) return hr;
        // A borderless popup: its client area is its window rectangle.
        RECT client{};
        GetWindowRect(window_, &client);
        if (!e.target && !e.text) {
            *left = client.left;
            *top = client.top;
            *width = client.right - client.left;
            *height = client.bottom - client.top;
            return S_OK;
        }
        // DIPs to pixels, each edge rounded half away from zero.
        const HitTarget& area = Area(e);
        const float scale = float(dpi) / 96.0f;
        const LONG l = lroundf(area.left * scale), t = lroundf(area.top * scale);
        *left = client.left + l;
        *top = client.top + t;
        *width = lroundf(area.right * scale) - l;
        *height = lroundf(area.bottom * scale) - t;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        end->vt = VT_EMPTY;
        Element e;
        const HRESULT hr = Resolve(start, e);
        if (FAILED(hr)) return hr;
        const LONG count = ChildCount();
        LONG to = 0;
        if (!e.target && !e.text) {
            to = direction == NAVDIR_FIRSTCHILD ? 1 : direction == NAVDIR_LASTCHILD ? count : 0;
        } else if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT) {
            to = start.lVal + 1;
        } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT) {
            to = start.lVal - 1;
        }
        if (to < 1 || to > count) return S_FALSE;
        SetChild(end, to);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override {
        hit->vt = VT_EMPTY;
        if (!window_) return RPC_E_DISCONNECTED;
        RECT client{};
        GetWindowRect(window_, &client);  // the client area, as above
        if (x < client.left || y < client.top || x >= client.right || y >= client.bottom) return S_FALSE;
        const float dipX = float(x - client.left) * 96.0f / float(dpi), dipY = float(y - client.top) * 96.0f / float(dpi);
        // The last child drawn there wins, as with clicks.
        LONG child = ChildCount();
        for (; child > 0; --child) {
            const HitTarget& t = Area(ElementAt(child));
            if (dipX >= t.left && dipX < t.right && dipY >= t.top && dipY < t.bottom) break;
        }
        SetChild(hit, child);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        Element e;
        const HRESULT hr = Resolve(child, e);
        const HitTarget* const target = e.target;
        if (FAILED(hr)) return hr;
        if (!target) return DISP_E_MEMBERNOTFOUND;
        // Later, on the UI thread's own message loop, as a click would.
        return PostMessageW(window_, WM_SETUP_ACCESSIBLE_ACTION, WPARAM(target->id), page) ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    // The element a child id names, neither for the object itself.
    HRESULT Resolve(const VARIANT& child, Element& e) const {
        if (!window_) return RPC_E_DISCONNECTED;
        if (child.vt != VT_I4) return E_INVALIDARG;
        if (child.lVal == CHILDID_SELF) return S_OK;
        if (child.lVal < 1 || child.lVal > ChildCount()) return E_INVALIDARG;
        e = ElementAt(child.lVal);
        return S_OK;
    }
    // Where a child is drawn, in DIPs.
    static const HitTarget& Area(const Element& e) { return e.target ? *e.target : e.text->area; }

    LONG references_ = 1;
    HWND window_;
};

ClientAccessible* accessible = nullptr;

// What the last notification saw.
struct Seen {
    bool valid = false;
    Page page = PageWelcome;
    int32_t focused = ActionNone;
    unsigned checks = 0;
    long percent = 0;
    std::wstring description;
    // A hash of each text, to see which changed.
    uint32_t texts[kMaxFrameTexts] = {};
    size_t textCount = 0;
} seen;

uint32_t TextHash(std::wstring_view text) {
    uint32_t hash = 0;
    for (const wchar_t c : text) hash = hash * 31 + c;
    return hash;
}

}  // namespace

LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam) {
    const auto fromObject = SystemProc<LresultFromObjectFunction>(Oleacc(), "LresultFromObject");
    if (DWORD(lParam) != DWORD(OBJID_CLIENT) || !fromObject)
        return DefWindowProcW(window, WM_GETOBJECT, wParam, lParam);
    if (!accessible) accessible = new (std::nothrow) ClientAccessible(window);
    return accessible ? fromObject(__uuidof(IAccessible), wParam, accessible) : 0;
}

void NotifyAccessibilityChanges() {
    const HWND window = mainWindow;
    if (!window) return;
    unsigned checks = 0;
    for (int32_t id = ActionToggleAutoStart; id <= ActionToggleDeleteData; ++id) {
        checks |= unsigned(IsChecked(id)) << (id - ActionToggleAutoStart);
    }
    const long percent = page == PageProgress ? lroundf(progressShown * 100.0f) : -1;
    std::wstring description = Description();
    const auto notify = [window](DWORD event, LONG child) { NotifyWinEvent(event, window, OBJID_CLIENT, child); };
    if (seen.valid) {
        if (page != seen.page) {
            notify(EVENT_OBJECT_REORDER, CHILDID_SELF);
            if (page == PageResult && !operationSucceeded) notify(EVENT_SYSTEM_ALERT, CHILDID_SELF);
        }
        if (description != seen.description) notify(EVENT_OBJECT_DESCRIPTIONCHANGE, CHILDID_SELF);
        if (focusedAction != seen.focused && focusedAction != ActionNone) {
            if (const LONG child = ChildOf(focusedAction)) notify(EVENT_OBJECT_FOCUS, child);
        }
        for (int32_t id = ActionToggleAutoStart; id <= ActionToggleDeleteData; ++id) {
            const LONG child = ChildOf(id);
            if (child && ((checks ^ seen.checks) >> (id - ActionToggleAutoStart) & 1)) {
                notify(EVENT_OBJECT_STATECHANGE, child);
            }
        }
        if (percent != seen.percent && percent >= 0) notify(EVENT_OBJECT_VALUECHANGE, CHILDID_SELF);
        // On the same page: texts that changed in place (the progress step,
        // the percentage), or a new set of children.
        if (page == seen.page && TextCount() == seen.textCount) {
            for (size_t k = 0; k < seen.textCount; ++k) {
                const FrameText& t = frameTexts[k];
                if (TextHash(FrameTextString(t)) != seen.texts[k]) {
                    notify(t.document ? EVENT_OBJECT_VALUECHANGE : EVENT_OBJECT_NAMECHANGE,
                           LONG(t.targetsBefore + k + 1));
                }
            }
        } else if (page == seen.page) {
            notify(EVENT_OBJECT_REORDER, CHILDID_SELF);
        }
    }
    seen.valid = true;
    seen.page = page;
    seen.focused = focusedAction;
    seen.checks = checks;
    seen.percent = percent;
    seen.description = std::move(description);
    seen.textCount = TextCount();
    for (size_t k = 0; k < seen.textCount; ++k) seen.texts[k] = TextHash(FrameTextString(frameTexts[k]));
}

void ReleaseAccessibleObject() {
    if (!accessible) return;
    accessible->Disconnect();
    CoDisconnectObject(accessible, 0);
    accessible->Release();
    accessible = nullptr;
    seen = Seen{};
}
