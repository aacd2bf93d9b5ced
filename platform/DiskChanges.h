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

#include "Win32Handles.h"

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

// Told of each whole-file write (see CopyWhole) that took its target's place,
// so that a run can record exactly what it left where. Before tells of the
// write about to take the target's place: from is the file copied ("" for
// written text), temporary holds the new bytes and is the writer's own, so
// whatever is read of it now is what the target will hold; the target still
// holds its old bytes. Placed follows when the new bytes are in place: made
// when nothing was at the target.
class ChangeJournal {
  public:
    virtual ~ChangeJournal() = default;
    virtual void Before(const std::wstring& from, const std::wstring& target,
                        const std::wstring& temporary) = 0;
    virtual void Placed(const std::wstring& target, bool made) = 0;
    // A folder made (see MakeFolder).
    virtual void FolderMade(const std::wstring& folder) { (void)folder; }
};
// The journal in force, or nullptr (the default) for none; one run at a time.
void SetChangeJournal(ChangeJournal* journal);

// The ANSI calls turn a name outside the ANSI code page into "?" and refuse
// paths of 260 characters or more; the data trees are walked and copied with
// the wide calls and the \\?\ prefix instead. WidePath converts an ANSI path
// once (CP_ACP), makes it full and gives it the prefix (\\?\UNC\ for a
// share). Empty when the path cannot be made full.
std::wstring WidePath(const std::string& ansiPath);
// The path as the ANSI texts of the program show it: the prefix taken off,
// and a character outside the code page shown as "?".
std::string ShownPath(const std::wstring& widePath);
// A wide folder path ending in a backslash (empty stays empty).
std::wstring AsFolder(const std::wstring& path);

// How long a sharing or lock violation is waited out before it counts as a
// failure: about 2 seconds. Tests that hold files on purpose shorten it.
void SetSharingWait(DWORD milliseconds);
DWORD SharingWait();
// Runs attempt() until it succeeds, or until it fails with another error
// than a sharing or lock violation, or until the wait is over. Returns what
// the last attempt returned; GetLastError() is that attempt's error. With
// deniedToo an access denial is waited out as well: a rename over a file that
// another program holds open fails so (Windows documents that a file must be
// closed before it can be replaced; Wine gives access denied), and an
// indexer or a sync client holds a file only for a moment.
template <typename Attempt> bool RetryWhileShared(Attempt attempt, bool deniedToo = false) {
    const DWORD started = GetTickCount();
    for (;;) {
        if (attempt())
            return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION &&
             !(deniedToo && error == ERROR_ACCESS_DENIED)) ||
            GetTickCount() - started >= SharingWait())
            return false;
        Sleep(50);
        SetLastError(error);
    }
}

// Reads a file whole, leaving others free to read and write it. False, with
// GetLastError(), when it cannot be opened or read.
bool ReadWhole(const std::wstring& path, std::string& text);

// Opens an existing file, a sharing or lock violation waited out first. An
// invalid handle, with GetLastError(), when it cannot be opened.
UniqueFileHandle OpenWhileShared(const std::wstring& path, DWORD access, DWORD share,
                                 DWORD flags = FILE_ATTRIBUTE_NORMAL);

// What a file is at one moment, as a replacement is made conditional on it:
// there or not, and if there its size, last-write time and identity on its
// volume (a file replaced by a rename has another). Another program that
// writes the file changes one of them.
struct FileState {
    bool exists = false;
    unsigned long long bytes = 0;
    unsigned long long written = 0; // FILETIME as one number
    DWORD volume = 0;
    unsigned long long index = 0;
    bool operator==(const FileState&) const = default;
};
// The state of path now, and its attributes if asked. False (with
// GetLastError()) when it cannot be told; a path that is not there is a
// state (exists false).
bool StateOf(const std::wstring& path, FileState& state, DWORD* attributes = nullptr);

// The temporary file a whole-file write of target goes through: beside it,
// so that the rename stays on its volume, named "~$<name>.tvn.tmp". Neither
// sync client uploads such a file (both pass over names that begin with
// "~$"; OneDrive does not sync .tmp files, and Dropbox none that begins with
// "~" and ends with ".tmp"), no data file has such a name, and a run finds
// its own leftover under the same name.
std::wstring TemporaryFor(const std::wstring& target);
// Whether a file's name (no folder) is such a temporary name.
bool IsTemporaryName(const std::wstring& name);
bool IsTemporaryName(const std::string& name);

// Told when a whole-file write finds its target other than expected just
// before the new bytes would take its place: another program wrote it. Keep
// returns true once what the target holds now (now) is safe elsewhere (a
// backup), and the write then replaces it; false leaves the target alone
// and fails the write with TargetChanged.
constexpr DWORD TargetChanged = ERROR_FILE_INVALID; // "externally altered"
class ChangedTarget {
  public:
    virtual ~ChangedTarget() = default;
    virtual bool Keep(const std::wstring& target, const FileState& now) = 0;
};

// The one way a file is written: whole, into its temporary file, flushed,
// then put in the target's place in one rename, so that the target holds its
// old bytes or its new ones at every instant. A temporary file left by a run
// that died is removed first, hidden or read-only; the temporary file never
// outlives a failure.
//
// With expected, the target must be as expected just before the rename,
// and changed is asked when it is not (without changed, the write fails). A
// target expected absent is made by a rename that never replaces, so that a
// file that arrives meanwhile is seen, not overwritten. Without expected the
// target is replaced whatever it holds (the settings store checks its file
// itself). A rename over a file held open is waited out.
//
// CopyWhole copies a file's bytes (and attributes and last-write time, as
// CopyFile does). WriteWhole writes text with the given attributes.
bool CopyWhole(const std::wstring& from, const std::wstring& to,
               const FileState* expected = nullptr, ChangedTarget* changed = nullptr);
bool WriteWhole(const std::wstring& to, const std::string& text, DWORD attributes,
                const FileState* expected = nullptr, ChangedTarget* changed = nullptr);

// The changes. Each tells the seam first, and each returns false (with
// GetLastError()) when the system refused.
bool MakeFolder(const std::wstring& path);
bool MakeFolder(const std::string& ansiPath);
// Copies a file over any file of that name, waiting out sharing violations.
// A read the cloud seam refuses fails the copy with its error.
bool CopyOneFile(const std::wstring& from, const std::wstring& to);
// Takes the hidden, system and read-only marks off a file, which CopyFile
// would otherwise refuse to overwrite (Windows documents access denied for
// a hidden or read-only destination; Wine running as root copies anyway).
bool ClearMarks(const std::wstring& path);
// Sets a file's or folder's attributes.
bool SetAttributes(const std::wstring& path, DWORD attributes);

} // namespace DiskChanges
