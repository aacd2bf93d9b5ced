// A configuration run with what a caller other than the window needs to know
// of it: whether it changed anything, what it made, and, for a dry run, what
// it would do. ConfigureInstallation is this run's outcome.
#pragma once

#include <string>
#include <vector>

#include "RunRecord.h"
#include "TVNConfigUtil.h"

namespace TVNConfigUtil {

struct RunDetails {
    Outcome outcome;
    // False when the run stopped before its first backup, copy or settings
    // write (a refusal of the path checks or of the checks before changes).
    bool changed = false;
    bool cancelled = false;   // its observer stopped it
    bool copying = false;     // the run copies (a dry run: would copy) the data
    bool copied = false;      // the data was copied to the destination
    std::string backupFolder; // the backup folder made, or empty
    // Files that another program wrote at the destination during the copy,
    // kept in the backup folder before the copy replaced them.
    int keptChanged = 0;
    std::string sourceRoot, destinationRoot;
    // What the backup and the copy go through, as planned.
    bool backupDue = false;
    unsigned long long backupFiles = 0, backupBytes = 0;
    unsigned long long copyFiles = 0, copyBytes = 0;
    // The settings files the run writes, each with the keys it sets or takes
    // out ("[Setup] Redirect=...", "[Server] ServerPath removed").
    struct SettingsWrite {
        std::string file;
        std::vector<std::string> keys;
    };
    std::vector<SettingsWrite> settingsWrites;
};

// What a configuration run is asked to do.
struct RunRequest {
    std::string installFolder, serverFolder, oldRedirectFolder, newRedirectFolder;
    // Where the data is copied from: CopySourceRoot's answer, decided once by
    // whoever decided to run.
    std::string sourceRoot;
    bool copyData = true;
    bool dryRun = false;
    // What the run's record says of it beyond the folders: the version, the
    // direction, the comparison and the answer.
    RunRecord record;
};

// ConfigureInstallation, telling in details what it did, also when an error
// of the settings store escapes it. A dry run makes every check that comes
// before the first change and then stops, changing nothing: not even the
// data folders are made, and its outcome's report is empty.
void RunConfiguration(const RunRequest& request, RunDetails& details);

// The warning ConfirmCopyDirection asks about.
std::string CopyDirectionWarning(bool copyLessComplete);

} // namespace TVNConfigUtil
