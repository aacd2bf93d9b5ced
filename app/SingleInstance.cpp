#include "SingleInstance.h"

#include <sddl.h>

#include <string>

#include "Dialogs.h"
#include "TVNCloudDriveMain.h"

namespace {

// A named mutex in the machine's global namespace, one per user account:
// the copies that must not meet are those of one user, whatever session
// they run in (a configure run by a scheduled task "whether the user is
// logged on or not" runs in session 0, apart from the user's window), while
// another user's copies work on their own profile. Only that account (and
// the system) may open it. The mutex counts by its existence, not by who
// owns it, so it goes with the last copy that had it open, a crashed one
// too. Where the account cannot be told, the session's own namespace.
const char* const MutexName = "TVNCloudDriveConfiguration";

// The calling process's account as an SID string, or empty.
std::string UserSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return std::string();
    UniqueKernelHandle token(raw);
    alignas(TOKEN_USER) unsigned char buffer[256];
    DWORD size = 0;
    char* text = nullptr;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return std::string();
    const std::string sid = text;
    LocalFree(text);
    return sid;
}

} // namespace

std::string InstanceLock::Name() {
    const std::string sid = UserSid();
    return sid.empty() ? "Local\\" + std::string(MutexName)
                       : "Global\\" + std::string(MutexName) + "-" + sid;
}

HANDLE InstanceLock::Create() {
    const std::string name = Name();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (name.starts_with("Global\\") && ConvertStringSecurityDescriptorToSecurityDescriptorA(
                                            ("D:P(A;;GA;;;" + UserSid() + ")(A;;GA;;;SY)").c_str(),
                                            SDDL_REVISION_1, &descriptor, nullptr)) {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        HANDLE mutex = CreateMutexA(&attributes, FALSE, name.c_str());
        const DWORD error = GetLastError();
        LocalFree(descriptor);
        SetLastError(error);
        if (mutex || error == ERROR_ACCESS_DENIED)
            return mutex;
    }
    return CreateMutexA(nullptr, FALSE, ("Local\\" + std::string(MutexName)).c_str());
}

const char* const InstanceLock::RefusalText =
    "TVN Cloud Drive Configuration is already open or configuring Tallyvane for this user.\r\n"
    "Close it, or let its configuration finish, then run the command again.";

InstanceLock::InstanceLock() : mutex_(Create()) {
    // A name that exists without giving this copy access is held by another.
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
