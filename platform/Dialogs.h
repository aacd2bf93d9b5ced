// The program's dialogs as its code asks for them: the message dialog and its
// types, buttons and results, the open-file request, who opens a dialog, and
// the seam through which every dialog passes so that tests can answer them by
// script.
#pragma once

#include <windows.h>

#include <string>

enum TMsgDlgType {
    mtWarning = 0,
    mtError = 1,
    mtInformation = 2,
    mtConfirmation = 3,
    mtCustom = 4
};

// Button set: bit N stands for the button of row N of the button table.
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYes = 1u << 0;
constexpr TMsgDlgButtons mbNo = 1u << 1;
constexpr TMsgDlgButtons mbOK = 1u << 2;
constexpr TMsgDlgButtons mbCancel = 1u << 3;
constexpr TMsgDlgButtons mbAbort = 1u << 4;
constexpr TMsgDlgButtons mbRetry = 1u << 5;
constexpr TMsgDlgButtons mbIgnore = 1u << 6;
constexpr TMsgDlgButtons mbAll = 1u << 7;
constexpr TMsgDlgButtons mbNoToAll = 1u << 8;
constexpr TMsgDlgButtons mbYesToAll = 1u << 9;
constexpr TMsgDlgButtons mbHelp = 1u << 10;
constexpr TMsgDlgButtons mbOKOnly = mbOK;                    // 4
constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;             // 3
constexpr TMsgDlgButtons mbYesNoCancel = mbYesNo | mbCancel; // 11

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrAbort = 3;
constexpr int mrRetry = 4;
constexpr int mrIgnore = 5;
constexpr int mrYes = 6;
constexpr int mrNo = 7;
constexpr int mrAll = 8;
constexpr int mrNoToAll = 9;
constexpr int mrYesToAll = 10;

// What the open-file dialog is asked to show. The filter uses "|" between
// descriptions and patterns.
struct OpenFileRequest {
    HWND owner = nullptr;
    std::string initialDir;
    std::string filter;
    std::string defaultExt;
    DWORD flags = 0; // OFN_* options
};

// Who opens a dialog: the window that owns it, disabled while it is shown
// (none: the active window of the opening thread), and the title it carries
// where it has no title of its own (the error box, the custom message type).
struct DialogOwner {
    HWND window = nullptr;
    std::string title;
};

// The one seam every dialog goes through. The real implementation shows real
// dialogs; tests install a scripted one that records what was shown.
class DialogSeam {
  public:
    virtual ~DialogSeam() = default;
    virtual int MessageDlg(const DialogOwner& owner, const std::string& text, TMsgDlgType type,
                           TMsgDlgButtons buttons, int helpContext) = 0;
    virtual bool BrowseForFolder(HWND owner, const std::string& caption, std::string& folder) = 0;
    virtual bool OpenFile(const OpenFileRequest& request, std::string& fileName) = 0;
    // The application's error box: stop icon, OK button, the owner's title.
    virtual void ShowErrorBox(const DialogOwner& owner, const std::string& text) = 0;
};

// The seam in force. SetDialogSeam(nullptr) restores the real dialogs.
DialogSeam& Dialogs();
void SetDialogSeam(DialogSeam* seam);

// The real dialogs, used when no other seam is set.
DialogSeam& RealDialogs();

// The opener of the dialogs that the code running on this thread shows
// without naming one: a window installs itself, with its title, for as long
// as one of its handlers runs. Scopes nest; each restores the one before.
class DialogOwnerScope {
  public:
    explicit DialogOwnerScope(DialogOwner owner);
    ~DialogOwnerScope();
    DialogOwnerScope(const DialogOwnerScope&) = delete;
    DialogOwnerScope& operator=(const DialogOwnerScope&) = delete;

  private:
    DialogOwner owner_;
    const DialogOwner* previous_;
};

// The opener of the innermost scope on this thread; no window and no title
// outside every scope.
const DialogOwner& CurrentDialogOwner();

// Shows the message dialog through the seam, opened by the current dialog
// owner, and returns its modal result.
int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);

// Runs the open-file dialog through the seam; true and the chosen name when
// the user picked a file.
bool RunOpenFileDialog(const OpenFileRequest& request, std::string& fileName);

// Shows a modal dialog box that has no controls of its own, owned by owner
// (disabled meanwhile): its procedure makes and lays out its controls when
// it initialises, since their sizes come from the font at the owner's DPI.
// The dialog's result, or -1 when it could not be shown.
INT_PTR ShowLaidOutDialog(HWND owner, DLGPROC procedure, LPARAM parameter);
