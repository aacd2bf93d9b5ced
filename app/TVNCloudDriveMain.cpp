#include "TVNCloudDriveMain.h"

#include "TVNCloudDriveControlIds.h"

#include <exception>
#include <optional>

#include "Application.h"
#include "BackgroundWork.h"
#include "ConfigureCommand.h"
#include "ConflictCopies.h"
#include "Dialogs.h"
#include "FileSystem.h"
#include "RestoreDialog.h"
#include "SelectFolder.h"
#include "TVNConfigUtil.h"

using namespace TVNConfigUtil;

bool SuppressStatusUpdate = false;

// ---------------------------------------------------------------- TControl

void TControl::Attach(HWND handle) {
    handle_ = handle;
    if (!handle_)
        return;
    SetWindowTextA(handle_, caption_.c_str());
    SendMessageA(handle_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
    EnableWindow(handle_, enabled_);
}

void TControl::SetCaption(const std::string& caption) {
    caption_ = caption;
    if (handle_)
        SetWindowTextA(handle_, caption_.c_str());
}

void TControl::SetChecked(bool checked) {
    checked_ = checked;
    if (handle_)
        SendMessageA(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TControl::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (handle_)
        EnableWindow(handle_, enabled);
}

// ---------------------------------------------------------------- TOpenDialog

TOpenDialog::TOpenDialog()
    : Filter(std::string("TVN INF files (") + InstallationMarkerName + ")|" +
             InstallationMarkerName + "|Any file (*.*)|*.*") {}

bool TOpenDialog::Execute() {
    OpenFileRequest request;
    request.owner = Owner;
    request.initialDir = InitialDir;
    request.filter = Filter;
    request.defaultExt = DefaultExt;
    request.flags = Options;
    std::string chosen;
    if (!RunOpenFileDialog(request, chosen))
        return false;
    FileName = chosen;
    return true;
}

// ---------------------------------------------------------------- the form

TMainCloudDriveForm::TMainCloudDriveForm()
    : Panel3(idPanel3, ""),
      lblExeLocated1(idLblExeLocated1,
                     "Tallyvane data files have been found at a standard location."),
      lblExeLocated2(
          idLblExeLocated2,
          std::string("Click \"Browse\" to locate and configure a different location (find '") +
              InstallationMarkerName + "')."),
      btnBrowseInstall(idBtnBrowseInstall, "Browse..."), txtInstallFolder(idTxtInstallFolder, ""),
      Panel1(idPanel1, ""), btnOneDrive(idBtnOneDrive, "OneDrive"),
      btnDropbox(idBtnDropbox, "Dropbox"),
      lblCloudDriveLocated1(idLblCloudDriveLocated1,
                            "Tallyvane IS configured to use a Cloud location."),
      lblCloudDriveLocated2(idLblCloudDriveLocated2, "Click \"Browse\" to create a folder for "
                                                     "Tallyvane and/or find a different location."),
      btnBrowseCloudDrive(idBtnBrowseCloudDrive, "Browse..."),
      txtCloudDriveFolder(idTxtCloudDriveFolder, ""),
      chkDisconnect(idChkDisconnect, "Configure the detected Tallyvane to use its standard "
                                     "(non-Dropbox) data location."),
      Bevel1(idBevel1, ""), btnRestore(idBtnRestore, "&Restore..."), btnOK(idBtnOK, "Configure"),
      btnCancel(idBtnCancel, "Cancel") {
    btnOneDrive.SetChecked(true);
}

TMainCloudDriveForm::~TMainCloudDriveForm() {
    if (handle_) {
        SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
}

void TMainCloudDriveForm::Click(TControl& control) {
    if (!control.Enabled())
        return;
    // A radio button checks itself when clicked; a check box flips.
    const bool checkedNow = &control == &btnOneDrive || &control == &btnDropbox
                                ? true
                                : &control == &chkDisconnect && !control.Checked();
    ControlClicked(control, checkedNow);
}

void TMainCloudDriveForm::ControlClicked(TControl& control, bool checkedNow) {
    // While work runs the window is disabled, but a click sent straight to a
    // control still arrives: Cancel stops the work, as closing does, and
    // every other control waits.
    if (running_) {
        if (&control == &btnCancel)
            running_->Cancel();
        return;
    }
    if (&control == &btnOneDrive || &control == &btnDropbox) {
        // A click on the provider already selected does nothing.
        if (checkedNow && !control.Checked())
            RunHandler([&] { CheckRadio(control); });
    } else if (&control == &chkDisconnect) {
        control.SetChecked(checkedNow);
        RunHandler([&] { chkDisconnectClick(); });
    } else if (&control == &btnBrowseInstall) {
        RunHandler([&] { btnBrowseInstallClick(); });
    } else if (&control == &btnBrowseCloudDrive) {
        RunHandler([&] { btnBrowseCloudDriveClick(); });
    } else if (&control == &btnRestore) {
        RunHandler([&] { btnRestoreClick(); });
    } else if (&control == &btnOK) {
        RunHandler([&] { btnOKClick(); });
    } else if (&control == &btnCancel) {
        RunHandler([&] { btnCancelClick(); });
    }
}

void TMainCloudDriveForm::CheckRadio(TControl& button) {
    if (button.Checked())
        return;
    TControl& other = (&button == &btnOneDrive) ? btnDropbox : btnOneDrive;
    button.SetChecked(true);
    other.SetChecked(false);
    if (&button == &btnOneDrive)
        btnOneDriveClick();
    else
        btnDropboxClick();
}

void TMainCloudDriveForm::Close() {
    closeRequested_ = true;
    if (handle_)
        DestroyWindow(handle_);
}

void TMainCloudDriveForm::FormShow() {
    DetectedInstallFolder = AsciiLowerCase(StandardInstallationFolder());
    txtInstallFolder.SetCaption(DetectedInstallFolder);
    DetectLocations();
}

void TMainCloudDriveForm::DetectLocations() {
    // As at start-up: OneDrive until the redirection names Dropbox.
    btnOneDrive.SetChecked(true);
    btnDropbox.SetChecked(false);
    chkDisconnect.SetChecked(false);
    ProviderFolder = AsciiLowerCase(OneDriveFolder());
    RedirectFolder = AsciiLowerCase(AddBackslash(ReadRedirection(DetectedInstallFolder)));
    if (ClientHolding(RedirectFolder) == SyncClient::Dropbox) {
        FlagScope suppress(SuppressStatusUpdate, true);
        CheckRadio(btnDropbox);
    }
    txtCloudDriveFolder.SetCaption(
        AsciiLowerCase(!RedirectFolder.empty() ? RedirectFolder : ProviderFolder));
    UpdateStatus();
}

void TMainCloudDriveForm::UpdateStatus() {
    const ConfigureDecisions::StatusLines lines = ConfigureDecisions::DecideStatus(
        {IsInstallationFolder(txtInstallFolder.Caption()), RedirectFolder, ProviderFolder,
         !ProviderFolder.empty() && FileSystem::DirectoryExists(ProviderFolder),
         SelectedProvider()});
    lblExeLocated1.SetCaption(lines.installation);
    lblCloudDriveLocated1.SetCaption(lines.cloud);
    chkDisconnect.SetCaption(ProviderText(
        "Configure the detected Tallyvane to use its standard (non-Dropbox) data location."));
    // The checked state is left alone: a ticked box that becomes disabled stays ticked.
    chkDisconnect.SetEnabled(!txtCloudDriveFolder.Caption().empty() && lines.configuredInProvider);
}

std::string TMainCloudDriveForm::ProviderText(const std::string& text) const {
    return ConfigureDecisions::ProviderText(text, SelectedProvider());
}

ConfigureDecisions::Provider TMainCloudDriveForm::SelectedProvider() const {
    return btnDropbox.Checked() ? ConfigureDecisions::Provider::Dropbox
                                : ConfigureDecisions::Provider::OneDrive;
}

void TMainCloudDriveForm::btnOneDriveClick() {
    SelectProvider(OneDriveFolder());
}

void TMainCloudDriveForm::btnDropboxClick() {
    SelectProvider(DropboxFolder());
}

void TMainCloudDriveForm::SelectProvider(const std::string& standardFolder) {
    // A redirection inside the provider's folder stands for the provider, so
    // that switching back and forth shows it again.
    std::string standard = AsciiLowerCase(standardFolder);
    ProviderFolder = LiesInside(RedirectFolder, standard) ? RedirectFolder : standard;
    txtCloudDriveFolder.SetCaption(ProviderFolder);
    if (!SuppressStatusUpdate)
        UpdateStatus();
}

void TMainCloudDriveForm::btnBrowseCloudDriveClick() {
    std::string folder = txtCloudDriveFolder.Caption();
    if (BrowseForFolder(handle_, ProviderText("Locate a folder in Dropbox"), folder)) {
        txtCloudDriveFolder.SetCaption(AsciiLowerCase(folder));
        UpdateStatus();
    }
}

void TMainCloudDriveForm::btnBrowseInstallClick() {
    OpenTVNDialog.InitialDir = txtInstallFolder.Caption();
    OpenTVNDialog.Owner = handle_;
    if (!OpenTVNDialog.Execute())
        return;
    std::string folder = FileSystem::ExtractFilePath(OpenTVNDialog.FileName);
    if (IsInstallationFolder(folder)) {
        txtInstallFolder.SetCaption(AsciiLowerCase(RemoveBackslash(folder)));
        UpdateStatus();
    } else {
        MessageDlg("The selected location does not contain a valid Tallyvane installation", mtError,
                   mbOK, 0);
    }
}

void TMainCloudDriveForm::chkDisconnectClick() {
    UpdateStatus();
}

void TMainCloudDriveForm::btnCancelClick() {
    Close();
}

bool TMainCloudDriveForm::FormQueryEndSession() const {
    // Work in hand holds the session; the reason it gives is shown by Windows.
    return running_ == nullptr;
}

void TMainCloudDriveForm::FormEndSession(bool ending) {
    if (!ending || !running_)
        return;
    // The session may end as soon as this returns: the work stops after the
    // file in hand, then the command ends the program without a report.
    running_->EndProgram();
    running_->WaitUntilFinished();
}

namespace {

// The window's answers to the Configure command: dialogs, and the work on the
// worker thread with the progress window.
class WindowAnswers : public ConfigureDecisions::FrontEnd {
  public:
    WindowAnswers(HWND owner, SharedProgress*& running) : owner_(owner), running_(running) {}

    int AskWarning(const std::string& text) override {
        return MessageDlg(text, mtWarning, mbYesNo, 0);
    }
    int AskConflicts(const ConfigureDecisions::ConflictPrompt& prompt) override {
        return MessageDlg(prompt.text, prompt.type, mbYesNoCancel, 0);
    }
    int AskComparison(const ConfigureDecisions::Prompt& prompt) override {
        return MessageDlg(prompt.text, prompt.type, mbYesNoCancel, 0);
    }
    bool ConfirmDirection(bool copyData) override { return ConfirmCopyDirection(copyData); }
    WorkEnd RunWork(const std::function<void()>& work, const wchar_t* holdReason) override {
        return RunWithProgress(owner_, running_, work, holdReason);
    }

  private:
    HWND owner_;
    SharedProgress*& running_;
};

} // namespace

void TMainCloudDriveForm::btnOKClick() {
    using namespace ConfigureDecisions;
    // One configuration at a time: a click that reaches the button while one
    // runs (sent straight to it past the disabled window or a prompt, as UI
    // automation does) does not start a second one inside the first.
    if (configuring_)
        return;
    FlagScope busy(configuring_, true);
    WindowAnswers answers(handle_, running_);
    ShowResult(RunConfigureCommand(
        {NormalForm(txtInstallFolder.Caption()),
         chkDisconnect.Checked() ? std::string() : NormalForm(txtCloudDriveFolder.Caption()),
         RedirectFolder, ProviderFolder, SelectedProvider()},
        answers));
}

void TMainCloudDriveForm::btnRestoreClick() {
    // Not inside a Configure command, nor a second time inside itself.
    if (configuring_)
        return;
    FlagScope busy(configuring_, true);
    TRestoreDialog dialog(NormalForm(txtInstallFolder.Caption()), running_);
    dialog.ShowModal(handle_);
    if (dialog.EndProgramAsked())
        return Close();
    // The redirection may have changed.
    if (dialog.Restored())
        DetectLocations();
}

void TMainCloudDriveForm::ShowResult(const ConfigureDecisions::Result& result) {
    using namespace ConfigureDecisions;
    if (result.end == End::EndProgram)
        return Close();
    if (result.start.kind == Start::Kind::RefuseProviderFolder) {
        MessageDlg(result.message, mtError, mbOK, 0);
        return btnBrowseCloudDriveClick();
    }
    if (result.end == End::Unchanged) {
        MessageDlg(result.message, mtError, mbOK, 0);
        if (result.start.offerProviderFolder) {
            std::string standard = btnDropbox.Checked() ? DropboxFolder() : OneDriveFolder();
            txtCloudDriveFolder.SetCaption(AsciiLowerCase(standard));
            UpdateStatus();
        }
        return;
    }
    // Month files merged before are always told, with where their backup is.
    std::string merged;
    for (const std::string& report : result.merges)
        merged += "\r\n" + report;
    if (result.thrown) {
        ShowApplicationError(AsDialogOwner(), result.message);
    } else if (!result.userStopped) {
        const bool configured = result.end == End::Configured;
        ShowOutcome(configured ? std::string() : result.message + merged,
                    configured ? result.message + merged : std::string());
        merged.clear();
    }
    if (!merged.empty())
        MessageDlg("Tallyvane has not been configured. The sync conflict copies merged before "
                   "stay merged:" +
                       merged,
                   mtInformation, mbOK, 0);
    if (result.end == End::Configured)
        Close();
}
