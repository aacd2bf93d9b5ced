// The history dialog that the configuration window opens: the runs that
// touched the installation, newest first, a preview of what restoring the
// selected one would do, and the restore itself with the Configure command's
// progress window and report.
//
// As the window does, the dialog's logic works on a model of its controls,
// mirrored into the real child windows while the dialog is shown, so that
// the same handlers run in tests without a display.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Restore.h"
#include "TVNCloudDriveMain.h"
#include "Win32Handles.h"

class SharedProgress;

class TRestoreDialog {
  public:
    static constexpr const char* Caption = "Tallyvane - Restore a Run";

    // The history of installFolder. The work runs under the window's
    // running pointer, so that closing the window or ending the session
    // reaches it as it reaches the Configure command's.
    TRestoreDialog(const std::string& installFolder, SharedProgress*& running);
    ~TRestoreDialog() = default;
    TRestoreDialog(const TRestoreDialog&) = delete;
    TRestoreDialog& operator=(const TRestoreDialog&) = delete;

    // Shows the dialog, owned by owner (disabled meanwhile), until it closes.
    void ShowModal(HWND owner);
    HWND Handle() const { return handle_; }
    // A restore changed something: the owner detects the locations again.
    bool Restored() const { return restored_; }
    // The program is to end (a quit came while a restore ran).
    bool EndProgramAsked() const { return endProgram_; }
    bool CloseRequested() const { return closeRequested_; }

    // For tests: with a seam, ShowModal makes no window; it runs FormShow
    // and then the seam, which acts on the dialog as a user would. nullptr
    // (the default) for the real dialog.
    static void SetModalSeam(std::function<void(TRestoreDialog&)> seam);

    // A click on a control, as the user would make it; a disabled control
    // takes no clicks.
    void Click(TControl& control);

    // Event handlers.
    void FormShow();
    void lstHistoryChange();
    void btnRestoreClick();
    void btnOpenBackupClick();
    void btnCloseClick();

    // The lines of the list (the history, or that there is none) and the one
    // selected; -1 for none.
    std::vector<std::string> HistoryLines;
    int Selected = -1;

    // Controls, in the order their windows are created (tab order).
    TControl lblHistory;
    TControl lstHistory;
    TControl lblPreview;
    TControl txtPreview;
    TControl btnRestoreRun;
    TControl btnOpenBackup;
    TControl btnClose;

  private:
    // Reads the history again and selects its newest run.
    void LoadHistory();
    // Shows the preview of the selected run, and of each run selected while
    // one is computed, until it shows the one selected.
    void ShowPreview();
    // Reading work off the window's thread, which keeps answering; the list
    // stays usable meanwhile.
    void ReadOffThread(const std::function<void()>& work);
    void UpdateButtons();
    void Close();
    // Runs a handler as the window's RunHandler does, with this dialog as the
    // opener of the dialogs it shows.
    template <typename Handler> void RunHandler(Handler&& handler) noexcept {
        RunEventHandler({handle_, TMainCloudDriveForm::ApplicationTitle}, handler);
    }
    void ControlClicked(TControl& control);

    // The real dialog.
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void InitDialog();
    void ApplyDpi(int dpi, const RECT* suggested);
    // Puts the list's lines and selection into the real list box.
    void ShowHistoryLines();
    TControl* ControlById(int id);

    std::string installFolder_;
    SharedProgress*& running_;
    std::vector<TVNConfigUtil::RunRecord> runs_;
    HWND handle_ = nullptr;
    int dpi_ = 96;
    UniqueGdiObject font_;
    bool busy_ = false;      // the history or a preview is being read
    bool restoring_ = false; // a restore runs: closing the dialog cancels it
    bool restored_ = false;
    bool endProgram_ = false;
    bool closeRequested_ = false;
};
