// The seam every dialog passes through.
#include "Dialogs.h"

#include <utility>

namespace {
DialogSeam* currentSeam = nullptr;
// Each thread has its own opener, so a dialog never takes the owner or the
// title of a window that another thread is serving.
thread_local const DialogOwner* currentOwner = nullptr;
} // namespace

DialogSeam& Dialogs() {
    return currentSeam ? *currentSeam : RealDialogs();
}
void SetDialogSeam(DialogSeam* seam) {
    currentSeam = seam;
}

DialogOwnerScope::DialogOwnerScope(DialogOwner owner)
    : owner_(std::move(owner)), previous_(currentOwner) {
    currentOwner = &owner_;
}
DialogOwnerScope::~DialogOwnerScope() {
    currentOwner = previous_;
}

const DialogOwner& CurrentDialogOwner() {
    static const DialogOwner none;
    return currentOwner ? *currentOwner : none;
}

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) {
    return Dialogs().MessageDlg(CurrentDialogOwner(), text, type, buttons, helpContext);
}

bool RunOpenFileDialog(const OpenFileRequest& request, std::string& fileName) {
    return Dialogs().OpenFile(request, fileName);
}
