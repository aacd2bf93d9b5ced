// What a copy or backup of a data tree will do, worked out once without
// changing anything: the checks before a run's first change judge it, the
// progress totals and the free-space figure come from it, and the copy and
// the backup then carry it out instead of walking the tree again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "DiskChanges.h"

namespace TVNConfigUtil {

// A file of a planned folder, as the plan's listing showed it.
struct PlannedFile {
    std::wstring name;
    unsigned long long bytes = 0;
    DWORD attributes = 0;
    bool overwrites = false;              // a file of that name is at the destination now
    unsigned long long replacedBytes = 0; // and its size
    DiskChanges::FileState target;        // the destination file as planned (none: absent)
};

// A folder the copy goes through: its path below the tops of the tree ("" for
// the tops themselves, else ending with a backslash), whether the destination
// folder is made before its files (no planned subfolder made it on the way),
// and its files in the order they were listed.
struct PlannedFolder {
    std::wstring below;
    bool make = false;
    std::vector<PlannedFile> files;
    std::vector<std::wstring> subfolders; // every folder entry listed, entered or not
};

// A tree in the order its copy goes through it: each folder after its
// subfolders.
struct TreePlan {
    std::wstring from; // \\?\ path ending with a backslash; empty when the source cannot be named
    std::wstring to;   // the same; empty when it cannot be named, or for a backup, whose folder
                       // is named only when it is made
    std::vector<PlannedFolder> folders;
    std::vector<WIN32_FIND_DATAW> leftOutAtTop; // the backup folders a backup leaves out
    unsigned long long files = 0, bytes = 0;
};

// A file beside the data folder that a copy of a root takes along.
struct PlannedRootFile {
    std::wstring from, to;   // \\?\ paths
    bool exists = false;     // the source was there when planned
    bool overwrites = false; // and so was something of its name at the destination
    unsigned long long bytes = 0;
    DWORD attributes = 0;          // as a listing of its folder showed them
    DiskChanges::FileState target; // the destination file as planned
};

// The file whose copy failed, and the system's error, so that a failure a
// sync client caused can be named.
struct CopyFailure {
    std::wstring from;
    DWORD error = 0;
};

// The plan of CopyFolderTree(source, destination, excludePrefix). What each
// file overwrites is taken from destinationTree, a plan whose walk covered
// the destination, wherever that walk went; elsewhere it is looked up.
TreePlan PlanCopy(const std::string& source, const std::string& destination,
                  const std::string& excludePrefix, const TreePlan* destinationTree = nullptr);
// The plan of BackupFolder(folder, holder): all of folder but the backups at
// its top.
TreePlan PlanBackup(const std::string& folder);
// FolderHasFiles of a backup plan's folder, answered from the plan: the
// backups it leaves out are looked into only when nothing else holds a file.
bool HoldsFiles(const TreePlan& backup);

// Keeps what another program (a sync client, Tallyvane on this machine)
// wrote at a place while a run changes it, before the run's new bytes take
// its place: the file as it is now is copied into the run's backup folder in
// root, made here when the run has none yet, at its path below root; where
// the backup holds that path already (the file as the run found it), the
// copy is named "<name> (changed during the run)<.ext>", numbered from 2
// when that is taken too.
class KeepInBackup : public DiskChanges::ChangedTarget {
  public:
    // root in normal form; backupFolder is the run's, ending with a
    // backslash, or empty for none yet.
    KeepInBackup(const std::string& root, std::string& backupFolder);
    bool Keep(const std::wstring& target, const DiskChanges::FileState& now) override;
    int Kept() const { return kept_; }

  private:
    std::string root_;
    std::wstring wideRoot_;
    std::string& backup_;
    int kept_ = 0;
};

// Carries out a copy plan. Each planned source folder is listed once more
// just before its files are copied: a planned file gone by then is passed
// over, as a walk would pass it over, and a file that arrived since the plan
// is checked as the planned ones were before it is copied. Every file is
// copied whole (see DiskChanges::CopyWhole), and only over what the plan saw
// at its place: a file that another program wrote or made there since is
// handed to changed first (without changed, the copy stops there). Stops at
// the first failure, and before a file the progress observer says no to; a
// failed file copy is told in failure.
bool CarryOutCopy(const TreePlan& plan, DiskChanges::ChangedTarget* changed,
                  CopyFailure* failure = nullptr);
// Carries out a backup plan into made, the run's backup folder, when it
// names one already; else into a new backup folder in holder, naming the
// folder it made in made (also when the backup then failed or was stopped;
// empty when it made none). It never replaces a file.
bool CarryOutBackup(const TreePlan& plan, const std::string& holder, std::string& made,
                    CopyFailure* failure = nullptr);

// The name of a new backup folder in holder (ending with a backslash) that
// nothing there carries yet, or empty when that cannot be told.
std::string UnusedBackupName(const std::string& holder);

// The settings and the installation marker of sourceRoot, which a copy of
// the root takes along into destinationRoot; their names are listed here
// alone. What each overwrites is taken from destinationTree as in PlanCopy.
std::vector<PlannedRootFile> PlanRootFiles(const std::string& sourceRoot,
                                           const std::string& destinationRoot,
                                           const TreePlan* destinationTree);
// Copies them whole, each only over what the plan saw at its place (changed
// is asked otherwise, as by CarryOutCopy); one missing when planned is
// copied only if it has arrived since and passes the checks. False at the
// first copy that fails, told in failure.
bool CopyRootFiles(const std::vector<PlannedRootFile>& files, DiskChanges::ChangedTarget* changed,
                   CopyFailure* failure = nullptr);

} // namespace TVNConfigUtil
