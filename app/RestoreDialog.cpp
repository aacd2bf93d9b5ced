#include "RestoreDialog.h"

#include "Application.h"
#include "BackgroundWork.h"
#include "FileSystem.h"
#include "LateBound.h"
#include "RestoreDecisions.h"
#include "TVNCloudDriveControlIds.h"
#include "TVNConfigUtil.h"
#include "TVNVersion.h"

using namespace TVNConfigUtil;

namespace {

std::function<void(TRestoreDialog&)> modalSeam;

// What a restore's own record starts from.
RunRecord RestoreHeader() {
    RunRecord header;
    header.version = TVN_VERSION_TEXT;
    return header;
}

} // namespace

void TRestoreDialog::SetModalSeam(std::function<void(TRestoreDialog&)> seam) {
    modalSeam = std::move(seam);
}

TRestoreDialog::TRestoreDialog(const std::string& installFolder, SharedProgress*& running)
    : lblHistory(idLblHistory, "&History of this installation, newest first:"),
      lstHistory(idLstHistory, ""),
      lblPreview(idLblPreview, "&Preview: what restoring the selected run would do"),
      txtPreview(idTxtPreview, ""), btnRestoreRun(idBtnRestoreRun, "&Restore"),
      btnOpenBackup(idBtnOpenBackup, "&Open backup folder"), btnClose(idBtnCloseHistory, "Close"),
      installFolder_(installFolder), running_(running) {
    btnRestoreRun.SetEnabled(false);
    btnOpenBackup.SetEnabled(false);
}

void TRestoreDialog::ShowModal(HWND owner) {
    if (modalSeam) {
        RunHandler([this] { FormShow(); });
        modalSeam(*this);
        return;
    }
    ShowLaidOutDialog(owner, DialogProc, reinterpret_cast<LPARAM>(this));
}

void TRestoreDialog::Click(TControl& control) {
    if (control.Enabled())
        ControlClicked(control);
}

void TRestoreDialog::ControlClicked(TControl& control) {
    if (&control == &btnClose)
        RunHandler([this] { btnCloseClick(); });
    else if (&control == &btnRestoreRun)
        RunHandler([this] { btnRestoreClick(); });
    else if (&control == &btnOpenBackup)
        RunHandler([this] { btnOpenBackupClick(); });
}

void TRestoreDialog::FormShow() {
    LoadHistory();
}

void TRestoreDialog::ReadOffThread(const std::function<void()>& work) {
    FlagScope busy(busy_, true);
    // No owner: nothing is disabled and no progress window comes, so that
    // the arrow keys go on moving through the list; the loop below catches
    // up with the selection.
    if (RunWithProgress(nullptr, running_, work) == WorkEnd::EndProgram) {
        endProgram_ = true;
        Close();
    }
}

void TRestoreDialog::LoadHistory() {
    if (busy_)
        return;
    std::vector<RunRecord> runs;
    std::vector<std::string> lines;
    ReadOffThread([&] {
        History history = FindHistory(installFolder_);
        for (const RunRecord& run : history.runs)
            lines.push_back(HistoryLine(run));
        runs = std::move(history.runs);
    });
    runs_ = std::move(runs);
    HistoryLines =
        runs_.empty()
            ? std::vector<std::string>{RestoreDecisions::NoRunText(NormalForm(installFolder_))}
            : lines;
    Selected = runs_.empty() ? -1 : 0;
    ShowHistoryLines();
    ShowPreview();
}

void TRestoreDialog::lstHistoryChange() {
    ShowPreview();
}

void TRestoreDialog::ShowPreview() {
    UpdateButtons();
    if (busy_)
        return; // the preview being read goes on to this selection
    for (int shown = -2; shown != Selected && !closeRequested_;) {
        shown = Selected;
        if (shown < 0) {
            txtPreview.SetCaption("");
            continue;
        }
        const RunRecord run = runs_[shown];
        txtPreview.SetCaption("Checking what restoring this run would do ...");
        std::string text;
        ReadOffThread([&] {
            try {
                text = RestoreDecisions::PreviewText(RestoreDecisions::TellRestore(
                    run, RestoreRun(run, RestoreHeader(), true), true));
            } catch (const std::exception& error) {
                // A settings file that cannot be read: the restore would
                // stop there, before any change.
                text = ApplicationErrorText(error.what());
            }
        });
        txtPreview.SetCaption(text);
    }
}

void TRestoreDialog::UpdateButtons() {
    const bool selected = Selected >= 0 && Selected < static_cast<int>(runs_.size());
    btnRestoreRun.SetEnabled(selected);
    btnOpenBackup.SetEnabled(selected && FileSystem::DirectoryExists(runs_[Selected].backupFolder));
}

void TRestoreDialog::btnRestoreClick() {
    // A click while the history or a preview is read waits for the user to
    // press again once the preview shows what the restore would do.
    if (busy_ || restoring_ || Selected < 0)
        return;
    const RunRecord run = runs_[Selected];
    const RunRecord header = RestoreHeader();
    RestoreOutcome outcome;
    std::string thrown;
    WorkEnd end;
    {
        FlagScope busy(restoring_, true);
        end = RunWithProgress(
            handle_, running_,
            [&] {
                try {
                    outcome = RestoreRun(run, header, false);
                } catch (const std::exception& error) {
                    thrown = error.what();
                }
            },
            L"Restoring Tallyvane data");
    }
    // An error from a settings file may come after the first change.
    restored_ = restored_ || outcome.changed || !thrown.empty();
    if (end == WorkEnd::EndProgram) {
        endProgram_ = true;
        return Close();
    }
    // The restore is now the newest run, and is shown at once: it can be
    // undone the same way.
    LoadHistory();
    if (!thrown.empty()) {
        ShowApplicationError(CurrentDialogOwner(), thrown);
        return;
    }
    const RestoreDecisions::Told told = RestoreDecisions::TellRestore(run, outcome, false);
    MessageDlg(told.message, RestoreDecisions::MessageTypeOf(told.end), mbOK, 0);
}

void TRestoreDialog::btnOpenBackupClick() {
    if (Selected < 0)
        return;
    const std::string& folder = runs_[Selected].backupFolder;
    const auto result = reinterpret_cast<INT_PTR>(LateBound::ShellExecuteA(
        handle_, "explore", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32)
        MessageDlg("The backup folder \"" + folder + "\" could not be opened.", mtError, mbOK, 0);
}

void TRestoreDialog::btnCloseClick() {
    Close();
}

void TRestoreDialog::Close() {
    closeRequested_ = true;
    if (handle_)
        EndDialog(handle_, IDCANCEL);
}
