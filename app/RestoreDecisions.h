// What a restore of a recorded run tells, apart from any window: the command
// line prints it with its exit code, the history dialog shows it in its
// preview and its report. Both front ends word a restore the same way.
#pragma once

#include <string>
#include <vector>

#include "Dialogs.h"
#include "Restore.h"

namespace RestoreDecisions {

// What the history says for an installation without a recorded run.
std::string NoRunText(const std::string& installFolder);

// How a restore, or its dry run, ended.
enum class End {
    Refused,     // a check failed before any change
    Failed,      // failed after a change: the message says what is kept where
    Cancelled,   // stopped part-way: the message says where its backup is
    NothingLeft, // nothing of the run is left to undo; nothing was changed
    Checked,     // a dry run whose steps pass every check
    Restored,    // the run has been undone
};

struct Told {
    End end = End::Refused;
    // What the restore does (a dry run: would do), then what it leaves as it
    // is, one line each.
    std::vector<std::string> details;
    std::string message;
};

// The run's restore as told. A dry run's message ends with what the front
// end calls a dry run (dryRunNote, e.g. " (--dry-run)") before its full stop.
Told TellRestore(const TVNConfigUtil::RunRecord& run, const TVNConfigUtil::RestoreOutcome& outcome,
                 bool dryRun, const std::string& dryRunNote = std::string());

// The details, then the message after a blank line, as a preview shows them.
std::string PreviewText(const Told& told);

// The message dialog's type for an end: an error, a warning for a restore
// stopped part-way, else information.
TMsgDlgType MessageTypeOf(End end);

} // namespace RestoreDecisions
