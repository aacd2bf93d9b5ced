#include "TVNCloudDriveMain.h"

#include "TVNCloudDriveControlIds.h"

#include <exception>
#include <optional>

#include "Application.h"
#include "BackgroundWork.h"
#include "Dialogs.h"
#include "FileSystem.h"
#include "SelectFolder.h"
#include "TVNConfigUtil.h"

using namespace TVNConfigUtil;

bool SuppressStatusUpdate = false;

namespace {

// Prompts of the Configure command, stored naming Dropbox.
const char* const MsgProviderRoot =
    "Create a folder for Tallyvane within the Dropbox location first";
const char* const MsgUnchanged = "Tallyvane is already configured to use this location";
const char* const MsgForeignRedirection =
    "The locally detected Tallyvane installation uses redirection\r\n"
    "Dropbox configuration will over-write these settings\r\n"
    "Continue?";
const char* const PromptCloudMoreCompleteThanInstallation =
    "DropBox appears to have more data than the locally detected Tallyvane installation\r\n"
    "Do you wish to use the more complete files in DropBox?\r\n"
    "(Recommended - The utility will back up any Tallyvane data files at the locally detected "
    "installation before copying Dropbox files)";
const char* const PromptInstallationMoreCompleteThanCloud =
    "The selected data file location appears to have more data than DropBox\r\n"
    "Do you wish to use the more complete files in the selected data file location?\r\n"
    "(Recommended - No files will be copied from DropBox)";
const char* const PromptCloudAndInstallationEachLack =
    "The selected data file location has existing Tallyvane data files\r\n"
    "The utility will back up these files and copy DropBox files to the location\r\n"
    "Continue?";
const char* const PromptInstallationMoreCompleteThanNewLocation =
    "The selected data file location appears to have more data than DropBox\r\n"
    "Do you wish to use the more complete files in the selected data file location?\r\n"
    "(Recommended - The utility will back up any Tallyvane data files in DropBox before copying "
    "files from the selected file location)";
const char* const PromptNewLocationMoreCompleteThanInstallation =
    "DropBox appears to have more data than the locally detected Tallyvane installation\r\n"
    "Do you wish to use the more complete files in DropBox?\r\n"
    "(Recommended - No files will be copied from the locally detected Tallyvane location)";
const char* const PromptInstallationAndNewLocationEachLack =
    "DropBox has existing Tallyvane data files\r\n"
    "The utility will back up these files and copy the current Tallyvane installation files to "
    "the location\r\n"
    "Continue?";

// Replaces every occurrence of word (ASCII letters, compared without regard
// to case) by replacement.
std::string ReplaceWordIgnoringCase(const std::string& text, const std::string& word,
                                    const std::string& replacement) {
    std::string lowerText = AsciiLowerCase(text);
    std::string lowerWord = AsciiLowerCase(word);
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = lowerText.find(lowerWord, pos);
        if (hit == std::string::npos)
            break;
        out.append(text, pos, hit - pos);
        out += replacement;
        pos = hit + word.size();
    }
    out.append(text, pos, std::string::npos);
    return out;
}

// Restores a flag on every way out of a scope.
class FlagScope {
  public:
    FlagScope(bool& flag, bool value) : flag_(flag), old_(flag) { flag_ = value; }
    ~FlagScope() { flag_ = old_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
    bool old_;
};

} // namespace

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
      Bevel1(idBevel1, ""), btnOK(idBtnOK, "Configure"), btnCancel(idBtnCancel, "Cancel") {
    btnOneDrive.SetChecked(true);
}

TMainCloudDriveForm::~TMainCloudDriveForm() {
    if (handle_) {
        SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
}

void TMainCloudDriveForm::ReportHandlerError(const char* message) const noexcept {
    try {
        ShowApplicationError(AsDialogOwner(), message);
    } catch (...) {
        // Not even the error box could be shown (no memory left): the
        // handler has ended, and the window goes on.
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
    ProviderFolder = AsciiLowerCase(OneDriveFolder());
    RedirectFolder = AsciiLowerCase(AddBackslash(ReadRedirection(DetectedInstallFolder)));
    if (LiesInside(RedirectFolder, AsciiLowerCase(DropboxFolder()))) {
        FlagScope suppress(SuppressStatusUpdate, true);
        CheckRadio(btnDropbox);
    }
    txtInstallFolder.SetCaption(DetectedInstallFolder);
    txtCloudDriveFolder.SetCaption(
        AsciiLowerCase(!RedirectFolder.empty() ? RedirectFolder : ProviderFolder));
    UpdateStatus();
}

void TMainCloudDriveForm::UpdateStatus() {
    lblExeLocated1.SetCaption(
        IsInstallationFolder(txtInstallFolder.Caption())
            ? "Tallyvane data files HAVE BEEN FOUND at a standard location."
            : "Tallyvane data files have NOT BEEN FOUND at a standard location.");

    std::string status;
    if (LiesInside(RedirectFolder, ProviderFolder))
        status = ProviderText("Tallyvane IS configured to use a Dropbox location.");
    else if (!ProviderFolder.empty() && FileSystem::DirectoryExists(ProviderFolder))
        status = ProviderText("A Dropbox folder HAS BEEN FOUND at a standard location.");
    else if (!RedirectFolder.empty())
        status = "An alternative data location IS configured, but it may not be being used for a "
                 "Cloud Drive.";
    else
        status = ProviderText("A Dropbox folder HAS NOT BEEN FOUND in a standard location.");
    lblCloudDriveLocated1.SetCaption(status);

    chkDisconnect.SetCaption(ProviderText(
        "Configure the detected Tallyvane to use its standard (non-Dropbox) data location."));
    // The checked state is left alone: a ticked box that becomes disabled stays ticked.
    chkDisconnect.SetEnabled(!txtCloudDriveFolder.Caption().empty() &&
                             LiesInside(RedirectFolder, ProviderFolder));
}

std::string TMainCloudDriveForm::ProviderText(const std::string& text) const {
    if (btnDropbox.Checked())
        return ReplaceWordIgnoringCase(text, "OneDrive", "Dropbox");
    return ReplaceWordIgnoringCase(text, "Dropbox", "OneDrive");
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

std::optional<bool> TMainCloudDriveForm::AskCopyAfterComparison(const std::string& firstRoot,
                                                                const std::string& secondRoot,
                                                                const char* firstMoreComplete,
                                                                const char* secondMoreComplete,
                                                                const char* bothLack) {
    int result = 0;
    bool stopped = false;
    RunWithProgress(handle_, running_, [&] {
        result = CompareDataCompleteness({firstRoot, secondRoot});
        stopped = StopAsked();
    });
    // Stopped during the comparison: as if the prompt had been cancelled.
    if (stopped)
        return std::nullopt;
    if (result == 0)
        return false;
    // Yes means the copy flag that the prompt recommends or announces; No
    // asks to confirm the opposite direction.
    auto ask = [this](const char* prompt, TMsgDlgType type, bool yesCopies) -> std::optional<bool> {
        int answer = MessageDlg(ProviderText(prompt), type, mbYesNoCancel, 0);
        if (answer == mrYes)
            return yesCopies;
        if (answer == mrNo && ConfirmCopyDirection(!yesCopies))
            return !yesCopies;
        return std::nullopt;
    };
    if (result == 1)
        return ask(firstMoreComplete, mtConfirmation, true);
    if (result == 2)
        return ask(secondMoreComplete, mtConfirmation, false);
    return ask(bothLack, mtWarning, true);
}

void TMainCloudDriveForm::btnOKClick() {
    const std::string installFolder = NormalForm(txtInstallFolder.Caption());
    const std::string newFolder =
        chkDisconnect.Checked() ? std::string() : NormalForm(txtCloudDriveFolder.Caption());
    const std::string serverFolder = ReadServerPath(installFolder);

    if (!newFolder.empty() && SamePath(newFolder, ProviderFolder)) {
        MessageDlg(ProviderText(MsgProviderRoot), mtError, mbOK, 0);
        btnBrowseCloudDriveClick();
        return;
    }

    if (newFolder == RedirectFolder) {
        MessageDlg(ProviderText(MsgUnchanged), mtError, mbOK, 0);
        if (newFolder.empty()) {
            // Offer the selected provider's own folder, so that a second press
            // works with a location the user can see and browse from.
            std::string standard = btnDropbox.Checked() ? DropboxFolder() : OneDriveFolder();
            txtCloudDriveFolder.SetCaption(AsciiLowerCase(standard));
            UpdateStatus();
        }
        return;
    }

    // Replacing a redirection that this utility did not make: only an explicit
    // Yes goes on; closing the warning is not consent to overwrite settings.
    if (!RedirectFolder.empty() && !LiesInside(RedirectFolder, ProviderFolder)) {
        if (MessageDlg(ProviderText(MsgForeignRedirection), mtWarning, mbYesNo, 0) != mrYes)
            return;
    }

    std::optional<bool> copyData = true;
    if (!ProviderFolder.empty() && newFolder.empty() && IsInstallationFolder(installFolder))
        copyData = AskCopyAfterComparison(
            RedirectFolder, installFolder, PromptCloudMoreCompleteThanInstallation,
            PromptInstallationMoreCompleteThanCloud, PromptCloudAndInstallationEachLack);
    else if (!newFolder.empty() && IsInstallationFolder(newFolder))
        copyData = AskCopyAfterComparison(installFolder, newFolder,
                                          PromptInstallationMoreCompleteThanNewLocation,
                                          PromptNewLocationMoreCompleteThanInstallation,
                                          PromptInstallationAndNewLocationEachLack);
    if (!copyData)
        return;

    Outcome outcome;
    RunWithProgress(handle_, running_, [&] {
        outcome = ConfigureInstallation(installFolder, serverFolder, RedirectFolder, newFolder,
                                        *copyData);
    });
    ShowOutcome(outcome.ErrorText, outcome.Report);
    if (outcome.ErrorText.empty())
        Close();
}
