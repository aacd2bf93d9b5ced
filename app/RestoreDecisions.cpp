#include "RestoreDecisions.h"

using namespace TVNConfigUtil;

namespace RestoreDecisions {

std::string NoRunText(const std::string& installFolder) {
    return "No run of this utility is recorded for \"" + installFolder + "\".";
}

Told TellRestore(const RunRecord& run, const RestoreOutcome& outcome, bool dryRun,
                 const std::string& dryRunNote) {
    Told told;
    for (const std::string& step : outcome.steps)
        told.details.push_back((dryRun ? "Would: " : "") + step);
    for (const std::string& left : outcome.leftAlone)
        told.details.push_back("Left as it is: " + left);
    const bool nothing = outcome.steps.empty();
    if (!outcome.errorText.empty()) {
        told.end = outcome.changed ? End::Failed : End::Refused;
        told.message = outcome.errorText;
    } else if (outcome.cancelled) {
        told.end = End::Cancelled;
        told.message = outcome.report;
    } else if (dryRun) {
        told.end = nothing ? End::NothingLeft : End::Checked;
        told.message =
            "Restoring " + HistoryLine(run) +
            (nothing ? ": nothing is left to undo" : ": the steps above pass every check") +
            "; nothing has been changed" + dryRunNote + ".";
    } else {
        told.end = nothing ? End::NothingLeft : End::Restored;
        told.message = nothing ? "Nothing of " + HistoryLine(run) +
                                     " is left to undo; nothing has been changed."
                               : outcome.report;
    }
    return told;
}

std::string PreviewText(const Told& told) {
    std::string text;
    for (const std::string& line : told.details)
        text += line + "\r\n";
    return text + (text.empty() ? "" : "\r\n") + told.message;
}

TMsgDlgType MessageTypeOf(End end) {
    switch (end) {
    case End::Refused:
    case End::Failed:
        return mtError;
    case End::Cancelled:
        return mtWarning;
    default:
        return mtInformation;
    }
}

} // namespace RestoreDecisions
