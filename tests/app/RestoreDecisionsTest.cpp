// How each end of a restore is told and shown: no window, no disk.
#include <gtest/gtest.h>

#include "RestoreDecisions.h"

using namespace RestoreDecisions;

namespace {

TEST(RestoreDecisions, EachEndIsToldAndShownAsItsKind) {
    TVNConfigUtil::RunRecord run;
    run.timeLocal = "2026-12-09T17:54:19";
    run.machine = "VM";
    run.newRedirect = "c:\\od\\tvn\\";
    run.complete = true;
    run.backupFolder = "c:\\no such folder\\"; // none: its size is 0
    const std::string line =
        "9 Dec 2026 17:54, VM: moved the data to \"c:\\od\\tvn\\\", backup 0.0 MB";
    const std::string dryRunEnd = "; nothing has been changed!.";
    struct Row {
        const char* name;
        bool steps, dryRun, changed, cancelled;
        const char* errorText;
        End end;
        TMsgDlgType type;
        std::string message; // "R" for the outcome's report
    } rows[] = {
        {"refused", true, false, false, false, "no room", End::Refused, mtError, "no room"},
        {"failed", true, false, true, false, "failed at x", End::Failed, mtError, "failed at x"},
        {"cancelled", true, false, true, true, "", End::Cancelled, mtWarning, "R"},
        {"checked", true, true, false, false, "", End::Checked, mtInformation,
         "Restoring " + line + ": the steps above pass every check" + dryRunEnd},
        {"nothing left, dry run", false, true, false, false, "", End::NothingLeft, mtInformation,
         "Restoring " + line + ": nothing is left to undo" + dryRunEnd},
        {"nothing left", false, false, false, false, "", End::NothingLeft, mtInformation,
         "Nothing of " + line + " is left to undo; nothing has been changed."},
        {"restored", true, false, true, false, "", End::Restored, mtInformation, "R"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TVNConfigUtil::RestoreOutcome outcome;
        if (row.steps)
            outcome.steps = {"s"};
        outcome.leftAlone = {"l"};
        outcome.report = "R";
        outcome.errorText = row.errorText;
        outcome.changed = row.changed;
        outcome.cancelled = row.cancelled;
        const Told told = TellRestore(run, outcome, row.dryRun, "!");
        EXPECT_EQ(told.end, row.end);
        EXPECT_EQ(told.message, row.message);
        EXPECT_EQ(MessageTypeOf(told.end), row.type);
    }
    EXPECT_EQ(PreviewText({End::Checked, {"Would: a", "Left as it is: b"}, "m"}),
              "Would: a\r\nLeft as it is: b\r\n\r\nm");
}

} // namespace
