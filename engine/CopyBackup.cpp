// Copying data folders and backing them up into timestamped folders. These
// routines only ever add files or overwrite files of the same name: nothing is
// deleted, moved or renamed, and nothing copied before a failure is undone.
#include "TVNConfigUtil.h"

#include <algorithm>
#include <vector>

#include "FileSystem.h"
#include "Win32Handles.h"

namespace TVNConfigUtil {

bool CopyFileForcingFolder(const std::string& source, const std::string& destination) {
    std::string folder = FolderOfFile(destination);
    // A folder that cannot be created shows up as a failed copy below.
    if (!folder.empty() && !FileSystem::DirectoryExists(folder))
        FileSystem::ForceDirectories(folder);
    return CopyFileA(source.c_str(), destination.c_str(), FALSE) != 0;
}

namespace {

// What identifies a folder whatever path leads to it: a folder link (a
// junction or symbolic link) and its target give the same identity.
struct FolderIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FolderIdentity&) const = default;
};

bool IdentityOf(const std::string& folder, FolderIdentity& identity) {
    UniqueFileHandle handle(
        CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !GetFileInformationByHandle(handle.get(), &info))
        return false;
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

// One walk down a folder tree: the folders from the top to the one being
// listed, and for a copy the folder being copied into. A folder is not
// entered when that would make the walk run away:
// - the copy's own destination, when it lies inside the source, would be
//   copied into itself again and again;
// - a folder link leading back to a folder on the way down is a loop.
// Any other folder link is followed like a folder, also one whose target
// cannot be opened.
class TreeWalk {
  public:
    explicit TreeWalk(const std::string& destination = std::string())
        : destination_(destination),
          destinationFull_(NormalForm(FileSystem::ExpandFullPath(destination))) {}

    bool MayEnter(const std::string& folder, const WIN32_FIND_DATAA& entry) const {
        if (!destination_.empty() &&
            NormalForm(FileSystem::ExpandFullPath(folder)) == destinationFull_)
            return false;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        // A link whose target cannot be opened (it is gone, or this account
        // may not read it) cannot lead back up either; it is entered like any
        // folder that cannot be listed, and gives an empty folder.
        FolderIdentity target;
        if (!IdentityOf(folder, target))
            return true;
        auto leadsTo = [&](const std::string& other) {
            FolderIdentity identity;
            return IdentityOf(other, identity) && identity == target;
        };
        return !(!destination_.empty() && leadsTo(destination_)) &&
               std::none_of(path_.begin(), path_.end(), leadsTo);
    }

    void Enter(const std::string& folder) { path_.push_back(folder); }
    void Leave() { path_.pop_back(); }

  private:
    std::string destination_;
    std::string destinationFull_;
    std::vector<std::string> path_;
};

// Which backup folders a copy leaves out.
enum class Exclude { Nowhere, AtEveryDepth, AtTopOnly };

bool CopyTree(const std::string& source, const std::string& destination,
              const std::string& excludePrefix, Exclude exclude, TreeWalk& walk) {
    const std::string from = AddBackslash(source);
    const std::string to = AddBackslash(destination);
    walk.Enter(from);

    // Subfolders first, each while this folder's search stays open.
    bool result = true;
    int copiedFolders = 0;
    FileSystem::ForEachEntry(from, [&](const WIN32_FIND_DATAA& entry) {
        if (!FileSystem::IsFolderEntry(entry))
            return true;
        // The name test keeps earlier backups out, and keeps a backup being
        // made inside its own source out of itself.
        if (exclude != Exclude::Nowhere && IsBackupFolderName(excludePrefix, entry.cFileName))
            return true;
        if (!walk.MayEnter(from + entry.cFileName, entry))
            return true;
        const Exclude below = exclude == Exclude::AtTopOnly ? Exclude::Nowhere : exclude;
        if (!CopyTree(from + entry.cFileName, to + entry.cFileName, excludePrefix, below, walk)) {
            result = false;
            return false;
        }
        ++copiedFolders;
        return true;
    });
    walk.Leave();
    if (!result)
        return false;

    // A copied subfolder created this folder as its parent; otherwise it may
    // not exist yet.
    if (copiedFolders == 0 && !FileSystem::ForceDirectories(to))
        return false;

    // Then this folder's own files, from a list taken with the search closed.
    std::vector<std::string> files;
    FileSystem::ForEachEntry(from, [&](const WIN32_FIND_DATAA& entry) {
        if (!FileSystem::IsFolderEntry(entry))
            files.emplace_back(entry.cFileName);
        return true;
    });
    for (const std::string& name : files)
        if (!CopyFileA((from + name).c_str(), (to + name).c_str(), FALSE))
            return false;
    return true;
}

bool HasFiles(const std::string& folder, TreeWalk& walk) {
    const std::string path = AddBackslash(folder);
    walk.Enter(path);
    bool found = false;
    FileSystem::ForEachEntry(path, [&](const WIN32_FIND_DATAA& entry) {
        if (FileSystem::IsFolderEntry(entry) && walk.MayEnter(path + entry.cFileName, entry) &&
            HasFiles(path + entry.cFileName, walk))
            found = true;
        return !found;
    });
    walk.Leave();
    if (found)
        return true;

    FileSystem::ForEachEntry(path, [&](const WIN32_FIND_DATAA& entry) {
        found = !FileSystem::IsFolderEntry(entry);
        return !found;
    });
    return found;
}

// A backup folder name that nothing in the holder carries yet. Two backups
// within one millisecond, or a clock set back (the end of summer time), could
// otherwise give an existing backup's name, and the new copy would overwrite
// the files it preserves. The clock moves on within a few milliseconds. Empty
// when the holder cannot tell whether a name is taken: waiting for the clock
// would not change that.
std::string UnusedBackupName(const std::string& holder) {
    for (int attempt = 0; attempt < 2000; ++attempt) {
        std::string name = TimestampedName(BackupPrefix);
        switch (FileSystem::StateOf(holder + name)) {
        case FileSystem::PathState::Missing:
            return name;
        case FileSystem::PathState::Unknown:
            return std::string();
        case FileSystem::PathState::Exists:
            Sleep(1);
            break;
        }
    }
    return std::string();
}

} // namespace

bool CopyFolderTree(const std::string& source, const std::string& destination,
                    const std::string& excludePrefix) {
    if (destination.empty())
        return true;
    TreeWalk walk(destination);
    return CopyTree(source, destination, excludePrefix,
                    excludePrefix.empty() ? Exclude::Nowhere : Exclude::AtEveryDepth, walk);
}

bool FolderHasFiles(const std::string& folder) {
    if (folder.empty())
        return false;
    TreeWalk walk;
    return HasFiles(folder, walk);
}

bool BackupFolder(const std::string& folder, const std::string& holder) {
    const std::string into = AddBackslash(holder);
    if (into.empty())
        return false;
    const std::string name = UnusedBackupName(into);
    if (name.empty())
        return false;
    // Only the backups made here, this one among them, are left out. A
    // folder deeper down that merely carries a backup name (an old backup
    // inside a data folder, say) is copied like any other: the data copy that
    // follows may overwrite its files, so they must be in the backup.
    TreeWalk walk(into + name + "\\");
    return CopyTree(folder, into + name + "\\", BackupPrefix, Exclude::AtTopOnly, walk);
}

std::string FormatTimestamp(const SYSTEMTIME& time) {
    return FormatTimestampFields(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
                                 time.wSecond, time.wMilliseconds);
}

std::string TimestampedName(const std::string& prefix) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return prefix + FormatTimestamp(now);
}

} // namespace TVNConfigUtil
