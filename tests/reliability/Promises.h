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
    RunRecord(const std::string& sandbox, const std::string& installFolder,
              const std::string& newRedirectFolder, const std::string& sourceRoot,
              const std::string& destinationRoot, bool copying);
    // Takes the sandbox as the run left it, and the backups it made.
    void Finish(const std::string& sandbox);

    Snapshot before, after;
    // The roots in normal form, and the settings files the run rewrites in place.
    std::string source, destination, install, newPlace;
    bool copyHappens;
    std::set<std::string> inis;
    // The backup folders the run made in the destination root.
    std::vector<std::string> newBackups;

    bool BackedUp(const std::string& path, const std::string& bytes) const;
    // A settings file rewritten from old (or made, when old is null); a
    // copied-over destination may carry the source's settings instead.
    std::string RewriteProblemOf(const std::string& path, const std::string* old,
                                 const std::string& bytes) const;
};

// Every old file is unchanged, rewritten as allowed, or kept in a backup
// folder the run made in the destination root.
void EveryOldFileIsKeptInPlaceOrInTheNewBackup(const RunRecord& run, FileCounts& counts,
                                               Problems& problems);

} // namespace test
