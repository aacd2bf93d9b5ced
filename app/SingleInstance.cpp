#include "SingleInstance.h"

#include "Dialogs.h"
#include "TVNCloudDriveMain.h"

namespace {

// A named mutex in the session's own namespace: the copies that must not meet
// are those of one signed-in session, while another user's session on the
// same machine (fast user switching, a terminal server) works on its own
// profile. The mutex counts by its existence, not by who owns it, so it goes
// with the last copy that had it open, a crashed one too.
const char* const MutexName = "Local\\TVNCloudDriveConfiguration";

} // namespace

const char* const InstanceLock::RefusalText =
    "TVN Cloud Drive Configuration is already open or configuring Tallyvane in this session.\r\n"
    "Close it, or let its configuration finish, then run the command again.";

InstanceLock::InstanceLock() : mutex_(CreateMutexA(nullptr, FALSE, MutexName)) {
    // Another account's copy in this session makes the name exist without
    // giving this one access to it.
    held_ = mutex_.valid() && GetLastError() != ERROR_ALREADY_EXISTS;
    if (!held_)
        mutex_.reset();
}

void ShowRunningCopy() {
    HWND window = nullptr;
    // The other copy may have taken the lock a moment ago and still be making
    // its window.
    for (int tries = 0; tries < 50; ++tries) {
        window = FindWindowA(TMainCloudDriveForm::ClassName, nullptr);
        if (window && IsWindowVisible(window))
            break;
        window = nullptr;
        Sleep(100);
    }
    if (!window) {
        DialogOwnerScope opener(DialogOwner{nullptr, TMainCloudDriveForm::ApplicationTitle});
        MessageDlg("TVN Cloud Drive Configuration is configuring Tallyvane from the command line. "
                   "Open it again when that has finished.",
                   mtInformation, mbOK, 0);
        return;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // This process was started by the user and may pass the foreground on;
    // the other copy may then also bring up windows of its own.
    AllowSetForegroundWindow(process);
    if (IsIconic(window))
        ShowWindowAsync(window, SW_RESTORE);
    SetForegroundWindow(GetLastActivePopup(window));
}
