// Sync conflict copies of monthly data files (see ConflictRules.h for the
// names): found in a root's data folder with the records each would add to
// its month file, and merged into the month files. Tallyvane reads only the
// month files, so a record that lives only in a copy is lost to it.
#pragma once

#include <string>
#include <vector>

namespace TVNConfigUtil {

// A copy and what a merge adds from it: the copies of one month are merged
// one after the other in name order, each counted against the month file as
// the copies before it left it, so that the counts add up to what the merge
// adds.
struct ConflictCopy {
    std::string name;  // the file's name, as the program's texts show it
    std::string month; // "yyyy-mm"
    long long records = 0;
};

struct ConflictFindings {
    std::string root;
    std::vector<ConflictCopy> copies; // by month, then name; also those that add nothing
    long long records = 0;            // in all
    bool stopped = false; // the progress observer stopped the look: the rest says nothing
};

// Records are the lines of a file, matched one for one with the comparison's
// text equality. A month whose month file or copy holds a byte 0 is left
// alone, since its text past that byte is no record and must not be lost.
// As the comparison does, it fetches files kept online only first, and
// throws EFOpenError, named by the lower-cased path, for a file that cannot
// be read, or EFCloudFileError for one its sync client could not provide.
ConflictFindings FindConflictCopies(const std::string& root);

struct MergeOutcome {
    std::string report;    // what was merged (a dry run: would be), or empty for nothing
    std::string errorText; // why the merge failed or stopped, or empty
    std::string backupFolder;
    bool changed = false;              // anything was made or replaced
    bool cancelled = false;            // the progress observer stopped the backup
    std::vector<std::string> replaced; // the month files replaced (or made), by name
    // Month files that another program wrote during the merge, kept in the
    // backup folder, read again and merged again.
    int keptChanged = 0;
};

// Merges the copies' records into their month files in the root's data
// folder: the checks every run makes before its first change, then the month
// files and copies backed up into a new backup folder in the root, then each
// month file replaced whole, in one rename. A missing month file is made
// from its copies. The copies themselves are never changed, moved or
// removed. A dry run stops after the checks. A month file is replaced only
// while it is as the merge read it: one that another program wrote meanwhile
// is kept in the backup, read and merged again, or after a few rounds left
// as it is, which the report says.
MergeOutcome MergeConflictCopies(const std::string& root, bool dryRun = false);
// The same, with what the merge's record (see RunRecord.h) says of it beyond
// its folder: the version.
struct RunRecord;
MergeOutcome MergeConflictCopies(const std::string& root, bool dryRun, const RunRecord& header);

} // namespace TVNConfigUtil
