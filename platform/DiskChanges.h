// The one place every change the program makes to the disk passes: folders
// made, files copied, attributes cleared, settings files written and put in
// place. A test can watch the changes through a seam, count them and end the
// process at any one of them, to prove that a run broken off at any instant
// leaves a working installation.
//
// Also here: the wide-character, long-path form of the paths inside data
// trees, and the short waits for files that another program holds for a
// moment (sync clients, the search indexer and virus scanners open a file
// right after it changes).
#pragma once

#include <windows.h>

#include <string>

namespace DiskChanges {

// Told of each change just before it is made.
class ChangeSeam {
  public:
    virtual ~ChangeSeam() = default;
    virtual void BeforeChange(const std::wstring& path) = 0;
};
// The seam in force, or nullptr (the default) for none.
void SetChangeSeam(ChangeSeam* seam);
// Every changing routine calls this first.
void BeforeChange(const std::wstring& path);
void BeforeChange(const std::string& ansiPath);

// The ANSI calls turn a name outside the ANSI code page into "?" and refuse
// paths of 260 characters or more; the data trees are walked and copied with
// the wide calls and the \\?\ prefix instead. WidePath converts an ANSI path
// once (CP_ACP), makes it full and gives it the prefix (\\?\UNC\ for a
// share). Empty when the path cannot be made full.
std::wstring WidePath(const std::string& ansiPath);
// The path as the ANSI texts of the program show it: the prefix taken off,
// and a character outside the code page shown as "?".
std::string ShownPath(const std::wstring& widePath);

// How long a sharing or lock violation is waited out before it counts as a
// failure: about 2 seconds. Tests that hold files on purpose shorten it.
void SetSharingWait(DWORD milliseconds);
DWORD SharingWait();
// Runs attempt() until it succeeds, or until it fails with another error
// than a sharing or lock violation, or until the wait is over. Returns what
// the last attempt returned; GetLastError() is that attempt's error.
template <typename Attempt> bool RetryWhileShared(Attempt attempt) {
    const DWORD started = GetTickCount();
    for (;;) {
        if (attempt())
            return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
            GetTickCount() - started >= SharingWait())
            return false;
        Sleep(50);
        SetLastError(error);
    }
}

// The changes. Each tells the seam first, and each returns false (with
// GetLastError()) when the system refused.
bool MakeFolder(const std::wstring& path);
bool MakeFolder(const std::string& ansiPath);
// Copies a file over any file of that name, waiting out sharing violations.
// A read the cloud seam refuses fails the copy with its error.
bool CopyOneFile(const std::wstring& from, const std::wstring& to);
// Copies a file so that the destination holds, at every instant, either its
// old bytes or the new ones: the copy goes to a temporary file beside it,
// which then takes its place in one rename. A temporary file left by a
// process that died in between is overwritten by the next copy.
bool CopyOneFileWhole(const std::wstring& from, const std::wstring& to);
// Takes the hidden, system and read-only marks off a file, which CopyFile
// would otherwise refuse to overwrite (Windows documents access denied for
// a hidden or read-only destination; Wine running as root copies anyway).
bool ClearMarks(const std::wstring& path);
// Sets a file's or folder's attributes.
bool SetAttributes(const std::wstring& path, DWORD attributes);

} // namespace DiskChanges
