// Copying data folders and backing them up into timestamped folders. These
// routines only ever add files or overwrite files of the same name: nothing is
// deleted, moved or renamed, and nothing copied before a failure is undone.
#include "TVNConfigUtil.h"

#include <algorithm>
#include <vector>

#include "CopyPlan.h"
#include "DiskChanges.h"
#include "FileSystem.h"
#include "Progress.h"
#include "Win32Handles.h"

namespace TVNConfigUtil {

namespace {

using DiskChanges::WidePath;

// A folder path ending in a backslash.
std::wstring AsFolder(const std::wstring& path) {
    if (path.empty() || path.back() == L'\\')
        return path;
    return path + L'\\';
}

std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c + (L'a' - L'A'));
    return text;
}

bool FolderExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether a \\?\ path names a drive (\\?\c:) or a share (\\?\UNC\srv\share),
// where the walk up to make missing folders ends.
bool IsRootOfLongPath(const std::wstring& path) {
    if (!path.empty() && path.back() == L':')
        return true;
    return path.rfind(L"\\\\?\\UNC\\", 0) == 0 && std::count(path.begin(), path.end(), L'\\') <= 5;
}

// Makes a folder (a \\?\ path) and every missing folder above it.
bool ForceFolders(const std::wstring& folder) {
    const std::wstring path =
        !folder.empty() && folder.back() == L'\\' ? folder.substr(0, folder.size() - 1) : folder;
    if (path.empty() || FolderExists(path))
        return true;
    if (IsRootOfLongPath(path))
        return false; // a drive or share that is not there
    const size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut < 4)
        return false;
    const std::wstring parent = path.substr(0, cut);
    if (!IsRootOfLongPath(parent) && !ForceFolders(parent))
        return false;
    return DiskChanges::MakeFolder(path) || FolderExists(path);
}

// What identifies a folder whatever path leads to it: a folder link (a
// junction or symbolic link) and its target give the same identity.
struct FolderIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FolderIdentity&) const = default;
};

bool IdentityOf(const std::wstring& folder, FolderIdentity& identity) {
    UniqueFileHandle handle(
        CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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
    explicit TreeWalk(const std::wstring& destination = std::wstring())
        : destination_(AsFolder(destination)), destinationLower_(AsciiLower(destination_)) {}

    // folder ends with a backslash.
    bool MayEnter(const std::wstring& folder, const WIN32_FIND_DATAW& entry) const {
        if (!destination_.empty() && AsciiLower(folder) == destinationLower_)
            return false;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        // A link whose target cannot be opened (it is gone, or this account
        // may not read it) cannot lead back up either; it is entered like any
        // folder that cannot be listed, and gives an empty folder. Wine
        // running as root opens every target and lists no dangling link.
        FolderIdentity target;
        if (!IdentityOf(folder, target))
            return true;
        auto leadsTo = [&](const std::wstring& other) {
            FolderIdentity identity;
            return IdentityOf(other, identity) && identity == target;
        };
        return !(!destination_.empty() && leadsTo(destination_)) &&
               std::none_of(path_.begin(), path_.end(), leadsTo);
    }

    void Enter(const std::wstring& folder) { path_.push_back(folder); }
    void Leave() { path_.pop_back(); }

  private:
    std::wstring destination_;
    std::wstring destinationLower_;
    std::vector<std::wstring> path_;
};

// Which backup folders a copy leaves out.
enum class Exclude { Nowhere, AtEveryDepth, AtTopOnly };

// What a walk of a tree to be copied does: Folder(to) before the first file
// lands in a folder that no subfolder has made, File(from, to, entry) for each
// file. Returning false stops the walk.
class TreeWork {
  public:
    virtual ~TreeWork() = default;
    virtual bool Folder(const std::wstring& to) = 0;
    virtual bool File(const std::wstring& from, const std::wstring& to,
                      const WIN32_FIND_DATAW& entry) = 0;
};

// from and to end with a backslash.
bool WalkTree(const std::wstring& from, const std::wstring& to, const std::string& excludePrefix,
              Exclude exclude, TreeWalk& walk, TreeWork& work) {
    walk.Enter(from);

    // Subfolders first, each while this folder's search stays open.
    bool result = true;
    int walkedFolders = 0;
    FileSystem::ForEachEntryW(from, [&](const WIN32_FIND_DATAW& entry) {
        if (!FileSystem::IsFolderEntry(entry))
            return true;
        // The name test keeps earlier backups out, and keeps a backup being
        // made inside its own source out of itself.
        if (exclude != Exclude::Nowhere &&
            IsBackupFolderName(excludePrefix, DiskChanges::ShownPath(entry.cFileName)))
            return true;
        const std::wstring folder = from + entry.cFileName + L'\\';
        if (!walk.MayEnter(folder, entry))
            return true;
        const Exclude below = exclude == Exclude::AtTopOnly ? Exclude::Nowhere : exclude;
        if (!WalkTree(folder, to + entry.cFileName + L'\\', excludePrefix, below, walk, work)) {
            result = false;
            return false;
        }
        ++walkedFolders;
        return true;
    });
    walk.Leave();
    if (!result)
        return false;

    // A walked subfolder made this folder as its parent; otherwise it may
    // not exist yet.
    if (walkedFolders == 0 && !work.Folder(to))
        return false;

    // Then this folder's own files, from a list taken with the search closed.
    std::vector<WIN32_FIND_DATAW> files;
    FileSystem::ForEachEntryW(from, [&](const WIN32_FIND_DATAW& entry) {
        if (!FileSystem::IsFolderEntry(entry))
            files.push_back(entry);
        return true;
    });
    for (const WIN32_FIND_DATAW& entry : files)
        if (!work.File(from + entry.cFileName, to + entry.cFileName, entry))
            return false;
    return true;
}

// Copies each file; with clearMarks, first takes the hidden, system and
// read-only marks off a file it overwrites (only for a destination whose
// files a backup already holds).
class CopyWork : public TreeWork {
  public:
    explicit CopyWork(bool clearMarks) : clearMarks_(clearMarks) {}
    bool Folder(const std::wstring& to) override { return ForceFolders(to); }
    bool File(const std::wstring& from, const std::wstring& to,
              const WIN32_FIND_DATAW& entry) override {
        if (ProgressObserved() &&
            !MayGoOn(DiskChanges::ShownPath(from), FileSystem::ReportedSize(entry)))
            return false;
        if (clearMarks_ && !DiskChanges::ClearMarks(to))
            return false;
        return DiskChanges::CopyOneFile(from, to);
    }

  private:
    bool clearMarks_;
};

// Writes down what a copy would do, changing nothing.
class PlanWork : public TreeWork {
  public:
    explicit PlanWork(CopyPlan& plan) : plan_(plan) {}
    bool Folder(const std::wstring&) override { return true; }
    bool File(const std::wstring& from, const std::wstring& to,
              const WIN32_FIND_DATAW& entry) override {
        PlannedFile file{from, to, FileSystem::ReportedSize(entry)};
        WIN32_FILE_ATTRIBUTE_DATA existing{};
        if (GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &existing)) {
            file.overwrites = true;
            file.replacedBytes = FileSystem::ReportedSize(existing);
        }
        plan_.bytes += file.bytes;
        plan_.files.push_back(std::move(file));
        return true;
    }

  private:
    CopyPlan& plan_;
};

bool HasFiles(const std::wstring& folder, TreeWalk& walk) {
    walk.Enter(folder);
    bool found = false;
    FileSystem::ForEachEntryW(folder, [&](const WIN32_FIND_DATAW& entry) {
        const std::wstring below = folder + entry.cFileName + L'\\';
        if (FileSystem::IsFolderEntry(entry) && walk.MayEnter(below, entry) &&
            HasFiles(below, walk))
            found = true;
        return !found;
    });
    walk.Leave();
    if (found)
        return true;

    FileSystem::ForEachEntryW(folder, [&](const WIN32_FIND_DATAW& entry) {
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

// A copy of a data tree: the walk with its exclusions, done by work.
bool WalkCopy(const std::string& source, const std::string& destination,
              const std::string& excludePrefix, TreeWork& work) {
    const std::wstring to = AsFolder(WidePath(destination));
    if (to.empty())
        return false;
    // A source that cannot be named lists nothing, as a missing one.
    const std::wstring from = AsFolder(WidePath(source));
    TreeWalk walk(to);
    const Exclude exclude = excludePrefix.empty() ? Exclude::Nowhere : Exclude::AtEveryDepth;
    if (from.empty())
        return work.Folder(to);
    return WalkTree(from, to, excludePrefix, exclude, walk, work);
}

// Only the backups made here, this one among them, are left out. A folder
// deeper down that merely carries a backup name (an old backup inside a data
// folder, say) is copied like any other: the data copy that follows may
// overwrite its files, so they must be in the backup.
bool WalkBackup(const std::string& folder, const std::string& into, TreeWork& work) {
    const std::wstring from = AsFolder(WidePath(folder));
    const std::wstring to = AsFolder(WidePath(into));
    if (to.empty())
        return false;
    if (from.empty())
        return work.Folder(to);
    TreeWalk walk(to);
    return WalkTree(from, to, BackupPrefix, Exclude::AtTopOnly, walk, work);
}

} // namespace

namespace {
// Copies one file, making the folder it goes into first; whole replaces the
// destination in one rename instead of writing over it.
bool CopyIntoFolder(const std::string& source, const std::string& destination, bool whole) {
    const std::wstring from = WidePath(source);
    const std::wstring to = WidePath(destination);
    if (from.empty() || to.empty())
        return false;
    // A folder that cannot be made shows up as a failed copy below.
    const size_t cut = to.find_last_of(L'\\');
    if (cut != std::wstring::npos)
        ForceFolders(to.substr(0, cut + 1));
    return whole ? DiskChanges::CopyOneFileWhole(from, to) : DiskChanges::CopyOneFile(from, to);
}
} // namespace

bool CopyFileForcingFolder(const std::string& source, const std::string& destination) {
    return CopyIntoFolder(source, destination, false);
}

bool CopySettingsFile(const std::string& source, const std::string& destination) {
    return CopyIntoFolder(source, destination, true);
}

bool CopyFolderTree(const std::string& source, const std::string& destination,
                    const std::string& excludePrefix) {
    if (destination.empty())
        return true;
    CopyWork work(false);
    return WalkCopy(source, destination, excludePrefix, work);
}

bool CopyDataOverBackedUpFiles(const std::string& source, const std::string& destination) {
    CopyWork work(true);
    return WalkCopy(source, destination, "", work);
}

CopyPlan PlanFolderTree(const std::string& source, const std::string& destination,
                        const std::string& excludePrefix) {
    CopyPlan plan;
    PlanWork work(plan);
    WalkCopy(source, destination, excludePrefix, work);
    return plan;
}

CopyPlan PlanBackup(const std::string& folder) {
    CopyPlan plan;
    PlanWork work(plan);
    WalkBackup(folder, AddBackslash(folder) + BackupPrefix + "planned\\", work);
    return plan;
}

bool FolderHasFiles(const std::string& folder) {
    if (folder.empty())
        return false;
    const std::wstring path = AsFolder(WidePath(folder));
    if (path.empty())
        return false;
    TreeWalk walk;
    return HasFiles(path, walk);
}

bool BackupFolder(const std::string& folder, const std::string& holder) {
    std::string made;
    return BackupFolderInto(folder, holder, made);
}

bool BackupFolderInto(const std::string& folder, const std::string& holder, std::string& made) {
    const std::string into = AddBackslash(holder);
    made.clear();
    if (into.empty())
        return false;
    const std::string name = UnusedBackupName(into);
    if (name.empty())
        return false;
    made = into + name + "\\";
    CopyWork work(false);
    return WalkBackup(folder, made, work);
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
