// What a copy or backup of a data tree would do, worked out without changing
// anything, so that a run can check everything it is about to touch before
// it touches anything.
#pragma once

#include <string>
#include <vector>

namespace TVNConfigUtil {

struct PlannedFile {
    std::wstring from; // \\?\ paths
    std::wstring to;
    unsigned long long bytes = 0;
    bool overwrites = false;              // a file of that name is at the destination now
    unsigned long long replacedBytes = 0; // and its size
};

struct CopyPlan {
    std::vector<PlannedFile> files;
    unsigned long long bytes = 0;
};

// The files CopyFolderTree(source, destination, excludePrefix) would copy.
CopyPlan PlanFolderTree(const std::string& source, const std::string& destination,
                        const std::string& excludePrefix);
// The files BackupFolder(folder, folder) would copy.
CopyPlan PlanBackup(const std::string& folder);

// BackupFolder, naming the backup folder it made (also when the backup then
// failed or was stopped; empty when it made none).
bool BackupFolderInto(const std::string& folder, const std::string& holder, std::string& made);

// CopyFolderTree without exclusions, for a destination whose files a backup
// already holds: the hidden, system and read-only marks of a file it
// overwrites are taken off first, since CopyFile refuses to overwrite such a
// file on Windows.
bool CopyDataOverBackedUpFiles(const std::string& source, const std::string& destination);

// CopyFileForcingFolder for a settings file: the destination is replaced
// whole, so that it never holds part of the new text.
bool CopySettingsFile(const std::string& source, const std::string& destination);

} // namespace TVNConfigUtil
