// Copying data folders and backing them up into timestamped folders. These
// routines only ever add files or replace files of the same name, each whole
// and only over what their plan saw there: nothing is deleted or moved away,
// and nothing copied before a failure is undone.
#include "TVNConfigUtil.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "CloudFiles.h"
#include "CopyPlan.h"
#include "DiskChanges.h"
#include "FileSystem.h"
#include "Preflight.h"
#include "Progress.h"
#include "Win32Handles.h"

namespace TVNConfigUtil {

namespace {

using DiskChanges::AsFolder;
using DiskChanges::WidePath;

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

// Upper case, as the file system compares names.
std::wstring NameKey(std::wstring path) {
    if (!path.empty())
        CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    return path;
}

// What is at a destination, as a plan's walk of it listed it; a place that
// walk did not list (a folder link it did not follow, say) is looked at.
class DestinationFiles {
  public:
    explicit DestinationFiles(const TreePlan* listing) {
        if (!listing || listing->from.empty())
            return;
        for (const PlannedFolder& folder : listing->folders) {
            const std::wstring path = listing->from + folder.below;
            listed_.insert(NameKey(path));
            for (const PlannedFile& file : folder.files)
                sizes_[NameKey(path + file.name)] = file.bytes;
            for (const std::wstring& name : folder.subfolders)
                sizes_[NameKey(path + name)] = 0; // a folder's size, as the system reports it
        }
    }

    // Whether anything carries the path, and its size. A folder the listing
    // left out is listed at its first path, so that its files are not looked
    // at one by one.
    bool Find(const std::wstring& path, unsigned long long& bytes) {
        const std::wstring key = NameKey(path);
        const std::wstring folder = key.substr(0, key.find_last_of(L'\\') + 1);
        if (!listed_.count(folder))
            List(path.substr(0, folder.size()), folder);
        if (auto found = sizes_.find(key); found != sizes_.end()) {
            bytes = found->second;
            return true;
        }
        if (listed_.count(folder))
            return false;
        WIN32_FILE_ATTRIBUTE_DATA existing{};
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &existing))
            return false;
        bytes = FileSystem::ReportedSize(existing);
        return true;
    }

  private:
    // A folder that is not there holds nothing; one that cannot be listed
    // stays unlisted, and each of its paths is looked at alone. Each entry
    // is kept under its short name too, which opens it as well.
    void List(const std::wstring& folder, const std::wstring& key) {
        WIN32_FIND_DATAW entry;
        UniqueFindHandle find(FindFirstFileW((folder + L"*").c_str(), &entry));
        if (!find) {
            if (GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_FILE_NOT_FOUND)
                listed_.insert(key);
            return;
        }
        do {
            if (FileSystem::IsDotEntry(entry))
                continue;
            const unsigned long long bytes =
                FileSystem::IsFolderEntry(entry) ? 0 : FileSystem::ReportedSize(entry);
            sizes_[NameKey(key + entry.cFileName)] = bytes;
            if (entry.cAlternateFileName[0])
                sizes_[NameKey(key + entry.cAlternateFileName)] = bytes;
        } while (FindNextFileW(find.get(), &entry));
        if (GetLastError() == ERROR_NO_MORE_FILES)
            listed_.insert(key);
    }

    std::set<std::wstring> listed_;
    std::map<std::wstring, unsigned long long> sizes_;
};

// Plans a folder of a tree and everything below it from one listing of it:
// its subfolders first, each while this folder's search stays open, then
// this folder itself, made unless a planned subfolder made it as its parent,
// with its own files. from ends with a backslash; below is its path under
// the top.
void PlanFolder(const std::wstring& from, const std::wstring& below,
                const std::string& excludePrefix, Exclude exclude, TreeWalk& walk,
                DestinationFiles& destination, TreePlan& plan) {
    PlannedFolder planned{below, false, {}, {}};
    std::vector<PlannedFile> files;
    walk.Enter(from);
    int walkedFolders = 0;
    FileSystem::ForEachEntryW(from, [&](const WIN32_FIND_DATAW& entry) {
        if (!FileSystem::IsFolderEntry(entry)) {
            // A temporary file of a whole-file write is no data: the next
            // write of its target replaces it.
            if (!DiskChanges::IsTemporaryName(entry.cFileName))
                files.push_back(PlannedFile{entry.cFileName,
                                            FileSystem::ReportedSize(entry),
                                            entry.dwFileAttributes,
                                            false,
                                            0,
                                            {}});
            return true;
        }
        planned.subfolders.push_back(entry.cFileName);
        // The name test keeps earlier backups out; the one a backup makes
        // comes after its plan.
        if (exclude != Exclude::Nowhere &&
            IsBackupFolderName(excludePrefix, DiskChanges::ShownPath(entry.cFileName))) {
            if (below.empty())
                plan.leftOutAtTop.push_back(entry);
            return true;
        }
        const std::wstring folder = from + entry.cFileName + L'\\';
        if (!walk.MayEnter(folder, entry))
            return true;
        const Exclude deeper = exclude == Exclude::AtTopOnly ? Exclude::Nowhere : exclude;
        PlanFolder(folder, below + entry.cFileName + L'\\', excludePrefix, deeper, walk,
                   destination, plan);
        ++walkedFolders;
        return true;
    });
    walk.Leave();

    planned.make = walkedFolders == 0;
    for (PlannedFile& file : files) {
        if (!plan.to.empty()) {
            const std::wstring target = plan.to + below + file.name;
            file.overwrites = destination.Find(target, file.replacedBytes);
            if (file.overwrites && !DiskChanges::StateOf(target, file.target))
                file.target = DiskChanges::FileState{true};
        }
        plan.bytes += file.bytes;
    }
    planned.files = std::move(files);
    plan.files += planned.files.size();
    plan.folders.push_back(std::move(planned));
}

// The plan of a tree from its top on; a top that cannot be named lists
// nothing, and the copy then only makes the destination.
TreePlan PlanTree(const std::string& source, std::wstring to, const std::string& excludePrefix,
                  Exclude exclude, const TreePlan* destinationTree) {
    TreePlan plan;
    plan.from = AsFolder(WidePath(source));
    plan.to = std::move(to);
    TreeWalk walk(plan.to);
    if (plan.from.empty())
        plan.folders.push_back(PlannedFolder{L"", true, {}, {}});
    else {
        DestinationFiles destination(destinationTree);
        PlanFolder(plan.from, L"", excludePrefix, exclude, walk, destination, plan);
    }
    return plan;
}

// One file of a copy, the observer asked first. A file that arrived after
// the plan is checked first, as the planned ones were before the first
// change.
bool CopyFileOfPlan(const std::wstring& from, const std::wstring& to, unsigned long long bytes,
                    const DiskChanges::FileState& target, DiskChanges::ChangedTarget* changed,
                    bool arrived, CopyFailure* failure) {
    if (ProgressObserved() && !MayGoOn(DiskChanges::ShownPath(from), bytes))
        return false;
    if (arrived && !CheckFileToCopy(from, to).empty())
        return false;
    if (DiskChanges::CopyWhole(from, to, &target, changed))
        return true;
    if (failure)
        *failure = CopyFailure{from, GetLastError()};
    return false;
}

// to ends with a backslash.
bool CarryOut(const TreePlan& plan, const std::wstring& to, DiskChanges::ChangedTarget* changed,
              CopyFailure* failure) {
    if (to.empty())
        return false;
    for (const PlannedFolder& folder : plan.folders) {
        const std::wstring into = to + folder.below;
        if (folder.make && !ForceFolders(into))
            return false;
        if (plan.from.empty())
            continue;
        const std::wstring from = plan.from + folder.below;
        std::set<std::wstring> planned, present;
        for (const PlannedFile& file : folder.files)
            planned.insert(file.name);
        std::vector<WIN32_FIND_DATAW> arrived;
        FileSystem::ForEachEntryW(from, [&](const WIN32_FIND_DATAW& entry) {
            if (!FileSystem::IsFolderEntry(entry) &&
                !DiskChanges::IsTemporaryName(entry.cFileName)) {
                present.insert(entry.cFileName);
                if (!planned.count(entry.cFileName))
                    arrived.push_back(entry);
            }
            return true;
        });
        for (const PlannedFile& file : folder.files)
            if (present.count(file.name) &&
                !CopyFileOfPlan(from + file.name, into + file.name, file.bytes, file.target,
                                changed, false, failure))
                return false;
        // Nothing was planned at the place of a file that arrived: whatever
        // is there now is handed to changed.
        for (const WIN32_FIND_DATAW& entry : arrived)
            if (!CopyFileOfPlan(from + entry.cFileName, into + entry.cFileName,
                                FileSystem::ReportedSize(entry), DiskChanges::FileState{}, changed,
                                true, failure))
                return false;
    }
    return true;
}

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
        found = !FileSystem::IsFolderEntry(entry) && !DiskChanges::IsTemporaryName(entry.cFileName);
        return !found;
    });
    return found;
}

} // namespace

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

namespace {

// Copies one file whole, making the folder it goes into first.
bool CopyIntoFolder(const std::wstring& from, const std::wstring& to,
                    const DiskChanges::FileState* expected, DiskChanges::ChangedTarget* changed) {
    if (from.empty() || to.empty())
        return false;
    // A folder that cannot be made shows up as a failed copy below.
    const size_t cut = to.find_last_of(L'\\');
    if (cut != std::wstring::npos)
        ForceFolders(to.substr(0, cut + 1));
    return DiskChanges::CopyWhole(from, to, expected, changed);
}

} // namespace

KeepInBackup::KeepInBackup(const std::string& root, std::string& backupFolder)
    : root_(AddBackslash(root)), wideRoot_(AsFolder(WidePath(root))), backup_(backupFolder) {}

bool KeepInBackup::Keep(const std::wstring& target, const DiskChanges::FileState& now) {
    if (!now.exists)
        return true; // gone: nothing to keep
    if (backup_.empty()) {
        const std::string name = root_.empty() ? std::string() : UnusedBackupName(root_);
        if (name.empty() || !DiskChanges::MakeFolder(WidePath(root_ + name)))
            return false;
        backup_ = root_ + name + "\\";
    }
    std::wstring below = target.substr(target.find_last_of(L'\\') + 1);
    if (!wideRoot_.empty() && target.size() > wideRoot_.size() &&
        AsciiLower(target.substr(0, wideRoot_.size())) == AsciiLower(wideRoot_))
        below = target.substr(wideRoot_.size());
    const std::wstring into = AsFolder(WidePath(backup_));
    std::wstring kept = into + below;
    const size_t name = kept.find_last_of(L'\\') + 1;
    const size_t dot = kept.find_last_of(L'.');
    const size_t cut = dot != std::wstring::npos && dot > name ? dot : kept.size();
    for (int n = 1; GetFileAttributesW(kept.c_str()) != INVALID_FILE_ATTRIBUTES; ++n) {
        if (n > 999)
            return false;
        kept = into + below;
        kept.insert(cut,
                    L" (changed during the run" + (n > 1 ? L" " + std::to_wstring(n) : L"") + L")");
    }
    const DiskChanges::FileState none;
    if (!CopyIntoFolder(target, kept, &none, nullptr))
        return false;
    ++kept_;
    return true;
}

bool CopyFileForcingFolder(const std::string& source, const std::string& destination) {
    return CopyIntoFolder(WidePath(source), WidePath(destination), nullptr, nullptr);
}

TreePlan PlanCopy(const std::string& source, const std::string& destination,
                  const std::string& excludePrefix, const TreePlan* destinationTree) {
    const std::wstring to = AsFolder(WidePath(destination));
    if (to.empty())
        return TreePlan{};
    return PlanTree(source, to, excludePrefix,
                    excludePrefix.empty() ? Exclude::Nowhere : Exclude::AtEveryDepth,
                    destinationTree);
}

// Only the backups made here, this one among them, are left out. A folder
// deeper down that merely carries a backup name (an old backup inside a data
// folder, say) is copied like any other: the data copy that follows may
// overwrite its files, so they must be in the backup.
TreePlan PlanBackup(const std::string& folder) {
    return PlanTree(folder, std::wstring(), BackupPrefix, Exclude::AtTopOnly, nullptr);
}

bool HoldsFiles(const TreePlan& backup) {
    if (backup.files > 0)
        return true;
    if (backup.from.empty())
        return false;
    TreeWalk walk;
    walk.Enter(backup.from);
    for (const WIN32_FIND_DATAW& entry : backup.leftOutAtTop) {
        const std::wstring folder = backup.from + entry.cFileName + L'\\';
        if (walk.MayEnter(folder, entry) && HasFiles(folder, walk))
            return true;
    }
    return false;
}

bool CarryOutCopy(const TreePlan& plan, DiskChanges::ChangedTarget* changed, CopyFailure* failure) {
    return CarryOut(plan, plan.to, changed, failure);
}

bool CarryOutBackup(const TreePlan& plan, const std::string& holder, std::string& made,
                    CopyFailure* failure) {
    if (made.empty()) {
        const std::string into = AddBackslash(holder);
        const std::string name = into.empty() ? std::string() : UnusedBackupName(into);
        if (name.empty())
            return false;
        made = into + name + "\\";
    }
    // The backup's own files: nothing is planned at their places, and
    // nothing found there is replaced.
    return CarryOut(plan, AsFolder(WidePath(made)), nullptr, failure);
}

std::vector<PlannedRootFile> PlanRootFiles(const std::string& sourceRoot,
                                           const std::string& destinationRoot,
                                           const TreePlan* destinationTree) {
    DestinationFiles destination(destinationTree);
    std::vector<PlannedRootFile> files;
    for (const char* name : {SettingsFileName, InstallationMarkerName}) {
        PlannedRootFile file;
        file.from = WidePath(sourceRoot + name);
        file.to = WidePath(destinationRoot + name);
        WIN32_FILE_ATTRIBUTE_DATA source{};
        file.exists = GetFileAttributesExW(file.from.c_str(), GetFileExInfoStandard, &source);
        file.bytes = file.exists ? FileSystem::ReportedSize(source) : 0;
        file.attributes = file.exists ? CloudFiles::ListedAttributes(file.from) : 0;
        unsigned long long replaced = 0;
        file.overwrites = file.exists && destination.Find(file.to, replaced);
        if (file.overwrites && !DiskChanges::StateOf(file.to, file.target))
            file.target = DiskChanges::FileState{true};
        files.push_back(std::move(file));
    }
    return files;
}

bool CopyRootFiles(const std::vector<PlannedRootFile>& files, DiskChanges::ChangedTarget* changed,
                   CopyFailure* failure) {
    for (const PlannedRootFile& file : files)
        if (file.exists || (GetFileAttributesW(file.from.c_str()) != INVALID_FILE_ATTRIBUTES &&
                            CheckFileToCopy(file.from, file.to).empty()))
            if (!CopyIntoFolder(file.from, file.to, &file.target, changed)) {
                if (failure)
                    *failure = CopyFailure{file.from, GetLastError()};
                return false;
            }
    return true;
}

bool CopyFolderTree(const std::string& source, const std::string& destination,
                    const std::string& excludePrefix) {
    if (destination.empty())
        return true;
    return CarryOutCopy(PlanCopy(source, destination, excludePrefix), nullptr);
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
    return CarryOutBackup(PlanBackup(folder), holder, made);
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
