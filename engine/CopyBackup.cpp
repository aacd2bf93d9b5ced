// Copying data folders and backing them up into timestamped folders. These
// routines only ever add files or overwrite files of the same name: nothing is
// deleted, moved or renamed, and nothing copied before a failure is undone.
#include "TVNConfigUtil.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "FileSystem.h"
#include "Win32Handles.h"

namespace TVNConfigUtil {

const char* const BackupPrefix = "TVN Backup ";

namespace {

// Length of "yyyy-mm-dd [hh-nn-ss-zzz]".
const size_t TimestampLength = 25;

bool IsFolderEntry(const WIN32_FIND_DATAA& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsDotEntry(const WIN32_FIND_DATAA& entry) {
    return std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0;
}

// Calls visit(entry) for every entry of a folder (the folder ends with a
// backslash), hidden and system entries included, in the order the file
// system delivers them, until visit returns false. A folder that does not
// exist or cannot be listed has no entries. The search is closed on return,
// whichever way the walk ends.
template <typename Visit> void ForEachEntry(const std::string& folder, Visit visit) {
    WIN32_FIND_DATAA entry;
    UniqueFindHandle find(FindFirstFileA((folder + "*.*").c_str(), &entry));
    if (!find)
        return;
    do {
        if (!visit(entry))
            return;
    } while (FindNextFileA(find.get(), &entry));
}

// The folder part of a file path without its trailing backslash, except that
// a drive root (c:\) keeps it, since "c:" alone names the drive's current
// folder instead.
std::string FolderPartOf(const std::string& filePath) {
    std::string folder = FileSystem::ExtractFilePath(filePath);
    if (folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':')
        folder.pop_back();
    return folder;
}

} // namespace

bool CopyFileForcingFolder(const std::string& source, const std::string& destination) {
    std::string folder = FolderPartOf(destination);
    // A folder that cannot be created shows up as a failed copy below.
    if (!folder.empty() && !FileSystem::DirectoryExists(folder))
        FileSystem::ForceDirectories(folder);
    return CopyFileA(source.c_str(), destination.c_str(), FALSE) != 0;
}

bool CopyFolderTree(const std::string& source, const std::string& destination,
                    const std::string& excludePrefix) {
    if (destination.empty())
        return true;
    const std::string from = AddBackslash(source);
    const std::string to = AddBackslash(destination);

    // Subfolders first, each while this folder's search stays open.
    bool result = true;
    int copiedFolders = 0;
    ForEachEntry(from, [&](const WIN32_FIND_DATAA& entry) {
        if (!IsFolderEntry(entry) || IsDotEntry(entry))
            return true;
        // The name test keeps earlier backups out at every depth, and keeps a
        // backup being made inside its own source out of itself.
        if (!excludePrefix.empty() && IsBackupFolderName(excludePrefix, entry.cFileName))
            return true;
        if (!CopyFolderTree(from + entry.cFileName, to + entry.cFileName, excludePrefix)) {
            result = false;
            return false;
        }
        ++copiedFolders;
        return true;
    });
    if (!result)
        return false;

    // A copied subfolder created this folder as its parent; otherwise it may
    // not exist yet.
    if (copiedFolders == 0 && !FileSystem::ForceDirectories(to))
        return false;

    // Then this folder's own files, from a list taken with the search closed.
    std::vector<std::string> files;
    ForEachEntry(from, [&](const WIN32_FIND_DATAA& entry) {
        if (!IsFolderEntry(entry))
            files.emplace_back(entry.cFileName);
        return true;
    });
    for (const std::string& name : files)
        if (!CopyFileA((from + name).c_str(), (to + name).c_str(), FALSE))
            return false;
    return true;
}

bool FolderHasFiles(const std::string& folder) {
    if (folder.empty())
        return false;
    const std::string path = AddBackslash(folder);

    bool found = false;
    ForEachEntry(path, [&](const WIN32_FIND_DATAA& entry) {
        if (IsFolderEntry(entry) && !IsDotEntry(entry) && FolderHasFiles(path + entry.cFileName))
            found = true;
        return !found;
    });
    if (found)
        return true;

    ForEachEntry(path, [&](const WIN32_FIND_DATAA& entry) {
        found = !IsFolderEntry(entry);
        return !found;
    });
    return found;
}

bool BackupFolder(const std::string& folder, const std::string& holder) {
    const std::string into = AddBackslash(holder);
    if (into.empty())
        return false;
    return CopyFolderTree(folder, into + TimestampedName(BackupPrefix) + "\\", BackupPrefix);
}

std::string FormatTimestamp(const SYSTEMTIME& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d [%02d-%02d-%02d-%03d]",
                  static_cast<int>(time.wYear), static_cast<int>(time.wMonth),
                  static_cast<int>(time.wDay), static_cast<int>(time.wHour),
                  static_cast<int>(time.wMinute), static_cast<int>(time.wSecond),
                  static_cast<int>(time.wMilliseconds));
    return text;
}

std::string TimestampedName(const std::string& prefix) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return prefix + FormatTimestamp(now);
}

bool IsBackupFolderName(const std::string& prefix, const std::string& name) {
    const std::string lowPrefix = AsciiLowerCase(prefix);
    const std::string lowName = AsciiLowerCase(FileSystem::ExtractFileName(name));
    if (lowName.size() <= lowPrefix.size() || lowName.compare(0, lowPrefix.size(), lowPrefix) != 0)
        return false;
    const std::string rest = lowName.substr(lowPrefix.size());
    if (rest.size() < TimestampLength)
        return false;
    // Only the separators are looked at; positions count from 1.
    auto at = [&](size_t position) { return rest[position - 1]; };
    return at(5) == '-' && at(8) == '-' && at(12) == '[' && at(15) == '-' && at(18) == '-' &&
           at(21) == '-' && at(25) == ']';
}

} // namespace TVNConfigUtil
