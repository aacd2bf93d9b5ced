// The runs that touched an installation, from the records they keep in their
// backup folders, and the undoing of one: each place put back as it was
// before that run, never over what changed since.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "RunRecord.h"

namespace TVNConfigUtil {

struct History {
    std::vector<RunRecord> runs; // newest first
    // The backup folders' total size in each place they were found, since
    // backups in a cloud folder count against the user's storage.
    std::vector<std::pair<std::string, unsigned long long>> backupBytes;
};

// The runs found in the installation folder, its redirection, and every
// folder that a record found names.
History FindHistory(const std::string& installFolder);

// One readable line of a run: "9 Dec 2026 14:02, LAPTOP: moved the data to
// "...", 12 files made, 3 replaced, backup 4.1 MB", the backup's size as the
// history found it.
std::string HistoryLine(const RunRecord& run);

struct RestoreOutcome {
    // What the restore does (a dry run: would do), one line each, and what it
    // leaves as it is because it changed since the run, with where the run's
    // old copy is.
    std::vector<std::string> steps, leftAlone;
    std::string report;    // after a restore (not a dry run)
    std::string errorText; // why it stopped, or empty
    bool changed = false;
    bool cancelled = false;
    std::string backupFolder; // the restore's own, with its record
};

// Undoes a run: a file the run replaced gets its old bytes back from the
// backup if it still holds what the run left there; a file the run made is
// moved into the restore's backup folder if it still holds what the run left;
// a file a restore set aside comes back where nothing took its place; each
// settings key the run set or removed gets its old value back if it still
// holds the run's. The restore is itself a run with a record (header gives
// its version), so it can be undone too. A dry run checks and lists, and
// changes nothing.
RestoreOutcome RestoreRun(const RunRecord& run, const RunRecord& header, bool dryRun);

} // namespace TVNConfigUtil
