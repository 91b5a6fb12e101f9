// Path and file-identity rules on the real file APIs.
#include "engine/paths.h"

#include "setup/owners.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsBareDrive(const std::wstring& path) {
    return path.size() == 2 && path[1] == L':' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

}  // namespace

size_t PathRootLength(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') {
        return (path.size() >= 3 && IsSeparator(path[2])) ? 3 : 2;
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // UNC: \\server\share\ (also \\?\C:\ and \\.\ device forms).
        size_t pos = 2;
        for (int part = 0; part < 2 && pos < path.size(); ++part) {
            while (pos < path.size() && !IsSeparator(path[pos])) ++pos;
            if (pos < path.size()) ++pos;
        }
        return pos;
    }
    return (!path.empty() && IsSeparator(path[0])) ? 1 : 0;
}

namespace {

struct FileIdentity {
    ULONGLONG volume = 0;
    FILE_ID_128 id{};
};

bool QueryIdentity(const std::wstring& path, FileIdentity& out) {
    UniqueFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return false;
    FILE_ID_INFO info{};
    if (GetFileInformationByHandleEx(file.get(), FileIdInfo, &info, sizeof(info))) {
        out.volume = info.VolumeSerialNumber;
        out.id = info.FileId;
        return true;
    }
    // File systems without 128-bit ids: fall back to the 64-bit file index.
    BY_HANDLE_FILE_INFORMATION legacy{};
    if (!GetFileInformationByHandle(file.get(), &legacy)) return false;
    out.volume = legacy.dwVolumeSerialNumber;
    ULONGLONG index = (ULONGLONG(legacy.nFileIndexHigh) << 32) | legacy.nFileIndexLow;
    static_assert(sizeof(out.id.Identifier) == 16);
    memcpy(out.id.Identifier, &index, sizeof(index));
    return true;
}

}  // namespace

std::wstring JoinPath(const std::wstring& left, const std::wstring& right) {
    if (left.empty() || IsBareDrive(left) || IsSeparator(left.back())) return left + right;
    return left + L'\\' + right;
}

std::wstring ParentFolder(const std::wstring& path) {
    const size_t root = PathRootLength(path);
    size_t end = path.size();
    while (end > root && IsSeparator(path[end - 1])) --end;  // trailing separators
    while (end > root && !IsSeparator(path[end - 1])) --end;  // last element
    while (end > root && IsSeparator(path[end - 1])) --end;  // separators before it
    return path.substr(0, end);
}

bool IsRegularFile(const std::wstring& path) {
    // GetFileAttributesW reports the link itself; opening the path follows
    // symbolic links to their target, as a status query should.
    UniqueFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) return false;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool RemoveFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    }
    ULONGLONG firstFailure = 0;
    bool removed;
    do {
        removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) != 0
                                                          : DeleteFileW(path.c_str()) != 0;
    } while (!removed && WaitWhileFileBusy(firstFailure));
    if (removed) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    // Leave a file that could not be removed as it was found.
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes);
    return false;
}

bool WaitWhileFileBusy(unsigned long long& firstFailure) {
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION && error != ERROR_ACCESS_DENIED) {
        return false;
    }
    const ULONGLONG now = GetTickCount64();
    if (firstFailure == 0) firstFailure = now;
    const ULONGLONG waited = now - firstFailure;
    if (waited >= kBusyFileRetryMs) return false;
    // 10 ms, then as long again as so far, at most 100 ms: a released file is
    // seen soon without trying a hundred times a second.
    Sleep(DWORD(waited < 10 ? 10 : waited > 100 ? 100 : waited));
    return true;
}

bool IsSameFile(const std::wstring& a, const std::wstring& b) {
    FileIdentity first, second;
    if (!QueryIdentity(a, first) || !QueryIdentity(b, second)) return false;
    return first.volume == second.volume && memcmp(&first.id, &second.id, sizeof(first.id)) == 0;
}

bool CreateFolderTree(const std::wstring& folder) {
    if (folder.empty()) return false;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::wstring parent = ParentFolder(folder);
    if (!parent.empty() && parent != folder && parent.size() > PathRootLength(folder)) {
        if (!CreateFolderTree(parent)) return false;
    }
    if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
    // Another process may have created it in the meantime.
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD now = GetFileAttributesW(folder.c_str());
    return now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring LexicallyNormalPath(const std::wstring& input) {
    std::wstring path = input;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    const size_t rootLength = PathRootLength(path);
    std::wstring root = path.substr(0, rootLength);
    const bool trailingSeparator = path.size() > rootLength && path.back() == L'\\';

    std::vector<std::wstring> elements;
    size_t pos = rootLength;
    while (pos < path.size()) {
        size_t end = path.find(L'\\', pos);
        if (end == std::wstring::npos) end = path.size();
        std::wstring element = path.substr(pos, end - pos);
        pos = end + 1;
        if (element.empty() || element == L".") continue;
        if (element == L"..") {
            if (!elements.empty() && elements.back() != L"..") {
                elements.pop_back();
            } else if (rootLength == 0) {
                elements.push_back(element);  // a relative path keeps leading ".."
            }
            continue;
        }
        elements.push_back(std::move(element));
    }

    std::wstring result = root;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i > 0) result += L'\\';
        result += elements[i];
    }
    if (trailingSeparator && !elements.empty()) result += L'\\';
    return result;
}
