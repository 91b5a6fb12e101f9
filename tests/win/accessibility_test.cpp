// The setup window as a screen reader sees it: a client program in another
// process reads the whole accessibility tree of the real setup window on
// each page at 96 and 144 DPI (every target and every text where it is
// drawn, the whole licence), installs, updates and uninstalls with default
// actions alone, and receives the focus and state-change events.
#include "tests/win/setup_process_support.h"
#include "window/ui_state.h"

#include <gtest/gtest.h>

#include <oleacc.h>

#include <cmath>
#include <functional>
#include <sstream>

namespace {

struct Element {
    std::wstring name;
    long role;
    float left, top, right, bottom;  // DIPs
};

// name|role per child in order, with the DIP rectangle of its target.
struct TreeCase {
    const char* page;
    bool installed;
    const wchar_t* arguments;
    std::vector<const wchar_t*> before;  // default actions that reach the page
    std::vector<Element> children;
    const wchar_t* description = nullptr;  // the client object's, where checked
    bool blocked = false;                  // a file where the install folder goes: the install fails
};

const Element kMinimize{L"Minimize", ROLE_SYSTEM_PUSHBUTTON, 394, 12, 418, 36};
const Element kClose{L"Close", ROLE_SYSTEM_PUSHBUTTON, 424, 12, 448, 36};

// Texts where they are drawn; "{folder}" stands for the install folder.
Element Island(const wchar_t* label, bool wide = false) {
    return {label, ROLE_SYSTEM_STATICTEXT, wide ? 144.0f : 155.0f, 24, wide ? 310.0f : 299.0f, 58};
}
Element Title(const wchar_t* text) { return {text, ROLE_SYSTEM_STATICTEXT, 28, 72, 432, 102}; }
Element Subtitle(const wchar_t* text) { return {text, ROLE_SYSTEM_STATICTEXT, 28, 106, 432, 144}; }
const Element kInfoFolder{L"{folder}", ROLE_SYSTEM_STATICTEXT, 40, 144, 420, 162};
Element InfoCaption(const wchar_t* text) { return {text, ROLE_SYSTEM_STATICTEXT, 40, 162, 420, 180}; }

const TreeCase kTreeCases[] = {
    {"welcome",
     false,
     L"",
     {},
     {kMinimize,
      kClose,
      Island(L"Dynamic Island"),
      Title(L"Velmo Tulve"),
      Subtitle(L"Dynamic Island, Quick Controls & Instant Search"),
      kInfoFolder,
      InfoCaption(L"Installs for your Windows account"),
      {L"Install", ROLE_SYSTEM_PUSHBUTTON, 28, 198, 274, 234},
      {L"Customize", ROLE_SYSTEM_PUSHBUTTON, 284, 198, 432, 234},
      {L"View MIT License", ROLE_SYSTEM_LINK, 176, 278, 284, 300}},
     L"Velmo Tulve. Dynamic Island, Quick Controls & Instant Search"},
    {"welcome with options",
     false,
     L"",
     {L"Customize"},
     {kMinimize,
      kClose,
      Island(L"Dynamic Island"),
      Title(L"Velmo Tulve"),
      Subtitle(L"Dynamic Island, Quick Controls & Instant Search"),
      kInfoFolder,
      InfoCaption(L"Installs for your Windows account"),
      {L"Install", ROLE_SYSTEM_PUSHBUTTON, 28, 198, 274, 234},
      {L"Customize", ROLE_SYSTEM_PUSHBUTTON, 284, 198, 432, 234},
      {L"Install folder", ROLE_SYSTEM_STATICTEXT, 40, 258, 312, 276},
      {L"Browse\u2026", ROLE_SYSTEM_PUSHBUTTON, 320, 260, 420, 288},
      {L"{folder}", ROLE_SYSTEM_STATICTEXT, 40, 274, 312, 292},
      {L"Start Velmo Tulve automatically with Windows", ROLE_SYSTEM_CHECKBUTTON, 40, 302, 400, 326},
      {L"Add Start Menu shortcut", ROLE_SYSTEM_CHECKBUTTON, 40, 330, 400, 354},
      {L"Launch Velmo Tulve when finished", ROLE_SYSTEM_CHECKBUTTON, 40, 358, 400, 382},
      {L"View MIT License", ROLE_SYSTEM_LINK, 176, 414, 284, 436}}},
    {"licence",
     false,
     L"",
     {L"View MIT License"},
     {kMinimize,
      kClose,
      Island(L"MIT License"),
      Title(L"Velmo Tulve License"),
      Subtitle(L"MIT License"),
      {L"MIT License", ROLE_SYSTEM_TEXT, 40, 144, 420, 378},
      {L"Back", ROLE_SYSTEM_PUSHBUTTON, 160, 402, 300, 438}}},
    {"maintenance",
     true,
     L"",
     {},
     {kMinimize,
      kClose,
      Island(L"Installed"),
      Title(L"Velmo Tulve is installed"),
      Subtitle(L"Update, change startup options, or uninstall"),
      kInfoFolder,
      InfoCaption(L"Current installation \u00B7 Updates keep your settings"),
      {L"Update", ROLE_SYSTEM_PUSHBUTTON, 28, 198, 178, 234},
      {L"Customize", ROLE_SYSTEM_PUSHBUTTON, 186, 198, 306, 234},
      {L"Uninstall", ROLE_SYSTEM_PUSHBUTTON, 314, 198, 432, 234},
      {L"View MIT License", ROLE_SYSTEM_LINK, 176, 278, 284, 300}}},
    {"confirmation",
     true,
     L"--uninstall",
     {},
     {kMinimize,
      kClose,
      Island(L"Uninstall Velmo Tulve"),
      Title(L"Uninstall Velmo Tulve?"),
      Subtitle(L"Removes app files, Start Menu shortcut, and auto-start entry"),
      {L"Folder: {folder}", ROLE_SYSTEM_STATICTEXT, 42, 154, 418, 174},
      {L"Also delete saved settings & preferences", ROLE_SYSTEM_CHECKBUTTON, 42, 184, 412, 208},
      {L"Uninstall now", ROLE_SYSTEM_PUSHBUTTON, 28, 248, 240, 284},
      {L"Cancel", ROLE_SYSTEM_PUSHBUTTON, 250, 248, 432, 284}},
     // The title's own question mark and no full stop after it.
     L"Uninstall Velmo Tulve? Removes app files, Start Menu shortcut, and auto-start entry"},
    {"result of a failed install",
     false,
     L"",
     {L"Install"},
     {kMinimize,
      kClose,
      Island(L"Review and retry", true),
      Title(L"Installation failed"),
      Subtitle(L"Cannot create installation folder."),
      {L"Try again", ROLE_SYSTEM_PUSHBUTTON, 28, 198, 274, 234},
      {L"Close", ROLE_SYSTEM_PUSHBUTTON, 284, 198, 432, 234}},
     L"Installation failed. Cannot create installation folder.",
     true},
    {"result of an install",
     false,
     L"",
     {L"Install"},
     {kMinimize,
      kClose,
      Island(L"Ready to launch", true),
      Title(L"All set"),
      // One line, trimmed on screen; the whole folder here.
      {L"Installed to {folder}", ROLE_SYSTEM_STATICTEXT, 28, 106, 432, 124},
      {L"Launch Velmo Tulve", ROLE_SYSTEM_PUSHBUTTON, 28, 198, 274, 234},
      {L"Done", ROLE_SYSTEM_PUSHBUTTON, 284, 198, 432, 234}}},
};

// What the client writes for a text: line breaks as \n, no carriage returns.
std::wstring Escaped(const std::wstring& text) {
    std::wstring out;
    for (const wchar_t c : text) {
        if (c != L'\r') out += c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, c);
    }
    return out;
}

std::wstring WithFolder(std::wstring text, const std::wstring& folder) {
    if (const size_t at = text.find(L"{folder}"); at != std::wstring::npos) text.replace(at, 8, folder);
    return text;
}

class AccessibilityTest : public SetupRunTest {
protected:
    void TearDown() override {
        CloseApplications();
        SetupRunTest::TearDown();
    }
    // Runs the client against the window; its output, one line each.
    std::vector<std::wstring> Client(const std::wstring& mode, const std::vector<const wchar_t*>& names = {}) {
        std::wstring line = QuoteArgument(TestBinaryFolder() + L"\\accessibility_client.exe") + L" " + mode + L" " +
                            std::to_wstring(reinterpret_cast<uintptr_t>(setup.window()));
        for (const wchar_t* name : names) line += L" " + QuoteArgument(name);
        const ProcessResult r = RunProcess({}, line, {}, 60000);
        EXPECT_EQ(r.exitCode, 0u) << r.output;
        std::vector<std::wstring> lines;
        std::wistringstream in(Widen(r.output));
        for (std::wstring l; std::getline(in, l);) lines.push_back(l.substr(0, l.find_last_not_of(L"\r") + 1));
        return lines;
    }
    SetupWindowDriver setup;
};

std::vector<std::wstring> Fields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    std::wistringstream in(line);
    for (std::wstring f; std::getline(in, f, L'|');) fields.push_back(f);
    return fields;
}

TEST_F(AccessibilityTest, TreeOfEveryPageNamesEveryTargetAndTextWhereItIsDrawn) {
    for (const DWORD dpi : {96ul, 144ul}) {
        ScopedLogPixels logPixels(dpi);
        ASSERT_TRUE(logPixels.applied());
        for (const TreeCase& c : kTreeCases) {
            SCOPED_TRACE(std::string(c.page) + " at " + std::to_string(dpi));
            ResetTestRoot();
            if (c.installed) {
                ASSERT_NO_FATAL_FAILURE(InstallSilently());
            }
            if (c.blocked) {
                ASSERT_TRUE(CreateDirectoryW((root / L"Programs").c_str(), nullptr) && WriteFileBytes(installDir, "x"));
            }
            ASSERT_TRUE(setup.Start(c.arguments));
            if (!c.before.empty()) Client(L"do", c.before);
            // The dump that showed the whole page is the one checked: a later
            // one may fail on a loaded machine, and indexing it would crash.
            std::vector<std::wstring> lines;
            ASSERT_TRUE(WaitWhileRunning(setup.process(), kRunTimeoutMs, [&] {
                lines = Client(L"dump");
                return lines.size() == c.children.size() + 2;
            }));
            POINT origin{0, 0};
            ClientToScreen(setup.window(), &origin);
            const float scale = float(dpi) / 96.0f;
            const std::vector<std::wstring> self = Fields(lines[1]);
            ASSERT_GE(self.size(), 7u) << Narrow(lines[1]);
            EXPECT_EQ(self[1], L"Velmo Tulve Setup");
            EXPECT_EQ(self[2], std::to_wstring(ROLE_SYSTEM_CLIENT));
            EXPECT_FALSE(self[6].empty()) << "the page's title and subtitle as the description";
            if (c.description) {
                EXPECT_EQ(self[6], c.description);
            }
            for (size_t i = 0; i < c.children.size(); ++i) {
                const Element& e = c.children[i];
                const std::vector<std::wstring> f = Fields(lines[i + 2]);
                SCOPED_TRACE(Narrow(e.name));
                ASSERT_EQ(f.size(), 10u);
                EXPECT_EQ(f[1], WithFolder(e.name, installDir));
                EXPECT_EQ(std::stol(f[2]), e.role);
                const long state = std::stol(f[3], nullptr, 16);
                const bool text = e.role == ROLE_SYSTEM_STATICTEXT || e.role == ROLE_SYSTEM_TEXT;
                EXPECT_EQ(state & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_READONLY),
                          text     ? STATE_SYSTEM_READONLY
                          : i >= 2 ? STATE_SYSTEM_FOCUSABLE  // the caption buttons are for the mouse
                                   : 0);
                EXPECT_EQ((state & STATE_SYSTEM_CHECKED) != 0,
                          e.role == ROLE_SYSTEM_CHECKBUTTON && e.name != L"Also delete saved settings & preferences");
                // The licence view's value is the whole licence as the build packs it.
                EXPECT_EQ(f[7],
                          e.role == ROLE_SYSTEM_TEXT ? Escaped(Widen(ReadFileBytes(Widen(VT_LICENSE_PATH)))) : L"");
                const long l = lroundf(e.left * scale), t = lroundf(e.top * scale);
                EXPECT_EQ(f[4], std::to_wstring(origin.x + l) + L"," + std::to_wstring(origin.y + t) + L"," +
                                    std::to_wstring(lroundf(e.right * scale) - l) + L"," +
                                    std::to_wstring(lroundf(e.bottom * scale) - t));
                EXPECT_EQ(f[5], text                         ? L""
                                : e.role == ROLE_SYSTEM_LINK ? L"Jump"
                                : e.role == ROLE_SYSTEM_CHECKBUTTON
                                    ? ((state & STATE_SYSTEM_CHECKED) ? L"Uncheck" : L"Check")
                                    : L"Press");
                EXPECT_EQ(f[8], L"1") << "simple element: get_accChild gives S_FALSE";
                EXPECT_EQ(f[9], std::to_wstring(i + 1)) << "hit test at its centre";
            }
            PostMessageW(setup.window(), WM_CLOSE, 0, 0);
            DWORD exitCode = 0;
            ASSERT_TRUE(setup.WaitForExit(exitCode));
            CloseApplications();  // the install launched it
        }
    }
}

// A screen reader user installs (the options panel, two check boxes,
// Install, then Launch), updates with the shortcut turned off, and
// uninstalls with the saved settings, by default actions alone.
TEST_F(AccessibilityTest, DefaultActionsAloneInstallUpdateAndUninstall) {
    struct Flow {
        const char* what;
        std::vector<const wchar_t*> actions;
        std::function<void()> check;
    };
    const Flow flows[] = {
        {"install, then launch",
         {L"Customize", L"Start Velmo Tulve automatically with Windows", L"Launch Velmo Tulve when finished",
          L"Install", L"Launch Velmo Tulve"},
         [&] {
             ExpectInstalled(setupBytes, false, true);
             EXPECT_TRUE(
                 WaitUntil(nullptr, kRunTimeoutMs, [] { return !TopLevelWindows(0, kAppWindowClass).empty(); }));
         }},
        {"update without the shortcut",
         {L"Customize", L"Add Start Menu shortcut", L"Launch Velmo Tulve when finished", L"Update", L"Done"},
         [&] { ExpectInstalled(setupBytes, false, false); }},
        {"uninstall with the saved settings",
         {L"Uninstall", L"Also delete saved settings & preferences", L"Uninstall now", L"Close"},
         [&] {
             ExpectEntriesRemoved();
             EXPECT_FALSE(PathExists(installDir));
             EXPECT_FALSE(PathExists(settingsDir));
         }},
    };
    ASSERT_TRUE(CreateDirectoryW((root / L"Settings").c_str(), nullptr) &&
                CreateDirectoryW(settingsDir.c_str(), nullptr) && WriteFileBytes(settingsDir + L"\\settings.ini", "x"));
    for (const Flow& flow : flows) {
        SCOPED_TRACE(flow.what);
        CloseApplications();
        ASSERT_TRUE(setup.Start());
        Client(L"do", flow.actions);
        DWORD exitCode = STILL_ACTIVE;
        ASSERT_TRUE(setup.WaitForExit(exitCode));
        EXPECT_EQ(exitCode, 0u);
        flow.check();
    }
}

// Tab raises the focus event for the first focusable child (Install); a
// check box raises a state change; after the window is gone the object
// fails its calls.
TEST_F(AccessibilityTest, FocusAndCheckBoxesRaiseEventsAndTheClosedWindowDisconnects) {
    ASSERT_TRUE(setup.Start());
    Client(L"do", {L"Customize"});
    const std::vector<std::wstring> lines = Client(L"events");
    ASSERT_EQ(lines.size(), 4u);
    // Install comes after the caption buttons and the five texts above it;
    // the shortcut box after the panel's caption, Browse and the folder.
    EXPECT_EQ(lines[0], L"focus 8");
    EXPECT_EQ(lines[1], L"accFocus 8");
    EXPECT_EQ(lines[2], L"box 14 state 14");
    // RPC_E_DISCONNECTED, RPC_S_SERVER_UNAVAILABLE or E_FAIL, by how far the end has come.
    EXPECT_TRUE(lines[3] == L"after close 80010108" || lines[3] == L"after close 800706ba" ||
                lines[3] == L"after close 80004005")
        << Narrow(lines[3]);
}

}  // namespace
