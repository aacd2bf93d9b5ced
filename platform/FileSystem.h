// Thin helpers over the ANSI file-system calls, and the one walk of a
// folder's entries. Failures are values.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "CloudFiles.h"
#include "FileSystemText.h"
#include "Win32Handles.h"

namespace FileSystem {

// The search calls for ANSI and wide names, so that one loop serves both.
inline HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* entry) {
    return FindFirstFileA(pattern, entry);
}
inline HANDLE FindFirst(const wchar_t* pattern, WIN32_FIND_DATAW* entry) {
    return FindFirstFileW(pattern, entry);
}
inline BOOL FindNext(HANDLE find, WIN32_FIND_DATAA* entry) {
    return FindNextFileA(find, entry);
}
inline BOOL FindNext(HANDLE find, WIN32_FIND_DATAW* entry) {
    return FindNextFileW(find, entry);
}

template <typename FindData> bool IsFolderEntry(const FindData& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

template <typename FindData> bool IsDotEntry(const FindData& entry) {
    const auto* name = entry.cFileName;
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Calls visit(entry) for every entry that the system finds for pattern, in
// the order the file system delivers them, until visit returns false. The
// search is closed on return, whichever way the walk ends.
template <typename FindData, typename Char, typename Visit>
void ForEachFound(const std::basic_string<Char>& pattern, Visit visit) {
    FindData entry;
    UniqueFindHandle find(FindFirst(pattern.c_str(), &entry));
    if (!find)
        return;
    do {
        if (!visit(static_cast<const FindData&>(entry)))
            return;
    } while (FindNext(find.get(), &entry));
}

template <typename Visit> void ForEachMatch(const std::string& pattern, Visit visit) {
    ForEachFound<WIN32_FIND_DATAA>(pattern, visit);
}

// An entry of folder with the attributes the cloud seam in force reports.
template <typename FindData, typename Char, typename Visit>
bool VisitAsListed(const std::basic_string<Char>& folder, const FindData& entry, Visit& visit) {
    if (!CloudFiles::SeamInForce())
        return visit(entry);
    FindData listed = entry;
    listed.dwFileAttributes =
        CloudFiles::Reported(folder + entry.cFileName, entry.dwFileAttributes);
    return visit(static_cast<const FindData&>(listed));
}

// The one walk of a folder's entries: calls visit(entry) for every entry of
// folder (which ends with a backslash), hidden and system entries included,
// "." and ".." left out, until visit returns false. A folder that does not
// exist or cannot be listed has no entries.
template <typename Visit> void ForEachEntry(const std::string& folder, Visit visit) {
    ForEachFound<WIN32_FIND_DATAA>(folder + "*", [&](const WIN32_FIND_DATAA& entry) {
        return IsDotEntry(entry) || VisitAsListed(folder, entry, visit);
    });
}

// The same walk with the wide calls, for the data trees: folder is a long
// path ending with a backslash (see DiskChanges::WidePath), so that names
// outside the ANSI code page and paths beyond 260 characters are listed.
template <typename Visit> void ForEachEntryW(const std::wstring& folder, Visit visit) {
    ForEachFound<WIN32_FIND_DATAW>(folder + L"*", [&](const WIN32_FIND_DATAW& entry) {
        return IsDotEntry(entry) || VisitAsListed(folder, entry, visit);
    });
}

// The size of a file as a listing or an attribute query reports it.
template <typename FindData> unsigned long long ReportedSize(const FindData& entry) {
    return (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

// GetFullPathNameA into a 260-character buffer. Empty when the call fails or
// the full path would not fit (the ANSI file calls refuse such paths anyway).
std::string ExpandFullPath(const std::string& path);

// True when FindFirstFileA finds the exact name and it is not a folder.
bool FileExists(const std::string& path);

// Whether anything (file or folder) carries a path: Exists, Missing (the
// system says no such file or path), or Unknown for any other failure (a
// name the file system refuses, a device not ready, access denied on the
// folder above): such a name cannot be counted on either way.
enum class PathState { Exists, Missing, Unknown };
PathState StateOf(const std::string& path);

// True when GetFileAttributesA succeeds and carries the folder attribute.
bool DirectoryExists(const std::string& path);

// Creates a folder and every missing folder above it. One trailing backslash
// is ignored; a drive root ("c:"), an existing folder, or a path whose parent
// part is itself counts as done. False for an empty path, for a single name
// without a folder part ("srv", which would land in the current folder), and
// for any failed step.
bool ForceDirectories(const std::string& path);
// The folders ForceDirectories would make for path, outermost first, each
// ending with a backslash.
std::vector<std::string> MissingFolders(const std::string& path);

// Reads a whole file, opened for reading with only readers allowed to share
// it; a sharing violation is waited out for a moment. Throws
// EFOpenError(errorName) when the file cannot be opened or read.
std::string ReadWholeFile(const std::string& path, const std::string& errorName);
// The same without the exception: false, with the system's error, when the
// file cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& text, DWORD& error);

// The same into a buffer that a caller keeps from file to file: the file's
// bytes replace the text, and its memory is reused. A fresh megabyte costs
// more to map in than to read from the cache.
void ReadWholeFileInto(const std::string& path, const std::string& errorName, std::string& text);

} // namespace FileSystem
