// The promise every configuration run keeps, whether it ends, fails or is
// broken off: no file that existed before it is lost. Each is still there
// byte for byte, rewritten as a settings file may be, or inside the backup
// folder the run made in its destination root. Both reliability suites hold
// their runs to it with these checks.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace test {

// The sandbox's files and folders by lower-cased full paths, as the run's
// roots in normal form name them.
Snapshot LowerCaseSnapshot(const std::string& root);

// Settings text the run wrote: canonical, and with the lines of the base text,
// no more and no fewer, leaving aside the keys the run rewrites. Empty when
// it is so, else what is wrong.
std::string RewriteProblem(const std::string& bytes, const std::string& base);

// What a run broke of its promises, one problem a line.
struct Problems {
    std::string text;
    void Expect(bool ok, const std::string& problem) {
        if (!ok)
            text += "\n  " + problem;
    }
};

struct FileCounts {
    int filesChecked = 0, filesLost = 0;
};

// One run on a sandbox: its roots, and the sandbox before and after it.
struct RunRecord {
    // Takes the sandbox before the run. The folders as the run is given them;
    // source and destination are the roots it should copy from and to.
    // mergeRoots: the roots whose sync conflict copies the run merges first.
    RunRecord(const std::string& sandbox, const std::string& installFolder,
              const std::string& newRedirectFolder, const std::string& sourceRoot,
              const std::string& destinationRoot, bool copying,
              const std::vector<std::string>& mergeRoots = {});
    // Takes the sandbox as the run left it, and the backups it made.
    void Finish(const std::string& sandbox);

    Snapshot before, after;
    // The roots in normal form, and the settings files the run rewrites in place.
    std::string source, destination, install, newPlace;
    bool copyHappens;
    std::set<std::string> inis;
    std::vector<std::string> mergeRoots;
    // The month files that had conflict copies in a merged root: a merge
    // rewrites them, or makes them.
    std::set<std::string> mergedMonths;
    // The backup folders the run made in the destination root and in the
    // merged roots.
    std::vector<std::string> newBackups;

    bool BackedUp(const std::string& path, const std::string& bytes) const;
    // A settings file rewritten from old (or made, when old is null); a
    // copied-over destination may carry the source's settings instead.
    std::string RewriteProblemOf(const std::string& path, const std::string* old,
                                 const std::string& bytes) const;
};

// The root a backup folder was made in.
std::string RootOfBackup(const std::string& backup);

// After a merge in root: each month file with conflict copies holds each
// line of its old self and of each copy, one for one and the month file's
// in their order, and no line that none of them held.
void MergedMonthsHoldEveryRecord(const Snapshot& before, const Snapshot& after,
                                 const std::string& root, Problems& problems);

// Every old file is unchanged, rewritten as allowed, or kept in a backup
// folder the run made in the destination root or a merged root.
void EveryOldFileIsKeptInPlaceOrInTheNewBackup(const RunRecord& run, FileCounts& counts,
                                               Problems& problems);

} // namespace test
