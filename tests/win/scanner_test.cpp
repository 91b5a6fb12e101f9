// The setup program beside a real-time virus scanner, which Wine has not:
// busy-scanner.exe holds every file in the install folder, those there when
// a run starts and each new or changed one, without delete sharing. Silent
// installs, updates and uninstalls wait for a hold up to the bound and fail
// with nothing lost beyond it.
#include "engine/paths.h"
#include "tests/win/setup_process_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

const std::vector<std::wstring> kInstalledFiles = {L"LICENSE", L"VelmoTulve-Setup.exe", L"VelmoTulve.exe"};

struct Held {
    std::string name;
    bool thereAtRelease = false;
};

class ScannerTest : public SetupRunTest {
protected:
    // Starts the scanner over the install folder's parent and waits until it
    // holds what is there.
    void StartScanner(DWORD holdMs) {
        const std::wstring suffix = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++started_);
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, (L"Local\\vt-scanner-ready-" + suffix).c_str()));
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, (L"Local\\vt-scanner-stop-" + suffix).c_str()));
        ASSERT_TRUE(ready_ && stop_);
        scannerStarted_ = GetTickCount64();  // no hold begins before this
        ASSERT_TRUE(scanner_.Start(Widen(VT_BUSY_SCANNER_EXE),
                                   QuoteArgument(root / L"Programs") + L" " + std::to_wstring(holdMs) +
                                       L" Local\\vt-scanner-ready-" + suffix + L" Local\\vt-scanner-stop-" + suffix +
                                       L" " + QuoteArgument(reportFolder_ / L"report.txt")));
        const HANDLE waits[] = {ready_.get(), scanner_.handle()};
        ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, kRunTimeoutMs), WAIT_OBJECT_0) << "scanner did not start";
    }
    // Stops the scanner and returns what it held.
    std::vector<Held> StopScanner() {
        SetEvent(stop_.get());
        EXPECT_TRUE(scanner_.WaitForExit(kRunTimeoutMs));
        EXPECT_EQ(scanner_.exitCode(), 0u);
        std::vector<Held> held;
        const std::string text = ReadFileBytes(reportFolder_ / L"report.txt");
        for (size_t line = 0, end; (end = text.find('\n', line)) != std::string::npos; line = end + 1) {
            const size_t tab = text.find('\t', line);
            held.push_back({text.substr(line, tab - line), text[tab + 1] == '1'});
        }
        return held;
    }
    // The install folder's files and bytes, and the entry's presence. A
    // temporary file still held when its run gave up is left out: it stays
    // for the next run to remove.
    std::map<std::wstring, std::string> Snapshot() {
        std::map<std::wstring, std::string> files;
        const std::vector<std::wstring> temporary = TemporaryFiles(installDir);
        for (const std::wstring& name : ListFolder(installDir)) {
            if (std::find(temporary.begin(), temporary.end(), name) == temporary.end())
                files[name] = ReadFileBytes(installDir + L"\\" + name);
        }
        files[L"<entry>"] = KeyExists(kTestUninstallKey) ? "yes" : "no";
        return files;
    }

    TempFolder reportFolder_;
    ChildProcess scanner_;
    UniqueHandle ready_, stop_;
    int started_ = 0;
    ULONGLONG scannerStarted_ = 0;
};

// Fresh install, update and uninstall beside holds from none to past the
// bound. Below it every run succeeds exactly. Beyond it a run that meets a
// held file fails after the bound, with the folder and the entry as they
// were; a fresh install meets one only when the scanner opened one of its
// temporary files in time, and then fails too.
TEST_F(ScannerTest, HoldsUpToTheBoundAreWaitedForAndLongerOnesFailWithNothingLost) {
    int waitedForInAll = 0;
    // Beyond the bound the files are held for as long as the scanner runs, so
    // that however slowly the run reaches them, its retries meet the hold.
    for (const DWORD holdMs : {DWORD(0), DWORD(300), DWORD(1500), DWORD(INFINITE)}) {
        const bool overBound = holdMs > kBusyFileRetryMs;
        ResetTestRoot();
        ASSERT_TRUE(CreateDirectoryW((root / L"Programs").c_str(), nullptr));
        for (const std::string what : {"fresh install", "update", "uninstall"}) {
            SCOPED_TRACE(what + " beside holds of " + std::to_string(holdMs) + " ms");
            // Beyond the bound the run before failed: start from a whole installation.
            if (overBound && what != "fresh install" && !PathExists(uninstaller)) {
                ASSERT_NO_FATAL_FAILURE(InstallSilently());
            }
            const auto before = Snapshot();
            ASSERT_NO_FATAL_FAILURE(StartScanner(holdMs));
            const ULONGLONG started = GetTickCount64();
            const ProcessResult r = RunSetup(what == "uninstall" ? L"--uninstall /VERYSILENT" : L"/VERYSILENT");
            const ULONGLONG took = GetTickCount64() - started;
            const std::vector<Held> held = StopScanner();
            ASSERT_FALSE(r.timedOut);

            // A temporary file still there when its hold ended was renamed
            // only after a first rename had failed: the run waited for it.
            int waitedFor = 0;
            for (const Held& h : held) {
                waitedFor += holdMs > 0 && h.thereAtRelease && h.name.find("\\.tulve-{") != std::string::npos;
            }
            std::printf(
                "[ info ] %s, %lu ms holds: exit %lu after %llu ms; %zu files held, %d temporary files "
                "waited for\n",
                what.c_str(), holdMs, r.exitCode, took, held.size(), waitedFor);
            EXPECT_GT(held.size(), 0u) << "the scanner held nothing";
            const bool mustFail = overBound && (what != "fresh install" || waitedFor > 0);
            if (mustFail) {
                EXPECT_EQ(r.exitCode, 1u);
                EXPECT_GE(took, kBusyFileRetryMs);
                std::map<std::wstring, std::string> after = Snapshot();
                if (what != "fresh install") {
                    EXPECT_TRUE(after == before) << "the failed run changed the installation";
                    continue;
                }
                // A fresh install keeps what it had written before it failed, and no more.
                const std::map<std::wstring, std::string> written = {
                    {L"VelmoTulve.exe", appBytes}, {L"LICENSE", licenseBytes}, {L"<entry>", "no"}};
                for (const auto& [name, bytes] : after) {
                    EXPECT_TRUE(written.count(name) && written.at(name) == bytes) << Narrow(name);
                }
                continue;
            }
            EXPECT_EQ(r.exitCode, 0u);
            if (holdMs > 0) {
                waitedForInAll += waitedFor;
                // It found its files held and could not be done before they were let go.
                if (what != "fresh install") {
                    EXPECT_GE(started + took - scannerStarted_, holdMs);
                }
            }
            if (what == "uninstall") {
                ExpectEntriesRemoved();
                EXPECT_FALSE(PathExists(installDir));
            } else {
                std::vector<std::wstring> names = ListFolder(installDir);
                std::sort(names.begin(), names.end());
                EXPECT_EQ(names, kInstalledFiles) << "a temporary file is left";
                ExpectInstalled(setupBytes);
            }
        }
    }
    EXPECT_GT(waitedForInAll, 0) << "no run had to wait for a held file";
}

}  // namespace
