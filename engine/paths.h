// Path joining and file identity rules shared by every part of the setup
// program: one way to join a folder and a name, one way to ask whether two
// paths name the same file, one way to remove a file.
#pragma once

#include <string>

// Appends `right` to `left` with one backslash, unless `left` is empty, a bare
// drive ("C:") or already ends in a separator.
std::wstring JoinPath(const std::wstring& left, const std::wstring& right);

// The path without its last element and the separators before it; a root
// such as "C:\" or "\\server\share\" stays whole.
std::wstring ParentFolder(const std::wstring& path);

// True when the path exists and is not a folder, following symbolic links.
bool IsRegularFile(const std::wstring& path);

// Deletes the file or empty folder at `path`. A missing path counts as
// removed; a read-only file is removed too. A file held by someone else is
// waited for as WaitWhileFileBusy says.
bool RemoveFile(const std::wstring& path);

// Real-time virus scanners open every new or changed file for a few hundred
// milliseconds without FILE_SHARE_DELETE; renaming over it or deleting it
// fails meanwhile. How long one such step keeps trying before it fails.
inline constexpr unsigned kBusyFileRetryMs = 5000;

// Called right after a file step failed: when its error (GetLastError) is a
// sharing, lock or access-denied one and the step first failed (0: now) less
// than kBusyFileRetryMs ago, waits a little longer each time and returns
// true to try again. Only ever called on the transaction's thread.
bool WaitWhileFileBusy(unsigned long long& firstFailure);

// True when both paths can be opened and name the same file or folder (same
// volume and file id), whatever their spelling.
bool IsSameFile(const std::wstring& a, const std::wstring& b);

// Creates `folder` and every missing parent. False for an empty path or when a
// component cannot be created; an existing folder is no error.
bool CreateFolderTree(const std::wstring& folder);

// Length of the root of `path`: 3 for "C:\", 2 for "C:", the whole
// "\\server\share\" of a UNC path, 1 for a leading separator, 0 otherwise.
size_t PathRootLength(const std::wstring& path);

// The lexical normal form of a path: "/" becomes "\", repeated separators
// collapse, "." elements go and ".." removes the element before it; a
// trailing separator stays.
std::wstring LexicallyNormalPath(const std::wstring& path);
