// The configuration window: detection at start-up, the status lines, the
// provider switch, the two browse buttons, the Configure command and the
// history with its restore.
//
// The window's logic works on a model of its controls (caption, checked,
// enabled), mirrored into the real child windows when they exist. So the
// same handlers run in the real window and, without any window, in tests.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <exception>
#include <optional>
#include <array>
#include <string>

#include "Application.h"
#include "ConfigureCommand.h"
#include "Dialogs.h"
#include "TextTips.h"
#include "Win32Handles.h"

class SharedProgress;

// While true, the provider radio-button handlers leave the status lines alone.
extern bool SuppressStatusUpdate;

// Sets a flag for a scope, and restores it on every way out.
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

// One child control of the window. The wrapper does not own the handle: the
// window destroys its children.
class TControl {
  public:
    TControl(int id, const std::string& caption) : id_(id), caption_(caption) {}

    int Id() const { return id_; }
    HWND Handle() const { return handle_; }
    void Attach(HWND handle);

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

  private:
    int id_;
    HWND handle_ = nullptr;
    std::string caption_;
    bool checked_ = false;
    bool enabled_ = true;
};

// The open-file dialog used to locate an installation's tvn.inf.
class TOpenDialog {
  public:
    std::string InitialDir;
    std::string FileName;
    TOpenDialog();
    std::string Filter;
    std::string DefaultExt = "*.inf";
    DWORD Options = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                    OFN_NOTESTFILECREATE | OFN_ENABLESIZING | OFN_EXPLORER;
    HWND Owner = nullptr;
    bool Execute();
};

class TMainCloudDriveForm {
  public:
    // The title of the dialogs the window opens, where a dialog has none of
    // its own (the error box).
    static constexpr const char* ApplicationTitle = "TVN - Cloud Drive Configuration";
    // The window's class, by which a second copy of the program finds it.
    static constexpr const char* ClassName = "TMainCloudDriveForm";

    TMainCloudDriveForm();
    ~TMainCloudDriveForm();
    TMainCloudDriveForm(const TMainCloudDriveForm&) = delete;
    TMainCloudDriveForm& operator=(const TMainCloudDriveForm&) = delete;

    // Creates the real window and its controls, hidden. False on failure.
    bool CreateHandle(HINSTANCE instance);
    HWND Handle() const { return handle_; }
    // Runs FormShow, then shows the window centred with the focus on the first
    // control in tab order.
    void Show();
    // Closes the window (and so ends the program).
    void Close();
    bool CloseRequested() const { return closeRequested_; }
    // Where a control sits in its parent at 96 DPI, by the window's layout.
    RECT DesignRect(const TControl& control);

    // Runs a handler as the window's message handling does: the dialogs it
    // shows, the engine's too, are the window's; an error that escapes it
    // ends only that handler and goes to the application's error handler.
    template <typename Handler> void RunHandler(Handler&& handler) noexcept {
        RunEventHandler(AsDialogOwner(), handler);
    }
    // A click on a control, as the user would make it: what the window does
    // when the control reports the click, with the check state that a radio
    // button or check box gives itself. A disabled control takes no clicks.
    void Click(TControl& control);

    // Event handlers and methods.
    void FormShow();
    void UpdateStatus();
    // The redirection and the provider as a fresh start finds them for the
    // detected installation.
    void DetectLocations();
    std::string ProviderText(const std::string& text) const;
    void btnOneDriveClick();
    void btnDropboxClick();
    void btnBrowseCloudDriveClick();
    void btnBrowseInstallClick();
    void chkDisconnectClick();
    void btnCancelClick();
    void btnOKClick();
    // Opens the history of the installation shown, where a run can be
    // undone; after a restore the locations are detected again.
    void btnRestoreClick();
    // The end of the Windows session: whether it may end now (not while work
    // runs), and, when it ends, what the window does first.
    bool FormQueryEndSession() const;
    void FormEndSession(bool ending);

    // Checks a radio button, from code or by the user: when it becomes
    // checked, the other is unchecked and its handler runs.
    void CheckRadio(TControl& button);

    // Window state.
    std::string RedirectFolder;
    std::string DetectedInstallFolder;
    std::string ProviderFolder;

    // Controls, in the order their windows are created (tab order).
    TControl Panel3;
    TControl lblExeLocated1;
    TControl lblExeLocated2;
    TControl btnBrowseInstall;
    TControl txtInstallFolder;
    TControl Panel1;
    TControl btnOneDrive;
    TControl btnDropbox;
    TControl lblCloudDriveLocated1;
    TControl lblCloudDriveLocated2;
    TControl btnBrowseCloudDrive;
    TControl txtCloudDriveFolder;
    TControl chkDisconnect;
    TControl Bevel1;
    TControl btnRestore;
    TControl btnOK;
    TControl btnCancel;
    TOpenDialog OpenTVNDialog;

  private:
    // Shows the provider's folder, or the redirection when it lies inside it.
    void SelectProvider(const std::string& standardFolder);
    ConfigureDecisions::Provider SelectedProvider() const;
    // Tells the user how the Configure command ended, and what it changed.
    void ShowResult(const ConfigureDecisions::Result& result);

    // The one route from a click to its handler, for the real window and for
    // Click: checkedNow is the check state the control has after the click.
    void ControlClicked(TControl& control, bool checkedNow);
    // The window as the opener of its dialogs.
    DialogOwner AsDialogOwner() const { return {handle_, ApplicationTitle}; }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam,
                                      LPARAM lParam) noexcept;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The push buttons, which Enter presses while one has the focus; the
    // one that has it, if any.
    std::array<TControl*, 5> PushButtons();
    TControl* FocusedPushButton();
    void OnCommand(int id, int code);
    void CreateControls(HINSTANCE instance);
    // Lays the window out and makes its fonts at a DPI, in the suggested
    // window rectangle or, without one, in the layout's size where it is.
    void ApplyDpi(int dpi, const RECT* suggested);
    TControl* ControlById(int id);

    HWND handle_ = nullptr;
    UniqueGdiObject font_;
    UniqueGdiObject boldFont_;
    TextTips tips_;
    HWND savedFocus_ = nullptr;
    int dpi_ = 96;
    bool closeRequested_ = false;
    // A Configure command is running (its dialogs or its work).
    bool configuring_ = false;
    // The long work in progress, which closing the window cancels.
    SharedProgress* running_ = nullptr;
};
