// busy-scanner.exe: a stand-in for a real-time virus scanner, which Wine has not.
//
// A scanner opens every new or changed file for a moment, without
// FILE_SHARE_DELETE, so that renaming over the file or deleting it fails until
// it lets go. This program does that below one folder (watched recursively,
// which need not hold the install folder yet): it holds every file that is
// there when it starts and every file created, written or renamed there
// later, each for the hold time after it opened it.
//
//   busy-scanner.exe FOLDER HOLD_MS READY_EVENT STOP_EVENT REPORT
//
// READY_EVENT (the caller creates it) is set once the first files are held
// and the watch runs; STOP_EVENT ends it. REPORT then gets one line per hold:
// the file's name below FOLDER, a tab, and 1 when a file of that name was
// still there when the hold ended, else 0. Exit codes: 0 done, 2 bad command
// line, 3 the folder, the events or the report could not be used.

#include "setup/owners.h"

#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Hold {
    std::wstring name;
    UniqueFileHandle file;
    ULONGLONG release = 0;
};

std::wstring folder;
DWORD holdMs = 0;
std::vector<Hold> holds;
std::string report;

void HoldFile(const std::wstring& name) {
    for (const Hold& hold : holds) {
        if (_wcsicmp(hold.name.c_str(), name.c_str()) == 0) return;
    }
    // Read and write sharing as a scanner gives; no delete sharing.
    UniqueFileHandle file(CreateFileW((folder + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (file) holds.push_back({name, std::move(file), GetTickCount64() + holdMs});
}

void HoldTree(const std::wstring& relative) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(FindFirstFileW((folder + L"\\" + relative + L"*").c_str(), &data));
    if (!find) return;
    do {
        const std::wstring name = relative + data.cFileName;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            HoldFile(name);
        } else if (data.cFileName[0] != L'.' || (data.cFileName[1] && data.cFileName[1] != L'.')) {
            HoldTree(name + L"\\");
        }
    } while (FindNextFileW(find.get(), &data));
}

void ReleaseHolds(ULONGLONG until) {
    for (size_t i = 0; i < holds.size();) {
        if (holds[i].release > until) {
            ++i;
            continue;
        }
        holds[i].file.reset();
        const bool there = GetFileAttributesW((folder + L"\\" + holds[i].name).c_str()) != INVALID_FILE_ATTRIBUTES;
        const std::wstring& name = holds[i].name;
        const int length = WideCharToMultiByte(CP_UTF8, 0, name.data(), int(name.size()), nullptr, 0, nullptr, nullptr);
        std::string line(size_t(length), '\0');
        WideCharToMultiByte(CP_UTF8, 0, name.data(), int(name.size()), line.data(), length, nullptr, nullptr);
        report += line + (there ? "\t1\n" : "\t0\n");
        holds.erase(holds.begin() + ptrdiff_t(i));
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    UniqueLocalArgv argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv || argc != 6) return 2;
    folder = argv.get()[1];
    holdMs = DWORD(_wtoi(argv.get()[2]));
    UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv.get()[3]));
    UniqueHandle stop(OpenEventW(SYNCHRONIZE, FALSE, argv.get()[4]));
    UniqueFileHandle watched(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    UniqueHandle changed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready || !stop || !watched || !changed) return 3;

    alignas(DWORD) static BYTE buffer[64 * 1024];
    OVERLAPPED overlapped{};
    overlapped.hEvent = changed.get();
    const auto watch = [&] {
        ResetEvent(changed.get());
        return ReadDirectoryChangesW(
                   watched.get(), buffer, sizeof(buffer), TRUE,
                   FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE, nullptr,
                   &overlapped, nullptr) != 0;
    };
    // Watching first, so that no file comes between the sweep and the watch.
    if (!watch()) return 3;
    HoldTree({});
    SetEvent(ready.get());

    // Changes first: what a run did before it ended is seen before the stop.
    const HANDLE waits[] = {changed.get(), stop.get()};
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        DWORD timeout = INFINITE;
        for (const Hold& hold : holds) {
            timeout = std::min<DWORD>(timeout, DWORD(hold.release > now ? hold.release - now : 0));
        }
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, timeout);
        if (woken == WAIT_OBJECT_0 + 1) break;
        DWORD bytes = 0;
        if (woken == WAIT_OBJECT_0 && GetOverlappedResult(watched.get(), &overlapped, &bytes, FALSE)) {
            for (DWORD offset = 0; bytes > 0;) {
                const auto* entry = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
                if (entry->Action == FILE_ACTION_ADDED || entry->Action == FILE_ACTION_MODIFIED ||
                    entry->Action == FILE_ACTION_RENAMED_NEW_NAME) {
                    HoldFile(std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t)));
                }
                if (entry->NextEntryOffset == 0) break;
                offset += entry->NextEntryOffset;
            }
            if (!watch()) return 3;
        }
        ReleaseHolds(GetTickCount64());
    }
    ReleaseHolds(MAXULONGLONG);

    UniqueFileHandle out(CreateFileW(argv.get()[5], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!out || !WriteFile(out.get(), report.data(), DWORD(report.size()), &written, nullptr)) return 3;
    return 0;
}
