#include "ConfigureCommand.h"

#include <exception>

#include "ConflictCopies.h"
#include "Dialogs.h"
#include "TVNConfigUtil.h"
#include "TVNVersion.h"

using namespace TVNConfigUtil;

namespace ConfigureDecisions {

namespace {

const char* const NothingChanged = "Nothing has been changed.";

// The sequence, with what it has done so far in the result.
class Command {
  public:
    Command(const Request& request, FrontEnd& frontEnd, Result& result)
        : request_(request), frontEnd_(frontEnd), r_(result) {}

    void Run() {
        const std::string serverFolder = ReadServerPath(request_.installFolder);
        const Facts facts =
            CheckFacts(request_.installFolder, request_.newFolder, request_.redirectFolder,
                       request_.providerFolder, request_.provider);
        const Start& start = r_.start = DecideStart(facts);
        if (start.kind == Start::Kind::RefuseProviderFolder)
            return Finish(End::Refused, start.refusal);
        if (start.kind == Start::Kind::RefuseUnchanged)
            return Finish(End::Unchanged, start.refusal);
        if (start.warning && frontEnd_.AskWarning(*start.warning) != mrYes)
            return Stop(End::Unanswered, *start.warning);
        if (!MergeConflictCopiesFirst(start))
            return;
        bool copyData = true;
        if (start.compare && !Compare(start, copyData))
            return;

        RunDetails& details = r_.run;
        details.outcome = Outcome{};
        inRun_ = true;
        if (!Work(
                [&] {
                    RunConfiguration({facts.installFolder, serverFolder, facts.redirectFolder,
                                      facts.newFolder, start.sourceRoot, copyData, request_.dryRun,
                                      RecordOfRun(start, copyData)},
                                     details);
                },
                L"Copying Tallyvane data"))
            return;
        TakeRun();
        if (details.cancelled)
            return Finish(End::Cancelled, details.outcome.ErrorText);
        if (!details.outcome.ErrorText.empty())
            return Finish(r_.changed ? End::Failed : End::Refused, details.outcome.ErrorText);
        Finish(End::Configured, details.outcome.Report);
    }

    // An error that escaped: before any change a refusal, after one a failure.
    void Thrown(const std::exception& error) {
        if (inRun_)
            TakeRun();
        r_.thrown = true;
        Finish(r_.changed ? End::Failed : End::Refused, error.what());
    }

  private:
    void Finish(End end, const std::string& message) {
        r_.end = end;
        r_.message = message;
    }
    // The user stopped the command at a question or before the run.
    void Stop(End end, const std::string& message) {
        Finish(end, message);
        r_.userStopped = true;
    }
    // Runs work through the front end; false when the program is ending.
    bool Work(const std::function<void()>& work, const wchar_t* holdReason = nullptr) {
        if (frontEnd_.RunWork(work, holdReason) == WorkEnd::Finished)
            return true;
        Finish(End::EndProgram, std::string());
        return false;
    }
    // What the run's record says beyond what the run knows itself.
    RunRecord RecordOfRun(const Start& start, bool copyData) const {
        RunRecord header;
        header.version = TVN_VERSION_TEXT;
        if (start.compare)
            header.direction = start.direction == Direction::Returning ? "returning" : "moving";
        if (r_.comparison)
            header.comparison = ComparisonName(*r_.comparison).value_or("");
        header.answer = asked_ ? (copyData ? "copy the data" : "keep the destination's data") : "";
        return header;
    }

    void TakeRun() {
        inRun_ = false;
        r_.changed = r_.changed || r_.run.changed;
        if (!r_.run.backupFolder.empty())
            r_.backupFolders.push_back(r_.run.backupFolder);
    }

    // Looks for sync conflict copies where the decisions say, asks whether
    // to merge them and merges on Yes. False when the command ends.
    bool MergeConflictCopiesFirst(const Start& start) {
        if (start.conflictRoots.empty())
            return true;
        std::vector<ConflictFindings> found;
        if (!Work([&] {
                for (const std::string& root : start.conflictRoots)
                    found.push_back(FindConflictCopies(root));
            }))
            return false;
        for (const ConflictFindings& findings : found) {
            if (findings.stopped) {
                Stop(End::Cancelled, std::string("Tallyvane configuration was cancelled while "
                                                 "looking for sync conflict copies.\r\n") +
                                         NothingChanged);
                return false;
            }
            const ConflictPrompt prompt = DecideConflictPrompt(findings);
            if (!prompt.ask)
                continue;
            const ConflictAnswer answer = DecideConflictAnswer(frontEnd_.AskConflicts(prompt));
            if (answer == ConflictAnswer::Stop) {
                Stop(End::Unanswered, prompt.text);
                return false;
            }
            if (answer == ConflictAnswer::GoOn)
                continue;
            MergeOutcome merge;
            const bool finished = Work(
                [&] {
                    merge =
                        MergeConflictCopies(findings.root, request_.dryRun, RecordOfRun({}, false));
                },
                L"Merging Tallyvane data");
            if (merge.changed) {
                r_.changed = true;
                r_.backupFolders.push_back(merge.backupFolder);
                if (r_.mergeBackup.empty() && !merge.replaced.empty())
                    r_.mergeBackup = merge.backupFolder;
            }
            if (!finished)
                return false;
            if (!merge.report.empty())
                r_.merges.push_back(merge.report);
            if (merge.cancelled) {
                Finish(End::Cancelled, merge.errorText);
                r_.userStopped = !merge.changed;
                return false;
            }
            if (!merge.errorText.empty()) {
                Finish(r_.changed ? End::Failed : End::Refused, merge.errorText);
                return false;
            }
        }
        return true;
    }

    // Compares the two roots and asks what the result asks. False when the
    // command ends; else copyData is the copy flag to run with.
    bool Compare(const Start& start, bool& copyData) {
        Comparison result = Comparison::Stopped;
        if (!Work([&] { result = CompareRoots(start.firstRoot, start.secondRoot); }))
            return false;
        if (result == Comparison::Stopped) {
            Stop(End::Cancelled,
                 std::string("Tallyvane configuration was cancelled during the comparison.\r\n") +
                     NothingChanged);
            return false;
        }
        r_.comparison = result;
        const AfterComparison after =
            DecideAfterComparison(start.direction, result, request_.provider);
        if (after.kind == AfterComparison::Kind::Configure) {
            copyData = after.copyData;
            return true;
        }
        asked_ = true;
        const AfterAnswer answer =
            DecideAfterAnswer(after.prompt, frontEnd_.AskComparison(after.prompt));
        if (answer.kind == AfterAnswer::Kind::Stop) {
            Stop(End::Unanswered, after.prompt.text);
            return false;
        }
        if (answer.kind == AfterAnswer::Kind::Confirm &&
            !frontEnd_.ConfirmDirection(answer.copyData)) {
            Stop(End::Unanswered, CopyDirectionWarning(answer.copyData));
            return false;
        }
        copyData = answer.copyData;
        return true;
    }

    const Request& request_;
    FrontEnd& frontEnd_;
    Result& r_;
    bool inRun_ = false;
    bool asked_ = false; // the comparison's prompt was answered
};

} // namespace

std::optional<std::string> ComparisonName(Comparison result) {
    switch (result) {
    case Comparison::Same:
        return "same";
    case Comparison::FirstMoreComplete:
        return "current-more-complete";
    case Comparison::SecondMoreComplete:
        return "destination-more-complete";
    case Comparison::EachLacks:
        return "each-more-complete";
    case Comparison::Stopped:
        break;
    }
    return std::nullopt;
}

Result RunConfigureCommand(const Request& request, FrontEnd& frontEnd) {
    Result result;
    Command command(request, frontEnd, result);
    try {
        command.Run();
    } catch (const std::exception& error) {
        command.Thrown(error);
    }
    return result;
}

std::string Told(const Result& result, const std::string& hint) {
    std::string text = result.message;
    if (!hint.empty())
        text += "\r\n(" + hint + ")";
    if (result.mergeBackup.empty() || result.end == End::Configured ||
        result.end == End::Unchanged || result.end == End::EndProgram)
        return text;
    const std::string kept = "The sync conflict copies merged before this stay merged; the month "
                             "files as they were are kept in \"" +
                             result.mergeBackup + "\".";
    if (const size_t at = text.find(NothingChanged); at != std::string::npos)
        return text.replace(at, std::string(NothingChanged).size(), kept);
    return text + "\r\n" + kept;
}

} // namespace ConfigureDecisions
