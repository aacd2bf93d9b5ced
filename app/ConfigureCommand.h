// The Configure command, once for both front ends: from the facts to the end
// of the run, through the rules of ConfigureDecisions. The front end (the
// window, or the command line) answers the few questions the command asks,
// in its own way (dialogs, or switches), runs its work with progress, and
// shows the result, which tells everything the command changed on every way
// out.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BackgroundWork.h"
#include "ConfigureDecisions.h"
#include "ConfigureRun.h"
#include "Completeness.h"

namespace ConfigureDecisions {

struct Request {
    // As CheckFacts takes them: folders in normal form.
    std::string installFolder;
    std::string newFolder; // empty for the standard location
    std::string redirectFolder;
    std::string providerFolder;
    Provider provider = Provider::OneDrive;
    bool dryRun = false; // merges and the run check, and change nothing
};

// What the front end answers and does for the command.
class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    // Each question is answered with a modal result: mrYes, mrNo, or anything
    // else to stop (Cancel, the close button, a switch not given).
    virtual int AskWarning(const std::string& text) = 0; // Yes goes on
    virtual int AskConflicts(const ConflictPrompt& prompt) = 0;
    virtual int AskComparison(const Prompt& prompt) = 0;
    // The user chose the other way than the prompt's Yes: the data is copied
    // (copyData) or not. False stops.
    virtual bool ConfirmDirection(bool copyData) = 0;
    // Runs work, which may throw, with the front end's progress. holdReason,
    // when given, says why the work holds the end of the Windows session.
    virtual WorkEnd RunWork(const std::function<void()>& work, const wchar_t* holdReason) = 0;
};

// Why the command ended.
enum class End {
    Configured, // the run went through (a dry run: it passed every check)
    Unchanged,  // refused: the location is the one in use already
    Refused,    // refused before the command changed anything
    Unanswered, // a question was not answered Yes or No
    Cancelled,  // stopped through the progress observer
    Failed,     // failed after a change: the message says what is where
    EndProgram, // the program is ending: nothing more is asked or shown
};

struct Result {
    End end = End::Refused;
    Start start;
    // What ended the command: the run's report, a refusal, the question left
    // unanswered, why it stopped, or an error's text.
    std::string message;
    bool thrown = false; // message is an error that escaped the work (a file not readable)
    // Stopped by the user at a question, or by Cancel before anything of the
    // run: nothing to report beyond the merges.
    bool userStopped = false;
    std::optional<TVNConfigUtil::Comparison> comparison;
    TVNConfigUtil::RunDetails run; // the run, when it started
    // Everything the command changed, merges included, with every backup
    // folder it made, in order.
    bool changed = false;
    std::vector<std::string> merges; // each merge's report (a dry run: what it would merge)
    std::vector<std::string> backupFolders;
    // The backup folder of the first merge that replaced month files, or empty.
    std::string mergeBackup;
};

Result RunConfigureCommand(const Request& request, FrontEnd& frontEnd);

// A comparison's result as the command line and the run's record name it
// ("same", "current-more-complete", ...); nullopt for a stopped one.
std::optional<std::string> ComparisonName(TVNConfigUtil::Comparison result);

// The message, with the hint a front end gives for an unanswered question,
// and, when merges were made before an end that is no configuration, that
// they stay and where the month files as they were are kept.
std::string Told(const Result& result, const std::string& hint = std::string());

} // namespace ConfigureDecisions
